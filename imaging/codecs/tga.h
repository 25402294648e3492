// TGA reader object: Truevision TGA image types 1, 2, 3 (colour-mapped,
// true-colour, black-and-white) and 9, 10, 11 (the same, run-length encoded)
// at 8, 15, 16, 24 or 32 bits per pixel, into an RGB image buffer.
//
// One object per call. It reports no progress and leaves the operation depth
// alone. The file is read through buffered standard file input; rows are
// decoded straight into their final place in the output block (bottom-up
// files from the bottom), so nothing but the block and one file buffer is
// held. Every size is checked in 64 bits before anything is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/core/pelorn.h"

namespace pelorn {
class BufferedFileInput;
}

// The last pixel read: its channels and the value as stored (the colour index
// of colour-mapped pictures).
struct TgaPixel {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
  uint16_t raw = 0;
};

// Turns `count` stored values at `stored` into RGB triples at `rgb` through
// the colour map where the picture is mapped; leaves the last one in `last`.
typedef void (*TgaPixelConverter)(const uint8_t* stored, size_t count, uint8_t* rgb,
                                  const uint8_t (*colorMap)[4], TgaPixel* last);

class TgaReader {
 public:
  HGLOBAL Read(const char* path, uint32_t* width, uint32_t* height);

  PelornError errorCode = 0;

 private:
  struct Header {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 0;
    uint16_t colorMapFirstIndex = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapEntryBits = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 0;
    uint8_t descriptor = 0;
  };

  bool ReadHeader(pelorn::BufferedFileInput& source, Header* header);
  bool ReadColorMap(pelorn::BufferedFileInput& source, const Header& header);
  bool DecodeRow(pelorn::BufferedFileInput& source, uint8_t* row, uint32_t width);
  bool ReadStoredPixels(pelorn::BufferedFileInput& source, uint8_t* rgb, size_t count);
  void PutLastPixel(uint8_t* rgb) const;

  uint8_t idBuffer_[256] = {};
  int alphaBits_ = 0;  // from the descriptor; kept, not used
  bool colorMapped_ = false;
  bool runLengthEncoded_ = false;
  uint32_t packetPixelsLeft_ = 0;
  bool runPacket_ = false;
  TgaPixel lastPixel_;
  int pixelBytes_ = 0;
  TgaPixelConverter convert_ = nullptr;
  // Entries not supplied by the file stay black.
  uint8_t colorMap_[256][4] = {};
};
