// Start-up: the display the windows go to and the screen size the renderer reports.
#include <cstdlib>

#include "platform/backend.h"
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool OpenDisplay(int argc, char** argv, std::string* reason) {
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
    *reason = "neither DISPLAY nor WAYLAND_DISPLAY is set";
    return false;
  }
  // Window placement and stacking need X11; a Wayland session runs the
  // program through XWayland.
  gdk_set_allowed_backends("x11");
  if (!gtk_init_check(&argc, &argv)) {
    const char* display = std::getenv("DISPLAY");
    *reason = std::string("cannot open X display '") + (display != nullptr ? display : "") + "'";
    return false;
  }
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor != nullptr) {
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    SetScreenSize(area.width, area.height);
    // Where the window manager leaves room for windows (no panels or docks).
    GdkRectangle work;
    gdk_monitor_get_workarea(monitor, &work);
    SetWorkArea(RECT{work.x, work.y, work.x + work.width, work.y + work.height});
  }
  return true;
}

}  // namespace platform::gtk
