// The library's flat entry points. Each checks its own arguments, makes one
// codec object, runs its method and copies the codec's error code into the
// calling thread's last error code, success or not.
#include <cstring>

#include "imaging/codecs/gif.h"
#include "imaging/codecs/png.h"
#include "imaging/codecs/tga.h"
#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "imaging/quantize/quantize.h"

namespace {

void StoreError(PelornError code) { GetThreadState().lastError = code; }

}  // namespace

// --- Readers -----------------------------------------------------------------------

HGLOBAL ReadJpegFile(const char* fileName, uint32_t* width, uint32_t* height) {
  PelornCodec codec;
  HGLOBAL picture = codec.ReadJpegFile(fileName, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadJpegMemory(const void* data, int32_t length, uint32_t* width, uint32_t* height) {
  PelornCodec codec;
  HGLOBAL picture = codec.ReadJpegMemory(data, length, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadJpegFileScaled(const char* fileName, uint32_t boxWidth, uint32_t boxHeight,
                           uint32_t* width, uint32_t* height, uint32_t* fullWidth,
                           uint32_t* fullHeight) {
  PelornCodec codec;
  HGLOBAL picture =
      codec.ReadJpegFileScaled(fileName, boxWidth, boxHeight, width, height, fullWidth, fullHeight);
  StoreError(codec.errorCode);
  return picture;
}

int32_t ReadJpegOrientation(const char* fileName) {
  PelornCodec codec;
  const int32_t orientation = codec.ReadJpegOrientation(fileName);
  StoreError(codec.errorCode);
  return orientation;
}

HGLOBAL ReadBmpFile(const char* fileName, uint32_t* width, uint32_t* height) {
  PelornCodec codec;
  HGLOBAL picture = codec.ReadBmpFile(fileName, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadPngFile(const char* fileName, uint32_t* width, uint32_t* height) {
  PngCodec codec;
  const PelornThreadState& state = GetThreadState();
  codec.displayGamma = state.displayGamma;
  codec.backgroundColor = state.backgroundColor;
  HGLOBAL picture = codec.Read(fileName, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadGifFile(const char* fileName, uint32_t* width, uint32_t* height,
                    int32_t* transparentColor) {
  GifReader reader;
  int32_t transparent = -1;
  HGLOBAL picture = reader.Read(fileName, width, height, &transparent);
  StoreError(reader.errorCode);
  if (transparentColor != nullptr) *transparentColor = transparent;
  return picture;
}

HGLOBAL ReadTiffFile(const char* fileName, uint32_t* width, uint32_t* height) {
  PelornCodec codec;
  HGLOBAL picture = codec.ReadTiffFile(fileName, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadPcxFile(const char* fileName, uint32_t* width, uint32_t* height) {
  PelornCodec codec;
  HGLOBAL picture = codec.ReadPcxFile(fileName, width, height);
  StoreError(codec.errorCode);
  return picture;
}

HGLOBAL ReadTgaFile(const char* fileName, uint32_t* width, uint32_t* height) {
  TgaReader reader;
  HGLOBAL picture = reader.Read(fileName, width, height);
  StoreError(reader.errorCode);
  return picture;
}

// --- Writers -----------------------------------------------------------------------

int32_t WriteJpegFile(const char* fileName, const uint8_t* rgb, uint32_t width, uint32_t height,
                      int32_t quality, int32_t color, int32_t progressive) {
  if (rgb == nullptr) {
    StoreError(kPelornBadParam);
    return 0;
  }
  PelornCodec codec;
  const int32_t written =
      codec.WriteJpegFile(fileName, rgb, width, height, quality, color, progressive);
  StoreError(codec.errorCode);
  return written;
}

int32_t WriteBmp24File(const char* fileName, const uint8_t* rgb, int32_t width, int32_t height) {
  if (rgb == nullptr || width <= 0 || height <= 0) {
    StoreError(kPelornBadParam);
    return 0;
  }
  size_t bytes = 0;
  pelorn::PlainBlock copy;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3,
                              &bytes) ||
      !copy.Allocate(bytes)) {
    StoreError(kPelornOutOfMemory);
    return 0;
  }
  std::memcpy(copy.bytes(), rgb, bytes);
  ::SwapRedBlue(copy.bytes(), static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  if (!::FlipRows(copy.bytes(), static_cast<uint32_t>(width) * 3, static_cast<uint32_t>(height)))
    return 0;  // FlipRows stored its own code (out of memory or cancelled)
  PelornCodec codec;
  codec.WriteBmp24File(fileName, copy.bytes(), width, height);
  StoreError(codec.errorCode);
  return codec.errorCode == 0 ? 1 : 0;
}

int32_t WriteBmpIndexedFile(const char* fileName, const uint8_t* indices, int32_t width,
                            int32_t height, int32_t bitsPerPixel, int32_t colorCount,
                            const RGBQUAD* palette) {
  // One index byte per pixel: a depth of 24 would read three bytes per pixel.
  if (indices == nullptr || palette == nullptr || width <= 0 || height <= 0 ||
      (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8)) {
    StoreError(kPelornBadParam);
    return 0;
  }
  size_t bytes = 0;
  pelorn::PlainBlock copy;
  if (!pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                              &bytes) ||
      !copy.Allocate(bytes)) {
    StoreError(kPelornOutOfMemory);
    return 0;
  }
  std::memcpy(copy.bytes(), indices, bytes);
  if (!::FlipRows(copy.bytes(), static_cast<uint32_t>(width), static_cast<uint32_t>(height)))
    return 0;
  PelornCodec codec;
  codec.WriteBmpFile(fileName, copy.bytes(), width, height, bitsPerPixel, colorCount, palette);
  StoreError(codec.errorCode);
  return codec.errorCode == 0 ? 1 : 0;
}

// width * 3 without signed overflow: a width libpng cannot take anyway is
// clamped, and the codec refuses rows shorter than width * 3.
static int32_t Png24RowBytes(int32_t width) {
  const int64_t rowBytes = int64_t{width} * 3;
  return rowBytes > INT32_MAX ? INT32_MAX : rowBytes < INT32_MIN ? INT32_MIN : static_cast<int32_t>(rowBytes);
}

int32_t WritePng24File(const char* fileName, const uint8_t* rgb, int32_t width, int32_t height,
                       double fileGamma) {
  PngCodec codec;
  const PelornThreadState& state = GetThreadState();
  codec.displayGamma = state.displayGamma;
  codec.backgroundColor = state.backgroundColor;
  const int32_t written =
      codec.Write(fileName, rgb, width, height, Png24RowBytes(width), 8, 0, nullptr, 2, fileGamma, 0);
  StoreError(codec.errorCode);
  return written;
}

int32_t WritePng8File(const char* fileName, const uint8_t* indices, int32_t width,
                      int32_t height, int32_t colorCount, const RGBQUAD* palette,
                      double fileGamma) {
  PngCodec codec;
  const PelornThreadState& state = GetThreadState();
  codec.displayGamma = state.displayGamma;
  codec.backgroundColor = state.backgroundColor;
  const int32_t written = codec.Write(fileName, indices, width, height, width, 8, colorCount,
                                      palette, 3, fileGamma, 0);
  StoreError(codec.errorCode);
  return written;
}

int32_t WriteGifFile(const char* fileName, const uint8_t* indices, int32_t width, int32_t height,
                     int32_t backgroundIndex, int32_t transparentIndex, const RGBQUAD* palette) {
  if (indices == nullptr || palette == nullptr) {
    StoreError(kPelornBadParam);
    return 0;
  }
  int32_t red[256], green[256], blue[256];
  for (int i = 0; i < 256; ++i) {
    red[i] = palette[i].rgbRed;
    green[i] = palette[i].rgbGreen;
    blue[i] = palette[i].rgbBlue;
  }
  GifWriter writer;
  const int32_t written = writer.Write(fileName, width, height, 0, backgroundIndex,
                                       transparentIndex, 8, red, green, blue, indices);
  StoreError(writer.errorCode);
  return written;
}

// --- Buffer operations ------------------------------------------------------------------

int32_t FlipRows(uint8_t* buffer, uint32_t rowLength, uint32_t rowCount) {
  PelornCodec codec;
  const int32_t done = codec.FlipRows(buffer, rowLength, rowCount);
  StoreError(codec.errorCode);
  return done;
}

int32_t SwapRedBlue(uint8_t* buffer, uint32_t width, uint32_t height) {
  PelornCodec codec;
  const int32_t done = codec.SwapRedBlue(buffer, width, height);
  StoreError(codec.errorCode);
  return done;
}

int32_t ResampleRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight) {
  PelornCodec codec;
  const int32_t done = codec.ResampleRgb(source, sourceWidth, sourceHeight, destination,
                                         destinationWidth, destinationHeight);
  StoreError(codec.errorCode);
  return done;
}

int32_t ReduceRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                  uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight) {
  PelornCodec codec;
  const int32_t done = codec.ReduceRgb(source, sourceWidth, sourceHeight, destination,
                                       destinationWidth, destinationHeight);
  StoreError(codec.errorCode);
  return done;
}

int32_t OrientRgb(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                  uint8_t* destination) {
  PelornCodec codec;
  const int32_t done = codec.OrientRgb(source, width, height, orientation, destination);
  StoreError(codec.errorCode);
  return done;
}

HBITMAP RgbToDdb(const uint8_t* rgb, uint32_t width, uint32_t height, HPALETTE palette) {
  PelornCodec codec;
  HBITMAP bitmap = codec.RgbToDdb(rgb, width, height, palette);
  StoreError(codec.errorCode);
  return bitmap;
}

int32_t QuantizeRgb(const uint8_t* rgb, uint8_t* indices, int32_t width, int32_t height,
                    int32_t colorCount, RGBQUAD* palette) {
  StoreError(kPelornOk);
  if (rgb == nullptr || indices == nullptr || palette == nullptr) {
    StoreError(kPelornBadParam);
    return 0;
  }
  if (colorCount > 256) colorCount = 256;
  if (colorCount < 1) colorCount = 1;
  uint8_t red[256], green[256], blue[256];
  ColorQuantizer quantizer;
  if (!quantizer.Quantize(rgb, indices, width, height, colorCount, red, green, blue)) {
    StoreError(kPelornOutOfMemory);
    return 0;
  }
  for (int32_t i = 0; i < colorCount; ++i) {
    palette[i].rgbBlue = blue[i];
    palette[i].rgbGreen = green[i];
    palette[i].rgbRed = red[i];
  }
  return 1;
}

int32_t DrawRgb(HDC dc, const uint8_t* rgb, int32_t width, int32_t height, int32_t x, int32_t y,
                int32_t destinationWidth, int32_t destinationHeight) {
  OperationDepthGuard depth;
  PelornError code = kPelornOk;
  int32_t drawn = 0;
  if (rgb == nullptr || dc == nullptr) {
    code = kPelornBadParam;
  } else if ((GetDeviceCaps(dc, RASTERCAPS) & RC_STRETCHDIB) == 0) {
    code = kPelornCannotStretch;
  } else if (width <= 0 || height <= 0) {
    code = kPelornOutOfMemory;  // no conversion block can be made for this size
  } else {
    PelornCodec converter;  // depth 2 inside: the conversion stays silent
    uint32_t stride = 0;
    HGLOBAL rows = converter.RgbToGlobalDibBits(rgb, static_cast<uint32_t>(width),
                                                static_cast<uint32_t>(height), &stride);
    void* bits = rows != nullptr ? GlobalLock(rows) : nullptr;
    if (rows == nullptr || bits == nullptr) {
      if (rows != nullptr) GlobalFree(rows);
      code = kPelornOutOfMemory;
    } else {
      BITMAPINFO info;
      std::memset(&info, 0, sizeof info);
      info.bmiHeader.biSize = 40;
      info.bmiHeader.biWidth = width;
      info.bmiHeader.biHeight = height;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      const int lines = StretchDIBits(dc, x, y, destinationWidth, destinationHeight, 0, 0, width,
                                      height, bits, &info, DIB_RGB_COLORS, SRCCOPY);
      GlobalUnlock(rows);
      GlobalFree(rows);
      drawn = lines == height ? 1 : 0;
    }
  }
  StoreError(code);
  return drawn;
}
