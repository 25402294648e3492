// A test's answer to the Save As chooser. With TESSARY_TEST_SAVE_AS set to
// "INDEX:PATH", the chooser, once on screen, selects the filter tagged INDEX,
// goes to PATH's folder, types PATH's name and is accepted, as a user would
// do it; what the dialog returns is then read from the chooser as always.
#include <cstdlib>
#include <string>

#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

constexpr guint kAnswerDelayMs = 300;

struct TestAnswer {
  GtkFileChooser* chooser;
  guint filterIndex;
  std::string folder;
  std::string name;
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

gboolean Answer(gpointer data) {
  auto* answer = static_cast<TestAnswer*>(data);
  SelectFilter(answer->chooser, answer->filterIndex);
  gtk_file_chooser_set_current_folder(answer->chooser, answer->folder.c_str());
  gtk_file_chooser_set_current_name(answer->chooser, answer->name.c_str());
  gtk_dialog_response(GTK_DIALOG(answer->chooser), GTK_RESPONSE_ACCEPT);
  return G_SOURCE_REMOVE;
}

void FreeAnswer(gpointer data) { delete static_cast<TestAnswer*>(data); }

}  // namespace

void ArrangeTestAnswer(GtkFileChooser* chooser) {
  const char* request = std::getenv("TESSARY_TEST_SAVE_AS");
  if (request == nullptr) return;
  const std::string text = request;
  const size_t colon = text.find(':');
  const size_t slash = text.find_last_of('/');
  if (colon == std::string::npos || slash == std::string::npos || slash < colon) return;
  auto* answer = new TestAnswer{chooser, static_cast<guint>(std::atoi(text.substr(0, colon).c_str())),
                                text.substr(colon + 1, slash - colon - 1), text.substr(slash + 1)};
  if (answer->folder.empty()) answer->folder = "/";
  g_timeout_add_full(G_PRIORITY_DEFAULT, kAnswerDelayMs, Answer, answer, FreeAnswer);
}

}  // namespace platform::gtk
