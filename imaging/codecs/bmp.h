// Shared pieces of the BMP reader (bmp.cpp) and its run-length decoder
// (bmp_rle.cpp): the file and info headers, the colour table, and the size
// checks every picture block goes through before it is allocated.
//
// File layout (little-endian): a 14-byte file header ("BM", file size, two
// reserved words, offset of the pixel data), then an info header whose first
// four bytes give its own size. 40 bytes is the Windows 3 header; 108 and 124
// are the V4 and V5 headers (same first 40 bytes, then colour masks, colour
// space, profile); 16 to 64 are OS/2 2.x headers (the Windows layout, cut short
// or extended); 12 is the OS/2 1.x core header (16-bit unsigned width and
// height, no compression, 3-byte colour entries). The colour table follows the
// info header, whatever its size.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imaging/core/pelorn.h"

namespace pelorn::bmp {

inline constexpr uint32_t kFileHeaderBytes = 14;
inline constexpr uint32_t kWindowsInfoBytes = 40;
inline constexpr uint32_t kCoreInfoBytes = 12;

struct BmpHeaders {
  uint32_t pixelOffset = 0;  // bfOffBits
  uint32_t infoSize = 0;     // biSize as found in the file
  int32_t width = 0;         // biWidth
  int32_t height = 0;        // biHeight: positive bottom-up, negative top-down
  uint16_t bitCount = 0;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;  // biClrUsed; 0 means 2 to the power bitCount
  bool coreHeader = false;  // OS/2 1.x: 3-byte colour entries, no biClrUsed
};

// Reads the file header and the info header from the start of the file.
// 0, or 3 (file shorter than the headers), or 6 (not "BM", or an info header
// size no BMP uses: below 12, or 13 to 15).
PelornError ReadBmpHeaders(std::FILE* file, BmpHeaders* headers);

// Where the colour table starts: right after the info header.
inline uint64_t ColorTableOffset(const BmpHeaders& headers) {
  return uint64_t{kFileHeaderBytes} + headers.infoSize;
}

// Reads colorCount (at most 256) entries of the colour table into palette,
// which the caller has zeroed. 0, 3 (table cut short) or 6 (cannot seek).
PelornError ReadColorTable(std::FILE* file, const BmpHeaders& headers, uint32_t colorCount,
                           RGBQUAD* palette);

// fseek from the start, refused (false) when the offset does not fit a long,
// as on the 32-bit Windows build for offsets of 2 GB and more.
bool SeekFromStart(std::FILE* file, uint64_t offset);

// Length of the open file in bytes, or -1 when it cannot be told. The file
// position is put back where it was.
int64_t FileLength(std::FILE* file);

// width x height x 3 as a block size, false when the picture is empty or
// negative, or when the block and workingBytes together pass the memory bound
// of one picture (kMaxPictureMemory).
bool PictureBytes(int64_t width, int64_t height, uint64_t workingBytes, size_t* bytes);

}  // namespace pelorn::bmp
