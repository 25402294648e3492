// JPEG codec against its peers on a 12-megapixel photo-like picture:
// decoding against libjpeg-turbo called directly (rows straight into a
// preallocated buffer: the floor for any wrapper) and against stb_image,
// encoding at quality 85 against libjpeg-turbo called directly. A third
// decode pair gives libjpeg-turbo a fresh zero-filled block per picture, as
// every reader's caller gets one: the first touch of 36 MB of new pages is a
// large share of the time and no wrapper can avoid it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <stb/stb_image.h>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> rgb = bench_support::PhotoLikeRgb(kWidth, kHeight);
  return rgb;
}

// The picture as a quality-85 colour JPEG made by our writer, in memory.
const std::vector<uint8_t>& JpegBytes() {
  static const std::vector<uint8_t> bytes = [] {
    const std::string path = bench_support::InputDir() + "/jpeg_photo_4000x3000.jpg";
    if (WriteJpegFile(path.c_str(), Picture().data(), kWidth, kHeight, 85, 1, 0) != 1) {
      std::fprintf(stderr, "could not write %s\n", path.c_str());
      std::exit(1);
    }
    return bench_support::ReadFile(path);
  }();
  return bytes;
}

void DecodeOurs(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = JpegBytes();
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    HGLOBAL picture = ReadJpegMemory(bytes.data(), static_cast<int32_t>(bytes.size()), &width,
                                     &height);
    if (picture == nullptr) state.SkipWithError("ReadJpegMemory failed");
    benchmark::DoNotOptimize(picture);
    GlobalFree(picture);
  }
}

void DecodeLibjpeg(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = JpegBytes();
  std::vector<uint8_t> pixels(size_t{kWidth} * kHeight * 3);
  std::vector<JSAMPROW> rows(kHeight);
  for (int y = 0; y < kHeight; ++y) rows[size_t(y)] = &pixels[size_t(y) * kWidth * 3];
  for (auto _ : state) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      jpeg_read_scanlines(&info, &rows[info.output_scanline],
                          info.output_height - info.output_scanline);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(pixels.data());
  }
}

// libjpeg-turbo with what the reader's contract costs: a new zero-filled
// block for every picture (calloc: fresh pages, touched for the first time).
void DecodeLibjpegFreshBlock(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = JpegBytes();
  std::vector<JSAMPROW> rows(kHeight);
  for (auto _ : state) {
    auto* pixels = static_cast<uint8_t*>(std::calloc(size_t{kWidth} * kHeight * 3, 1));
    for (int y = 0; y < kHeight; ++y) rows[size_t(y)] = &pixels[size_t(y) * kWidth * 3];
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      jpeg_read_scanlines(&info, &rows[info.output_scanline],
                          info.output_height - info.output_scanline);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
}

void DecodeStb(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = JpegBytes();
  for (auto _ : state) {
    int width = 0, height = 0, channels = 0;
    unsigned char* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()),
                                                  &width, &height, &channels, 3);
    if (pixels == nullptr) state.SkipWithError("stb_image failed");
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

void EncodeOurs(benchmark::State& state) {
  const std::string path = bench_support::InputDir() + "/jpeg_encode_ours.jpg";
  for (auto _ : state) {
    if (WriteJpegFile(path.c_str(), Picture().data(), kWidth, kHeight, 85, 1, 0) != 1) {
      state.SkipWithError("WriteJpegFile failed");
    }
  }
}

void EncodeLibjpeg(benchmark::State& state) {
  const std::string path = bench_support::InputDir() + "/jpeg_encode_peer.jpg";
  const std::vector<uint8_t>& rgb = Picture();
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(info.next_scanline) * kWidth * 3]);
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
  }
}

void Register() {
  JpegBytes();  // inputs are made before any timing
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_libjpeg/ours", DecodeOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_libjpeg/peer", DecodeLibjpeg)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_libjpeg_fresh_block/ours", DecodeOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_libjpeg_fresh_block/peer",
                               DecodeLibjpegFreshBlock)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_stb/ours", DecodeOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_decode_4000x3000_vs_stb/peer", DecodeStb)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_encode_4000x3000_q85/ours", EncodeOurs)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("jpeg_encode_4000x3000_q85/peer", EncodeLibjpeg)
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
