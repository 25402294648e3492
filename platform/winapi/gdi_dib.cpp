// DIB drawing: StretchDIBits, SetDIBitsToDevice and BitBlt onto 32-bit
// framebuffers.
//
// Every copy goes through Blit: the destination rectangle is clipped to the
// DC's clip box first, each destination column and row is mapped to its
// source column and row by nearest neighbour (source = floor(i * sw / dw),
// the COLORONCOLOR rule; mirrored when the widths' or heights' signs differ),
// and each source row is converted to 32-bit words once. Cost: one
// conversion per distinct source row plus one store per destination pixel.
#include <algorithm>
#include <climits>
#include <vector>

#include "platform/winapi/gdi_objects.h"

namespace platform {
namespace gdi {
namespace {

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// One channel of a bit-field pixel, scaled to 0..255.
uint32_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (((mask >> shift) & 1) == 0) ++shift;
  const uint32_t top = mask >> shift;
  const uint32_t value = (pixel & mask) >> shift;
  return static_cast<uint32_t>((static_cast<uint64_t>(value) * 255 + top / 2) / top);
}

int64_t StrideOf(int64_t width, int bitsPerPixel) {
  return ((width * bitsPerPixel + 31) / 32) * 4;
}

void DefaultMasks(int bitsPerPixel, uint32_t* masks) {
  if (bitsPerPixel == 16) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  } else {
    masks[0] = 0xFF0000;
    masks[1] = 0x00FF00;
    masks[2] = 0x0000FF;
  }
}

}  // namespace

bool DibSource::HasRow(int y) const {
  if (y < 0 || y >= height) return false;
  const int stored = topDown ? y : height - 1 - y;
  return stored >= firstStored && stored < firstStored + storedRows;
}

const uint8_t* DibSource::StoredRow(int y) const {
  const int stored = topDown ? y : height - 1 - y;
  return bits + static_cast<int64_t>(stored - firstStored) * stride;
}

void DibSource::ReadRow(int y, int x0, int x1, uint32_t* out) const {
  const uint8_t* row = StoredRow(y);
  const int count = x1 - x0;
  switch (bitsPerPixel) {
    case 32:
      if (compression == BI_RGB) {
        std::memcpy(out, row + static_cast<int64_t>(x0) * 4, static_cast<size_t>(count) * 4);
      } else {
        for (int i = 0; i < count; ++i) {
          const uint32_t p = Load32(row + static_cast<int64_t>(x0 + i) * 4);
          out[i] = Channel(p, masks[0]) << 16 | Channel(p, masks[1]) << 8 | Channel(p, masks[2]);
        }
      }
      return;
    case 24:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + static_cast<int64_t>(x0 + i) * 3;
        out[i] = static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
      }
      return;
    case 16:
      for (int i = 0; i < count; ++i) {
        const uint8_t* p = row + static_cast<int64_t>(x0 + i) * 2;
        const uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
        out[i] = Channel(v, masks[0]) << 16 | Channel(v, masks[1]) << 8 | Channel(v, masks[2]);
      }
      return;
    default: {  // 1, 4 or 8 bits: colour table indices, leftmost pixel in the high bits
      const int perByte = 8 / bitsPerPixel;
      const unsigned mask = (1u << bitsPerPixel) - 1;
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        const uint8_t byte = row[x / perByte];
        const int shift = 8 - bitsPerPixel * (x % perByte + 1);
        const unsigned index = (byte >> shift) & mask;
        if (static_cast<int>(index) < colorCount) {
          const RGBQUAD& c = colors[index];
          out[i] = static_cast<uint32_t>(c.rgbRed) << 16 |
                   static_cast<uint32_t>(c.rgbGreen) << 8 | c.rgbBlue;
        } else {
          out[i] = 0;  // index past the colour table: black
        }
      }
      return;
    }
  }
}

bool ParseDib(const BITMAPINFO* info, UINT usage, const void* bits, DibSource* source) {
  if (info == nullptr || bits == nullptr || usage != DIB_RGB_COLORS) return false;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biWidth <= 0 || header.biHeight == 0 ||
      header.biHeight == INT32_MIN) {
    return false;
  }
  const int bpp = header.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if (header.biCompression != BI_RGB &&
      !(header.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) {
    return false;
  }
  const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const int64_t stride = StrideOf(header.biWidth, bpp);
  if (stride * height > kMaxPixelBytes) return false;

  source->bits = static_cast<const uint8_t*>(bits);
  source->width = header.biWidth;
  source->height = height;
  source->topDown = header.biHeight < 0;
  source->bitsPerPixel = bpp;
  source->compression = header.biCompression;
  source->stride = stride;
  source->firstStored = 0;
  source->storedRows = height;
  const uint8_t* afterHeader = reinterpret_cast<const uint8_t*>(info) + 40;
  if (header.biCompression == BI_BITFIELDS) {
    // The three masks follow the 40-byte part of the header (inside a larger
    // header they are its next fields: the same place).
    std::memcpy(source->masks, afterHeader, sizeof source->masks);
  } else {
    DefaultMasks(bpp, source->masks);
  }
  if (bpp <= 8) {
    const uint32_t full = 1u << bpp;
    const uint32_t used = header.biClrUsed == 0 ? full : std::min(header.biClrUsed, full);
    source->colors =
        reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + header.biSize);
    source->colorCount = static_cast<int>(used);
  } else {
    source->colors = nullptr;
    source->colorCount = 0;
  }
  return true;
}

