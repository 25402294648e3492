// Fuzz target: ReadTiffFile on arbitrary bytes. The reader's block is
// width x height x 4 bytes; every byte of it is read so the sanitizers see
// uninitialised or out-of-bounds data, then it is freed. Every input reaches
// the reader, however large the picture it declares.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  uint32_t width = 0, height = 0;
  HGLOBAL picture = ReadTiffFile(input.path(), &width, &height);
  if (picture == nullptr && (width != 0 || height != 0)) __builtin_trap();
  if (picture != nullptr && GlobalSize(picture) != static_cast<SIZE_T>(width) * height * 4) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height, 4);
  return 0;
}
