// Fuzz target of the GIF reader: the input is written to a file and read with
// ReadGifFile. A result must come with code 0 and no result with a code;
// every byte of a result is touched so the sanitizers see any uninitialised
// or out-of-bounds pixel, and no global block may outlive the call.
//
// Inputs whose first picture would exceed a million pixels are skipped: the
// reader honours sizes up to 65535 x 65535 (12.9 GB), which is not a fault;
// under the sanitizers such pictures only make the fuzzer slow.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"

namespace {

constexpr uint64_t kLargestPixelCount = 1u << 20;

// The walk of the reader up to its first picture: header, screen, global
// table; then extensions (label and sub-blocks) and stray bytes until 0x2C.
uint64_t FirstPicturePixels(const uint8_t* data, size_t size) {
  if (size < 13) return 0;
  size_t at = 13;
  if (data[10] & 0x80) at += 3u * (2u << (data[10] & 7));
  while (at < size) {
    const uint8_t byte = data[at++];
    if (byte == 0x21) {
      if (at >= size) return 0;
      ++at;  // label
      while (at < size && data[at] != 0) at += data[at] + 1u;
      ++at;
    } else if (byte == 0x2C) {
      if (at + 9 > size) return 0;
      const uint64_t width = data[at + 4] | data[at + 5] << 8;
      const uint64_t height = data[at + 6] | data[at + 7] << 8;
      return width * height;
    }
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FirstPicturePixels(data, size) > kLargestPixelCount) return 0;
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  fuzz_support::TempInputFile input(data, size, ".gif");
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
