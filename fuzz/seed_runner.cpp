// Runs a fuzz target over every file of the folders (or files) given on the
// command line, so the seeds are exercised as an ordinary test without
// libFuzzer. Fails when a folder is missing or holds no seed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

static void RunOne(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path target(argv[i]);
    if (fs::is_directory(target)) {
      std::vector<fs::path> seeds;
      for (const auto& entry : fs::recursive_directory_iterator(target))
        if (entry.is_regular_file()) seeds.push_back(entry.path());
      std::sort(seeds.begin(), seeds.end());
      for (const auto& seed : seeds) {
        RunOne(seed);
        ++count;
      }
    } else if (fs::is_regular_file(target)) {
      RunOne(target);
      ++count;
    }
  }
  RunOne(fs::path());  // the empty input
  std::printf("ran %zu seeds\n", count);
  return count > 0 ? 0 : 1;
}
