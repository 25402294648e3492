#include "commands/decoded_picture.h"

#include <cstring>
#include <limits>

#include "catalogue/folder_scan.h"
#include "catalogue/reader_table.h"
#include "imaging/core/image_size.h"

bool IsFolderPattern(const CString& path) {
  const int length = path.GetLength();
  return length >= 3 && std::strncmp(path.GetString() + length - 3, "*.*", 3) == 0;
}

DecodedPicture::~DecodedPicture() { Release(); }

void DecodedPicture::Release() {
  if (m_block == nullptr) return;
  if (m_rgb != nullptr) GlobalUnlock(m_block);
  GlobalFree(m_block);
  m_block = nullptr;
  m_rgb = nullptr;
  m_width = m_height = 0;
  m_rgbBytes = 0;
}

bool DecodedPicture::DecodeEntry(const CString& entry) {
  if (!IsFolderPattern(entry)) return Decode(entry.GetString());
  Release();
  m_error = kPelornFileOpen;
  return false;
}

bool DecodedPicture::Decode(const char* path) {
  Release();
  m_error = kPelornFileOpen;
  const PictureReader* reader = FindPictureReader(path);
  if (reader == nullptr || !IsRegularFile(path)) return false;
  uint32_t width = 0;
  uint32_t height = 0;
  m_block = reader->read(path, &width, &height);
  SetProgressCallback(nullptr);
  m_error = GetLastImageError();
  if (m_block == nullptr) return false;

  // The sizes travel beside the block; a block that cannot hold what they
  // claim, or sizes the signed entry points cannot take, are refused rather
  // than read past.
  constexpr uint32_t kLargestSide = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  size_t blockBytes = 0;
  size_t rgbBytes = 0;
  const bool sizesUsable =
      width >= 1 && height >= 1 && width <= kLargestSide && height <= kLargestSide &&
      pelorn::CheckedProduct(width, height, static_cast<uint64_t>(reader->blockBytesPerPixel),
                             &blockBytes) &&
      pelorn::CheckedProduct(width, height, 3, &rgbBytes) && GlobalSize(m_block) >= blockBytes;
  if (sizesUsable) m_rgb = static_cast<const uint8_t*>(GlobalLock(m_block));
  if (m_rgb == nullptr) {
    m_error = sizesUsable ? kPelornOutOfMemory : kPelornInternal;
    Release();
    return false;
  }
  m_width = static_cast<int32_t>(width);
  m_height = static_cast<int32_t>(height);
  m_rgbBytes = rgbBytes;
  return true;
}
