// GetSaveFileNameA's dialog as a GtkFileChooserDialog in save mode: the
// caller's title, one GtkFileFilter per label and pattern pair of the filter
// list (tagged with its index, so that two filters of one pattern stay
// apart), the initial name, overwrite confirmation on request. The chosen
// filter is read back from the chooser, never guessed from the name.
//
// A GTK chooser's name field holds a name, never a pattern: where the caller's
// initial name is one ("*.jpg"), the chooser proposes the caller's name for
// what is saved with the chosen filter's extension, and a change of filter
// changes that extension. With no initial folder it opens where the user
// saved last in this run, at first in the Pictures folder: the working folder
// of a program started from a disc is the disc.
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

// The folder of the file chosen last in this run; empty before the first.
std::string& LastChosenFolder() {
  static std::string folder;
  return folder;
}

std::string OpeningFolder(const OPENFILENAMEA* ofn) {
  if (ofn->lpstrInitialDir != nullptr && *ofn->lpstrInitialDir != '\0') return ofn->lpstrInitialDir;
  const std::string& last = LastChosenFolder();
  if (!last.empty() && g_file_test(last.c_str(), G_FILE_TEST_IS_DIR)) return last;
  const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  if (pictures != nullptr && g_file_test(pictures, G_FILE_TEST_IS_DIR)) return pictures;
  return g_get_home_dir();
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

// The extension of a filter's first pattern; empty for "*.*".
std::string FilterExtension(const std::vector<FilterPair>& pairs, DWORD index) {
  if (index < 1 || index > pairs.size()) return std::string();
  const std::string& patterns = pairs[index - 1].patterns;
  return ConcreteExtension(patterns.substr(0, patterns.find(';')));
}

// What the name field proposes and keeps in step with the filter.
struct Proposal {
  std::string stem;  // UTF-8, as the name field holds it
  std::vector<FilterPair> pairs;
};

std::string ProposedName(const Proposal& proposal, DWORD filterIndex) {
  const std::string extension = FilterExtension(proposal.pairs, filterIndex);
  return extension.empty() ? proposal.stem : proposal.stem + "." + extension;
}

// A name that ends in one filter's extension takes the newly chosen filter's
// instead; any other name is the user's own and stays.
void FilterChanged(GObject* object, GParamSpec*, gpointer data) {
  const auto* proposal = static_cast<const Proposal*>(data);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(object);
  GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
  if (filter == nullptr) return;
  const DWORD index = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(filter), kFilterIndexKey));
  const std::string wanted = FilterExtension(proposal->pairs, index);
  gchar* current = gtk_file_chooser_get_current_name(chooser);
  const std::string name = current != nullptr ? current : "";
  g_free(current);
  const size_t dot = name.find_last_of('.');
  if (wanted.empty() || dot == std::string::npos || dot == 0) return;
  const std::string extension = name.substr(dot + 1);
  for (DWORD at = 1; at <= proposal->pairs.size(); ++at) {
    if (g_ascii_strcasecmp(extension.c_str(), FilterExtension(proposal->pairs, at).c_str()) == 0) {
      gtk_file_chooser_set_current_name(chooser, (name.substr(0, dot + 1) + wanted).c_str());
      return;
    }
  }
}

// The initial name field: the caller's name where it is one, else the
// proposal with the selected filter's extension, kept in step with the filter.
void FillName(GtkFileChooser* chooser, const OPENFILENAMEA* ofn, Proposal* proposal) {
  const std::string initial = ofn->lpstrFile;
  if (!initial.empty() && !HasWildcard(initial)) {
    gtk_file_chooser_set_current_name(chooser, initial.c_str());
    return;
  }
  if (proposal->stem.empty()) return;
  gtk_file_chooser_set_current_name(chooser, ProposedName(*proposal, ofn->nFilterIndex).c_str());
  g_signal_connect(chooser, "notify::filter", G_CALLBACK(FilterChanged), proposal);
}

// The file GetSaveFileNameA will name: a name without an extension gets the
// chosen filter's (or the default one) when the caller gives a default
// extension.
std::string PathToBeWritten(const OPENFILENAMEA* ofn, const std::vector<FilterPair>& pairs,
                            const std::string& path, DWORD filterIndex) {
  if (ofn->lpstrDefExt == nullptr || path.find('.', NameStart(path)) != std::string::npos) {
    return path;
  }
  std::string extension = FilterExtension(pairs, filterIndex);
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

ChooserHook& ChooserHookSlot() {
  static ChooserHook hook = nullptr;
  return hook;
}

}  // namespace

void SetChooserHook(ChooserHook hook) { ChooserHookSlot() = hook; }

bool RunSaveAsDialog(OPENFILENAMEA* ofn, const std::string& proposedName) {
  GtkWindow* parent = ofn->hwndOwner != nullptr ? GtkWindowOf(ofn->hwndOwner) : nullptr;
  const char* title = ofn->lpstrTitle != nullptr ? ofn->lpstrTitle : "Save As";
  GtkWidget* dialog = gtk_file_chooser_dialog_new(title, parent, GTK_FILE_CHOOSER_ACTION_SAVE,
                                                  "_Cancel", GTK_RESPONSE_CANCEL, "_Save",
                                                  GTK_RESPONSE_ACCEPT, nullptr);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_file_chooser_set_do_overwrite_confirmation(chooser,
                                                 (ofn->Flags & OFN_OVERWRITEPROMPT) != 0);
  gchar* stem = g_filename_display_name(proposedName.c_str());
  Proposal proposal{stem, FilterPairs(ofn->lpstrFilter)};
  g_free(stem);
  const std::vector<FilterPair>& pairs = proposal.pairs;
  AddFilters(chooser, pairs, ofn->nFilterIndex);
  gtk_file_chooser_set_current_folder(chooser, OpeningFolder(ofn).c_str());
  FillName(chooser, ofn, &proposal);
  if (ChooserHookSlot() != nullptr) ChooserHookSlot()(chooser);
  const std::string path = RunChooser(dialog, ofn, pairs);
  const DWORD filterIndex = ChosenFilterIndex(chooser, ofn->nFilterIndex);
  gtk_widget_destroy(dialog);
  if (path.empty()) return false;  // cancelled: CommDlgExtendedError stays 0
  gchar* folder = g_path_get_dirname(path.c_str());
  LastChosenFolder() = folder;
  g_free(folder);
  return FillSaveAsResult(ofn, path, filterIndex);
}

}  // namespace platform::gtk
