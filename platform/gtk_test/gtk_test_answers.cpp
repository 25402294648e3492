// A test's answer to the Save As chooser, linked only into the desktop tests'
// build of the program (tessary-desktop-test). With TESSARY_TEST_SAVE_AS set to
// "INDEX:PATH", the chooser, once on screen, selects the filter tagged INDEX,
// goes to PATH's folder, types PATH's name and is accepted, as a user would
// do it (pressing Save); what the dialog returns is then read from the
// chooser as always. "INDEX:" alone selects the filter and accepts the
// folder and name the chooser offers. Answers separated by ';' are taken by
// the choosers in turn, the last one by every later chooser.
#include <cstdlib>
#include <string>

#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

// A busy machine may map the chooser late or still be reading the folder
// when Save is pressed: press it again until the chooser is gone.
constexpr guint kPressIntervalMs = 300;

struct TestAnswer {
  GtkFileChooser* chooser;
  guint filterIndex;
  std::string folder;  // both empty: as the chooser offers them
  std::string name;
  guint presses = 0;  // the timeout source pressing Save
  bool filled = false;
};

void SelectFilter(GtkFileChooser* chooser, guint index) {
  GSList* filters = gtk_file_chooser_list_filters(chooser);
  for (GSList* at = filters; at != nullptr; at = at->next) {
    GObject* filter = G_OBJECT(at->data);
    if (GPOINTER_TO_UINT(g_object_get_data(filter, kFilterIndexKey)) == index) {
      gtk_file_chooser_set_filter(chooser, GTK_FILE_FILTER(filter));
    }
  }
  g_slist_free(filters);
}

gboolean PressSave(gpointer data) {
  auto* answer = static_cast<TestAnswer*>(data);
  // A question over the chooser (replace a file?) is the user's to answer.
  GtkWidget* grab = gtk_grab_get_current();
  if (grab != nullptr && gtk_widget_get_toplevel(grab) != GTK_WIDGET(answer->chooser)) {
    return G_SOURCE_CONTINUE;
  }
  if (!answer->filled) {
    SelectFilter(answer->chooser, answer->filterIndex);
    if (!answer->name.empty()) {
      gtk_file_chooser_set_current_folder(answer->chooser, answer->folder.c_str());
      gtk_file_chooser_set_current_name(answer->chooser, answer->name.c_str());
    }
    answer->filled = true;
  }
  GtkWidget* save = gtk_dialog_get_widget_for_response(GTK_DIALOG(answer->chooser), GTK_RESPONSE_ACCEPT);
  if (save != nullptr) gtk_button_clicked(GTK_BUTTON(save));
  return G_SOURCE_CONTINUE;
}

void Mapped(GtkWidget*, gpointer data) {
  auto* answer = static_cast<TestAnswer*>(data);
  if (answer->presses == 0) answer->presses = g_timeout_add(kPressIntervalMs, PressSave, answer);
}

void Destroyed(GtkWidget*, gpointer data) {
  auto* answer = static_cast<TestAnswer*>(data);
  if (answer->presses != 0) g_source_remove(answer->presses);
  delete answer;
}

void ArrangeTestAnswer(GtkFileChooser* chooser) {
  static size_t choosersShown = 0;
  const char* request = std::getenv("TESSARY_TEST_SAVE_AS");
  if (request == nullptr) return;
  const std::string answers = request;
  size_t start = 0;
  for (size_t turn = 0; turn < choosersShown && answers.find(';', start) != std::string::npos; ++turn)
    start = answers.find(';', start) + 1;
  ++choosersShown;
  const std::string text = answers.substr(start, answers.find(';', start) - start);
  const size_t colon = text.find(':');
  const size_t slash = text.find_last_of('/');
  if (colon == std::string::npos) return;
  const bool offered = colon + 1 == text.size();
  if (!offered && (slash == std::string::npos || slash < colon)) return;
  auto* answer = new TestAnswer{chooser, static_cast<guint>(std::atoi(text.substr(0, colon).c_str())),
                                offered ? "" : text.substr(colon + 1, slash - colon - 1),
                                offered ? "" : text.substr(slash + 1)};
  if (!offered && answer->folder.empty()) answer->folder = "/";
  g_signal_connect(chooser, "map", G_CALLBACK(Mapped), answer);
  g_signal_connect(chooser, "destroy", G_CALLBACK(Destroyed), answer);
}

const bool kHookSet = (SetChooserHook(ArrangeTestAnswer), true);

}  // namespace
}  // namespace platform::gtk
