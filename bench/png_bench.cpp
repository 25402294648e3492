// PNG decoding of a 12-megapixel photo-like picture (4000 x 3000 RGB, no
// gAMA, as our writer makes it) against libpng called directly with no
// transformations, png_read_row into a preallocated buffer: the floor for any
// wrapper. A second pair gives libpng a fresh zero-filled block per picture,
// as every reader's caller gets one (the first touch of 36 MB of new pages
// is part of what the reader must pay).
//
// The reader's transformations are no-ops for such a file: no palette, grey,
// 16 bits or alpha, and without gAMA the gamma product is 1, so no gamma
// tables are built and libpng copies the rows unchanged.
#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const std::string& PngPath() {
  static const std::string path = [] {
    const std::string file = bench_support::InputDir() + "/png_photo_4000x3000.png";
    const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kWidth, kHeight);
    if (WritePng24File(file.c_str(), rgb.data(), kWidth, kHeight, 0.0) != 1) {
      std::fprintf(stderr, "could not write %s\n", file.c_str());
      std::exit(1);
    }
    return file;
  }();
  return path;
}

void DecodeOurs(benchmark::State& state) {
  const std::string& path = PngPath();
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    HGLOBAL picture = ReadPngFile(path.c_str(), &width, &height);
    if (picture == nullptr) state.SkipWithError("ReadPngFile failed");
    benchmark::DoNotOptimize(picture);
    GlobalFree(picture);
  }
}

// libpng without transformations; false on a libpng error.
bool ReadWithLibpng(const std::string& path, png_bytepp rows) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  bool read = false;
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_read_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, rows[y], nullptr);
    png_read_end(png, info);
    read = true;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return read;
}

void DecodeLibpng(benchmark::State& state) {
  const std::string& path = PngPath();
  std::vector<uint8_t> pixels(size_t{kWidth} * kHeight * 3);
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) rows[size_t(y)] = &pixels[size_t(y) * kWidth * 3];
  for (auto _ : state) {
    if (!ReadWithLibpng(path, rows.data())) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(pixels.data());
  }
}

void DecodeLibpngFreshBlock(benchmark::State& state) {
  const std::string& path = PngPath();
  std::vector<png_bytep> rows(kHeight);
  for (auto _ : state) {
    auto* pixels = static_cast<uint8_t*>(std::calloc(size_t{kWidth} * kHeight * 3, 1));
    for (int y = 0; y < kHeight; ++y) rows[size_t(y)] = pixels + size_t(y) * kWidth * 3;
    if (!ReadWithLibpng(path, rows.data())) state.SkipWithError("libpng failed");
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
}

const bool registered = [] {
  benchmark::RegisterBenchmark("png_decode_4000x3000/ours", DecodeOurs)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("png_decode_4000x3000/peer", DecodeLibpng)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("png_decode_fresh_block_4000x3000/ours", DecodeOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("png_decode_fresh_block_4000x3000/peer", DecodeLibpngFreshBlock)
      ->Unit(benchmark::kMillisecond);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
