// Writes the benchmarks' 4000 x 3000 photo-like picture as a binary PPM, the
// input from which bench/process_ratios.py makes every format's file.
//
//   photo_ppm OUTPUT.ppm
#include <cstdio>

#include "bench/bench_support.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: photo_ppm OUTPUT.ppm\n", stderr);
    return 2;
  }
  const int width = bench_support::kPhotoWidth;
  const int height = bench_support::kPhotoHeight;
  if (!bench_support::WritePpm(argv[1], bench_support::PhotoLikeRgb(width, height), width, height)) {
    std::fprintf(stderr, "photo_ppm: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
