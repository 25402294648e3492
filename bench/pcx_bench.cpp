// PCX reader throughput in megapixels per second on a 12-megapixel
// photo-like picture, as ImageMagick writes it: 24-bit (three 8-bit planes)
// and 8-bit with the 256-colour palette at the end. No peer here reads PCX,
// so the numbers stand alone (counter "MP/s", over wall-clock time).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string MakeInput(const std::string& name, const std::string& options) {
  const std::string folder = bench_support::InputDir();
  const std::string ppm = folder + "/pcx_photo_4000x3000.ppm";
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

void Decode(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    HGLOBAL picture = ReadPcxFile(path.c_str(), &width, &height);
    if (picture == nullptr || width != kWidth || height != kHeight) {
      state.SkipWithError("ReadPcxFile failed");
      break;
    }
    benchmark::DoNotOptimize(picture);
    GlobalFree(picture);
  }
  state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string rgb = MakeInput("pcx24_4000x3000.pcx", "-type TrueColor");
  const std::string indexed = MakeInput("pcx8_4000x3000.pcx", "-dither None -colors 256 -type Palette");
  benchmark::RegisterBenchmark("pcx24_decode_4000x3000", Decode, rgb)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RegisterBenchmark("pcx8_decode_4000x3000", Decode, indexed)->Unit(benchmark::kMillisecond)->UseRealTime();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
