// GetSaveFileNameA's dialog as a GtkFileChooserDialog in save mode: the
// caller's title, one GtkFileFilter per label and pattern pair of the filter
// list (tagged with its index, so that two filters of one pattern stay
// apart), the initial name, overwrite confirmation on request. The chosen
// filter is read back from the chooser, never guessed from the name.
#include <cstring>
#include <string>
#include <vector>

#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

struct FilterPair {
  std::string label;
  std::string patterns;  // separated by ';'
};

// The label and pattern pairs of a double-'\0'-ended filter list, in order.
std::vector<FilterPair> FilterPairs(LPCSTR list) {
  std::vector<FilterPair> pairs;
  if (list == nullptr) return pairs;
  for (const char* label = list; *label != '\0';) {
    const char* patterns = label + std::strlen(label) + 1;
    if (*patterns == '\0') break;
    pairs.push_back({label, patterns});
    label = patterns + std::strlen(patterns) + 1;
  }
  return pairs;
}

// One filter per pair (its patterns matched in either letter case, as on
// Windows), tagged with its index from 1; the one of `selected` becomes the
// chooser's current filter.
void AddFilters(GtkFileChooser* chooser, const std::vector<FilterPair>& pairs, DWORD selected) {
  for (size_t at = 0; at < pairs.size(); ++at) {
    const DWORD index = static_cast<DWORD>(at + 1);
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, pairs[at].label.c_str());
    gchar** patterns = g_strsplit(pairs[at].patterns.c_str(), ";", -1);
    for (gchar** pattern = patterns; *pattern != nullptr; ++pattern) {
      if (**pattern == '\0') continue;
      gtk_file_filter_add_pattern(filter, *pattern);
      gchar* upper = g_ascii_strup(*pattern, -1);
      if (std::strcmp(upper, *pattern) != 0) gtk_file_filter_add_pattern(filter, upper);
      g_free(upper);
    }
    g_strfreev(patterns);
    g_object_set_data(G_OBJECT(filter), kFilterIndexKey, GUINT_TO_POINTER(index));
    gtk_file_chooser_add_filter(chooser, filter);
    if (index == selected) gtk_file_chooser_set_filter(chooser, filter);
  }
}

DWORD ChosenFilterIndex(GtkFileChooser* chooser, DWORD fallback) {
  GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
  if (filter == nullptr) return fallback;
  const DWORD index = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(filter), kFilterIndexKey));
  return index != 0 ? index : fallback;
}

size_t NameStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

bool HasWildcard(const std::string& path) {
  return path.find_first_of("*?", NameStart(path)) != std::string::npos;
}

// The extension of a pattern ("*.png" gives "png"); empty for "*.*" or "*".
std::string ConcreteExtension(const std::string& pattern) {
  const size_t dot = pattern.find_last_of('.');
  std::string extension = dot == std::string::npos ? pattern : pattern.substr(dot + 1);
  return extension.find_first_of("*?") == std::string::npos ? extension : std::string();
}

// The file GetSaveFileNameA will name: a name without an extension gets the
// chosen filter's (or the default one) when the caller gives a default
// extension.
std::string PathToBeWritten(const OPENFILENAMEA* ofn, const std::vector<FilterPair>& pairs,
                            const std::string& path, DWORD filterIndex) {
  if (ofn->lpstrDefExt == nullptr || path.find('.', NameStart(path)) != std::string::npos) {
    return path;
  }
  std::string extension;
  if (filterIndex >= 1 && filterIndex <= pairs.size()) {
    const std::string& patterns = pairs[filterIndex - 1].patterns;
    extension = ConcreteExtension(patterns.substr(0, patterns.find(';')));
  }
  if (extension.empty()) extension = ConcreteExtension(ofn->lpstrDefExt);
  return extension.empty() ? path : path + "." + extension;
}

// GTK confirms the name as typed; the extension added afterwards can name
// another file that exists, which must be confirmed too.
bool ConfirmReplace(GtkWidget* chooser, const std::string& path) {
  gchar* name = g_path_get_basename(path.c_str());
  GtkWidget* dialog = gtk_message_dialog_new(
      GTK_WINDOW(chooser), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION, GTK_BUTTONS_NONE,
      "A file named \u201c%s\u201d already exists. Do you want to replace it?", name);
  g_free(name);
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "_Cancel", GTK_RESPONSE_CANCEL, "_Replace",
                         GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  const bool replace = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT;
  gtk_widget_destroy(dialog);
  return replace;
}

// The chosen path, or empty when cancelled. A name with a wildcard (the
// initial "*.jpg" accepted as it stands) is not a file: ask again.
std::string RunChooser(GtkWidget* dialog, const OPENFILENAMEA* ofn,
                       const std::vector<FilterPair>& pairs) {
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  for (;;) {
    if (gtk_dialog_run(GTK_DIALOG(dialog)) != GTK_RESPONSE_ACCEPT) return std::string();
    gchar* name = gtk_file_chooser_get_filename(chooser);
    std::string path = name != nullptr ? name : "";
    g_free(name);
    if (path.empty() || HasWildcard(path)) continue;
    const std::string written =
        PathToBeWritten(ofn, pairs, path, ChosenFilterIndex(chooser, ofn->nFilterIndex));
    if ((ofn->Flags & OFN_OVERWRITEPROMPT) != 0 && written != path &&
        g_file_test(written.c_str(), G_FILE_TEST_EXISTS) && !ConfirmReplace(dialog, written)) {
      continue;
    }
    return path;
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
  const std::vector<FilterPair> pairs = FilterPairs(ofn->lpstrFilter);
  AddFilters(chooser, pairs, ofn->nFilterIndex);
  if (ofn->lpstrInitialDir != nullptr && *ofn->lpstrInitialDir != '\0') {
    gtk_file_chooser_set_current_folder(chooser, ofn->lpstrInitialDir);
  } else {
    gchar* here = g_get_current_dir();
    gtk_file_chooser_set_current_folder(chooser, here);
    g_free(here);
  }
  if (ofn->lpstrFile[0] != '\0') gtk_file_chooser_set_current_name(chooser, ofn->lpstrFile);
  ArrangeTestAnswer(chooser);
  const std::string path = RunChooser(dialog, ofn, pairs);
  const DWORD filterIndex = ChosenFilterIndex(chooser, ofn->nFilterIndex);
  gtk_widget_destroy(dialog);
  if (path.empty()) return false;  // cancelled: CommDlgExtendedError stays 0
  return FillSaveAsResult(ofn, path, filterIndex);
}

}  // namespace platform::gtk
