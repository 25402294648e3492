// The layer's top-level windows on screen: one undecorated GtkWindow each
// (decorated when the window has a caption) holding a GtkDrawingArea that
// paints the window's framebuffer, with its visible children composed over
// it, as a cairo RGB24 surface. Place, size, caption, visibility and z-order
// follow the layer's window; the window the layer makes active gets the
// keyboard focus.
#include <algorithm>
#include <cstring>
#include <map>

#include "platform/display_zoom.h"
#include "platform/gtk/gtk_internal.h"

namespace platform::gtk {
namespace {

struct ScreenWindow {
  GtkWidget* window = nullptr;
  GtkWidget* area = nullptr;
  cairo_surface_t* surface = nullptr;  // the last composed image
};

std::map<HWND, ScreenWindow>& ScreenWindows() {
  static auto* windows = new std::map<HWND, ScreenWindow>();
  return *windows;
}

HWND lastTop = nullptr;
HWND lastFocused = nullptr;

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }

HWND TopLevelOf(HWND window) {
  while (window != nullptr && (StyleOf(window) & WS_CHILD) != 0) window = GetParent(window);
  return window;
}

// An RGB24 surface of the image's size holding its pixels (bytes B, G, R, x
// as cairo keeps RGB24 on little-endian).
cairo_surface_t* SurfaceFor(ScreenWindow& shown, const WindowImage& image) {
  cairo_surface_t*& surface = shown.surface;
  if (surface != nullptr && (cairo_image_surface_get_width(surface) != image.width ||
                             cairo_image_surface_get_height(surface) != image.height)) {
    cairo_surface_destroy(surface);
    surface = nullptr;
  }
  if (surface == nullptr) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface);
      surface = nullptr;
      return nullptr;
    }
  }
  cairo_surface_flush(surface);
  uint8_t* rows = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const size_t rowBytes = static_cast<size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(rows + static_cast<ptrdiff_t>(y) * stride,
                image.pixels.data() + static_cast<size_t>(y) * rowBytes, rowBytes);
  }
  cairo_surface_mark_dirty(surface);
  // The image holds device pixels: one to one on the screen.
  cairo_surface_set_device_scale(surface, ToolkitScale(), ToolkitScale());
  return surface;
}

