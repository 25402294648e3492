// PNG codec object over libpng.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"

class PngCodec {
 public:
  PngCodec();   // raises the thread's operation depth; display gamma 2.2
  ~PngCodec();  // lowers it
  PngCodec(const PngCodec&) = delete;
  PngCodec& operator=(const PngCodec&) = delete;

  HGLOBAL Read(const char* path, uint32_t* width, uint32_t* height);
  // colorType 2 (RGB, palette ignored) or 3 (palette of colorCount entries).
  int32_t Write(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                int32_t rowBytes, int32_t bitDepth, int32_t colorCount, const RGBQUAD* palette,
                int32_t colorType, double fileGamma, int32_t interlaceType);

  PelornError errorCode = 0;
  PngBackgroundColor backgroundColor;
  double displayGamma = 2.2;
};
