// Helpers shared by the fuzz targets. The readers take a path, so a target
// hands them its input as a file.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "imaging/core/pelorn.h"

namespace fuzz_support {

// A file in memory (memfd), named by its /proc/self/fd path, which the code
// under test opens, reads and writes like any other file. It has no name in
// any folder, so nothing is left behind however the process ends: a crash,
// an out-of-memory report or a stopped run.
class MemoryFile {
 public:
  MemoryFile() : descriptor_(memfd_create("tessary-fuzz", MFD_CLOEXEC)) {
    if (descriptor_ < 0) __builtin_trap();
    path_ = "/proc/self/fd/" + std::to_string(descriptor_);
  }
  MemoryFile(const uint8_t* data, size_t size) : MemoryFile() {
    while (size > 0) {
      const ssize_t written = write(descriptor_, data, size);
      if (written <= 0) __builtin_trap();
      data += written;
      size -= static_cast<size_t>(written);
    }
  }
  ~MemoryFile() { close(descriptor_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const char* path() const { return path_.c_str(); }

 private:
  int descriptor_;
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