gboolean DrawFramebuffer(GtkWidget*, cairo_t* cr, gpointer data) {
  HWND window = static_cast<HWND>(data);
  auto at = ScreenWindows().find(window);
  if (at == ScreenWindows().end() || !IsWindow(window)) return TRUE;
  WindowImage image = ComposeWindow(window);
  if (image.width <= 0 || image.height <= 0) return TRUE;
  cairo_surface_t* surface = SurfaceFor(at->second, image);
  if (surface == nullptr) return TRUE;
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(cr, surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  return TRUE;
}

void FocusIfActive(HWND window, GtkWidget* gtkWindow) {
  if (GetActiveWindow() != window || !gtk_widget_get_mapped(gtkWindow)) return;
  if (lastFocused == window) return;
  lastFocused = window;
  gdk_window_focus(gtk_widget_get_window(gtkWindow), gtk_get_current_event_time());
}

gboolean Mapped(GtkWidget* gtkWindow, GdkEvent*, gpointer data) {
  HWND window = static_cast<HWND>(data);
  ApplyCursor(gtkWindow);
  lastFocused = nullptr;
  FocusIfActive(window, gtkWindow);
  return FALSE;
}

ScreenWindow& Create(HWND window) {
  ScreenWindow& shown = ScreenWindows()[window];
  shown.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  shown.area = gtk_drawing_area_new();
  gtk_container_add(GTK_CONTAINER(shown.window), shown.area);
  GtkWindow* gtkWindow = GTK_WINDOW(shown.window);
  gtk_window_set_resizable(gtkWindow, FALSE);
  gtk_window_set_decorated(gtkWindow, (StyleOf(window) & WS_CAPTION) == WS_CAPTION);
  if ((GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) {
    gtk_window_set_skip_taskbar_hint(gtkWindow, TRUE);
  }
  // The background of the drawing area is never seen: every draw covers it.
  gtk_widget_set_app_paintable(shown.area, TRUE);
  g_signal_connect(shown.area, "draw", G_CALLBACK(DrawFramebuffer), window);
  g_signal_connect(shown.window, "map-event", G_CALLBACK(Mapped), window);
  ConnectInput(window, shown.window, shown.area);
  gtk_widget_show(shown.area);
  gtk_widget_realize(shown.window);
  return shown;
}

// Stacks the GTK windows as the layer stacks its windows: each directly
// below the one in front of it.
void Restack() {
  GdkWindow* above = nullptr;
  bool first = true;
  for (HWND window : TopLevelWindowsInZOrder()) {
    auto at = ScreenWindows().find(window);
    if (at == ScreenWindows().end()) continue;
    GdkWindow* gdkWindow = gtk_widget_get_window(at->second.window);
    if (gdkWindow == nullptr) continue;
    if (first) {
      if (lastTop != window) gdk_window_raise(gdkWindow);
      lastTop = window;
      first = false;
    } else {
      gdk_window_restack(gdkWindow, above, FALSE);
    }
    above = gdkWindow;
  }
}

void PlaceAndSize(HWND window, ScreenWindow& shown) {
  RECT client = {};
  GetClientRect(window, &client);
  const int width = std::max<int>(1, client.right - client.left);
  const int height = std::max<int>(1, client.bottom - client.top);
  POINT origin = {0, 0};
  const bool decorated = gtk_window_get_decorated(GTK_WINDOW(shown.window));
  if (decorated) {
    RECT frame = {};
    GetWindowRect(window, &frame);
    origin = {frame.left, frame.top};
  } else {
    ClientToScreen(window, &origin);
  }
  // The layer's pixels are logical; GDK's units are device pixels divided by
  // the monitor's scale factor.
  const int scale = ToolkitScale();
  const int zoom = DisplayZoom();
  const int shownWidth = ToolkitLength(width, scale, zoom);
  const int shownHeight = ToolkitLength(height, scale, zoom);
  gtk_widget_set_size_request(shown.area, shownWidth, shownHeight);
  gtk_window_resize(GTK_WINDOW(shown.window), shownWidth, shownHeight);
  gtk_window_move(GTK_WINDOW(shown.window), origin.x * zoom / scale, origin.y * zoom / scale);
}

}  // namespace

void SyncWindow(HWND window) {
  if (!IsWindow(window)) return;
  HWND top = TopLevelOf(window);
  if (top != window) {
    RedrawWindow(top);
    return;
  }
  auto at = ScreenWindows().find(window);
  ScreenWindow& shown = at != ScreenWindows().end() ? at->second : Create(window);
  GtkWindow* gtkWindow = GTK_WINDOW(shown.window);
  char caption[256] = "";
  GetWindowTextA(window, caption, sizeof caption);
  gtk_window_set_title(gtkWindow, caption);
  PlaceAndSize(window, shown);
  // A disabled window (the backdrop) never takes the keyboard.
  const bool enabled = IsWindowEnabled(window) != FALSE;
  gtk_window_set_accept_focus(gtkWindow, enabled);
  gtk_window_set_focus_on_map(gtkWindow, enabled);
  if (IsWindowVisible(window)) {
    if (!gtk_widget_get_visible(shown.window)) gtk_widget_show(shown.window);
  } else if (gtk_widget_get_visible(shown.window)) {
    gtk_widget_hide(shown.window);
  }
  Restack();
  FocusIfActive(window, shown.window);
  gtk_widget_queue_draw(shown.area);
}

void ForgetWindow(HWND window) {
  auto at = ScreenWindows().find(window);
  if (at == ScreenWindows().end()) {
    // A child going away uncovers its parent.
    HWND top = TopLevelOf(window);
    if (top != nullptr && top != window) RedrawWindow(top);
    return;
  }
  if (at->second.surface != nullptr) cairo_surface_destroy(at->second.surface);
  gtk_widget_destroy(at->second.window);
  ScreenWindows().erase(at);
  if (lastTop == window) lastTop = nullptr;
  if (lastFocused == window) lastFocused = nullptr;
}

void RedrawWindow(HWND window) {
  auto at = ScreenWindows().find(TopLevelOf(window));
  if (at != ScreenWindows().end()) gtk_widget_queue_draw(at->second.area);
}

GtkWindow* GtkWindowOf(HWND window) {
  auto at = ScreenWindows().find(TopLevelOf(window));
  return at != ScreenWindows().end() ? GTK_WINDOW(at->second.window) : nullptr;
}

void ForEachGtkWindow(const std::function<void(GtkWidget*)>& visit) {
  for (auto& entry : ScreenWindows()) visit(entry.second.window);
}

}  // namespace platform::gtk
