// GIF reader against giflib (DGifSlurp, then the colour map into RGB) and
// stb_image, on a 1165 x 859 photo-like picture reduced to 256 colours and on
// a synthetic 1280 x 1024 screen capture (flat panels, text-like strokes,
// few colours). Both files are made by ImageMagick, so all three decoders
// read the same ordinary LZW streams. Every side reads the file by name (from
// the page cache) and builds a fresh RGB picture per decode.
#include <benchmark/benchmark.h>

#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <stb/stb_image.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::exit(1);
}

std::string MakeGif(const std::string& name, const std::vector<uint8_t>& rgb, int width, int height,
                    const std::string& options) {
  const std::string folder = bench_support::InputDir();
  const std::string ppm = folder + "/" + name + ".ppm";
  const std::string gif = folder + "/" + name + ".gif";
  if (!bench_support::WritePpm(ppm, rgb, width, height)) Fail("could not write " + ppm);
  if (!bench_support::Run("convert '" + ppm + "' " + options + " '" + gif + "'"))
    Fail("ImageMagick could not make " + gif);
  return gif;
}

const std::string& PhotoGif() {
  static const std::string path =
      MakeGif("gif_photo_1165x859", bench_support::PhotoLikeRgb(1165, 859), 1165, 859, "-colors 256");
  return path;
}

// A desktop-like picture: a title bar, panels, buttons and rows of
// glyph-like strokes in a dozen colours.
std::vector<uint8_t> ScreenLikeRgb(int width, int height) {
  static const uint8_t kColors[][3] = {{236, 236, 236}, {255, 255, 255}, {0, 0, 0},     {40, 90, 170},
                                       {200, 200, 200}, {120, 120, 120}, {30, 30, 30},  {250, 250, 210},
                                       {0, 120, 215},   {210, 60, 40},   {60, 160, 70}, {90, 90, 90}};
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t seed = 12345;
  auto random = [&seed]() { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  std::vector<uint8_t> index(static_cast<size_t>(width) * height, 0);
  auto fill = [&](int x0, int y0, int x1, int y1, uint8_t c) {
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width, x1); ++x) index[static_cast<size_t>(y) * width + x] = c;
  };
  fill(0, 0, width, 28, 3);                    // title bar
  fill(0, 28, 220, height, 4);                 // side panel
  fill(220, 28, width, height - 24, 1);        // document
  fill(0, height - 24, width, height, 5);      // status bar
  for (int b = 0; b < 8; ++b) fill(10, 60 + b * 40, 210, 90 + b * 40, static_cast<uint8_t>(8 + b % 3));
  // Text: rows of glyphs made of short strokes.
  for (int line = 0; line < (height - 90) / 18; ++line) {
    const int y = 50 + line * 18;
    int x = 240;
    while (x < width - 40) {
      const int glyphs = 2 + static_cast<int>(random() % 9);
      for (int g = 0; g < glyphs && x < width - 40; ++g, x += 8) {
        const uint8_t ink = line % 7 == 0 ? 8 : 6;
        if (random() % 2) fill(x + 1, y, x + 2, y + 11, ink);
        if (random() % 2) fill(x + 1, y + 5, x + 6, y + 6, ink);
        if (random() % 2) fill(x + 5, y + 2, x + 6, y + 11, ink);
        if (random() % 3 == 0) fill(x + 1, y + 10, x + 6, y + 11, ink);
      }
      x += 8;
    }
  }
  for (size_t i = 0; i < index.size(); ++i) std::memcpy(&rgb[i * 3], kColors[index[i]], 3);
  return rgb;
}

const std::string& ScreenGif() {
  static const std::string path = MakeGif("gif_screen_1280x1024", ScreenLikeRgb(1280, 1024), 1280, 1024, "");
  return path;
}

void DecodeOurs(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    int32_t transparent = 0;
    HGLOBAL picture = ReadGifFile(path.c_str(), &width, &height, &transparent);
    if (picture == nullptr) {
      state.SkipWithError("ReadGifFile failed");
      return;
    }
    benchmark::DoNotOptimize(width);
    GlobalFree(picture);
  }
}

// giflib: the whole file into memory, then the first picture through its
// colour map into an RGB buffer of the picture's size.
void DecodeGiflib(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
      state.SkipWithError("giflib failed");
      return;
    }
    const SavedImage& image = gif->SavedImages[0];
    const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
    const size_t count = static_cast<size_t>(image.ImageDesc.Width) * image.ImageDesc.Height;
    std::vector<uint8_t> rgb(count * 3);
    for (size_t i = 0; i < count; ++i) {
      const GifColorType& c = map->Colors[image.RasterBits[i] % map->ColorCount];
      rgb[i * 3] = c.Red;
      rgb[i * 3 + 1] = c.Green;
      rgb[i * 3 + 2] = c.Blue;
    }
    benchmark::DoNotOptimize(rgb.data());
    DGifCloseFile(gif, &error);
  }
}

void DecodeStb(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr) {
      state.SkipWithError("stbi_load failed");
      return;
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

void RegisterPair(const std::string& name, void (*peer)(benchmark::State&, const std::string&),
                  const std::string& path) {
  benchmark::RegisterBenchmark((name + "/ours").c_str(), DecodeOurs, path)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((name + "/peer").c_str(), peer, path)->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  RegisterPair("gif_decode_1165x859_photo_vs_giflib", DecodeGiflib, PhotoGif());
  RegisterPair("gif_decode_1165x859_photo_vs_stb", DecodeStb, PhotoGif());
  RegisterPair("gif_decode_screen_vs_giflib", DecodeGiflib, ScreenGif());
  RegisterPair("gif_decode_screen_vs_stb", DecodeStb, ScreenGif());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
