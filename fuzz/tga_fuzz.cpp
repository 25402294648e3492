// Fuzz target of the TGA reader: the input is read as a file with
// ReadTgaFile; every byte of a result is touched so the sanitizers see any
// uninitialised or out-of-bounds pixel.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL picture = ReadTgaFile(input.path(), &width, &height);
  if (picture == nullptr && (width != 0 || height != 0)) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
