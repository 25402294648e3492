// PNG codec object over libpng.
//
// Read turns any PNG into the library's RGB image buffer: palettes expanded,
// low-bit grey widened to 8 bits, grey turned to RGB, 16-bit samples cut to 8,
// alpha and tRNS composited onto a background (the file's bKGD, else the
// object's colour), and gamma corrected for the object's display gamma (a file
// without gAMA is left uncorrected). Text chunks go to the thread's PNG read
// text list and pHYs to its PNG read resolution.
//
// Write makes a 24-bit RGB or an 8-bit paletted file with tIME (local time),
// bKGD (the object's background colour), pHYs (the thread's PNG write
// resolution), gAMA (only for a file gamma above 0.0) and one text chunk per
// entry of the thread's PNG write text list, which a successful write empties.
//
// libpng reports fatal errors with a long jump; every call into libpng is
// made from small functions whose locals need no destructor, so the jump
// never skips one, and the owners in Read and Write free everything once.
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
