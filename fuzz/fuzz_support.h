// Fuzz targets of file readers write the input to a temporary file first,
// since the readers take a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/core/pelorn.h"

namespace fuzz_support {

// A file holding the bytes, removed when the object goes.
class TempInputFile {
 public:
  TempInputFile(const uint8_t* data, size_t size, const char* extension) {
    path_ = "/tmp/tessary-fuzz-" + std::to_string(getpid()) + extension;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (file != nullptr) {
      if (size != 0) std::fwrite(data, 1, size, file);
      std::fclose(file);
    }
  }
  ~TempInputFile() { std::remove(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

// Reads every byte of a reader's result so the sanitizers see any
// uninitialised or out-of-bounds byte, then frees it.
inline void TouchAndFree(HGLOBAL block, uint32_t width, uint32_t height, size_t bytesPerPixel = 3) {
  if (block == nullptr) return;
  const auto* pixels = static_cast<const volatile uint8_t*>(GlobalLock(block));
  if (pixels != nullptr) {
    const size_t bytes = static_cast<size_t>(width) * height * bytesPerPixel;
    uint8_t sum = 0;
    for (size_t i = 0; i < bytes && i < GlobalSize(block); ++i) sum = static_cast<uint8_t>(sum + pixels[i]);
    (void)sum;
    GlobalUnlock(block);
  }
  GlobalFree(block);
}

}  // namespace fuzz_support
