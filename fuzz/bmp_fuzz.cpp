// Fuzz target of the BMP reader (uncompressed and run-length files): the
// input is written to a file and read with ReadBmpFile. A result must come
// with code 0 and no result with a code; every byte of a result is touched so
// the sanitizers see any uninitialised or out-of-bounds pixel, and no global
// block may outlive the call. Small pictures are also written back with
// WriteBmp24File and must read back identical.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"

namespace {

std::vector<uint8_t> CopyPixels(HGLOBAL picture, uint32_t width, uint32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(picture));
  if (bytes == nullptr) __builtin_trap();
  std::memcpy(pixels.data(), bytes, pixels.size());
  GlobalUnlock(picture);
  return pixels;
}

void CheckRoundTrip(const std::vector<uint8_t>& pixels, uint32_t width, uint32_t height) {
  fuzz_support::MemoryFile output;
  if (!WriteBmp24File(output.path(), pixels.data(), static_cast<int32_t>(width),
                      static_cast<int32_t>(height)))
    __builtin_trap();
  uint32_t backWidth = 0;
  uint32_t backHeight = 0;
  HGLOBAL back = ReadBmpFile(output.path(), &backWidth, &backHeight);
  if (back == nullptr || backWidth != width || backHeight != height) __builtin_trap();
  if (CopyPixels(back, width, height) != pixels) __builtin_trap();
  GlobalFree(back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL picture = ReadBmpFile(input.path(), &width, &height);
  const PelornError code = GetLastImageError();
  if ((picture == nullptr) != (code != 0)) __builtin_trap();
  if (picture != nullptr) {
    if (GlobalSize(picture) != static_cast<size_t>(width) * height * 3) __builtin_trap();
    if (static_cast<uint64_t>(width) * height <= (1u << 20))
      CheckRoundTrip(CopyPixels(picture, width, height), width, height);
  }
  // Run-length files may claim pictures up to the memory bound (1 GiB) that a few bytes fill;
  // the block is zero-initialised, so touching all of it would only be slow.
  if (static_cast<uint64_t>(width) * height * 3 <= (64u << 20)) {
    fuzz_support::TouchAndFree(picture, width, height);
  } else if (picture != nullptr) {
    GlobalFree(picture);
  }
  if (platform::LiveGlobalBlocks() != liveBefore) __builtin_trap();
  return 0;
}
