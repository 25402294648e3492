// PCX reader (versions 0, 2, 3 and 5, run-length encoded).
//
// Method: after the 128-byte header and the palette, each row is one scan
// line of bytes-per-line x planes bytes, run-length coded (a byte with both
// top bits set is a count of 0..63 for the byte that follows; any other byte
// stands for itself). The scan line is decoded into one line buffer and
// unpacked straight into its row of the output block: palette indices of 1,
// 4 or 8 bits (one plane, or 4 or 8 planes of 1 bit), or red, green and blue
// from three 8-bit planes. Cost: one pass over the file, O(width x height);
// memory: the output block and one line buffer.
//
// Palette: the 256-colour palette at the end of version 5 files of 8 bits per
// pixel (marker byte 12, 769 bytes before the end), else a grey ramp; pictures
// of fewer than 8 bits take their first colours from the header's 16-entry
// colour map.
//
// Quirks, on purpose:
// - Encoding byte 0 (some writers' uncompressed files) means the scan lines
//   are stored as they are; any other value means run-length coding.
// - A run that passes the end of a scan line is cut there; the next line
//   starts with a fresh count or value byte.
// - Planes that hold fewer bytes than the width needs (bytes-per-line too
//   small, or 0) read as 0 past their end, instead of reading the next plane
//   or past the line buffer.
// - 2- and 3-bit pictures (CGA, 3 planes of 1 bit) and other combinations
//   are read but their rows stay black. Four 8-bit planes are shown as RGB,
//   the fourth (alpha) plane ignored.
// - A 1-bit, single-plane file whose header colours 0 and 1 are equal (many
//   writers leave them zeroed) is shown black and white.
#include "imaging/codecs/pcx.h"

#include <cstring>

#include "imaging/core/reader_prelude.h"
#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace pcx {

namespace {

constexpr uint8_t kManufacturer = 10;
constexpr uint8_t kPaletteMarker = 12;
constexpr long kPaletteTrailerBytes = 769;  // marker + 256 x 3
constexpr uint8_t kCountFlags = 0xC0;
constexpr uint8_t kStoredEncoding = 0;
constexpr size_t kLargestRun = 0x3F;

uint16_t Little16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

}  // namespace

bool ReadHeader(std::FILE* file, PcxHeader* header) {
  uint8_t bytes[kHeaderBytes];
  if (std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) return false;
  header->manufacturer = bytes[0];
  header->version = bytes[1];
  header->encoding = bytes[2];
  header->bitsPerPixel = bytes[3];
  header->xmin = Little16(bytes + 4);
  header->ymin = Little16(bytes + 6);
  header->xmax = Little16(bytes + 8);
  header->ymax = Little16(bytes + 10);
  header->horizontalResolution = Little16(bytes + 12);
  header->verticalResolution = Little16(bytes + 14);
  std::memcpy(header->colorMap, bytes + 16, sizeof header->colorMap);
  header->reserved = bytes[64];
  header->planeCount = bytes[65];
  header->bytesPerLine = Little16(bytes + 66);
  header->paletteInfo = Little16(bytes + 68);
  std::memcpy(header->filler, bytes + 70, sizeof header->filler);
  return true;
}

bool IsAcceptedHeader(const PcxHeader& header) {
  const uint8_t version = header.version;
  return header.manufacturer == kManufacturer &&
         (version == 0 || version == 2 || version == 3 || version == 5);
}

RowLayout LayoutOf(const PcxHeader& header) {
  const int bits = header.bitsPerPixel;
  const int planes = header.planeCount;
  if (bits == 8 && (planes == 3 || planes == 4)) return RowLayout::kRgbPlanes;
  if (planes == 1 && (bits == 1 || bits == 4 || bits == 8)) return RowLayout::kIndexed;
  if (bits == 1 && (planes == 4 || planes == 8)) return RowLayout::kIndexed;
  return RowLayout::kNotConverted;
}

uint64_t BytesNeededPerPlane(const PcxHeader& header, uint32_t width) {
  return (uint64_t{width} * header.bitsPerPixel + 7) / 8;
}

