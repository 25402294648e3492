// PCX file routines: the header, the palette, run-length scan lines and the
// unpacking of planes into RGB rows. PelornCodec::ReadPcxFile (pcx.cpp) puts
// them together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "imaging/codecs/buffered_input.h"

// The 128-byte header at the start of every PCX file; 16-bit values are
// little-endian in the file.
struct PcxHeader {
  uint8_t manufacturer = 0;  // always 10
  uint8_t version = 0;       // 0, 2, 3, 5 accepted
  uint8_t encoding = 0;      // 0: scan lines stored as they are; else run-length coded
  uint8_t bitsPerPixel = 0;  // per plane
  uint16_t xmin = 0;
  uint16_t ymin = 0;
  uint16_t xmax = 0;
  uint16_t ymax = 0;
  uint16_t horizontalResolution = 0;
  uint16_t verticalResolution = 0;
  uint8_t colorMap[48] = {};  // 16 entries of red, green, blue
  uint8_t reserved = 0;
  uint8_t planeCount = 0;
  uint16_t bytesPerLine = 0;  // per plane
  uint16_t paletteInfo = 0;
  uint8_t filler[58] = {};

  int32_t Width() const { return int32_t{xmax} - int32_t{xmin} + 1; }
  int32_t Height() const { return int32_t{ymax} - int32_t{ymin} + 1; }
  // Bits per pixel over all planes.
  int BitsPerPixel() const { return int{bitsPerPixel} * int{planeCount}; }
};

namespace pcx {

typedef uint8_t Palette[256][3];

constexpr long kHeaderBytes = 128;

// How a scan line becomes pixels.
enum class RowLayout {
  kIndexed,       // one plane of 1, 4 or 8 bits, or 4 or 8 planes of 1 bit
  kRgbPlanes,     // planes of 8 bits: red, green, blue (a fourth, alpha, is ignored)
  kNotConverted,  // other combinations: the rows stay black
};

// Reads the 128 header bytes; false when the file ends first.
bool ReadHeader(std::FILE* file, PcxHeader* header);
// Manufacturer 10 and a version of 0, 2, 3 or 5.
bool IsAcceptedHeader(const PcxHeader& header);
RowLayout LayoutOf(const PcxHeader& header);
// Bytes one plane of a row needs for `width` pixels.
uint64_t BytesNeededPerPlane(const PcxHeader& header, uint32_t width);

// The palette of the picture (see pcx.cpp); moves the file position.
void ReadPalette(std::FILE* file, const PcxHeader& header, Palette palette);

// Decodes one run-length scan line of `length` bytes; false when the data
// runs past the end of the file.
bool DecodeScanLine(pelorn::BufferedFileInput& input, uint8_t* line, size_t length);
// Reads one scan line stored without coding (encoding byte 0); false when it
// runs past the end of the file.
bool ReadStoredScanLine(pelorn::BufferedFileInput& input, uint8_t* line, size_t length);

// One output row of `width` RGB pixels from a scan line whose planes start
// `planeStride` bytes apart.
void UnpackRow(const PcxHeader& header, RowLayout layout, const uint8_t* line, size_t planeStride,
               const Palette palette, uint32_t width, uint8_t* rgb);

}  // namespace pcx
