// stb_image as a decoding peer (Debian's libstb carries the implementation;
// link it with the benchmark).
#pragma once

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <string>

namespace bench_support {

// Times stbi_load of a file as 3-channel RGB; every decode must give the
// expected size.
inline void DecodeWithStb(benchmark::State& state, const std::string& path, int expectedWidth,
                          int expectedHeight) {
  for (auto _ : state) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
    if (pixels == nullptr || width != expectedWidth || height != expectedHeight) {
      if (pixels != nullptr) stbi_image_free(pixels);
      state.SkipWithError(("stbi_load cannot decode " + path).c_str());
      break;
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
}

}  // namespace bench_support
