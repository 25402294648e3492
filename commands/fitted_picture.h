// A picture file decoded and fitted to an area, in a buffer of its own: what
// the window shows, whichever thread decoded it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

struct FreeDeleter {
  void operator()(uint8_t* bytes) const { std::free(bytes); }
};

struct FittedPicture {
  // width x height x 3 bytes, red, green, blue, top row first; null when the
  // file could not be decoded or the fitted copy not made.
  std::unique_ptr<uint8_t, FreeDeleter> rgb;
  int32_t width = 0;
  int32_t height = 0;

  bool IsEmpty() const { return rgb == nullptr; }
  size_t Bytes() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 3; }
};

// Decodes `path` with the reader its extension selects (on the calling
// thread's library state, whose progress callback may stop it) and fits it
// to areaWidth x areaHeight as the picture area shows it. Empty when no reader
// matches, the reader fails, or memory runs out; the thread's last error code
// then says why when the reader failed.
FittedPicture DecodeFittedPicture(const char* path, int32_t areaWidth, int32_t areaHeight);

// A copy in a block of its own (released with free); empty when the source is
// empty or memory runs out.
FittedPicture CopyOf(const FittedPicture& picture);
