// Quantiser and scaler over arbitrary pictures: the first bytes choose the
// sizes and the colour count, the rest are the pixels (repeated to fill the
// picture). Checks the promises callers rely on: every index is below the
// colour count, only entries 0 to N - 1 of the palette are written, and the
// scaler writes exactly its destination.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/pelorn.h"

namespace {

constexpr uint8_t kSentinel = 0xC3;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const int32_t width = 1 + data[0] % 96;
  const int32_t height = 1 + data[1] % 96;
  const int32_t colorCount = static_cast<int32_t>(data[2]) * 2 - 100;  // -100 .. 410
  const int32_t scaledWidth = 1 + data[3] % 160;
  const int32_t scaledHeight = 1 + data[4] % 160;
  const uint8_t* pixels = data + 5;
  const size_t pixelBytes = size - 5;

  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = pixels[i % pixelBytes];

  std::vector<uint8_t> indices(rgb.size() / 3);
  RGBQUAD palette[256];
  std::memset(palette, kSentinel, sizeof palette);
  Check(QuantizeRgb(rgb.data(), indices.data(), width, height, colorCount, palette) == 1);
  const int32_t used = colorCount < 1 ? 1 : colorCount > 256 ? 256 : colorCount;
  for (uint8_t index : indices) Check(index < used);
  for (int32_t i = 0; i < 256; ++i) Check(palette[i].rgbReserved == kSentinel);
  for (int32_t i = used; i < 256; ++i) Check(palette[i].rgbRed == kSentinel);

  const size_t scaledBytes = static_cast<size_t>(scaledWidth) * scaledHeight * 3;
  std::vector<uint8_t> scaled(scaledBytes + 16, kSentinel);
  Check(ResampleRgb(rgb.data(), width, height, scaled.data(), scaledWidth, scaledHeight) == 1);
  for (size_t i = scaledBytes; i < scaled.size(); ++i) Check(scaled[i] == kSentinel);
  return 0;
}