void BitmapSource(const Bitmap* bitmap, DibSource* source) {
  source->bits = bitmap->bits;
  source->width = bitmap->width;
  source->height = bitmap->height;
  source->topDown = bitmap->topDown;
  source->bitsPerPixel = bitmap->bitsPerPixel;
  source->compression = bitmap->compression;
  source->stride = bitmap->stride;
  if (bitmap->compression == BI_BITFIELDS) {
    std::memcpy(source->masks, bitmap->masks, sizeof source->masks);
  } else {
    DefaultMasks(bitmap->bitsPerPixel, source->masks);
  }
  source->colors = bitmap->colors.empty() ? nullptr : bitmap->colors.data();
  source->colorCount = static_cast<int>(bitmap->colors.size());
  source->firstStored = 0;
  source->storedRows = bitmap->height;
}

void Blit(const Target& target, int64_t dx, int64_t dy, int64_t dw, int64_t dh,
          const DibSource& source, int64_t sx, int64_t sy, int64_t sw, int64_t sh, bool mirrorX,
          bool mirrorY) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || target.Empty()) return;
  const int64_t left = std::max<int64_t>(dx, target.clip.left);
  const int64_t right = std::min<int64_t>(dx + dw, target.clip.right);
  const int64_t top = std::max<int64_t>(dy, target.clip.top);
  const int64_t bottom = std::min<int64_t>(dy + dh, target.clip.bottom);
  if (left >= right || top >= bottom) return;

  // Source column of every visible destination column (-1: outside the DIB).
  std::vector<int> columns(static_cast<size_t>(right - left));
  int firstColumn = INT_MAX, lastColumn = -1;
  for (int64_t x = left; x < right; ++x) {
    int64_t k = (x - dx) * sw / dw;
    if (mirrorX) k = sw - 1 - k;
    const int64_t column = sx + k;
    int& slot = columns[static_cast<size_t>(x - left)];
    slot = column >= 0 && column < source.width ? static_cast<int>(column) : -1;
    if (slot >= 0) {
      firstColumn = std::min(firstColumn, slot);
      lastColumn = std::max(lastColumn, slot);
    }
  }
  if (lastColumn < 0) return;
  std::vector<uint32_t> converted(static_cast<size_t>(lastColumn - firstColumn + 1));
  const bool straight = !mirrorX && sw == dw;

  // 32-bit rows copied straight need no conversion: read them in place.
  const bool direct = straight && source.bitsPerPixel == 32 && source.compression == BI_RGB &&
                      columns.front() >= 0 && columns.back() >= 0;

  // Unmirrored 1:1 columns, all inside the source: whole rows convert in place.
  const bool wholeRows = straight && columns.front() >= 0 && columns.back() >= 0;
  const uint32_t* previousOut = nullptr;

  int64_t convertedRow = -1;
  for (int64_t y = top; y < bottom; ++y) {
    int64_t k = (y - dy) * sh / dh;
    if (mirrorY) k = sh - 1 - k;
    const int64_t row = sy + k;
    if (row < 0 || row >= source.height || !source.HasRow(static_cast<int>(row))) continue;
    if (direct) {
      std::memcpy(target.Row(static_cast<int>(y)) + left,
                  source.StoredRow(static_cast<int>(row)) + static_cast<int64_t>(columns.front()) * 4,
                  columns.size() * sizeof(uint32_t));
      continue;
    }
    uint32_t* out = target.Row(static_cast<int>(y)) + left;
    if (wholeRows) {
      // Converted straight into the framebuffer; a repeated row is copied.
      if (row == convertedRow) {
        std::memcpy(out, previousOut, columns.size() * sizeof(uint32_t));
      } else {
        source.ReadRow(static_cast<int>(row), firstColumn, lastColumn + 1, out);
      }
      convertedRow = row;
      previousOut = out;
      continue;
    }
    if (row != convertedRow) {
      source.ReadRow(static_cast<int>(row), firstColumn, lastColumn + 1, converted.data());
      convertedRow = row;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      if (columns[i] >= 0) out[i] = converted[static_cast<size_t>(columns[i] - firstColumn)];
    }
  }
}

}  // namespace gdi
}  // namespace platform

