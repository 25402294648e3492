// WaitForInput: the GTK main loop runs (drawing, answering other programs'
// clipboard requests, turning events into messages) until input has been
// delivered or the next timer is due.
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

bool inputDelivered = false;
bool waiting = false;

gboolean EndWait(gpointer timedOut) {
  *static_cast<bool*>(timedOut) = true;
  return G_SOURCE_REMOVE;
}

}  // namespace

void NoteInputDelivered() { inputDelivered = true; }
bool WaitingForInput() { return waiting; }

void WaitForInputOrTimeout(DWORD timeoutMs) {
  inputDelivered = false;
  waiting = true;
  bool timedOut = false;
  guint timeout = 0;
  if (timeoutMs == 0) {
    // A timer is due: handle what is already waiting, without blocking.
    while (!inputDelivered && g_main_context_iteration(nullptr, FALSE)) {
    }
    waiting = false;
    return;
  }
  if (timeoutMs != INFINITE_WAIT) timeout = g_timeout_add(timeoutMs, EndWait, &timedOut);
  while (!inputDelivered && !timedOut) g_main_context_iteration(nullptr, TRUE);
  if (timeout != 0 && !timedOut) g_source_remove(timeout);
  waiting = false;
}

}  // namespace platform::gtk
