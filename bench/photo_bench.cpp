// The viewer's work on a camera photo, on the 12-megapixel photo-like picture:
//   fit_box_4000x3000_to_549x411_vs_resample  the area-weighted reduction to
//       the picture area against the bilinear ResampleRgb on the same decoded
//       picture (the box reads every source pixel, the bilinear four per
//       output pixel: the ratio is the price of reading them all);
//   orient_6_4000x3000_vs_decode  turning the decoded picture upright for
//       orientation 6 (a quarter turn, the costliest walk) against decoding
//       the same picture from a quality-85 JPEG file with ReadJpegFile; the
//       turn reads the reader's block and writes a global block, as the
//       viewer's Copy and Export do;
//   orient_1_4000x3000_vs_decode  the same with orientation 1, a plain copy
//       of the picture: the floor a one-pass turn sits on, measured in the
//       same run;
//   jpeg_decode_4000x3000_for_area_vs_full  ReadJpegFileScaled for the
//       viewer's picture area (libjpeg's 1/4 scale) against ReadJpegFile:
//       the floor of a Next that decodes, whatever it does after the decode.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = bench_support::kPhotoWidth;
constexpr int kHeight = bench_support::kPhotoHeight;
constexpr int kFitWidth = 549;
constexpr int kFitHeight = 411;

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kWidth, kHeight);
  return rgb;
}

const std::string& JpegPath() {
  static const std::string path = [] {
    const std::string written = bench_support::InputDir() + "/photo_4000x3000_q85.jpg";
    if (WriteJpegFile(written.c_str(), Picture().data(), kWidth, kHeight, 85, 1, 0) != 1) {
      std::fprintf(stderr, "could not write %s\n", written.c_str());
      std::exit(1);
    }
    return written;
  }();
  return path;
}

void FitBox(benchmark::State& state) {
  std::vector<uint8_t> output(size_t{kFitWidth} * kFitHeight * 3);
  for (auto _ : state) {
    if (ReduceRgb(Picture().data(), kWidth, kHeight, output.data(), kFitWidth, kFitHeight) != 1)
      state.SkipWithError("ReduceRgb failed");
    benchmark::DoNotOptimize(output.data());
  }
}

void FitBilinear(benchmark::State& state) {
  std::vector<uint8_t> output(size_t{kFitWidth} * kFitHeight * 3);
  for (auto _ : state) {
    if (ResampleRgb(Picture().data(), kWidth, kHeight, output.data(), kFitWidth, kFitHeight) != 1)
      state.SkipWithError("ResampleRgb failed");
    benchmark::DoNotOptimize(output.data());
  }
}

// A global block of `bytes`, locked, as the readers and the viewer's turn
// use them (picture-sized blocks live on huge pages).
uint8_t* LockedBlock(size_t bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  auto* pixels = block != nullptr ? static_cast<uint8_t*>(GlobalLock(block)) : nullptr;
  if (pixels == nullptr) {
    std::fprintf(stderr, "no block of %zu bytes\n", bytes);
    std::exit(1);
  }
  return pixels;
}

// The picture as ReadJpegFile gives it, in the reader's own block.
const uint8_t* DecodedPicture() {
  static const uint8_t* pixels = [] {
    uint32_t width = 0, height = 0;
    HGLOBAL block = ReadJpegFile(JpegPath().c_str(), &width, &height);
    if (block == nullptr || width != uint32_t(kWidth) || height != uint32_t(kHeight)) {
      std::fprintf(stderr, "cannot decode %s\n", JpegPath().c_str());
      std::exit(1);
    }
    return static_cast<const uint8_t*>(GlobalLock(block));
  }();
  return pixels;
}

void Turn(benchmark::State& state, int orientation) {
  static uint8_t* const upright = LockedBlock(Picture().size());
  for (auto _ : state) {
    if (OrientRgb(DecodedPicture(), kWidth, kHeight, orientation, upright) != 1)
      state.SkipWithError("OrientRgb failed");
    benchmark::DoNotOptimize(upright);
  }
}

void Decode(benchmark::State& state) {
  bench_support::DecodeWithReader(state, ReadJpegFile, JpegPath(), kWidth, kHeight);
}

// The viewer's picture area: 549 x 470.
void DecodeForArea(benchmark::State& state) {
  for (auto _ : state) {
    uint32_t width = 0, height = 0, fullWidth = 0, fullHeight = 0;
    HGLOBAL block = ReadJpegFileScaled(JpegPath().c_str(), 549, 470, &width, &height, &fullWidth,
                                       &fullHeight);
    if (block == nullptr || fullWidth != uint32_t(kWidth)) {
      state.SkipWithError("ReadJpegFileScaled failed");
      break;
    }
    GlobalFree(block);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Picture();
  JpegPath();
  DecodedPicture();
  benchmark::RegisterBenchmark("fit_box_4000x3000_to_549x411_vs_resample/ours", FitBox)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("fit_box_4000x3000_to_549x411_vs_resample/peer", FitBilinear)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("orient_6_4000x3000_vs_decode/ours",
                               [](benchmark::State& state) { Turn(state, 6); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("orient_6_4000x3000_vs_decode/peer", Decode)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("orient_1_4000x3000_vs_decode/ours",
                               [](benchmark::State& state) { Turn(state, 1); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("orient_1_4000x3000_vs_decode/peer", Decode)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_for_area_vs_full/ours", DecodeForArea)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_for_area_vs_full/peer", Decode)
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