using namespace platform::gdi;

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT usage, DWORD rop) {
  Dc* object = FindDc(dc);
  if (object == nullptr || object->dcKind == DcKind::kPrinter || rop != SRCCOPY) return 0;
  DibSource source;
  Target target;
  if (!ParseDib(info, usage, bits, &source) || !GetTarget(object, &target)) return 0;
  if (destWidth == 0 || destHeight == 0 || srcWidth == 0 || srcHeight == 0) return 0;

  // A negative extent runs left (up) from the given corner; opposite signs of
  // the destination and source extents mirror the picture.
  const bool mirrorX = (destWidth < 0) != (srcWidth < 0);
  const bool mirrorY = (destHeight < 0) != (srcHeight < 0);
  int64_t dx = xDest, dy = yDest, dw = destWidth, dh = destHeight;
  int64_t sx = xSrc, sy = ySrc, sw = srcWidth, sh = srcHeight;
  if (dw < 0) dx += dw, dw = -dw;
  if (dh < 0) dy += dh, dh = -dh;
  if (sw < 0) sx += sw, sw = -sw;
  if (sh < 0) sy += sh, sh = -sh;
  // The source origin of a bottom-up DIB is its lower-left corner.
  const int64_t sourceTop = source.topDown ? sy : source.height - sy - sh;
  Blit(target, target.DeviceX(dx), target.DeviceY(dy), dw * target.zoom, dh * target.zoom, source,
       sx, sourceTop, sw, sh, mirrorX, mirrorY);
  return static_cast<int>(sh);  // scan lines of the source rectangle
}

int SetDIBitsToDevice(HDC dc, int xDest, int yDest, DWORD width, DWORD height, int xSrc,
                      int ySrc, UINT startScan, UINT scanLines, const void* bits,
                      const BITMAPINFO* info, UINT usage) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return 0;
  DibSource source;
  Target target;
  if (!ParseDib(info, usage, bits, &source) || !GetTarget(object, &target)) return 0;
  if (startScan >= static_cast<UINT>(source.height)) return 0;
  const UINT lines = std::min<UINT>(scanLines, static_cast<UINT>(source.height) - startScan);
  if (lines == 0) return 0;
  // `bits` holds only the stored rows startScan .. startScan + lines - 1.
  source.firstStored = static_cast<int>(startScan);
  source.storedRows = static_cast<int>(lines);
  const int64_t w = std::min<int64_t>(width, INT_MAX);
  const int64_t h = std::min<int64_t>(height, INT_MAX);
  const int64_t sourceTop = source.topDown ? ySrc : source.height - static_cast<int64_t>(ySrc) - h;
  // The extents are the source's pixels; on a zoomed device each becomes a
  // zoom x zoom block.
  Blit(target, target.DeviceX(xDest), target.DeviceY(yDest), w * target.zoom, h * target.zoom,
       source, xSrc, sourceTop, w, h, false, false);
  return static_cast<int>(lines);
}

BOOL BitBlt(HDC dc, int x, int y, int width, int height, HDC sourceDc, int xSrc, int ySrc,
            DWORD rop) {
  Dc* object = FindDc(dc);
  Dc* from = FindDc(sourceDc);
  if (object == nullptr || from == nullptr || rop != SRCCOPY || width < 0 || height < 0) {
    return FALSE;
  }
  if (object->dcKind == DcKind::kPrinter) return FALSE;  // no RC_BITBLT
  Target target;
  if (!GetTarget(object, &target) || from->surface == nullptr) return FALSE;
  DibSource source;
  BitmapSource(from->surface, &source);
  // Both rectangles are logical, each mapped by its own device's zoom.
  const int64_t sourceZoom = from->surface->zoom;
  const int64_t sx = (static_cast<int64_t>(xSrc) - from->windowOrg.x) * sourceZoom;
  const int64_t sy = (static_cast<int64_t>(ySrc) - from->windowOrg.y) * sourceZoom;
  std::vector<uint8_t> snapshot;
  if (from->surface == object->surface) {
    // Copying within one surface: read from a snapshot so overlapping
    // rectangles copy as if all at once.
    const size_t bytes = static_cast<size_t>(source.stride * source.height);
    snapshot.assign(source.bits, source.bits + bytes);
    source.bits = snapshot.data();
  }
  Blit(target, target.DeviceX(x), target.DeviceY(y), static_cast<int64_t>(width) * target.zoom,
       static_cast<int64_t>(height) * target.zoom, source, sx, sy, width * sourceZoom,
       height * sourceZoom, false, false);
  return TRUE;
}
