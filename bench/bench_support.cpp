#include "bench/bench_support.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace bench_support {

std::vector<uint8_t> PhotoLikeRgb(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int grain = static_cast<int>((noise >> 16) & 15) - 8;
      const double fx = double(x) / width, fy = double(y) / height;
      const bool inDisc = (fx - 0.6) * (fx - 0.6) + (fy - 0.4) * (fy - 0.4) < 0.04;
      int r = static_cast<int>(200 * fx + 30 * std::sin(fy * 17)) + grain;
      int g = static_cast<int>(160 * fy + 40 * std::cos(fx * 11)) + grain;
      int b = inDisc ? 220 + grain : static_cast<int>(90 + 80 * fx * fy) + grain;
      uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
      pixel[1] = static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
      pixel[2] = static_cast<uint8_t>(b < 0 ? 0 : b > 255 ? 255 : b);
    }
  }
  return rgb;
}

std::string InputDir() {
  const char* base = std::getenv("TMPDIR");
  std::string folder = std::string(base ? base : "/tmp") + "/tessary-bench-inputs";
  mkdir(folder.c_str(), 0755);
  return folder;
}

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WritePpm(const std::string& path, const std::vector<uint8_t>& rgb, int width, int height) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  const bool written = std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
  return std::fclose(file) == 0 && written;
}

std::string MakeWithImageMagick(const std::string& name, const std::string& options) {
  const std::string folder = InputDir();
  const std::string ppm = folder + "/photo_4000x3000.ppm";
  const std::string path = folder + "/" + name;
  static bool ppmWritten = false;
  if (!ppmWritten) {
    if (!WritePpm(ppm, PhotoLikeRgb(kPhotoWidth, kPhotoHeight), kPhotoWidth, kPhotoHeight)) {
      std::fprintf(stderr, "could not write %s\n", ppm.c_str());
      std::exit(1);
    }
    ppmWritten = true;
  }
  if (!Run("convert '" + ppm + "' " + options + " '" + path + "'")) {
    std::fprintf(stderr, "ImageMagick could not make %s\n", path.c_str());
    std::exit(1);
  }
  return path;
}

void DecodeWithReader(benchmark::State& state, FileReader read, const std::string& path,
                      uint32_t expectedWidth, uint32_t expectedHeight) {
  for (auto _ : state) {
    uint32_t width = 0, height = 0;
    HGLOBAL picture = read(path.c_str(), &width, &height);
    if (picture == nullptr || width != expectedWidth || height != expectedHeight) {
      if (picture != nullptr) GlobalFree(picture);
      state.SkipWithError(("cannot decode " + path).c_str());
      break;
    }
    benchmark::DoNotOptimize(picture);
    GlobalFree(picture);
  }
}

}  // namespace bench_support
