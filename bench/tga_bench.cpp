// TGA reader against stb_image on a 12-megapixel photo-like picture, as a
// 24-bit uncompressed file and as a run-length encoded one (both made by
// ImageMagick from the same picture). Both sides read the file by name, so
// both pay for the file reads (from the page cache) and a fresh picture
// buffer per decode.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <stb/stb_image.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Makes bench inputs once: the photo as PPM, then ImageMagick's TGA forms.
std::string MakeInput(const std::string& name, const std::string& options) {
  const std::string folder = bench_support::InputDir();
  const std::string ppm = folder + "/tga_photo_4000x3000.ppm";
  const std::string path = folder + "/" + name;
  static bool ppmWritten = false;
  if (!ppmWritten) {
    if (!bench_support::WritePpm(ppm, bench_support::PhotoLikeRgb(kWidth, kHeight), kWidth, kHeight)) {
      std::fprintf(stderr, "could not write %s\n", ppm.c_str());
      std::exit(1);
    }
    ppmWritten = true;
  }
  if (!bench_support::Run("convert '" + ppm + "' " + options + " '" + path + "'")) {
    std::fprintf(stderr, "ImageMagick could not make %s\n", path.c_str());
    std::exit(1);
  }
  return path;
}

const std::string& RawPath() {
  static const std::string path = MakeInput("tga24_raw_4000x3000.tga", "-compress None");
  return path;
}

const std::string& RlePath() {
  static const std::string path = MakeInput("tga24_rle_4000x3000.tga", "-compress RLE");
  return path;
}

void DecodeOurs(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    HGLOBAL picture = ReadTgaFile(path.c_str(), &width, &height);
    if (picture == nullptr || width != kWidth || height != kHeight) {
      state.SkipWithError("ReadTgaFile failed");
      break;
    }
    benchmark::DoNotOptimize(picture);
    GlobalFree(picture);
  }
}

void DecodeStb(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr || width != kWidth || height != kHeight) {
      state.SkipWithError("stbi_load failed");
      break;
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string raw = RawPath();
  const std::string rle = RlePath();
  benchmark::RegisterBenchmark("tga24_decode_4000x3000/ours", DecodeOurs, raw)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("tga24_decode_4000x3000/peer", DecodeStb, raw)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("tga24_rle_decode_4000x3000/ours", DecodeOurs, rle)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("tga24_rle_decode_4000x3000/peer", DecodeStb, rle)->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
