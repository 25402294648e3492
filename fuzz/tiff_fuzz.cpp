// Fuzz target: ReadTiffFile on arbitrary bytes. The reader's block is
// width x height x 4 bytes; every byte of it is read so the sanitizers see
// uninitialised or out-of-bounds data, then it is freed.
//
// Inputs whose first image claims more than 16 million pixels are skipped
// (looked up with libtiff first): the reader allocates the whole RGBA block
// before libtiff finds the strips missing, which libFuzzer's allocation limit
// reports as a failure.
#include <tiffio.h>

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

namespace {
void Quiet(const char*, const char*, va_list) {}

bool SmallEnough(const char* path) {
  TIFFErrorHandler error = TIFFSetErrorHandler(Quiet);
  TIFFErrorHandler warning = TIFFSetWarningHandler(Quiet);
  bool small = true;
  if (TIFF* tiff = TIFFOpen(path, "r")) {
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    small = uint64_t{width} * height <= (uint64_t{1} << 24);
    TIFFClose(tiff);
  }
  TIFFSetErrorHandler(error);
  TIFFSetWarningHandler(warning);
  return small;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::TempInputFile input(data, size, ".tif");
  if (!SmallEnough(input.path())) return 0;
  uint32_t width = 0, height = 0;
  HGLOBAL picture = ReadTiffFile(input.path(), &width, &height);
  if (picture == nullptr && (width != 0 || height != 0)) __builtin_trap();
  if (picture != nullptr && GlobalSize(picture) != static_cast<SIZE_T>(width) * height * 4) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height, 4);
  return 0;
}
