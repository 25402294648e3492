// Fuzz target of the JPEG file reader, the path the viewer takes for .jpg
// pictures: the input is read as a file with ReadJpegFile. A result must
// come with code 0 and no result with a code; every byte of a result is
// touched so the sanitizers see any uninitialised or out-of-bounds pixel,
// and no global block may outlive the call.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  uint32_t width = 0, height = 0;
  HGLOBAL picture = ReadJpegFile(input.path(), &width, &height);
  if ((picture == nullptr) != (GetLastImageError() != kPelornOk)) __builtin_trap();
  if (picture != nullptr && GlobalSize(picture) != static_cast<SIZE_T>(width) * height * 3) __builtin_trap();
  fuzz_support::TouchAndFree(picture, width, height);
  if (platform::LiveGlobalBlocks() != liveBefore) __builtin_trap();
  return 0;
}
