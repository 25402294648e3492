// Fuzz target of the GIF reader: the input is read as a file with
// ReadGifFile. A result must come with code 0 and no result with a code;
// every byte of a result is touched so the sanitizers see any uninitialised
// or out-of-bounds pixel, and no global block may outlive the call.
// Every input reaches the reader, however large the picture it declares.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  fuzz_support::MemoryFile input(data, size);
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t transparent = -2;
  HGLOBAL picture = ReadGifFile(input.path(), &width, &height, &transparent);
  const PelornError error = GetLastImageError();
  if ((picture == nullptr) == (error == kPelornOk)) __builtin_trap();
  if (picture != nullptr) {
    if (width == 0 || height == 0 || width > 65535 || height > 65535) __builtin_trap();
    if (transparent < -1 || transparent > 0xFFFFFF) __builtin_trap();
    if (GlobalSize(picture) != static_cast<size_t>(width) * height * 3) __builtin_trap();
  }
  fuzz_support::TouchAndFree(picture, width, height);
  if (platform::LiveGlobalBlocks() != liveBefore) __builtin_trap();
  return 0;
}
