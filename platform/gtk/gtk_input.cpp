// Pointer and key events of the GTK windows as the layer's messages. Points
// are taken relative to the drawing area, mapped from device pixels to the
// zoomed display's logical pixels, and turned into the layer's screen
// coordinates through the window's own client origin, so input lands where
// the user sees it even when a window manager placed the window elsewhere.
// GTK reports a double click as press, release, press, 2button-press; the
// messages are WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP,
// so the second press itself becomes the double click.
#include <cmath>
#include <cstdlib>

#include "platform/display_zoom.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/backend.h"

namespace platform::gtk {
namespace {

constexpr int kWheelDelta = 120;

struct LastPress {
  guint button = 0;
  guint32 time = 0;
  double x = 0;
  double y = 0;
  bool wasDoubleClick = false;
};
LastPress lastPress;

// GDK reports device pixels divided by the monitor's scale factor; the
// layer's points are logical pixels of the zoomed display.
POINT ScreenPointOf(HWND window, double x, double y) {
  const int scale = ToolkitScale();
  const int zoom = DisplayZoom();
  POINT point = {LogicalCoordinate(x, scale, zoom), LogicalCoordinate(y, scale, zoom)};
  ClientToScreen(window, &point);
  return point;
}

// The modifier keys of an event, as the key state GetKeyState answers.
void NoteModifiers(guint state) {
  SetKeyDown(VK_CONTROL, (state & GDK_CONTROL_MASK) != 0);
  SetKeyDown(VK_SHIFT, (state & GDK_SHIFT_MASK) != 0);
}

WPARAM KeyStateOf(guint state) {
  WPARAM keys = 0;
  if ((state & GDK_BUTTON1_MASK) != 0) keys |= MK_LBUTTON;
  if ((state & GDK_BUTTON3_MASK) != 0) keys |= MK_RBUTTON;
  if ((state & GDK_SHIFT_MASK) != 0) keys |= MK_SHIFT;
  if ((state & GDK_CONTROL_MASK) != 0) keys |= MK_CONTROL;
  return keys;
}

void Deliver(HWND window, UINT message, double x, double y, WPARAM keys) {
  if (!IsWindow(window)) return;
  DeliverPointer(message, ScreenPointOf(window, x, y), keys);
  NoteInputDelivered();
}

bool IsDoubleClick(GtkWidget* widget, const GdkEventButton* event) {
  gint doubleClickTime = 400;
  gint doubleClickDistance = 5;
  g_object_get(gtk_widget_get_settings(widget), "gtk-double-click-time", &doubleClickTime,
               "gtk-double-click-distance", &doubleClickDistance, nullptr);
  const bool isDouble = !lastPress.wasDoubleClick && lastPress.button == event->button &&
                        event->time - lastPress.time <= static_cast<guint32>(doubleClickTime) &&
                        std::fabs(event->x - lastPress.x) <= doubleClickDistance &&
                        std::fabs(event->y - lastPress.y) <= doubleClickDistance;
  lastPress = {event->button, event->time, event->x, event->y, isDouble};
  return isDouble;
}

gboolean ButtonPressed(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  // GTK's own double and triple presses follow a press already delivered.
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  HWND window = static_cast<HWND>(data);
  NoteModifiers(event->state);
  const bool isDouble = IsDoubleClick(widget, event);
  if (event->button == GDK_BUTTON_PRIMARY) {
    Deliver(window, isDouble ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, event->x, event->y,
            KeyStateOf(event->state) | MK_LBUTTON);
  } else if (event->button == GDK_BUTTON_SECONDARY) {
    Deliver(window, WM_RBUTTONDOWN, event->x, event->y, KeyStateOf(event->state) | MK_RBUTTON);
  }
  return TRUE;
}

gboolean ButtonReleased(GtkWidget*, GdkEventButton* event, gpointer data) {
  HWND window = static_cast<HWND>(data);
  NoteModifiers(event->state);
  if (event->button == GDK_BUTTON_PRIMARY) {
    Deliver(window, WM_LBUTTONUP, event->x, event->y, KeyStateOf(event->state) & ~MK_LBUTTON);
  } else if (event->button == GDK_BUTTON_SECONDARY) {
    Deliver(window, WM_RBUTTONUP, event->x, event->y, KeyStateOf(event->state) & ~MK_RBUTTON);
  }
  return TRUE;
}

gboolean PointerMoved(GtkWidget*, GdkEventMotion* event, gpointer data) {
  Deliver(static_cast<HWND>(data), WM_MOUSEMOVE, event->x, event->y, KeyStateOf(event->state));
  return TRUE;
}

// The wheel scrolls the window under the pointer (the album list).
gboolean WheelTurned(GtkWidget*, GdkEventScroll* event, gpointer data) {
  int delta = 0;
  if (event->direction == GDK_SCROLL_UP) delta = kWheelDelta;
  if (event->direction == GDK_SCROLL_DOWN) delta = -kWheelDelta;
  if (delta == 0) return FALSE;
  const WPARAM wParam = MAKEWPARAM(KeyStateOf(event->state), static_cast<WORD>(delta));
  Deliver(static_cast<HWND>(data), WM_MOUSEWHEEL, event->x, event->y, wParam);
  return TRUE;
}

gboolean KeyChanged(GtkWidget*, GdkEventKey* event, gpointer) {
  const UINT key = VirtualKeyOf(event->keyval);
  if (key == 0) return FALSE;
  const bool down = event->type == GDK_KEY_PRESS;
  NoteModifiers(event->state);
  // The event's modifier state is the one before this key changed.
  SetKeyDown(key, down);
  DeliverKey(down ? WM_KEYDOWN : WM_KEYUP, key);
  NoteInputDelivered();
  return TRUE;
}

// A window manager gave a window the keyboard (the user came back to the
// program): the layer activates it, as Windows does, so that the viewer
// puts its backdrop directly below itself again. Only while the program
// waits for input and no GTK dialog is up.
gboolean FocusGained(GtkWidget*, GdkEvent*, gpointer data) {
  HWND window = static_cast<HWND>(data);
  if (!IsWindow(window) || !IsWindowEnabled(window) || GetActiveWindow() == window) return FALSE;
  if (!WaitingForInput() || gtk_grab_get_current() != nullptr) return FALSE;
  SetActiveWindow(window);
  NoteInputDelivered();
  return FALSE;
}

gboolean FocusLost(GtkWidget*, GdkEvent*, gpointer) {
  ReleaseAllKeys();
  return FALSE;
}

// A window manager's close button asks the window to close, as Alt+F4 does.
gboolean CloseRequested(GtkWidget*, GdkEvent*, gpointer data) {
  HWND window = static_cast<HWND>(data);
  if (IsWindow(window)) PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  NoteInputDelivered();
  return TRUE;
}

}  // namespace

void ConnectInput(HWND window, GtkWidget* gtkWindow, GtkWidget* drawingArea) {
  gtk_widget_add_events(drawingArea, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                         GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK);
  g_signal_connect(drawingArea, "button-press-event", G_CALLBACK(ButtonPressed), window);
  g_signal_connect(drawingArea, "button-release-event", G_CALLBACK(ButtonReleased), window);
  g_signal_connect(drawingArea, "motion-notify-event", G_CALLBACK(PointerMoved), window);
  g_signal_connect(drawingArea, "scroll-event", G_CALLBACK(WheelTurned), window);
  g_signal_connect(gtkWindow, "key-press-event", G_CALLBACK(KeyChanged), window);
  g_signal_connect(gtkWindow, "key-release-event", G_CALLBACK(KeyChanged), window);
  g_signal_connect(gtkWindow, "focus-in-event", G_CALLBACK(FocusGained), window);
  g_signal_connect(gtkWindow, "focus-out-event", G_CALLBACK(FocusLost), window);
  g_signal_connect(gtkWindow, "delete-event", G_CALLBACK(CloseRequested), window);
}

}  // namespace platform::gtk
