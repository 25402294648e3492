#include "commands/decoded_picture.h"

#include <cstring>
#include <limits>

#include "catalogue/folder_scan.h"
#include "imaging/core/image_size.h"
#include "imaging/core/reader_table.h"

bool IsFolderPattern(const CString& path) {
  const int length = path.GetLength();
  return length >= 3 && std::strncmp(path.GetString() + length - 3, "*.*", 3) == 0;
}

DecodedPicture::~DecodedPicture() { Release(); }

void DecodedPicture::Release() {
  m_picture.Reset();
  m_width = m_height = 0;
  m_fullWidth = m_fullHeight = 0;
  m_rgbBytes = 0;
  m_orientation = 1;
}

bool DecodedPicture::DecodeEntry(const CString& entry) {
  if (!IsFolderPattern(entry)) return Decode(entry.GetString());
  Release();
  m_error = kPelornFileOpen;
  return false;
}

bool DecodedPicture::DecodeUprightEntry(const CString& entry) {
  return DecodeEntry(entry) && TurnUpright();
}

bool DecodedPicture::Decode(const char* path) { return DecodeInto(path, 0, 0); }

bool DecodedPicture::DecodeForArea(const char* path, int32_t uprightWidth,
                                   int32_t uprightHeight) {
  return DecodeInto(path, uprightWidth > 0 ? uprightWidth : 0,
                    uprightHeight > 0 ? uprightHeight : 0);
}

bool DecodedPicture::DecodeInto(const char* path, int32_t boxWidth, int32_t boxHeight) {
  Release();
  m_error = kPelornFileOpen;
  const PictureReader* reader = FindPictureReader(path);
  if (reader == nullptr || !IsRegularFile(path)) {
    SetProgressCallback(nullptr);
    return false;
  }
  // Only JPEG files carry an EXIF block here. Read before the pixels, so
  // that the reader's outcome stays the thread's last error code.
  const bool isJpeg = std::strcmp(reader->extension, ".JPG") == 0;
  const int32_t orientation = isJpeg ? ReadJpegOrientation(path) : 1;
  uint32_t width = 0, height = 0, fullWidth = 0, fullHeight = 0;
  HGLOBAL block = nullptr;
  if (isJpeg && boxWidth > 0 && boxHeight > 0) {
    // The stored picture covers the area turned the way the picture is.
    const bool swaps = OrientationSwapsSides(orientation);
    block = ReadJpegFileScaled(path, static_cast<uint32_t>(swaps ? boxHeight : boxWidth),
                               static_cast<uint32_t>(swaps ? boxWidth : boxHeight), &width,
                               &height, &fullWidth, &fullHeight);
  } else {
    block = reader->read(path, &width, &height);
    fullWidth = width;
    fullHeight = height;
  }
  SetProgressCallback(nullptr);
  m_error = GetLastImageError();
  if (block == nullptr || !TakeBlock(block, width, height, reader->blockBytesPerPixel)) return false;
  constexpr uint32_t kLargestSide = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  if (fullWidth < width || fullHeight < height || fullWidth > kLargestSide ||
      fullHeight > kLargestSide) {
    Release();
    m_error = kPelornInternal;
    return false;
  }
  m_fullWidth = static_cast<int32_t>(fullWidth);
  m_fullHeight = static_cast<int32_t>(fullHeight);
  m_orientation = orientation;
  return true;
}

bool DecodedPicture::TakeBlock(HGLOBAL block, uint32_t width, uint32_t height,
                               int blockBytesPerPixel) {
  // The sizes travel beside the block; a block that cannot hold what they
  // claim, or sizes the signed entry points cannot take, are refused rather
  // than read past.
  constexpr uint32_t kLargestSide = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  size_t blockBytes = 0;
  size_t rgbBytes = 0;
  const bool sizesUsable =
      width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide &&
      pelorn::CheckedProduct(width, height, static_cast<uint64_t>(blockBytesPerPixel),
                             &blockBytes) &&
      pelorn::CheckedProduct(width, height, 3, &rgbBytes) && GlobalSize(block) >= blockBytes;
  const bool locked = m_picture.Adopt(block);
  if (!sizesUsable || !locked) {
    m_error = sizesUsable ? kPelornOutOfMemory : kPelornInternal;
    Release();
    return false;
  }
  m_width = static_cast<int32_t>(width);
  m_height = static_cast<int32_t>(height);
  m_rgbBytes = rgbBytes;
  return true;
}

bool DecodedPicture::TurnUpright() {
  if (m_orientation == 1) return true;
  pelorn::GlobalBlockOwner upright;
  if (!upright.AllocateAndLock(m_rgbBytes, GMEM_MOVEABLE) ||
      !OrientRgb(rgb(), m_width, m_height, m_orientation, upright.bytes())) {
    Release();
    m_error = kPelornOutOfMemory;
    return false;
  }
  const bool swaps = OrientationSwapsSides(m_orientation);
  const int32_t width = swaps ? m_height : m_width;
  const int32_t height = swaps ? m_width : m_height;
  const int32_t fullWidth = swaps ? m_fullHeight : m_fullWidth;
  const int32_t fullHeight = swaps ? m_fullWidth : m_fullHeight;
  m_picture.Swap(upright);  // the stored turn is freed as `upright` goes
  m_width = width;
  m_height = height;
  m_fullWidth = fullWidth;
  m_fullHeight = fullHeight;
  m_orientation = 1;
  return true;
}
