// Fuzz target of the JPEG memory reader: decodes the input with
// ReadJpegMemory and reads every byte of the result.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"

namespace {

// Largest picture worth decoding here. A few bytes can declare a 65,500 x
// 65,500 frame that libjpeg would then fill from "missing data" row by row;
// that is slow, not wrong, so such inputs are skipped. Every FF Cn frame
// marker anywhere in the input counts, whether libjpeg would reach it or not.
constexpr uint64_t kMaxPixels = uint64_t{4} << 20;

bool DeclaresHugeFrame(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 9 <= size; ++at) {
    if (data[at] != 0xFF) continue;
    const uint8_t marker = data[at + 1];
    if (marker < 0xC0 || marker > 0xCF || marker == 0xC4 || marker == 0xC8 || marker == 0xCC) {
      continue;
    }
    const uint64_t height = (uint64_t{data[at + 5]} << 8) | data[at + 6];
    const uint64_t width = (uint64_t{data[at + 7]} << 8) | data[at + 8];
    if (width * height > kMaxPixels) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7FFFFFFF || DeclaresHugeFrame(data, size)) return 0;
  uint32_t width = 0, height = 0;
  const uint8_t empty = 0;
  HGLOBAL picture = ReadJpegMemory(size != 0 ? data : &empty, static_cast<int32_t>(size),
                                   &width, &height);
  fuzz_support::TouchAndFree(picture, width, height);
  return 0;
}
