// The software renderer's DIB drawing against pixman (the compositor under
// cairo), each copying the same bottom-up DIB onto an 800 x 600 32-bit
// framebuffer: a 32-bit skin at 1:1 (what every paint of the viewer does
// first), a 24-bit picture at 1:1 (DrawRgb), and a 24-bit picture doubled
// with nearest-neighbour sampling. pixman reads the bottom-up rows through a
// negative stride. Before timing, both results are compared pixel for pixel.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "platform/win32.h"
#include "platform/winapi/gdi_internal.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct Dib {
  BITMAPINFO info;
  std::vector<uint8_t> bits;
  int width = 0, height = 0, stride = 0;
};

// The photo-like picture as a bottom-up DIB of 24 or 32 bits.
const Dib& Picture(int width, int height, int bitsPerPixel) {
  static std::vector<Dib*> made;
  for (Dib* d : made) {
    if (d->width == width && d->height == height && d->info.bmiHeader.biBitCount == bitsPerPixel)
      return *d;
  }
  Dib* dib = new Dib;
  dib->width = width;
  dib->height = height;
  dib->stride = ((width * bitsPerPixel + 31) / 32) * 4;
  std::memset(&dib->info, 0, sizeof dib->info);
  dib->info.bmiHeader.biSize = 40;
  dib->info.bmiHeader.biWidth = width;
  dib->info.bmiHeader.biHeight = height;
  dib->info.bmiHeader.biPlanes = 1;
  dib->info.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(width, height);
  dib->bits.assign(static_cast<size_t>(dib->stride) * height, 0);
  const int bytes = bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = dib->bits.data() + static_cast<size_t>(height - 1 - y) * dib->stride;
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      row[x * bytes + 0] = p[2];
      row[x * bytes + 1] = p[1];
      row[x * bytes + 2] = p[0];
      if (bytes == 4) row[x * bytes + 3] = 255;
    }
  }
  made.push_back(dib);
  return *dib;
}

struct Target {
  HBITMAP framebuffer = platform::CreateFramebuffer(kWidth, kHeight);
  HDC dc = platform::CreateWindowDC(framebuffer);
  ~Target() {
    DeleteDC(dc);
    DeleteObject(framebuffer);
  }
  platform::PixelView View() const { return platform::BitmapPixels(framebuffer); }
};

void DrawOurs(const Target& target, const Dib& dib, int scale) {
  StretchDIBits(target.dc, 0, 0, dib.width * scale, dib.height * scale, 0, 0, dib.width,
                dib.height, dib.bits.data(), &dib.info, DIB_RGB_COLORS, SRCCOPY);
}

void DrawPeer(const Target& target, const Dib& dib, int scale) {
  const platform::PixelView view = target.View();
  const pixman_format_code_t format =
      dib.info.bmiHeader.biBitCount == 32 ? PIXMAN_x8r8g8b8 : PIXMAN_r8g8b8;
  // Bottom-up rows: start at the top row (stored last) and step backwards.
  uint8_t* top = const_cast<uint8_t*>(dib.bits.data()) + static_cast<size_t>(dib.height - 1) * dib.stride;
  pixman_image_t* source = pixman_image_create_bits(
      format, dib.width, dib.height, reinterpret_cast<uint32_t*>(top), -dib.stride);
  pixman_image_t* destination = pixman_image_create_bits(
      PIXMAN_x8r8g8b8, view.width, view.height, reinterpret_cast<uint32_t*>(view.pixels),
      view.stride);
  if (scale != 1) {
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(1.0 / scale),
                                pixman_double_to_fixed(1.0 / scale));
    pixman_image_set_transform(source, &transform);
    pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0,
                           dib.width * scale, dib.height * scale);
  pixman_image_unref(source);
  pixman_image_unref(destination);
}

// Both draw the same pixels (the unused fourth byte aside).
bool SameResult(const Dib& dib, int scale) {
  Target ours, peer;
  DrawOurs(ours, dib, scale);
  DrawPeer(peer, dib, scale);
  const platform::PixelView a = ours.View(), b = peer.View();
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (a.At(x, y) != b.At(x, y)) {
        std::fprintf(stderr, "gdi_bench: results differ at %d,%d: %06x %06x\n", x, y, a.At(x, y),
                     b.At(x, y));
        return false;
      }
  return true;
}

template <bool kOurs>
void Run(benchmark::State& state, int width, int height, int bits, int scale) {
  const Dib& dib = Picture(width, height, bits);
  Target target;
  for (auto _ : state) {
    if (kOurs) {
      DrawOurs(target, dib, scale);
    } else {
      DrawPeer(target, dib, scale);
    }
    benchmark::DoNotOptimize(target.View().pixels);
  }
}

void RegisterPair(const char* name, int width, int height, int bits, int scale) {
  if (!SameResult(Picture(width, height, bits), scale)) {
    std::fprintf(stderr, "gdi_bench: %s skipped\n", name);
    return;
  }
  benchmark::RegisterBenchmark((std::string(name) + "/ours").c_str(), Run<true>, width, height,
                               bits, scale)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((std::string(name) + "/peer").c_str(), Run<false>, width, height,
                               bits, scale)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  RegisterPair("stretchdibits_32bit_800x600", kWidth, kHeight, 32, 1);
  RegisterPair("stretchdibits_24bit_800x600", kWidth, kHeight, 24, 1);
  RegisterPair("stretchdibits_24bit_400x300_doubled", kWidth / 2, kHeight / 2, 24, 2);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
