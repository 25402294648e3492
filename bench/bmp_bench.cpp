// BMP readers on a 12-megapixel photo-like picture: a 24-bit and an 8-bit
// uncompressed file (written by our own writer) against stb_image, and an
// RLE8 file of 256 colours (made by ImageMagick) against SDL2's BMP loader,
// since stb_image reads no run-length BMP. SDL2 gives a paletted surface, so
// its side also converts it to 24-bit RGB, as our reader's result is. Every
// side reads the file by name (from the page cache) into a fresh buffer.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/stb_peer.h"

#define SDL_MAIN_HANDLED  // our own main
#include <SDL.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "bmp_bench: %s\n", what.c_str());
  std::exit(1);
}

const std::vector<uint8_t>& Photo() {
  static const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kWidth, kHeight);
  return rgb;
}

const std::string& Bmp24Path() {
  static const std::string path = [] {
    const std::string file = bench_support::InputDir() + "/bmp24_4000x3000.bmp";
    if (!WriteBmp24File(file.c_str(), Photo().data(), kWidth, kHeight)) Fail("cannot write " + file);
    return file;
  }();
  return path;
}

// A 3-3-2 palette: index = red's top 3 bits, green's top 3, blue's top 2.
const std::string& Bmp8Path() {
  static const std::string path = [] {
    const std::string file = bench_support::InputDir() + "/bmp8_4000x3000.bmp";
    std::vector<RGBQUAD> palette(256);
    for (int i = 0; i < 256; ++i) {
      palette[i].rgbRed = static_cast<BYTE>((i >> 5) * 255 / 7);
      palette[i].rgbGreen = static_cast<BYTE>(((i >> 2) & 7) * 255 / 7);
      palette[i].rgbBlue = static_cast<BYTE>((i & 3) * 255 / 3);
    }
    std::vector<uint8_t> indexes(static_cast<size_t>(kWidth) * kHeight);
    const std::vector<uint8_t>& rgb = Photo();
    for (size_t i = 0; i < indexes.size(); ++i)
      indexes[i] = static_cast<uint8_t>((rgb[3 * i] & 0xE0) | (rgb[3 * i + 1] & 0xE0) >> 3 |
                                        rgb[3 * i + 2] >> 6);
    if (!WriteBmpIndexedFile(file.c_str(), indexes.data(), kWidth, kHeight, 8, 256,
                             palette.data()))
      Fail("cannot write " + file);
    return file;
  }();
  return path;
}

const std::string& Rle8Path() {
  static const std::string path = [] {
    const std::string folder = bench_support::InputDir();
    const std::string ppm = folder + "/bmp_photo_4000x3000.ppm";
    const std::string file = folder + "/bmp_rle8_4000x3000.bmp";
    if (!bench_support::WritePpm(ppm, Photo(), kWidth, kHeight)) Fail("cannot write " + ppm);
    if (!bench_support::Run("convert '" + ppm + "' -colors 256 -type palette -compress RLE 'BMP3:" +
                            file + "'"))
      Fail("ImageMagick could not make " + file);
    return file;
  }();
  return path;
}

void DecodeOurs(benchmark::State& state, const std::string& path) {
  bench_support::DecodeWithReader(state, ReadBmpFile, path, kWidth, kHeight);
}

void DecodeStb(benchmark::State& state, const std::string& path) {
  bench_support::DecodeWithStb(state, path, kWidth, kHeight);
}

void DecodeSdl(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    SDL_Surface* paletted = SDL_LoadBMP(path.c_str());
    if (paletted == nullptr || paletted->w != kWidth || paletted->h != kHeight) {
      state.SkipWithError("SDL_LoadBMP failed");
      break;
    }
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(paletted, SDL_PIXELFORMAT_RGB24, 0);
    SDL_FreeSurface(paletted);
    if (rgb == nullptr) {
      state.SkipWithError("SDL_ConvertSurfaceFormat failed");
      break;
    }
    benchmark::DoNotOptimize(rgb->pixels);
    SDL_FreeSurface(rgb);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string bmp24 = Bmp24Path();
  const std::string bmp8 = Bmp8Path();
  const std::string rle8 = Rle8Path();
  benchmark::RegisterBenchmark("bmp24_decode_4000x3000/ours",
                               [bmp24](benchmark::State& s) { DecodeOurs(s, bmp24); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bmp24_decode_4000x3000/peer",
                               [bmp24](benchmark::State& s) { DecodeStb(s, bmp24); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bmp8_decode_4000x3000/ours",
                               [bmp8](benchmark::State& s) { DecodeOurs(s, bmp8); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bmp8_decode_4000x3000/peer",
                               [bmp8](benchmark::State& s) { DecodeStb(s, bmp8); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bmp_rle8_decode_4000x3000/ours",
                               [rle8](benchmark::State& s) { DecodeOurs(s, rle8); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("bmp_rle8_decode_4000x3000/peer",
                               [rle8](benchmark::State& s) { DecodeSdl(s, rle8); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
