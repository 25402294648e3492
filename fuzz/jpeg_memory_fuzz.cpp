// Fuzz target of the JPEG memory reader: decodes the input with
// ReadJpegMemory and reads every byte of the result. Every input reaches the
// reader, however large the frame it declares.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;  // the reader takes a signed 32-bit length
  uint32_t width = 0, height = 0;
  const uint8_t empty = 0;
  HGLOBAL picture = ReadJpegMemory(size != 0 ? data : &empty, static_cast<int32_t>(size),
                                   &width, &height);
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
