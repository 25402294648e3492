// Solid brushes, FillRect, and icons with DrawIcon (alpha-blended).
#include <algorithm>

#include "platform/winapi/gdi_objects.h"

using namespace platform;
using namespace platform::gdi;

namespace {

LONG Clamped(int64_t device) {
  return static_cast<LONG>(std::clamp<int64_t>(device, INT32_MIN, INT32_MAX));
}

// The visible part, in device pixels, of a logical rectangle.
bool VisibleRect(const Target& target, LONG left, LONG top, LONG right, LONG bottom, RECT* out) {
  const RECT device = {Clamped(target.DeviceX(left)), Clamped(target.DeviceY(top)),
                       Clamped(target.DeviceX(right)), Clamped(target.DeviceY(bottom))};
  return Intersect(device, target.clip, out);
}

uint8_t Blend(uint8_t under, uint8_t over, unsigned alpha) {
  return static_cast<uint8_t>((over * alpha + under * (255 - alpha) + 127) / 255);
}

}  // namespace

namespace platform {

HICON CreateIconFromPixels(int width, int height, const uint8_t* bgra) {
  if (width <= 0 || height <= 0 || width > 256 || height > 256 || bgra == nullptr) {
    return nullptr;
  }
  Icon* icon = new Icon;
  icon->width = width;
  icon->height = height;
  icon->bgra.assign(bgra, bgra + static_cast<size_t>(width) * height * 4);
  Register(icon);
  return reinterpret_cast<HICON>(static_cast<Object*>(icon));
}

void DestroyIconObject(HICON handle) {
  Icon* icon = FindAs<Icon>(handle, Kind::kIcon);
  if (icon != nullptr) Destroy(icon);
}

SIZE IconSize(HICON handle) {
  Icon* icon = FindAs<Icon>(handle, Kind::kIcon);
  return icon != nullptr ? SIZE{icon->width, icon->height} : SIZE{0, 0};
}

}  // namespace platform

HBRUSH CreateSolidBrush(COLORREF color) {
  Brush* brush = new Brush;
  brush->color = color & 0x00FFFFFF;
  Register(brush);
  return HandleOf(brush);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brushHandle) {
  Dc* object = FindDc(dc);
  Brush* brush = FindAs<Brush>(brushHandle, Kind::kBrush);
  Target target;
  if (object == nullptr || brush == nullptr || rect == nullptr || !GetTarget(object, &target)) {
    return 0;
  }
  RECT visible;
  // The right and bottom edges are not filled.
  if (!VisibleRect(target, rect->left, rect->top, rect->right, rect->bottom, &visible)) return 1;
  const uint32_t pixel = PixelOf(brush->color);
  for (LONG y = visible.top; y < visible.bottom; ++y) {
    uint32_t* row = target.Row(y);
    std::fill(row + visible.left, row + visible.right, pixel);
  }
  return 1;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON handle) {
  Dc* object = FindDc(dc);
  Icon* icon = FindAs<Icon>(handle, Kind::kIcon);
  Target target;
  if (object == nullptr || icon == nullptr || !GetTarget(object, &target)) return FALSE;
  RECT visible;
  if (!VisibleRect(target, x, y, x + icon->width, y + icon->height, &visible)) return TRUE;
  // On a zoomed device each icon pixel becomes a zoom x zoom block.
  const int64_t left = target.DeviceX(x);
  const int64_t top = target.DeviceY(y);
  const int64_t zoom = target.zoom;
  for (LONG dy = visible.top; dy < visible.bottom; ++dy) {
    uint8_t* out = reinterpret_cast<uint8_t*>(target.Row(dy));
    const uint8_t* in =
        icon->bgra.data() + (static_cast<size_t>((dy - top) / zoom) * icon->width) * 4;
    for (LONG dx = visible.left; dx < visible.right; ++dx) {
      const uint8_t* p = in + static_cast<size_t>((dx - left) / zoom) * 4;
      uint8_t* q = out + static_cast<size_t>(dx) * 4;
      const unsigned alpha = p[3];
      for (int c = 0; c < 3; ++c) q[c] = Blend(q[c], p[c], alpha);
    }
  }
  return TRUE;
}
