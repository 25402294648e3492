// Inputs for the benchmarks: made once per process, kept in memory or in
// files under the system's temporary folder (page cache).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"

namespace bench_support {

// A deterministic photo-like RGB picture (smooth gradients, edges and noise).
std::vector<uint8_t> PhotoLikeRgb(int width, int height);

// A folder for generated inputs, created on first use.
std::string InputDir();

// Runs a shell command (e.g. ImageMagick to make an input); true on status 0.
bool Run(const std::string& command);

std::vector<uint8_t> ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Writes the RGB picture as a binary PPM (P6), the input format of the tools
// that make the other inputs.
bool WritePpm(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height);

// The 4000 x 3000 photo-like picture written once as a PPM, then made into
// `name` in InputDir() by ImageMagick ("convert photo.ppm OPTIONS name").
// Exits the program when ImageMagick cannot make it.
constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;
std::string MakeWithImageMagick(const std::string& name, const std::string& options);

// Times one of the library's file readers on a file; every decode must give
// a picture of the expected size, and its block is freed each time.
typedef HGLOBAL (*FileReader)(const char* path, uint32_t* width, uint32_t* height);
void DecodeWithReader(benchmark::State& state, FileReader read, const std::string& path,
                      uint32_t expectedWidth, uint32_t expectedHeight);

}  // namespace bench_support
