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

// The most memory one reader may ask for to decode one picture: the picture
// block, the decoding library's own buffers (libjpeg's coefficient arrays,
// libtiff's strips and tiles, libpng's rows) and any working rows together.
// A 32-bit Windows process has 2 GiB of address space in all; one picture may
// take at most half of it. The same limit holds in a 64-bit build, so a tiny
// file that declares a huge picture fails at once with code 1 instead of
// committing (and zero-filling) gigabytes that the reader then fills with the
// colour its design gives to data the file does not supply.
inline constexpr uint64_t kMaxPictureMemory = uint64_t{1} << 30;

// width x height x bytesPerPixel plus workingBytes, the reader's whole need
// for one picture; false when it is above kMaxPictureMemory. On success
// *pictureBytes is the picture block's size alone.
inline bool PictureFitsBound(uint64_t width, uint64_t height, uint64_t bytesPerPixel,
                             uint64_t workingBytes, size_t* pictureBytes) {
  size_t product = 0;
  if (!CheckedProduct(width, height, bytesPerPixel, &product)) return false;
  if (product > kMaxPictureMemory || workingBytes > kMaxPictureMemory - product) return false;
  *pictureBytes = product;
  return true;
}

// The standard DIB row length: ((width * bits + 31) / 32) * 4, or false when
// it overflows.
inline bool CheckedDibStride(uint64_t width, uint64_t bitsPerPixel, size_t* stride) {
  if (width != 0 && bitsPerPixel > (kMaxBlockBytes - 31) / width) return false;
  *stride = static_cast<size_t>(((width * bitsPerPixel + 31) / 32) * 4);
  return true;
}

}  // namespace pelorn
