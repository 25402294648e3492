// Fuzz target of the EXIF orientation reader: reads the input as a JPEG
// file with ReadJpegOrientation, which must give 1-8 whatever the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  const int32_t orientation = ReadJpegOrientation(input.path());
  if (orientation < 1 || orientation > 8) __builtin_trap();
  return 0;
}
