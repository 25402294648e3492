// PelornCodec: the library's codec object.
//
// One object is made per library call. It holds the error code of the
// operation under way (0 when each operation starts) and raises the calling
// thread's operation depth while it lives, so that only the outermost work of
// a call reports progress. The JPEG, BMP, run-length BMP, TIFF and PCX codecs,
// the pixel conversions and the scaler are its methods; each lives in the
// codec's own file under imaging/codecs/ or imaging/scale/.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

class PelornCodec {
 public:
  PelornCodec();
  ~PelornCodec();
  PelornCodec(const PelornCodec&) = delete;
  PelornCodec& operator=(const PelornCodec&) = delete;

  PelornError errorCode = 0;

  // JPEG over libjpeg (imaging/codecs/jpeg.cpp).
  HGLOBAL ReadJpegFile(const char* path, uint32_t* width, uint32_t* height);
  HGLOBAL ReadJpegMemory(const void* data, int32_t length, uint32_t* width, uint32_t* height);
  HGLOBAL ReadJpegFileScaled(const char* path, uint32_t boxWidth, uint32_t boxHeight,
                             uint32_t* width, uint32_t* height, uint32_t* fullWidth,
                             uint32_t* fullHeight);
  // EXIF orientation (imaging/codecs/exif.cpp).
  int32_t ReadJpegOrientation(const char* path);
  int32_t WriteJpegFile(const char* path, const uint8_t* rgb, uint32_t width, uint32_t height,
                        int32_t quality, int32_t color, int32_t progressive);

  // BMP (imaging/codecs/bmp.cpp) and its run-length decoder (bmp_rle.cpp).
  HGLOBAL ReadBmpFile(const char* path, uint32_t* width, uint32_t* height);
  HGLOBAL ReadBmpRleFile(const char* path, uint32_t* width, uint32_t* height);
  // pixels: bottom row first; 24 bits as blue-green-red, else one index per byte.
  void WriteBmpFile(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                    int32_t bitsPerPixel, int32_t colorCount, const RGBQUAD* palette);
  void WriteBmp24File(const char* path, const uint8_t* pixels, int32_t width, int32_t height);
  void ConvertBmpRow(const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
                     int32_t bitsPerPixel, const RGBQUAD* palette);

  // Pixel buffer conversions (imaging/codecs/convert.cpp).
  int32_t FlipRows(uint8_t* buffer, uint32_t rowLength, uint32_t rowCount);
  int32_t SwapRedBlue(uint8_t* buffer, uint32_t width, uint32_t height);
  // 0 on success, 5 when an argument is missing or 0; leaves errorCode alone.
  static int32_t RgbToDibBits(const uint8_t* rgb, uint8_t* destination, uint32_t width,
                              uint32_t height, uint32_t stride);
  HGLOBAL RgbToGlobalDibBits(const uint8_t* rgb, uint32_t width, uint32_t height,
                             uint32_t* stride);
  HBITMAP RgbToDdb(const uint8_t* rgb, uint32_t width, uint32_t height, HPALETTE palette);
  HBITMAP DibToDdb(const void* packedDib, HPALETTE palette);

  // TIFF over libtiff (imaging/codecs/tiff.cpp).
  HGLOBAL ReadTiffFile(const char* path, uint32_t* width, uint32_t* height);

  // PCX (imaging/codecs/pcx.cpp).
  HGLOBAL ReadPcxFile(const char* path, uint32_t* width, uint32_t* height);

  // Bilinear scaler (imaging/scale/resample.cpp).
  int32_t ResampleRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                      uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight);
  // Area-weighted scaler (imaging/scale/box_reduce.cpp).
  int32_t ReduceRgb(const uint8_t* source, int32_t sourceWidth, int32_t sourceHeight,
                    uint8_t* destination, int32_t destinationWidth, int32_t destinationHeight);
  // Turning upright by EXIF orientation (imaging/scale/orient.cpp).
  int32_t OrientRgb(const uint8_t* source, int32_t width, int32_t height, int32_t orientation,
                    uint8_t* destination);
};
