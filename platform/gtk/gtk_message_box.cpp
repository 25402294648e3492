// MessageBoxA as a modal GtkMessageDialog: the caption as its title, the
// text as its message, the type's buttons answering their IDOK, IDYES ...
#include <vector>

#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

struct Button {
  const char* label;
  int id;
};

std::vector<Button> ButtonsOf(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{"_OK", IDOK}, {"_Cancel", IDCANCEL}};
    case MB_ABORTRETRYIGNORE: return {{"_Abort", IDABORT}, {"_Retry", IDRETRY}, {"_Ignore", IDIGNORE}};
    case MB_YESNOCANCEL: return {{"_Yes", IDYES}, {"_No", IDNO}, {"_Cancel", IDCANCEL}};
    case MB_YESNO: return {{"_Yes", IDYES}, {"_No", IDNO}};
    case MB_RETRYCANCEL: return {{"_Retry", IDRETRY}, {"_Cancel", IDCANCEL}};
    default: return {{"_OK", IDOK}};
  }
}

GtkMessageType MessageTypeOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION: return GTK_MESSAGE_QUESTION;
    case MB_ICONEXCLAMATION: return GTK_MESSAGE_WARNING;
    case MB_ICONINFORMATION: return GTK_MESSAGE_INFO;
    default: return GTK_MESSAGE_OTHER;
  }
}

// What closing the box without a button answers: Cancel where there is one,
// OK for a box with OK alone; 0 when the box must be answered by a button.
int AnswerWhenClosed(const std::vector<Button>& buttons) {
  for (const Button& button : buttons) {
    if (button.id == IDCANCEL) return IDCANCEL;
  }
  return buttons.size() == 1 ? buttons.front().id : 0;
}

}  // namespace

int RunMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
  GtkWindow* parent = owner != nullptr ? GtkWindowOf(owner) : nullptr;
  GtkWidget* dialog = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, MessageTypeOf(type),
                                             GTK_BUTTONS_NONE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), caption.c_str());
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
  gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
  const std::vector<Button> buttons = ButtonsOf(type);
  for (const Button& button : buttons) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), button.label, button.id);
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), buttons.front().id);
  int answer = 0;
  while (answer == 0) {
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    answer = response > 0 ? response : AnswerWhenClosed(buttons);
  }
  gtk_widget_destroy(dialog);
  return answer;
}

}  // namespace platform::gtk
