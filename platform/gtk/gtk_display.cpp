// Start-up: the display the windows go to, its zoom, and the screen size the
// renderer reports.
#include <algorithm>
#include <cstdlib>

#include "platform/backend.h"
#include "platform/display_zoom.h"
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

int toolkitScale = 1;

// The font resolution the desktop set (Xft.dpi); 96 when it set none.
int DotsPerInch() {
  gint xftDpi = -1;  // dots per inch times 1024
  g_object_get(gtk_settings_get_default(), "gtk-xft-dpi", &xftDpi, nullptr);
  return xftDpi > 0 ? xftDpi / 1024 : kDotsPerInchUnzoomed;
}

RECT DeviceRect(const GdkRectangle& area, int scale) {
  return RECT{area.x * scale, area.y * scale, (area.x + area.width) * scale,
              (area.y + area.height) * scale};
}

RECT Divided(const RECT& device, int zoom) {
  return RECT{device.left / zoom, device.top / zoom, device.right / zoom, device.bottom / zoom};
}

// Chooses the zoom for the monitor and tells the renderer the screen and
// work area in logical pixels. GDK reports sizes in its own units: device
// pixels divided by the monitor's scale factor.
void ShowOnMonitor(GdkMonitor* monitor) {
  const int scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  // Where the window manager leaves room for windows (no panels or docks).
  GdkRectangle work;
  gdk_monitor_get_workarea(monitor, &work);
  const RECT screen = DeviceRect(area, scale);
  const RECT workArea = DeviceRect(work, scale);
  MonitorFacts facts;
  facts.deviceWidth = screen.right - screen.left;
  facts.deviceHeight = screen.bottom - screen.top;
  facts.workWidth = workArea.right - workArea.left;
  facts.workHeight = workArea.bottom - workArea.top;
  facts.scaleFactor = scale;
  facts.dotsPerInch = DotsPerInch();
  const int zoom = DisplayZoomFor(facts, kDesignWidth, kDesignHeight);
  toolkitScale = scale;
  SetDisplayZoom(zoom);
  // Rounded up: the backdrop covers the last device pixels too.
  SetScreenSize((facts.deviceWidth + zoom - 1) / zoom, (facts.deviceHeight + zoom - 1) / zoom);
  SetWorkArea(Divided(workArea, zoom));
}

}  // namespace

int ToolkitScale() { return toolkitScale; }

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
  if (monitor != nullptr) ShowOnMonitor(monitor);
  return true;
}

}  // namespace platform::gtk
