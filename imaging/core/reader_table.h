// The picture files by extension and the reader each one takes, shared by
// the folder scan (what is a picture), picture loading,
// the clipboard copy, export and the pelorn tool.
//
// Each test compares the last four characters of the path with the text,
// ignoring letter case, in table order; only these four-character extensions
// are recognised (names ending in .jpeg or .tiff match nothing).
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/core/pelorn.h"

struct PictureReader {
  const char* extension;  // upper case, with the dot
  const char* formatName;
  HGLOBAL (*read)(const char* path, uint32_t* width, uint32_t* height);
  // Bytes per pixel of the reader's block: the TIFF reader's block is
  // width x height x 4 with the first width x height x 3 bytes the picture.
  int blockBytesPerPixel;
};

namespace reader_table_detail {
inline HGLOBAL ReadGifIgnoringTransparency(const char* path, uint32_t* width, uint32_t* height) {
  int32_t transparentColor = -1;  // received and not used
  return ReadGifFile(path, width, height, &transparentColor);
}
}  // namespace reader_table_detail

inline constexpr PictureReader kPictureReaders[] = {
    {".JPG", "jpeg", ReadJpegFile, 3},
    {".PNG", "png", ReadPngFile, 3},
    {".BMP", "bmp", ReadBmpFile, 3},
    {".PCX", "pcx", ReadPcxFile, 3},
    {".TIF", "tiff", ReadTiffFile, 4},
    {".TGA", "tga", ReadTgaFile, 3},
    {".GIF", "gif", reader_table_detail::ReadGifIgnoringTransparency, 3},
};

// The reader whose extension the path's last four characters match, or null.
inline const PictureReader* FindPictureReader(const char* path) {
  if (path == nullptr) return nullptr;
  const size_t length = std::strlen(path);
  if (length < 4) return nullptr;
  const char* extension = path + length - 4;
  for (const PictureReader& reader : kPictureReaders) {
    bool same = true;
    for (int i = 0; i < 4 && same; ++i) {
      char c = extension[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == reader.extension[i];
    }
    if (same) return &reader;
  }
  return nullptr;
}
