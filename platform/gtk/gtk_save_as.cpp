// GetSaveFileNameA's dialog as a GtkFileChooserDialog in save mode: the
// caller's title, one GtkFileFilter per label and pattern pair of the filter
// list (tagged with its index, so that two filters of one pattern stay
// apart), the initial name, overwrite confirmation on request. The chosen
// filter is read back from the chooser, never guessed from the name.
#include <cstring>
#include <string>

#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

// One filter per label and pattern pair (patterns separated by ';', matched
// in either letter case as Windows does); the one of `selected` becomes the
// chooser's current filter.
void AddFilters(GtkFileChooser* chooser, LPCSTR list, DWORD selected) {
  if (list == nullptr) return;
  DWORD index = 1;
  for (const char* label = list; *label != '\0'; ++index) {
    const char* patterns = label + std::strlen(label) + 1;
    if (*patterns == '\0') break;
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, label);
    std::string all = patterns;
    for (size_t start = 0; start <= all.size();) {
      size_t end = all.find(';', start);
      if (end == std::string::npos) end = all.size();
      const std::string pattern = all.substr(start, end - start);
      if (!pattern.empty()) {
        gtk_file_filter_add_pattern(filter, pattern.c_str());
        gchar* upper = g_ascii_strup(pattern.c_str(), -1);
        if (pattern != upper) gtk_file_filter_add_pattern(filter, upper);
        g_free(upper);
      }
      start = end + 1;
    }
    g_object_set_data(G_OBJECT(filter), kFilterIndexKey, GUINT_TO_POINTER(index));
    gtk_file_chooser_add_filter(chooser, filter);
    if (index == selected) gtk_file_chooser_set_filter(chooser, filter);
    label = patterns + std::strlen(patterns) + 1;
  }
}

DWORD ChosenFilterIndex(GtkFileChooser* chooser, DWORD fallback) {
  GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
  if (filter == nullptr) return fallback;
  const DWORD index = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(filter), kFilterIndexKey));
  return index != 0 ? index : fallback;
}

bool HasWildcard(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return path.find_first_of("*?", slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

// The chosen path, or empty when cancelled. A name with a wildcard (the
// initial "*.jpg" accepted as it stands) is not a file: ask again.
std::string RunChooser(GtkWidget* dialog) {
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  for (;;) {
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT) return std::string();
    gchar* name = gtk_file_chooser_get_filename(chooser);
    std::string path = name != nullptr ? name : "";
    g_free(name);
    if (!path.empty() && !HasWildcard(path)) return path;
  }
}

}  // namespace

bool RunSaveAsDialog(OPENFILENAMEA* ofn) {
  GtkWindow* parent = ofn->hwndOwner != nullptr ? GtkWindowOf(ofn->hwndOwner) : nullptr;
  const char* title = ofn->lpstrTitle != nullptr ? ofn->lpstrTitle : "Save As";
  GtkWidget* dialog = gtk_file_chooser_dialog_new(title, parent, GTK_FILE_CHOOSER_ACTION_SAVE,
                                                  "_Cancel", GTK_RESPONSE_CANCEL, "_Save",
                                                  GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser,
                                                 (ofn->Flags & OFN_OVERWRITEPROMPT) != 0);
  AddFilters(chooser, ofn->lpstrFilter, ofn->nFilterIndex);
  if (ofn->lpstrInitialDir != nullptr && *ofn->lpstrInitialDir != '\0') {
    gtk_file_chooser_set_current_folder(chooser, ofn->lpstrInitialDir);
  } else {
    gchar* here = g_get_current_dir();
    gtk_file_chooser_set_current_folder(chooser, here);
    g_free(here);
  }
  if (ofn->lpstrFile[0] != '\0') gtk_file_chooser_set_current_name(chooser, ofn->lpstrFile);
  ArrangeTestAnswer(chooser);
  const std::string path = RunChooser(dialog);
  const DWORD filterIndex = ChosenFilterIndex(chooser, ofn->nFilterIndex);
  gtk_widget_destroy(dialog);
  if (path.empty()) return false;  // cancelled: CommDlgExtendedError stays 0
  return FillSaveAsResult(ofn, path, filterIndex);
}

}  // namespace platform::gtk