void ReadPalette(std::FILE* file, const PcxHeader& header, Palette palette) {
  for (int i = 0; i < 256; ++i) palette[i][0] = palette[i][1] = palette[i][2] = static_cast<uint8_t>(i);

  const int bitsPerPixel = header.BitsPerPixel();
  if (header.version == 5 && header.manufacturer == kManufacturer && bitsPerPixel == 8 &&
      std::fseek(file, 0, SEEK_END) == 0) {
    // Quirk: a file shorter than the trailer has no marker byte; the grey
    // ramp stands.
    const long fileBytes = std::ftell(file);
    if (fileBytes >= kPaletteTrailerBytes &&
        std::fseek(file, fileBytes - kPaletteTrailerBytes, SEEK_SET) == 0 &&
        std::fgetc(file) == kPaletteMarker) {
      uint8_t colors[768];
      if (std::fread(colors, 1, sizeof colors, file) == sizeof colors) {
        std::memcpy(palette, colors, sizeof colors);
      }
    }
  }

  if (bitsPerPixel < 8) {
    // The header holds 16 colours; 5- to 7-bit pictures keep the ramp above
    // entry 15 rather than reading past the header's colour map.
    int entries = 1 << bitsPerPixel;
    if (entries > 16) entries = 16;
    std::memcpy(palette, header.colorMap, static_cast<size_t>(entries) * 3);
  }

  if (header.bitsPerPixel == 1 && header.planeCount == 1 &&
      std::memcmp(palette[0], palette[1], 3) == 0) {
    std::memset(palette[0], 0x00, 3);
    std::memset(palette[1], 0xFF, 3);
  }
}

bool DecodeScanLine(pelorn::BufferedFileInput& input, uint8_t* line, size_t length) {
  size_t written = 0;
  while (written < length) {
    int value = input.Get();
    if (value < 0) return false;
    size_t count = 1;
    if ((value & kCountFlags) == kCountFlags) {
      count = static_cast<size_t>(value) & kLargestRun;
      value = input.Get();
      if (value < 0) return false;
    }
    if (count > length - written) count = length - written;
    if (count == 1) {
      line[written] = static_cast<uint8_t>(value);
    } else {
      std::memset(line + written, value, count);
    }
    written += count;
  }
  return true;
}

bool ReadStoredScanLine(pelorn::BufferedFileInput& input, uint8_t* line, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const int value = input.Get();
    if (value < 0) return false;
    line[i] = static_cast<uint8_t>(value);
  }
  return true;
}

void UnpackRow(const PcxHeader& header, RowLayout layout, const uint8_t* line, size_t planeStride,
               const Palette palette, uint32_t width, uint8_t* rgb) {
  switch (layout) {
    case RowLayout::kRgbPlanes: {
      const uint8_t* red = line;
      const uint8_t* green = line + planeStride;
      const uint8_t* blue = line + 2 * planeStride;
      for (uint32_t x = 0; x < width; ++x, rgb += 3) {
        rgb[0] = red[x];
        rgb[1] = green[x];
        rgb[2] = blue[x];
      }
      return;
    }
    case RowLayout::kIndexed:
      if (header.planeCount == 1 && header.bitsPerPixel == 8) {
        for (uint32_t x = 0; x < width; ++x, rgb += 3) std::memcpy(rgb, palette[line[x]], 3);
      } else if (header.planeCount == 1) {
        // Indices of g bits, most significant first within each byte.
        const unsigned bits = header.bitsPerPixel;
        const unsigned perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (uint32_t x = 0; x < width; ++x, rgb += 3) {
          const unsigned shift = bits * (perByte - 1 - x % perByte);
          std::memcpy(rgb, palette[(line[x / perByte] >> shift) & mask], 3);
        }
      } else {
        // Planes of 1 bit: plane k gives bit k of the index.
        const unsigned planes = header.planeCount;
        for (uint32_t x = 0; x < width; ++x, rgb += 3) {
          const size_t byteIndex = x >> 3;
          const unsigned shift = 7 - (x & 7);
          unsigned index = 0;
          for (unsigned k = 0; k < planes; ++k) {
            index |= ((line[k * planeStride + byteIndex] >> shift) & 1u) << k;
          }
          std::memcpy(rgb, palette[index], 3);
        }
      }
      return;
    case RowLayout::kNotConverted:
      return;
  }
}

}  // namespace pcx

