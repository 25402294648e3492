// Overflow-checked size products. Every width x height x bytes product goes
// through here before anything is allocated: computed in 64 bits and refused
// when it does not fit the address space of the build (32-bit on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace pelorn {

// Largest block the library will ask for. Kept below SIZE_MAX so that a
// reader's small additions (row padding, a spare row) cannot wrap either.
inline constexpr uint64_t kMaxBlockBytes =
    std::numeric_limits<size_t>::max() / 2 < (uint64_t{1} << 40)
        ? std::numeric_limits<size_t>::max() / 2
        : (uint64_t{1} << 40);

// a * b * c as a size_t, or false when the product does not fit.
inline bool CheckedProduct(uint64_t a, uint64_t b, uint64_t c, size_t* bytes) {
  if (a != 0 && b > kMaxBlockBytes / a) return false;
  const uint64_t ab = a * b;
  if (ab != 0 && c > kMaxBlockBytes / ab) return false;
  *bytes = static_cast<size_t>(ab * c);
  return true;
}

inline bool CheckedProduct(uint64_t a, uint64_t b, size_t* bytes) {
  return CheckedProduct(a, b, 1, bytes);
}

// The standard DIB row length: ((width * bits + 31) / 32) * 4, or false when
// it overflows.
inline bool CheckedDibStride(uint64_t width, uint64_t bitsPerPixel, size_t* stride) {
  if (width != 0 && bitsPerPixel > (kMaxBlockBytes - 31) / width) return false;
  *stride = static_cast<size_t>(((width * bitsPerPixel + 31) / 32) * 4);
  return true;
}

}  // namespace pelorn
