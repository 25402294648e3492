// Inputs for the benchmarks: made once per process, kept in memory or in
// files under the system's temporary folder (page cache).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

}  // namespace bench_support