HGLOBAL PelornCodec::ReadPcxFile(const char* path, uint32_t* width, uint32_t* height) {
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;

  PcxHeader header;
  if (!pcx::ReadHeader(file.get(), &header) || !pcx::IsAcceptedHeader(header)) {
    errorCode = kPelornBadPcx;
    return nullptr;
  }
  // Quirk: xmax below xmin (or ymax below ymin) is a bad header, not an
  // empty or huge picture.
  if (header.Width() <= 0 || header.Height() <= 0) {
    errorCode = kPelornBadPcx;
    return nullptr;
  }
  const uint32_t pictureWidth = static_cast<uint32_t>(header.Width());
  const uint32_t pictureHeight = static_cast<uint32_t>(header.Height());
  *width = pictureWidth;
  *height = pictureHeight;

  pcx::Palette palette;
  pcx::ReadPalette(file.get(), header, palette);

  // The scan line as stored holds bytes-per-line bytes per plane; the line
  // buffer gives each plane at least the bytes the width needs, zero past
  // what the file supplies.
  const pcx::RowLayout layout = pcx::LayoutOf(header);
  const size_t storedPlaneBytes = header.bytesPerLine;
  uint64_t planeStride = storedPlaneBytes;
  if (layout != pcx::RowLayout::kNotConverted) {
    const uint64_t needed = pcx::BytesNeededPerPlane(header, pictureWidth);
    if (needed > planeStride) planeStride = needed;
  }
  // At most 65535 x 255 bytes: no overflow.
  const size_t scanLineBytes = storedPlaneBytes * header.planeCount;

  if (std::fseek(file.get(), pcx::kHeaderBytes, SEEK_SET) != 0) {
    errorCode = kPelornBadPcx;
    return nullptr;
  }
  pelorn::BufferedFileInput input(file.get());
  // The picture block and the line buffers together stay within the memory
  // bound; a picture past it fails first, whatever the file holds.
  const bool planesSpread = planeStride != storedPlaneBytes;
  size_t lineBufferBytes = 0;
  size_t pictureBytes = 0;
  if (!pelorn::CheckedProduct(planeStride, header.planeCount, &lineBufferBytes) ||
      !pelorn::PictureFitsBound(pictureWidth, pictureHeight, 3,
                                uint64_t{lineBufferBytes} + (planesSpread ? scanLineBytes : 0),
                                &pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  // A file too short for its scan lines would fail at the end of its data;
  // saying so now keeps a tiny crafted header from claiming a huge block. A
  // stored byte covers at most 63 bytes of a line.
  const long long remaining = input.Remaining();
  if (remaining >= 0 && scanLineBytes > 0) {
    const unsigned long long leastBytes =
        uint64_t{pictureHeight} * ((scanLineBytes + pcx::kLargestRun - 1) / pcx::kLargestRun);
    if (static_cast<unsigned long long>(remaining) < leastBytes) {
      errorCode = kPelornBadPcx;
      return nullptr;
    }
  }

  pelorn::PlainBlock line;
  pelorn::PlainBlock storedLine;
  if (!line.Allocate(lineBufferBytes, true) ||
      (planesSpread && !storedLine.Allocate(scanLineBytes, false))) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }

  pelorn::GlobalBlockOwner picture;
  if (!picture.AllocateAndLock(pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }

  const size_t rowBytes = size_t{pictureWidth} * 3;
  uint8_t* decodeTarget = planesSpread ? storedLine.bytes() : line.bytes();
  for (uint32_t y = 0; y < pictureHeight; ++y) {
    const bool read = header.encoding == pcx::kStoredEncoding
                          ? pcx::ReadStoredScanLine(input, decodeTarget, scanLineBytes)
                          : pcx::DecodeScanLine(input, decodeTarget, scanLineBytes);
    if (!read) {
      errorCode = kPelornBadPcx;
      return nullptr;
    }
    if (planesSpread) {
      for (size_t k = 0; k < header.planeCount; ++k) {
        std::memcpy(line.bytes() + k * planeStride, storedLine.bytes() + k * storedPlaneBytes,
                    storedPlaneBytes);
      }
    }
    pcx::UnpackRow(header, layout, line.bytes(), static_cast<size_t>(planeStride), palette,
                   pictureWidth, picture.bytes() + y * rowBytes);
    if (!ReportProgress(static_cast<int32_t>(y), static_cast<int32_t>(pictureHeight))) {
      errorCode = kPelornCancelled;
      return nullptr;
    }
  }

  file.Close();
  return picture.Release();
}
