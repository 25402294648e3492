// TGA reader.
//
// Method: the 18-byte header, the ID field and the colour map are read in
// file order; then every row is decoded straight into its place in the output
// block (row r of the file goes to picture row r when descriptor bit 5 says
// the top row comes first, otherwise to row height - 1 - r). Run-length files
// keep their packet state (pixels left, run or raw) across rows, because
// packets may continue from one row into the next. Raw pixels are converted
// in spans straight out of the file buffer; run packets repeat the last pixel
// read. Cost: one pass over the file, O(width x height); memory: the output
// block and a fixed file buffer.
//
// Channel rules that differ from some other readers, on purpose:
// - 15- and 16-bit values are expanded by a plain shift (5 bits << 3), so the
//   brightest channel is 248, not 255; bit 15 (attribute/alpha) is ignored.
// - The pixel depth decides how a value is read, not the image type: a 16-bit
//   black-and-white file (grey + alpha) is read as 5-5-5 colour.
// - Descriptor bit 4 (right-to-left) is not used; alpha is read and dropped.
#include "imaging/codecs/tga.h"

#include <cstdio>
#include <cstring>

#include "imaging/codecs/buffered_input.h"
#include "imaging/core/reader_prelude.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"

namespace {

constexpr int kHeaderBytes = 18;
constexpr uint8_t kTopRowFirst = 0x20;
constexpr uint8_t kAlphaBitsMask = 0x0F;
constexpr uint8_t kRunPacket = 0x80;
constexpr uint32_t kMaxPacketPixels = 128;

bool IsAcceptedImageType(uint8_t type) {
  return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

// Bytes of one stored value of the given bit count; 0 for a count the reader
// does not handle.
int StoredBytes(int bits) {
  switch (bits) {
    case 8: return 1;
    case 15:
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return 0;
  }
}

inline uint8_t Expand5(unsigned value) { return static_cast<uint8_t>((value & 0x1F) << 3); }

// One 8/15/16/24/32-bit value as red, green, blue (and alpha, raw).
void DecodeValue(const uint8_t* stored, int bits, uint8_t* red, uint8_t* green, uint8_t* blue,
                 uint8_t* alpha, uint16_t* raw) {
  switch (bits) {
    case 8:
      *red = *green = *blue = stored[0];
      *raw = stored[0];
      break;
    case 15:
    case 16: {
      const unsigned v = stored[0] | (stored[1] << 8);
      *red = Expand5(v >> 10);
      *green = Expand5(v >> 5);
      *blue = Expand5(v);
      *raw = static_cast<uint16_t>(v);
      break;
    }
    case 24:
      *blue = stored[0];
      *green = stored[1];
      *red = stored[2];
      break;
    case 32:
      *blue = stored[0];
      *green = stored[1];
      *red = stored[2];
      *alpha = stored[3];
      break;
    default:
      break;
  }
}

}  // namespace

namespace {

typedef uint8_t ColorMapEntry[4];

inline void PutColorMapEntry(const ColorMapEntry* colorMap, unsigned index, uint8_t* rgb) {
  // Quirk: an index past the 256-entry table shows black, like the entries
  // the file did not supply.
  if (index > 255) {
    rgb[0] = rgb[1] = rgb[2] = 0;
    return;
  }
  rgb[0] = colorMap[index][0];
  rgb[1] = colorMap[index][1];
  rgb[2] = colorMap[index][2];
}

// Converters from stored values to RGB, one per depth, mapped or not.

template <bool kMapped>
void ConvertGray8(const uint8_t* stored, size_t count, uint8_t* rgb, const ColorMapEntry* colorMap,
                  TgaPixel* last) {
  for (size_t i = 0; i < count; ++i, rgb += 3) {
    const uint8_t value = stored[i];
    if (kMapped) {
      PutColorMapEntry(colorMap, value, rgb);
    } else {
      rgb[0] = rgb[1] = rgb[2] = value;
    }
  }
  const uint8_t value = stored[count - 1];
  last->red = last->green = last->blue = value;
  last->raw = value;
}

template <bool kMapped>
void Convert555(const uint8_t* stored, size_t count, uint8_t* rgb, const ColorMapEntry* colorMap,
                TgaPixel* last) {
  for (size_t i = 0; i < count; ++i, stored += 2, rgb += 3) {
    const unsigned value = stored[0] | (stored[1] << 8);
    if (kMapped) {
      PutColorMapEntry(colorMap, value, rgb);
    } else {
      rgb[0] = Expand5(value >> 10);
      rgb[1] = Expand5(value >> 5);
      rgb[2] = Expand5(value);
    }
  }
  DecodeValue(stored - 2, 16, &last->red, &last->green, &last->blue, &last->alpha, &last->raw);
}

// 24- and 32-bit values carry no index; a mapped picture at these depths
// shows the entry of the last index held (entry 0 unless set before).
template <int kBytes, bool kMapped>
void ConvertBgr(const uint8_t* stored, size_t count, uint8_t* rgb, const ColorMapEntry* colorMap,
                TgaPixel* last) {
  const uint8_t* lastStored = stored + (count - 1) * kBytes;
  if (kMapped) {
    for (size_t i = 0; i < count; ++i, rgb += 3) PutColorMapEntry(colorMap, last->raw, rgb);
  } else {
    for (size_t i = 0; i < count; ++i, stored += kBytes, rgb += 3) {
      rgb[0] = stored[2];
      rgb[1] = stored[1];
      rgb[2] = stored[0];
    }
  }
  DecodeValue(lastStored, kBytes * 8, &last->red, &last->green, &last->blue, &last->alpha,
              &last->raw);
}

TgaPixelConverter SelectConverter(int pixelDepth, bool mapped) {
  switch (pixelDepth) {
    case 8: return mapped ? ConvertGray8<true> : ConvertGray8<false>;
    case 15:
    case 16: return mapped ? Convert555<true> : Convert555<false>;
    case 24: return mapped ? ConvertBgr<3, true> : ConvertBgr<3, false>;
    case 32: return mapped ? ConvertBgr<4, true> : ConvertBgr<4, false>;
    default: return nullptr;
  }
}

}  // namespace

bool TgaReader::ReadHeader(pelorn::BufferedFileInput& source, Header* header) {
  uint8_t bytes[kHeaderBytes];
  if (!source.ReadBytes(bytes, sizeof bytes)) {
    errorCode = kPelornFileRead;
    return false;
  }
  header->idLength = bytes[0];
  header->colorMapType = bytes[1];
  header->imageType = bytes[2];
  header->colorMapFirstIndex = static_cast<uint16_t>(bytes[3] | (bytes[4] << 8));
  header->colorMapLength = static_cast<uint16_t>(bytes[5] | (bytes[6] << 8));
  header->colorMapEntryBits = bytes[7];
  header->width = static_cast<uint16_t>(bytes[12] | (bytes[13] << 8));
  header->height = static_cast<uint16_t>(bytes[14] | (bytes[15] << 8));
  header->pixelDepth = bytes[16];
  header->descriptor = bytes[17];
  if (header->pixelDepth < 8 || header->pixelDepth > 32 || !IsAcceptedImageType(header->imageType)) {
    errorCode = kPelornBadTga;
    return false;
  }
  return true;
}

// Entries go to table indices first, first + 1, ...
// Quirk: entries that would land past index 255 are read (so the pixel data
// is found where it starts) and dropped.
bool TgaReader::ReadColorMap(pelorn::BufferedFileInput& source, const Header& header) {
  if (header.colorMapType == 0 || header.colorMapLength == 0) return true;
  const int entryBytes = StoredBytes(header.colorMapEntryBits);
  if (entryBytes == 0) {
    // The entry reader has no layout for this size: a bad file.
    errorCode = kPelornBadTga;
    return false;
  }
  for (uint32_t i = 0; i < header.colorMapLength; ++i) {
    uint8_t stored[4];
    if (!source.ReadBytes(stored, static_cast<size_t>(entryBytes))) {
      errorCode = kPelornFileRead;
      return false;
    }
    const uint32_t index = header.colorMapFirstIndex + i;
    if (index > 255) continue;
    uint8_t alpha = 0;
    uint16_t raw = 0;
    DecodeValue(stored, header.colorMapEntryBits, &colorMap_[index][0], &colorMap_[index][1],
                &colorMap_[index][2], &alpha, &raw);
  }
  return true;
}

// Reads `count` stored values and converts them, in spans taken straight from
// the file buffer.
bool TgaReader::ReadStoredPixels(pelorn::BufferedFileInput& source, uint8_t* rgb, size_t count) {
  const size_t valueBytes = static_cast<size_t>(pixelBytes_);
  while (count > 0) {
    if (!source.Ensure(valueBytes)) {
      errorCode = kPelornFileRead;
      return false;
    }
    size_t span = source.Available() / valueBytes;
    if (span > count) span = count;
    convert_(source.Data(), span, rgb, colorMap_, &lastPixel_);
    source.Consume(span * valueBytes);
    rgb += span * 3;
    count -= span;
  }
  return true;
}

void TgaReader::PutLastPixel(uint8_t* rgb) const {
  if (colorMapped_) {
    PutColorMapEntry(colorMap_, lastPixel_.raw, rgb);
  } else {
    rgb[0] = lastPixel_.red;
    rgb[1] = lastPixel_.green;
    rgb[2] = lastPixel_.blue;
  }
}

// One row of `width` pixels. Run-length files: a packet header byte h covers
// (h & 0x7F) + 1 pixels, a run (repeat of one value) when bit 7 is set.
// Quirk: packets continue across rows; whatever a packet holds past the last
// pixel of the picture is never read.
bool TgaReader::DecodeRow(pelorn::BufferedFileInput& source, uint8_t* row, uint32_t width) {
  if (!runLengthEncoded_) return ReadStoredPixels(source, row, width);
  uint32_t column = 0;
  while (column < width) {
    if (packetPixelsLeft_ == 0) {
      const int packetHeader = source.Get();
      if (packetHeader < 0) {
        errorCode = kPelornFileRead;
        return false;
      }
      runPacket_ = (packetHeader & kRunPacket) != 0;
      packetPixelsLeft_ = static_cast<uint32_t>(packetHeader & 0x7F) + 1;
      if (runPacket_) {
        // The run's one value is read with its first pixel.
        if (!ReadStoredPixels(source, row + column * 3, 1)) return false;
        --packetPixelsLeft_;
        ++column;
        continue;
      }
    }
    uint32_t span = width - column;
    if (span > packetPixelsLeft_) span = packetPixelsLeft_;
    uint8_t* rgb = row + column * 3;
    if (runPacket_) {
      uint8_t repeated[3];
      PutLastPixel(repeated);
      for (uint32_t i = 0; i < span; ++i, rgb += 3) std::memcpy(rgb, repeated, 3);
    } else if (!ReadStoredPixels(source, rgb, span)) {
      return false;
    }
    packetPixelsLeft_ -= span;
    column += span;
  }
  return true;
}

HGLOBAL TgaReader::Read(const char* path, uint32_t* width, uint32_t* height) {
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  pelorn::BufferedFileInput source(file.get());

  Header header;
  if (!ReadHeader(source, &header)) return nullptr;
  if (header.idLength != 0 && !source.ReadBytes(idBuffer_, header.idLength)) {
    errorCode = kPelornFileRead;
    return nullptr;
  }
  if (!ReadColorMap(source, header)) return nullptr;
  colorMapped_ = header.colorMapType != 0 && (header.imageType == 1 || header.imageType == 9);
  runLengthEncoded_ = header.imageType >= 9;
  alphaBits_ = header.descriptor & kAlphaBitsMask;

  // A depth inside 8..32 that no value layout has (12, say) would fail at the
  // first pixel; refusing it here gives the same code before any allocation.
  // Quirk: a picture without rows or columns is a bad file, not an empty
  // picture (a zero-sized block cannot be locked).
  pixelBytes_ = StoredBytes(header.pixelDepth);
  if (pixelBytes_ == 0 || header.width == 0 || header.height == 0) {
    errorCode = kPelornBadTga;
    return nullptr;
  }

  // A picture past the memory bound fails first, whatever the file holds.
  size_t pictureBytes = 0;
  if (!pelorn::PictureFitsBound(header.width, header.height, 3, 0, &pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  // A file too short to hold the picture would end in a short read anyway;
  // saying so now keeps a tiny crafted header from claiming a huge block.
  // Run-length data needs at least one packet header and one value per 128
  // pixels.
  const long long remaining = source.Remaining();
  if (remaining >= 0) {
    const unsigned long long pixels = static_cast<unsigned long long>(header.width) * header.height;
    const unsigned long long leastBytes =
        runLengthEncoded_ ? (pixels + kMaxPacketPixels - 1) / kMaxPacketPixels * (1 + pixelBytes_)
                          : pixels * pixelBytes_;
    if (static_cast<unsigned long long>(remaining) < leastBytes) {
      errorCode = kPelornFileRead;
      return nullptr;
    }
  }

  pelorn::GlobalBlockOwner picture;
  if (!picture.AllocateAndLock(pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }

  convert_ = SelectConverter(header.pixelDepth, colorMapped_);
  packetPixelsLeft_ = 0;
  runPacket_ = false;
  const size_t rowBytes = static_cast<size_t>(header.width) * 3;
  const bool topRowFirst = (header.descriptor & kTopRowFirst) != 0;
  for (uint32_t r = 0; r < header.height; ++r) {
    const uint32_t pictureRow = topRowFirst ? r : header.height - 1 - r;
    if (!DecodeRow(source, picture.bytes() + pictureRow * rowBytes, header.width)) return nullptr;
  }

  file.Close();
  *width = header.width;
  *height = header.height;
  errorCode = kPelornOk;
  return picture.Release();
}
