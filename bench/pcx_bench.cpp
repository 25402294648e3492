// PCX reader throughput in megapixels per second on a 12-megapixel
// photo-like picture, as ImageMagick writes it: 24-bit (three 8-bit planes)
// and 8-bit with the 256-colour palette at the end. No peer here reads PCX,
// so the numbers stand alone (counter "MP/s", over wall-clock time).
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

using bench_support::kPhotoHeight;
using bench_support::kPhotoWidth;

void Register(const std::string& name, const std::string& path) {
  benchmark::RegisterBenchmark(name.c_str(), [path](benchmark::State& state) {
    bench_support::DecodeWithReader(state, ReadPcxFile, path, kPhotoWidth, kPhotoHeight);
    state.counters["MP/s"] = benchmark::Counter(double(kPhotoWidth) * kPhotoHeight / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
  })->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Register("pcx24_decode_4000x3000",
           bench_support::MakeWithImageMagick("pcx24_4000x3000.pcx", "-type TrueColor"));
  Register("pcx8_decode_4000x3000",
           bench_support::MakeWithImageMagick("pcx8_4000x3000.pcx",
                                              "-dither None -colors 256 -type Palette"));
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
