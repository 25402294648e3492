// The wait cursor: the system's busy cursor (GDK_WATCH) on every window
// while the program is busy, the windows' own cursor otherwise. Flushed at
// once, since a busy program does not return to the main loop to send it.
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

bool busy = false;

GdkCursor* BusyCursor() {
  static GdkCursor* cursor = gdk_cursor_new_for_display(gdk_display_get_default(), GDK_WATCH);
  return cursor;
}

}  // namespace

void ApplyCursor(GtkWidget* gtkWindow) {
  GdkWindow* window = gtk_widget_get_window(gtkWindow);
  if (window != nullptr) gdk_window_set_cursor(window, busy ? BusyCursor() : nullptr);
}

void SetBusyCursor(bool nowBusy) {
  if (nowBusy == busy) return;
  busy = nowBusy;
  ForEachGtkWindow(ApplyCursor);
  gdk_display_flush(gdk_display_get_default());
}

}  // namespace platform::gtk
