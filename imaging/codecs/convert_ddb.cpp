// Screen bitmaps from pixel buffers: RgbToDdb packs an RGB buffer into a
// temporary 24-bit DIB and hands it to DibToDdb, which makes a device-
// dependent bitmap for the screen with CreateDIBitmap, realising the given
// palette, or on a palette device one built from the DIB's own colours,
// while the bitmap is made.
#include <cstring>

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

constexpr uint32_t kHeaderBytes = sizeof(BITMAPINFOHEADER);  // 40
constexpr WORD kPaletteVersion = 0x300;

// The screen DC for one conversion, released on every way out.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace

HBITMAP PelornCodec::RgbToDdb(const uint8_t* rgb, uint32_t width, uint32_t height,
                              HPALETTE palette) {
  OperationDepthGuard depth;
  errorCode = kPelornOk;
  if (rgb == nullptr) {
    errorCode = kPelornBadParam;
    return nullptr;
  }
  // Header and rows in one block; sizes checked in 64 bits (and against the
  // signed header fields) before anything is allocated.
  size_t stride = 0, rows = 0;
  if (width > INT32_MAX || height > INT32_MAX ||
      !pelorn::CheckedDibStride(width, 24, &stride) ||
      !pelorn::CheckedProduct(stride, height, &rows) || rows > UINT32_MAX - kHeaderBytes) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  pelorn::PlainBlock dib;
  if (!dib.Allocate(kHeaderBytes + rows, true)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  RgbToDibBits(rgb, dib.bytes() + kHeaderBytes, width, height, static_cast<uint32_t>(stride));
  BITMAPINFOHEADER header;
  std::memset(&header, 0, sizeof header);
  header.biSize = kHeaderBytes;
  header.biWidth = static_cast<LONG>(width);
  header.biHeight = static_cast<LONG>(height);
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(rows);
  std::memcpy(dib.bytes(), &header, sizeof header);
  return DibToDdb(dib.bytes(), palette);
}

HBITMAP PelornCodec::DibToDdb(const void* packedDib, HPALETTE palette) {
  OperationDepthGuard depth;
  if (packedDib == nullptr) {
    errorCode = kPelornBadParam;
    return nullptr;
  }
  ScreenDc screen;
  if (screen.get() == nullptr) {
    errorCode = kPelornDeviceError;
    return nullptr;
  }
  const auto* header = static_cast<const BITMAPINFOHEADER*>(packedDib);
  // Colours: biClrUsed, or all 2^bits when 0 (a 24-bit DIB "has" 2^24, so it
  // never gets a palette of its own). Quirk: the header's own size is not
  // consulted; the colours follow the 40-byte header.
  const uint64_t colorCount = header->biClrUsed != 0 ? header->biClrUsed
                              : header->biBitCount < 32 ? (uint64_t{1} << header->biBitCount)
                                                        : (uint64_t{1} << 32);
  uint64_t pixelOffset = kHeaderBytes;
  if (header->biBitCount <= 8) {
    pixelOffset += 4 * colorCount;
  } else {
    pixelOffset += 4ull * header->biClrUsed;
    if (header->biCompression == BI_BITFIELDS) pixelOffset += 12;
  }
  const uint8_t* pixels = static_cast<const uint8_t*>(packedDib) + pixelOffset;

  HPALETTE previous = nullptr;
  HPALETTE created = nullptr;
  if (palette != nullptr) {
    previous = SelectPalette(screen.get(), palette, FALSE);
    RealizePalette(screen.get());
  } else if (colorCount <= 256 && (GetDeviceCaps(screen.get(), RASTERCAPS) & RC_PALETTE) != 0) {
    const size_t bytes = sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * static_cast<size_t>(colorCount);
    pelorn::PlainBlock description;
    if (!description.Allocate(bytes, true)) {
      errorCode = kPelornOutOfMemory;
      return nullptr;
    }
    auto* logical = reinterpret_cast<LOGPALETTE*>(description.bytes());
    logical->palVersion = kPaletteVersion;
    logical->palNumEntries = static_cast<WORD>(colorCount);
    const auto* colors = reinterpret_cast<const RGBQUAD*>(
        static_cast<const uint8_t*>(packedDib) + kHeaderBytes);
    for (uint64_t i = 0; i < colorCount; ++i) {
      logical->palPalEntry[i].peRed = colors[i].rgbRed;
      logical->palPalEntry[i].peGreen = colors[i].rgbGreen;
      logical->palPalEntry[i].peBlue = colors[i].rgbBlue;
      logical->palPalEntry[i].peFlags = 0;
    }
    created = CreatePalette(logical);
    if (created != nullptr) {
      previous = SelectPalette(screen.get(), created, FALSE);
      RealizePalette(screen.get());
    }
  }

  HBITMAP bitmap = CreateDIBitmap(screen.get(), header, CBM_INIT, pixels,
                                  static_cast<const BITMAPINFO*>(packedDib), DIB_RGB_COLORS);

  if (created != nullptr) {
    SelectPalette(screen.get(), previous, FALSE);
    DeleteObject(created);
  } else if (palette != nullptr && previous != nullptr) {
    SelectPalette(screen.get(), previous, FALSE);  // the caller's palette stays theirs
  }
  return bitmap;
}
