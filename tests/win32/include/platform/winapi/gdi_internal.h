// The test interface of platform/winapi/gdi_internal.h for the Windows build,
// over gdi32's own objects (tests/win32/gdi_hooks.cpp). Only what the imaging
// library's tests use; same names and meanings.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32.h"

namespace platform {

// A view of a bitmap's pixels: top row first, bytes B, G, R, x per pixel.
// Valid until the next BitmapPixels or DCPixels call for the same bitmap, or
// its deletion.
struct PixelView {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next (width * 4)
  uint8_t* Row(int y) const { return pixels + static_cast<ptrdiff_t>(y) * stride; }
  // The pixel at (x, y) as 0x00RRGGBB.
  uint32_t At(int x, int y) const;
};

// A window-like surface: a 32-bit top-down DIB section of width x height
// pixels filled with `fill` (a COLORREF). Freed with DeleteObject. nullptr
// when memory runs out or a size is not positive.
HBITMAP CreateFramebuffer(int width, int height, COLORREF fill = 0);
// A device context drawing onto `framebuffer` (a memory DC with it selected),
// clipped to `clip` when given. Freed with DeleteDC, before the framebuffer.
HDC CreateWindowDC(HBITMAP framebuffer, const RECT* clip = nullptr);

// The pixels of a bitmap (framebuffer, DIB section or device-dependent
// bitmap), read through GetDIBits where they are not 32-bit top-down rows.
PixelView BitmapPixels(HBITMAP bitmap);
// The pixels of the bitmap selected into a memory (or printer) DC.
PixelView DCPixels(HDC dc);

// GDI objects (DCs, bitmaps, palettes, brushes, pens, fonts) the program
// made through its imports and has not deleted.
int64_t LiveGdiObjects();

}  // namespace platform
