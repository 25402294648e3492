// Bilinear scaler against stb_image_resize's triangle (bilinear) filter,
// shrinking a 6000 x 4000 photo-like picture to 549 x 366, the fit of a
// 3:2 photo into the viewer's picture area. The two do different work on a
// shrink: ours samples two source rows and two columns per output pixel (a
// point-sampled bilinear, cost proportional to the output), stb widens the
// triangle to the scale factor and reads every source pixel (an area
// filter, cost proportional to the input); the ratio measures that choice.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <stb/stb_image_resize.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kSourceWidth = 6000;
constexpr int kSourceHeight = 4000;
constexpr int kWidth = 549;
constexpr int kHeight = 366;

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kSourceWidth, kSourceHeight);
  return rgb;
}

void RunOurs(benchmark::State& state) {
  std::vector<uint8_t> output(size_t{kWidth} * kHeight * 3);
  for (auto _ : state) {
    if (ResampleRgb(Picture().data(), kSourceWidth, kSourceHeight, output.data(), kWidth,
                    kHeight) != 1) {
      state.SkipWithError("ResampleRgb failed");
    }
    benchmark::DoNotOptimize(output.data());
  }
}

void RunPeer(benchmark::State& state) {
  std::vector<uint8_t> output(size_t{kWidth} * kHeight * 3);
  for (auto _ : state) {
    if (!stbir_resize_uint8_generic(Picture().data(), kSourceWidth, kSourceHeight,
                                    kSourceWidth * 3, output.data(), kWidth, kHeight, kWidth * 3,
                                    3, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                    STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr)) {
      state.SkipWithError("stbir_resize_uint8_generic failed");
    }
    benchmark::DoNotOptimize(output.data());
  }
}

void Register() {
  Picture();
  benchmark::RegisterBenchmark("resample_6000x4000_to_549x366/ours", RunOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("resample_6000x4000_to_549x366/peer", RunPeer)
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
