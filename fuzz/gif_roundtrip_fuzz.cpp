// Round-trip fuzz target of the GIF writer: the input makes a picture of
// palette indices, WriteGifFile writes it, ReadGifFile reads it back, and the
// pixels must be exactly the palette's colours of the indices.
//
// Input layout: bytes 0-1 width - 1 (mod 2048), byte 2 height - 1 (mod 32),
// byte 3 the pixel mode (even: the rest of the bytes repeated; odd: pairs of
// index and run length - 1, so long runs of one index are common), byte 4 the
// transparent index (0xFF: none), then the pixel bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"

namespace {

RGBQUAD PaletteEntry(int i) {
  return {static_cast<BYTE>(i * 73 + 1), static_cast<BYTE>(i ^ 0x5A), static_cast<BYTE>(255 - i), 0};
}

std::vector<uint8_t> MakeIndices(const uint8_t* bytes, size_t size, bool runs, size_t count) {
  std::vector<uint8_t> indices;
  indices.reserve(count);
  if (size == 0) {
    indices.assign(count, 0);
    return indices;
  }
  size_t at = 0;
  while (indices.size() < count) {
    if (runs && size >= 2) {
      const size_t run = 1 + bytes[(at + 1) % size] * 37u;
      indices.insert(indices.end(), std::min(run, count - indices.size()), bytes[at % size]);
      at += 2;
    } else {
      indices.push_back(bytes[at % size]);
      ++at;
    }
  }
  return indices;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const int32_t width = 1 + ((data[0] | data[1] << 8) % 2048);
  const int32_t height = 1 + data[2] % 32;
  const bool runs = (data[3] & 1) != 0;
  const int32_t transparentIndex = data[4] == 0xFF ? -1 : data[4];
  const std::vector<uint8_t> indices =
      MakeIndices(data + 5, size - 5, runs, static_cast<size_t>(width) * height);
  RGBQUAD palette[256];
  for (int i = 0; i < 256; ++i) palette[i] = PaletteEntry(i);

  const int64_t liveBefore = platform::LiveGlobalBlocks();
  fuzz_support::MemoryFile output;
  if (WriteGifFile(output.path(), indices.data(), width, height, 0, transparentIndex, palette) != 1)
    abort();
  uint32_t backWidth = 0;
  uint32_t backHeight = 0;
  int32_t transparent = -2;
  HGLOBAL back = ReadGifFile(output.path(), &backWidth, &backHeight, &transparent);
  if (back == nullptr || GetLastImageError() != kPelornOk) abort();
  if (backWidth != static_cast<uint32_t>(width) || backHeight != static_cast<uint32_t>(height)) abort();
  const int32_t expectedTransparent =
      transparentIndex < 0 ? -1
                           : palette[transparentIndex].rgbRed | palette[transparentIndex].rgbGreen << 8 |
                                 palette[transparentIndex].rgbBlue << 16;
  if (transparent != expectedTransparent) abort();
  const auto* rgb = static_cast<const uint8_t*>(GlobalLock(back));
  if (rgb == nullptr) abort();
  for (size_t i = 0; i < indices.size(); ++i) {
    const RGBQUAD& c = palette[indices[i]];
    if (rgb[i * 3] != c.rgbRed || rgb[i * 3 + 1] != c.rgbGreen || rgb[i * 3 + 2] != c.rgbBlue) abort();
  }
  GlobalUnlock(back);
  GlobalFree(back);
  if (platform::LiveGlobalBlocks() != liveBefore) abort();
  return 0;
}
