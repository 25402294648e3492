// Fuzz target: a small paletted picture derived from the bytes is written
// with WritePng8File and read back with ReadPngFile; any pixel that does not
// come back as the reader's rules say aborts.
//
// Byte 0: width - 1 (mod 32), byte 1: height - 1 (mod 32), byte 2: colour
// count - 1, byte 3: file gamma (0.0: no gAMA; 1 / 2.9: the product with the
// display gamma is 1, so no correction; 0.45455: corrected), then the
// palette (blue, green, red per entry) and the indices (mod the colour count),
// both repeating the remaining bytes. With no correction the reader must give
// the palette colours exactly; with correction libpng corrects the palette
// through its 8-bit table, floor(255 * (v / 255) ^ g + 0.5) with the exponent
// g = 1 / (0.45455 * 2.9) rounded to five decimals as libpng's fixed point
// does, so the expected colours are computed the same way.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"

namespace {
uint8_t Corrected(uint8_t value) {
  if (value == 0 || value == 255) return value;
  const double exponent = std::floor(1e15 / 45455 / 290000 + 0.5) * 0.00001;
  return static_cast<uint8_t>(std::floor(255 * std::pow(value / 255.0, exponent) + 0.5));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const int width = 1 + data[0] % 32;
  const int height = 1 + data[1] % 32;
  const int colors = 1 + data[2];
  const double gammas[3] = {0.0, 1.0 / 2.9, 0.45455};
  const double fileGamma = gammas[data[3] % 3];
  const uint8_t* rest = data + 4;
  const size_t restSize = size - 4;
  size_t at = 0;
  auto next = [&]() { return rest[at++ % restSize]; };

  RGBQUAD palette[256] = {};
  for (int i = 0; i < colors; ++i) {
    palette[i].rgbBlue = next();
    palette[i].rgbGreen = next();
    palette[i].rgbRed = next();
  }
  std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
  for (auto& index : indices) index = static_cast<uint8_t>(next() % colors);

  fuzz_support::MemoryFile output;
  GetThreadState().pngWriteTexts.clear();
  if (WritePng8File(output.path(), indices.data(), width, height, colors, palette, fileGamma) != 1) {
    std::abort();  // every such picture is writable
  }
  uint32_t readWidth = 0, readHeight = 0;
  HGLOBAL picture = ReadPngFile(output.path(), &readWidth, &readHeight);
  if (picture == nullptr || readWidth != static_cast<uint32_t>(width) ||
      readHeight != static_cast<uint32_t>(height)) {
    std::abort();
  }
  const auto* rgb = static_cast<const uint8_t*>(GlobalLock(picture));
  const bool correct = fileGamma == gammas[2];
  for (size_t i = 0; i < indices.size(); ++i) {
    const RGBQUAD& entry = palette[indices[i]];
    const uint8_t expected[3] = {entry.rgbRed, entry.rgbGreen, entry.rgbBlue};
    for (int c = 0; c < 3; ++c) {
      const uint8_t want = correct ? Corrected(expected[c]) : expected[c];
      if (rgb[i * 3 + c] != want) std::abort();
    }
  }
  GlobalUnlock(picture);
  GlobalFree(picture);
  return 0;
}
