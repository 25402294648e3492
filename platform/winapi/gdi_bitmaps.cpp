// Bitmaps: compatible bitmaps, DIB sections, device-dependent bitmaps made
// from DIBs, DIB section colour tables, window framebuffers and pixel access.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/winapi/gdi_objects.h"

using namespace platform;
using namespace platform::gdi;

namespace {

// A target covering the whole of a 32-bit bitmap.
Target WholeTarget(Bitmap* bitmap) {
  Target target;
  target.bitmap = bitmap;
  target.clip = RECT{0, 0, bitmap->width, bitmap->height};
  return target;
}

void Fill(Bitmap* bitmap, uint32_t pixel) {
  for (int y = 0; y < bitmap->height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(bitmap->Row(y));
    std::fill(row, row + bitmap->width, pixel);
  }
}

// A 32-bit top-down bitmap of width x height logical pixels at `zoom`.
Bitmap* NewZoomedBitmap(int width, int height, int zoom) {
  if (width > INT32_MAX / zoom || height > INT32_MAX / zoom) return nullptr;
  Bitmap* bitmap = NewBitmap(width * zoom, height * zoom, 32, true);
  if (bitmap != nullptr) bitmap->zoom = zoom;
  return bitmap;
}

}  // namespace

// --- Internal interface ---------------------------------------------------------

namespace platform {

uint32_t PixelView::At(int x, int y) const {
  uint32_t value;
  std::memcpy(&value, Row(y) + static_cast<ptrdiff_t>(x) * 4, 4);
  return value & 0x00FFFFFF;
}

HBITMAP CreateFramebuffer(int width, int height, COLORREF fill) {
  Bitmap* bitmap = NewZoomedBitmap(width, height, DisplayZoom());
  if (bitmap == nullptr) return nullptr;
  if (fill != 0) Fill(bitmap, PixelOf(fill));
  return HandleOf(bitmap);
}

PixelView BitmapPixels(HBITMAP handle) {
  PixelView view;
  Bitmap* bitmap = FindBitmap(handle);
  if (bitmap == nullptr || bitmap->bitsPerPixel != 32 || !bitmap->topDown ||
      bitmap->compression != BI_RGB) {
    return view;
  }
  view.pixels = bitmap->bits;
  view.width = bitmap->width;
  view.height = bitmap->height;
  view.stride = static_cast<int>(bitmap->stride);
  view.zoom = bitmap->zoom;
  return view;
}

PixelView DCPixels(HDC dc) {
  Dc* object = FindDc(dc);
  if (object == nullptr || object->surface == nullptr) return PixelView();
  return BitmapPixels(HandleOf(object->surface));
}

}  // namespace platform

// --- Windows API ------------------------------------------------------------------

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  Dc* reference = FindDc(dc);
  if (reference == nullptr || width < 0 || height < 0) return nullptr;
  // An empty size gives the 1 x 1 stock bitmap, as on Windows.
  if (width == 0 || height == 0) return HandleOf(StockBitmap());
  // Every display surface is 32-bit, so compatible means 32-bit top-down,
  // at the device's zoom.
  Bitmap* bitmap = NewZoomedBitmap(width, height, reference->zoom);
  return bitmap != nullptr ? HandleOf(bitmap) : nullptr;
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset) {
  if (bits != nullptr) *bits = nullptr;
  if (dc != nullptr && FindDc(dc) == nullptr) return nullptr;
  if (section != nullptr) return nullptr;  // no file mappings in this layer
  DibSource layout;
  // ParseDib wants a pixel pointer; the section supplies its own, so any
  // non-null address stands in for it while the header is checked.
  if (!ParseDib(info, usage, info, &layout)) return nullptr;
  Bitmap* bitmap = NewBitmap(layout.width, layout.height, layout.bitsPerPixel, layout.topDown);
  if (bitmap == nullptr) return nullptr;
  bitmap->dibSection = true;
  bitmap->compression = layout.compression;
  std::memcpy(bitmap->masks, layout.masks, sizeof bitmap->masks);
  if (layout.bitsPerPixel <= 8) {
    bitmap->colors.assign(static_cast<size_t>(1) << layout.bitsPerPixel, RGBQUAD{0, 0, 0, 0});
    std::copy(layout.colors, layout.colors + layout.colorCount, bitmap->colors.begin());
  }
  if (bits != nullptr) *bits = bitmap->bits;
  return HandleOf(bitmap);
}

HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage) {
  if (header == nullptr || (dc != nullptr && FindDc(dc) == nullptr)) return nullptr;
  if (header->biWidth <= 0 || header->biHeight == 0 || header->biHeight == INT32_MIN) {
    return nullptr;
  }
  const int height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  DibSource source;
  if ((init & CBM_INIT) != 0 && !ParseDib(info, usage, bits, &source)) return nullptr;
  Bitmap* bitmap = NewBitmap(header->biWidth, height, 32, true);
  if (bitmap == nullptr) return nullptr;
  if ((init & CBM_INIT) != 0) {
    Blit(WholeTarget(bitmap), 0, 0, bitmap->width, bitmap->height, source, 0, 0, bitmap->width,
         bitmap->height, false, false);
  }
  return HandleOf(bitmap);
}

UINT SetDIBColorTable(HDC dc, UINT start, UINT entries, const RGBQUAD* colors) {
  Dc* object = FindDc(dc);
  if (object == nullptr || colors == nullptr || object->bitmap == nullptr) return 0;
  Bitmap* bitmap = object->bitmap;
  if (!bitmap->dibSection || bitmap->colors.empty() || start >= bitmap->colors.size()) return 0;
  const UINT count = std::min<UINT>(entries, static_cast<UINT>(bitmap->colors.size()) - start);
  std::copy(colors, colors + count, bitmap->colors.begin() + start);
  return count;
}
