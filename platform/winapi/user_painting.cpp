// Painting: the update region (kept as its bounding box), BeginPaint and
// EndPaint over the window's framebuffer, and a window composed with its
// controls as a user sees it.
#include <cstring>

#include "platform/winapi/user_internal.h"

namespace platform::user {

void FillClient(Window* w, const RECT& area, COLORREF color) {
  platform::PixelView view = platform::BitmapPixels(w->framebuffer);
  if (view.pixels == nullptr) return;
  RECT bounds = {0, 0, view.width, view.height};
  const RECT device = {area.left * view.zoom, area.top * view.zoom, area.right * view.zoom,
                       area.bottom * view.zoom};
  RECT fill;
  if (!IntersectRect(&fill, &device, &bounds)) return;
  for (int y = fill.top; y < fill.bottom; ++y) {
    uint8_t* p = view.Row(y) + fill.left * 4;
    for (int x = fill.left; x < fill.right; ++x, p += 4) {
      p[0] = GetBValue(color);
      p[1] = GetGValue(color);
      p[2] = GetRValue(color);
      p[3] = 0;
    }
  }
}

HBITMAP LookupFramebuffer(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr ? w->framebuffer : nullptr;
}

}  // namespace platform::user

using namespace platform::user;

namespace platform {

HBITMAP WindowFramebuffer(HWND window) { return LookupFramebuffer(window); }

WindowImage ComposeWindow(HWND window) {
  WindowImage image;
  Window* w = FromHandle(window);
  if (w == nullptr) return image;
  PixelView view = BitmapPixels(w->framebuffer);
  if (view.pixels == nullptr) return image;
  image.width = view.width;
  image.height = view.height;
  image.pixels.resize(static_cast<size_t>(view.width) * view.height * 4);
  for (int y = 0; y < view.height; ++y) {
    std::memcpy(&image.pixels[static_cast<size_t>(y) * view.width * 4], view.Row(y),
                static_cast<size_t>(view.width) * 4);
  }
  // The first child is the top of its siblings' z-order: compose it last.
  for (auto c = w->children.rbegin(); c != w->children.rend(); ++c) {
    Window* child = *c;
    if ((child->style & WS_VISIBLE) == 0) continue;
    WindowImage part = ComposeWindow(ToHandle(child));
    // Child rectangles are logical; the images hold device pixels.
    const int childLeft = child->rect.left * view.zoom;
    const int childTop = child->rect.top * view.zoom;
    for (int y = 0; y < part.height; ++y) {
      int ty = childTop + y;
      if (ty < 0 || ty >= image.height) continue;
      for (int x = 0; x < part.width; ++x) {
        int tx = childLeft + x;
        if (tx < 0 || tx >= image.width) continue;
        std::memcpy(&image.pixels[(static_cast<size_t>(ty) * image.width + tx) * 4],
                    &part.pixels[(static_cast<size_t>(y) * part.width + x) * 4], 4);
      }
    }
  }
  return image;
}

}  // namespace platform

// --- Painting -----------------------------------------------------------------------------

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  RECT client = ClientRectOf(w);
  RECT area = client;
  if (rect != nullptr && !IntersectRect(&area, rect, &client)) return TRUE;
  if (w->hasUpdate) {
    UnionRect(&w->update, &w->update, &area);
  } else {
    w->update = area;
    w->hasUpdate = !IsRectEmpty(&area);
  }
  w->updateErase = w->updateErase || erase;
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  RECT covered;
  // The update region is kept as its bounding box: a rectangle validates it
  // only when it covers the whole box.
  if (rect == nullptr || (UnionRect(&covered, rect, &w->update) && EqualRect(&covered, rect))) {
    w->hasUpdate = false;
    w->updateErase = false;
    SetRectEmpty(&w->update);
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  if (rect != nullptr) {
    if (w->hasUpdate) {
      *rect = w->update;
    } else {
      SetRectEmpty(rect);
    }
  }
  return w->hasUpdate ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  if (w->hasUpdate && IsWindowVisible(window)) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  Window* w = FromHandle(window);
  if (w == nullptr || paint == nullptr) return nullptr;
  std::memset(paint, 0, sizeof *paint);
  if (w->hasUpdate) paint->rcPaint = w->update;
  paint->hdc = platform::CreateWindowDC(w->framebuffer, &paint->rcPaint);
  bool erase = w->updateErase;
  w->updateErase = false;
  if (erase && paint->hdc != nullptr) {
    // fErase tells the paint handler that the background was left for it.
    paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  }
  w->hasUpdate = false;
  SetRectEmpty(&w->update);
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  // The paint DC came from CreateWindowDC, not GetDC: it is deleted.
  if (paint->hdc != nullptr) DeleteDC(paint->hdc);
  if (FromHandle(window) != nullptr) {
    platform::TheUserBackend().WindowPainted(window, paint->rcPaint);
  }
  return TRUE;
}
