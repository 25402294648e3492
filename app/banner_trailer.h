// The banner trailer at the end of the program file: N bytes of JPEG, the
// ten ASCII characters "STANDALONE" (no terminator), then N as an unsigned
// 32-bit little-endian number. The viewer reads it at start-up; the delivery
// tool writes and strips it. Header-only so that the tool needs no part of
// the viewer's window code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace banner_trailer {

inline constexpr char kTag[] = "STANDALONE";
inline constexpr size_t kTagBytes = 10;
inline constexpr size_t kTrailerBytes = kTagBytes + 4;

// N from the last kTrailerBytes bytes of a file, when the tag is there and N
// fits in the `bytesBeforeTrailer` bytes before it; false otherwise. A length
// reaching past the start of the file is no trailer: those bytes are the
// program's own.
inline bool Parse(const uint8_t* trailer, uint64_t bytesBeforeTrailer, uint32_t* bannerBytes) {
  // The tag holds no zero byte, so a zero byte among the ten makes them differ.
  if (std::memcmp(trailer, kTag, kTagBytes) != 0) return false;
  const uint8_t* length = trailer + kTagBytes;
  const uint32_t count = static_cast<uint32_t>(length[0]) | static_cast<uint32_t>(length[1]) << 8 |
                         static_cast<uint32_t>(length[2]) << 16 | static_cast<uint32_t>(length[3]) << 24;
  if (count > bytesBeforeTrailer) return false;
  *bannerBytes = count;
  return true;
}

// Appends the banner, the tag and the banner's length.
inline void Append(std::vector<uint8_t>* program, const std::vector<uint8_t>& banner) {
  program->insert(program->end(), banner.begin(), banner.end());
  program->insert(program->end(), kTag, kTag + kTagBytes);
  const uint32_t count = static_cast<uint32_t>(banner.size());
  for (int i = 0; i < 4; ++i) program->push_back(static_cast<uint8_t>(count >> (8 * i)));
}

}  // namespace banner_trailer
