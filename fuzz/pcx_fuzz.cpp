// Fuzz target of the PCX reader: the input is written to a file and read
// with ReadPcxFile; every byte of a result is touched so the sanitizers see
// any uninitialised or out-of-bounds pixel.
//
// A header may declare up to 65536 x 65536 pixels with no data at all
// (bytes per line 0 is a flat picture); inputs over a megapixel are skipped so
// that the fuzzer spends its time on the decoder, and its memory limit does
// not report the legitimate 12 GB block.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr uint64_t kLargestPixelCount = uint64_t{1} << 20;

uint64_t DeclaredPixels(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  auto at = [&](size_t offset) { return static_cast<int64_t>(data[offset] | (data[offset + 1] << 8)); };
  const int64_t width = at(8) - at(4) + 1;
  const int64_t height = at(10) - at(6) + 1;
  return width > 0 && height > 0 ? static_cast<uint64_t>(width * height) : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (DeclaredPixels(data, size) > kLargestPixelCount) return 0;
  fuzz_support::TempInputFile input(data, size, ".pcx");
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL picture = ReadPcxFile(input.path(), &width, &height);
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
