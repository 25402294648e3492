// Colour quantiser against libimagequant on a 12-megapixel photo-like
// picture, both to 256 colours with dithering: ours through QuantizeRgb
// (tree reduction and serpentine error diffusion), libimagequant with its
// defaults (speed 4, full dithering) from quantising to the remapped index
// buffer. The RGBA copy libimagequant needs is made before timing. The
// quality of each result, PSNR against the source, is measured once outside
// the timed loop and printed (and reported as the counter "psnr_db").
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <libimagequant.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr size_t kPixels = size_t{kWidth} * kHeight;

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kWidth, kHeight);
  return rgb;
}

const std::vector<uint8_t>& PictureRgba() {
  static const std::vector<uint8_t> rgba = [] {
    const std::vector<uint8_t>& rgb = Picture();
    std::vector<uint8_t> out(kPixels * 4);
    for (size_t i = 0; i < kPixels; ++i) {
      out[i * 4] = rgb[i * 3];
      out[i * 4 + 1] = rgb[i * 3 + 1];
      out[i * 4 + 2] = rgb[i * 3 + 2];
      out[i * 4 + 3] = 255;
    }
    return out;
  }();
  return rgba;
}

// palette: 256 entries of red, green, blue.
double Psnr(const std::vector<uint8_t>& indices, const uint8_t (*palette)[3]) {
  const std::vector<uint8_t>& rgb = Picture();
  double squared = 0;
  for (size_t i = 0; i < kPixels; ++i) {
    for (int c = 0; c < 3; ++c) {
      const double d = double(rgb[i * 3 + c]) - palette[indices[i]][c];
      squared += d * d;
    }
  }
  return 10 * std::log10(255.0 * 255.0 / (squared / (kPixels * 3.0)));
}

bool QuantizeOurs(std::vector<uint8_t>& indices, RGBQUAD* palette) {
  return QuantizeRgb(Picture().data(), indices.data(), kWidth, kHeight, 256, palette) == 1;
}

// libimagequant from image to remapped indices; false on any failure.
bool QuantizePeer(std::vector<uint8_t>& indices, uint8_t (*palette)[3]) {
  liq_attr* attributes = liq_attr_create();
  liq_image* image = liq_image_create_rgba(attributes, PictureRgba().data(), kWidth, kHeight, 0);
  liq_result* result = nullptr;
  bool done = image != nullptr && liq_image_quantize(image, attributes, &result) == LIQ_OK &&
              liq_write_remapped_image(result, image, indices.data(), indices.size()) == LIQ_OK;
  if (done && palette != nullptr) {
    const liq_palette* colours = liq_get_palette(result);
    for (unsigned i = 0; i < 256; ++i) {
      const liq_color c = i < colours->count ? colours->entries[i] : liq_color{0, 0, 0, 0};
      palette[i][0] = c.r;
      palette[i][1] = c.g;
      palette[i][2] = c.b;
    }
  }
  if (result != nullptr) liq_result_destroy(result);
  if (image != nullptr) liq_image_destroy(image);
  liq_attr_destroy(attributes);
  return done;
}

double oursPsnr = 0;
double peerPsnr = 0;

void MeasureQuality() {
  std::vector<uint8_t> indices(kPixels);
  RGBQUAD windowsPalette[256] = {};
  uint8_t palette[256][3] = {};
  if (!QuantizeOurs(indices, windowsPalette)) {
    std::fprintf(stderr, "QuantizeRgb failed\n");
    std::exit(1);
  }
  for (int i = 0; i < 256; ++i) {
    palette[i][0] = windowsPalette[i].rgbRed;
    palette[i][1] = windowsPalette[i].rgbGreen;
    palette[i][2] = windowsPalette[i].rgbBlue;
  }
  oursPsnr = Psnr(indices, palette);
  if (!QuantizePeer(indices, palette)) {
    std::fprintf(stderr, "libimagequant failed\n");
    std::exit(1);
  }
  peerPsnr = Psnr(indices, palette);
  std::fprintf(stderr, "quantize_256_4000x3000: PSNR ours %.2f dB, libimagequant %.2f dB\n",
               oursPsnr, peerPsnr);
}

void RunOurs(benchmark::State& state) {
  std::vector<uint8_t> indices(kPixels);
  RGBQUAD palette[256];
  for (auto _ : state) {
    if (!QuantizeOurs(indices, palette)) state.SkipWithError("QuantizeRgb failed");
    benchmark::DoNotOptimize(indices.data());
  }
  state.counters["psnr_db"] = oursPsnr;
}

void RunPeer(benchmark::State& state) {
  std::vector<uint8_t> indices(kPixels);
  for (auto _ : state) {
    if (!QuantizePeer(indices, nullptr)) state.SkipWithError("libimagequant failed");
    benchmark::DoNotOptimize(indices.data());
  }
  state.counters["psnr_db"] = peerPsnr;
}

void Register() {
  PictureRgba();
  MeasureQuality();
  benchmark::RegisterBenchmark("quantize_256_4000x3000/ours", RunOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("quantize_256_4000x3000/peer", RunPeer)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Register();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
