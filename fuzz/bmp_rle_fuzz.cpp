// Fuzz target of the run-length BMP decoder on its own
// (PelornCodec::ReadBmpRleFile). An input that starts with "BM" is read as a
// whole file. Any other input is the compressed pixel data of a file whose
// headers the harness writes, so that every input reaches the decoder's state
// machine: byte 0 chooses RLE4 (odd) or RLE8 (even), bytes 1-2 and 3-4 the
// width and height - 1 (little-endian, mod 1024); the colour table is full
// and its colours distinct from black. Then every pixel of a result must be
// black (not reached) or one of the table's colours.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/core/codec.h"
#include "platform/winapi/test_hooks.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Table entry i (blue, green, red): never black.
uint8_t Blue(uint32_t i) { return static_cast<uint8_t>(i); }
uint8_t Green(uint32_t i) { return static_cast<uint8_t>(255 - i); }
uint8_t Red(uint32_t i) { return static_cast<uint8_t>(i * 7 + 1); }

std::vector<uint8_t> WithHeaders(const uint8_t* data, size_t size, uint32_t* colorCount) {
  const bool rle4 = (data[0] & 1) != 0;
  const uint32_t width = 1 + ((data[1] | data[2] << 8) % 1024);
  const uint32_t height = 1 + ((data[3] | data[4] << 8) % 1024);
  *colorCount = rle4 ? 16 : 256;
  const uint32_t pixelOffset = 14 + 40 + 4 * *colorCount;
  std::vector<uint8_t> file = {'B', 'M'};
  PutLe(file, static_cast<uint32_t>(pixelOffset + size - 5), 4);
  PutLe(file, 0, 4);
  PutLe(file, pixelOffset, 4);
  for (uint32_t field : {40u, width, height}) PutLe(file, field, 4);
  PutLe(file, 1, 2);
  PutLe(file, rle4 ? 4 : 8, 2);
  for (uint32_t field : {rle4 ? 2u : 1u, static_cast<uint32_t>(size - 5), 0u, 0u, *colorCount, 0u})
    PutLe(file, field, 4);
  for (uint32_t i = 0; i < *colorCount; ++i) file.insert(file.end(), {Blue(i), Green(i), Red(i), 0});
  file.insert(file.end(), data + 5, data + size);
  return file;
}

bool IsTableColourOrBlack(const uint8_t* rgb, uint32_t colorCount) {
  if (rgb[0] == 0 && rgb[1] == 0 && rgb[2] == 0) return true;
  const uint32_t index = rgb[2];  // the blue of entry i is i
  return index < colorCount && rgb[0] == Red(index) && rgb[1] == Green(index);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool wholeFile = size >= 2 && data[0] == 'B' && data[1] == 'M';
  if (!wholeFile && size < 5) return 0;
  uint32_t colorCount = 0;
  const std::vector<uint8_t> file =
      wholeFile ? std::vector<uint8_t>(data, data + size) : WithHeaders(data, size, &colorCount);
  fuzz_support::MemoryFile input(file.data(), file.size());

  const int64_t liveBefore = platform::LiveGlobalBlocks();
  uint32_t width = 0, height = 0;
  PelornCodec codec;
  HGLOBAL picture = codec.ReadBmpRleFile(input.path(), &width, &height);
  Check((picture == nullptr) == (codec.errorCode != kPelornOk));
  if (picture != nullptr) {
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    Check(GlobalSize(picture) == bytes);
    if (!wholeFile) {
      const auto* rgb = static_cast<const uint8_t*>(GlobalLock(picture));
      Check(rgb != nullptr);
      for (size_t at = 0; at < bytes; at += 3) Check(IsTableColourOrBlack(rgb + at, colorCount));
      GlobalUnlock(picture);
    }
  }
  fuzz_support::TouchAndFree(picture, width, height);
  Check(platform::LiveGlobalBlocks() == liveBefore);
  return 0;
}
