// Fuzz target: ReadPngFile on arbitrary bytes. Every result byte is read so
// the sanitizers see uninitialised or out-of-bounds data; the block is freed.
//
// Inputs whose IHDR claims more than 16 million pixels are skipped: the
// reader would allocate the whole picture before libpng finds the data
// missing, which libFuzzer's allocation limit reports as a failure.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

namespace {
uint32_t BigEndian32(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 24 && uint64_t{BigEndian32(data + 16)} * BigEndian32(data + 20) > (uint64_t{1} << 24)) {
    return 0;
  }
  fuzz_support::TempInputFile input(data, size, ".png");
  uint32_t width = 0, height = 0;
  HGLOBAL picture = ReadPngFile(input.path(), &width, &height);
  if (picture == nullptr && (width != 0 || height != 0)) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
