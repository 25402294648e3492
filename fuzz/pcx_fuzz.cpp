// Fuzz target of the PCX reader: the input is read as a file with
// ReadPcxFile; every byte of a result is touched so the sanitizers see any
// uninitialised or out-of-bounds pixel. Every input reaches the reader,
// however large the picture it declares.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL picture = ReadPcxFile(input.path(), &width, &height);
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
