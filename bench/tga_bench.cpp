// TGA reader against stb_image on a 12-megapixel photo-like picture, as a
// 24-bit uncompressed file and as a run-length encoded one (both made by
// ImageMagick from the same picture). Both sides read the file by name, so
// both pay for the file reads (from the page cache) and a fresh picture
// buffer per decode.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_support.h"
#include "bench/stb_peer.h"
#include "imaging/core/pelorn.h"

namespace {

using bench_support::kPhotoHeight;
using bench_support::kPhotoWidth;

void RegisterPair(const std::string& name, const std::string& path) {
  benchmark::RegisterBenchmark((name + "/ours").c_str(), [path](benchmark::State& state) {
    bench_support::DecodeWithReader(state, ReadTgaFile, path, kPhotoWidth, kPhotoHeight);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((name + "/peer").c_str(), [path](benchmark::State& state) {
    bench_support::DecodeWithStb(state, path, kPhotoWidth, kPhotoHeight);
  })->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RegisterPair("tga24_decode_4000x3000",
               bench_support::MakeWithImageMagick("tga24_raw_4000x3000.tga", "-compress None"));
  RegisterPair("tga24_rle_decode_4000x3000",
               bench_support::MakeWithImageMagick("tga24_rle_4000x3000.tga", "-compress RLE"));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
