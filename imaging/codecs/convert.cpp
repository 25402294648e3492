// Pixel buffer conversions between the library's RGB buffer (top-down rows,
// red first, no padding) and the forms the BMP writer and Windows need:
// turning a buffer upside down, exchanging red and blue, and the bottom-up
// blue-green-red rows of a device-independent bitmap, padded to 4 bytes.
// (The screen bitmap conversions live in convert_ddb.cpp.)
//
// These run as methods of a codec object, which holds the operation's raised
// depth for the whole call, so FlipRows itself is the outermost work of its
// entry point and reports its progress.
#include <cstring>

#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

int32_t PelornCodec::FlipRows(uint8_t* buffer, uint32_t rowLength, uint32_t rowCount) {
  errorCode = kPelornOk;
  size_t bufferBytes = 0;
  if (buffer == nullptr || !pelorn::CheckedProduct(rowLength, rowCount, &bufferBytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  pelorn::PlainBlock spareRow;
  if (!spareRow.Allocate(rowLength)) {
    errorCode = kPelornOutOfMemory;
    return 0;
  }
  // For an odd count the middle row is exchanged with itself (a no-op that
  // still reports its step).
  const uint64_t exchanges = (uint64_t{rowCount} + 1) / 2;
  for (uint64_t i = 0; i < exchanges; ++i) {
    const uint64_t partner = uint64_t{rowCount} - 1 - i;
    if (partner != i) {
      uint8_t* upper = buffer + static_cast<size_t>(i) * rowLength;
      uint8_t* lower = buffer + static_cast<size_t>(partner) * rowLength;
      std::memcpy(spareRow.bytes(), upper, rowLength);
      std::memcpy(upper, lower, rowLength);
      std::memcpy(lower, spareRow.bytes(), rowLength);
    }
    if (!ReportProgress(static_cast<int32_t>(2 * i), static_cast<int32_t>(rowCount))) {
      errorCode = kPelornCancelled;  // the buffer stays partly flipped
      return 0;
    }
  }
  return 1;
}

int32_t PelornCodec::SwapRedBlue(uint8_t* buffer, uint32_t width, uint32_t height) {
  errorCode = kPelornOk;
  size_t bytes = 0;
  if (buffer == nullptr || !pelorn::CheckedProduct(width, height, 3, &bytes)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  for (uint8_t* pixel = buffer; pixel != buffer + bytes; pixel += 3) {
    const uint8_t first = pixel[0];
    pixel[0] = pixel[2];
    pixel[2] = first;
  }
  return 1;
}

int32_t PelornCodec::RgbToDibBits(const uint8_t* rgb, uint8_t* destination, uint32_t width,
                                  uint32_t height, uint32_t stride) {
  if (rgb == nullptr || destination == nullptr || width == 0 || height == 0 || stride == 0)
    return kPelornBadParam;
  // Rows closer together than a row of pixels would overlap and run past a
  // block of stride x height bytes.
  const uint64_t rowBytes = uint64_t{width} * 3;
  if (stride < rowBytes) return kPelornBadParam;
  for (uint32_t k = 0; k < height; ++k) {
    const uint8_t* source = rgb + static_cast<size_t>(height - 1 - k) * rowBytes;
    uint8_t* out = destination + static_cast<size_t>(k) * stride;
    for (uint32_t i = 0; i < width; ++i, source += 3, out += 3) {
      out[0] = source[2];
      out[1] = source[1];
      out[2] = source[0];
    }
  }
  return kPelornOk;
}

HGLOBAL PelornCodec::RgbToGlobalDibBits(const uint8_t* rgb, uint32_t width, uint32_t height,
                                        uint32_t* stride) {
  errorCode = kPelornOk;
  if (rgb == nullptr || width == 0 || height == 0) {
    errorCode = kPelornBadParam;
    return nullptr;
  }
  size_t rowStride = 0;
  size_t bytes = 0;
  if (!pelorn::CheckedDibStride(width, 24, &rowStride) || rowStride > UINT32_MAX ||
      !pelorn::CheckedProduct(rowStride, height, &bytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  pelorn::GlobalBlockOwner rows;
  if (!rows.AllocateAndLock(bytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  RgbToDibBits(rgb, rows.bytes(), width, height, static_cast<uint32_t>(rowStride));
  if (stride != nullptr) *stride = static_cast<uint32_t>(rowStride);
  return rows.Release();
}
