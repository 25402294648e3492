// Fuzz target: ReadPngFile on arbitrary bytes. Every result byte is read so
// the sanitizers see uninitialised or out-of-bounds data; the block is freed.
// Every input reaches the reader, however large the picture or the chunks it
// declares: the reader's own memory bound is under test too.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  uint32_t width = 0, height = 0;
  HGLOBAL picture = ReadPngFile(input.path(), &width, &height);
  if (picture == nullptr && (width != 0 || height != 0)) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
