// BMP codec: the uncompressed reader (1, 4, 8, 16, 24 and 32 bits), the row
// converter shared with the run-length decoder (bmp_rle.cpp), and the writer
// of uncompressed 1-, 4-, 8- and 24-bit files.
//
// Reading streams the file row by row: one padded file row is read and turned
// straight into its final buffer row (bottom-up files fill the buffer from its
// last row up, top-down files from row 0 down). Fields the reader ignores:
// bfSize, biPlanes, biSizeImage, the densities, biClrImportant.
//
// Quirks, on purpose:
// - 16-bit pixels are always 1-5-5-5 words; bit-field files (biCompression 3,
//   5-6-5, 4-4-4-4, 32-bit masks) are refused with code 6 rather than misread.
// - Palette entries the file does not supply, and indexes past the colour
//   count, are black; more than 256 colours means no table at all.
// - bfOffBits is trusted as it is, even inside the colour table.
// - A file too short for the rows its header claims fails (code 3) before
//   the picture block is asked for; a picture whose block and row pass the
//   memory bound (kMaxPictureMemory, 1 GiB) fails with code 1 without being
//   asked for.
//
// Writing streams rows from the caller's buffer, which already holds the rows
// bottom row first (24 bits: blue, green, red), padding each to its 4-byte
// stride with zeros.
#include "imaging/codecs/bmp.h"

#include <climits>
#include <cstring>

#include "imaging/core/reader_prelude.h"
#include "imaging/core/codec.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace pelorn::bmp {
namespace {

uint16_t Le16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

uint32_t Le32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void PutLe16(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

void PutLe32(uint8_t* bytes, uint32_t value) {
  PutLe16(bytes, value);
  PutLe16(bytes + 2, value >> 16);
}

}  // namespace

PelornError ReadBmpHeaders(std::FILE* file, BmpHeaders* headers) {
  uint8_t fileHeader[kFileHeaderBytes];
  if (std::fread(fileHeader, 1, sizeof fileHeader, file) != sizeof fileHeader)
    return kPelornFileRead;
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') return kPelornBadBmp;
  headers->pixelOffset = Le32(fileHeader + 10);

  uint8_t info[kWindowsInfoBytes] = {};
  if (std::fread(info, 1, 4, file) != 4) return kPelornFileRead;
  headers->infoSize = Le32(info);
  if (headers->infoSize == kCoreInfoBytes) {
    // OS/2 1.x: unsigned 16-bit width and height, always bottom-up.
    if (std::fread(info + 4, 1, 8, file) != 8) return kPelornFileRead;
    headers->coreHeader = true;
    headers->width = Le16(info + 4);
    headers->height = Le16(info + 6);
    headers->bitCount = Le16(info + 10);
    headers->compression = 0;
    headers->colorsUsed = 0;
    return kPelornOk;
  }
  // Quirk: a header size below 16 (other than 12) belongs to no BMP variant;
  // reading 40 bytes as if it did would take colours and pixels for fields.
  if (headers->infoSize < 16) return kPelornBadBmp;
  // OS/2 2.x headers may stop after any field from 16 bytes on; the missing
  // fields are zero. Longer headers (V4, V5) start with the same 40 bytes.
  const size_t fieldBytes =
      (headers->infoSize < kWindowsInfoBytes ? headers->infoSize : kWindowsInfoBytes) - 4;
  if (std::fread(info + 4, 1, fieldBytes, file) != fieldBytes) return kPelornFileRead;
  headers->coreHeader = false;
  headers->width = static_cast<int32_t>(Le32(info + 4));
  headers->height = static_cast<int32_t>(Le32(info + 8));
  headers->bitCount = Le16(info + 14);
  headers->compression = Le32(info + 16);
  headers->colorsUsed = Le32(info + 32);
  return kPelornOk;
}

bool SeekFromStart(std::FILE* file, uint64_t offset) {
  if (offset > static_cast<uint64_t>(LONG_MAX)) return false;
  return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

int64_t FileLength(std::FILE* file) {
  const long position = std::ftell(file);
  if (position < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long length = std::ftell(file);
  if (std::fseek(file, position, SEEK_SET) != 0) return -1;
  return length;
}

PelornError ReadColorTable(std::FILE* file, const BmpHeaders& headers, uint32_t colorCount,
                           RGBQUAD* palette) {
  if (colorCount > 256) colorCount = 256;
  if (colorCount == 0) return kPelornOk;
  // The table follows the info header. Reading it from offset 54 whatever the
  // header size would take V4/V5 header fields for colours.
  if (!SeekFromStart(file, ColorTableOffset(headers))) return kPelornBadBmp;
  const size_t entryBytes = headers.coreHeader ? 3 : 4;
  uint8_t table[256 * 4];
  const size_t tableBytes = colorCount * entryBytes;
  if (std::fread(table, 1, tableBytes, file) != tableBytes) return kPelornFileRead;
  for (uint32_t i = 0; i < colorCount; ++i) {
    const uint8_t* entry = table + i * entryBytes;
    palette[i].rgbBlue = entry[0];
    palette[i].rgbGreen = entry[1];
    palette[i].rgbRed = entry[2];
    palette[i].rgbReserved = 0;
  }
  return kPelornOk;
}

bool PictureBytes(int64_t width, int64_t height, uint64_t workingBytes, size_t* bytes) {
  if (width <= 0 || height <= 0) return false;
  return PictureFitsBound(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 3,
                          workingBytes, bytes);
}

}  // namespace pelorn::bmp

using pelorn::bmp::BmpHeaders;

namespace {

// Colours of an uncompressed file: biClrUsed, or 2 to the power bitCount when
// it is 0; more than 256 (or 32 bits and more) means no table at all.
uint32_t UncompressedColorCount(const BmpHeaders& headers) {
  if (headers.bitCount >= 32) return 0;
  uint32_t count = headers.colorsUsed;
  if (count == 0) count = uint32_t{1} << headers.bitCount;
  if (headers.coreHeader && headers.pixelOffset >= 26) {
    // Quirk: OS/2 1.x files have no colour count; some carry fewer entries
    // than the depth allows, so take only those that fit before the pixels.
    const uint32_t fitting = (headers.pixelOffset - 26) / 3;
    if (fitting < count) count = fitting;
  }
  return count > 256 ? 0 : count;
}

}  // namespace

HGLOBAL PelornCodec::ReadBmpFile(const char* path, uint32_t* width, uint32_t* height) {
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  BmpHeaders headers;
  errorCode = pelorn::bmp::ReadBmpHeaders(file.get(), &headers);
  if (errorCode != kPelornOk) return nullptr;
  // A width of 0 or less is a broken file, reported as such (not as success).
  if (headers.width <= 0) {
    errorCode = kPelornBadBmp;
    return nullptr;
  }
  if (headers.compression != 0) {
    if ((headers.compression == 2 && headers.bitCount == 4) ||
        (headers.compression == 1 && headers.bitCount == 8)) {
      file.Close();
      return ReadBmpRleFile(path, width, height);
    }
    errorCode = kPelornBadBmp;  // bit fields, RLE24, embedded JPEG/PNG, mismatched RLE
    return nullptr;
  }

  const int32_t bitCount = headers.bitCount;
  RGBQUAD palette[256];
  std::memset(palette, 0, sizeof palette);
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
      errorCode = pelorn::bmp::ReadColorTable(file.get(), headers,
                                              UncompressedColorCount(headers), palette);
      if (errorCode != kPelornOk) return nullptr;
      break;
    case 24:
    case 32:
      break;
    default:
      errorCode = kPelornBadBmp;
      return nullptr;
  }
  if (!pelorn::bmp::SeekFromStart(file.get(), headers.pixelOffset)) {
    errorCode = kPelornBadBmp;
    return nullptr;
  }

  const int64_t pictureWidth = headers.width;
  const bool topDown = headers.height < 0;
  const int64_t pictureHeight = topDown ? -static_cast<int64_t>(headers.height) : headers.height;
  *width = static_cast<uint32_t>(pictureWidth);
  *height = static_cast<uint32_t>(pictureHeight);

  size_t stride = 0;
  if (!pelorn::CheckedDibStride(static_cast<uint64_t>(pictureWidth),
                                static_cast<uint64_t>(bitCount), &stride)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  // A height of 0 gives no picture: a zero-size block cannot be locked.
  size_t pictureBytes = 0;
  if (pictureHeight != 0 &&
      !pelorn::bmp::PictureBytes(pictureWidth, pictureHeight, stride, &pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  // A file too short for its rows would fail at its first missing row anyway;
  // say so before asking for a block the size the header claims.
  const int64_t fileLength = pelorn::bmp::FileLength(file.get());
  if (fileLength >= 0 &&
      uint64_t{headers.pixelOffset} + uint64_t{stride} * static_cast<uint64_t>(pictureHeight) >
          static_cast<uint64_t>(fileLength)) {
    errorCode = kPelornFileRead;
    return nullptr;
  }

  pelorn::GlobalBlockOwner picture;
  if (!picture.AllocateAndLock(pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  pelorn::PlainBlock row;
  if (!row.Allocate(stride)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  const size_t rgbRowBytes = static_cast<size_t>(pictureWidth) * 3;
  for (int64_t rowsDone = 0; rowsDone < pictureHeight; ++rowsDone) {
    // Progress counts the file rows read, whichever way the file runs.
    if (!ReportProgress(static_cast<int32_t>(rowsDone), static_cast<int32_t>(pictureHeight))) {
      errorCode = kPelornCancelled;
      return nullptr;
    }
    if (std::fread(row.bytes(), 1, stride, file.get()) != stride) {
      errorCode = kPelornFileRead;
      return nullptr;
    }
    const int64_t bufferRow = topDown ? rowsDone : pictureHeight - 1 - rowsDone;
    ConvertBmpRow(row.bytes(), picture.bytes() + static_cast<size_t>(bufferRow) * rgbRowBytes,
                  static_cast<uint32_t>(pictureWidth), bitCount, palette);
  }
  return picture.Release();
}

namespace {
void ConvertPixels(const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
                   int32_t bitsPerPixel, const RGBQUAD* palette);
}  // namespace

void PelornCodec::ConvertBmpRow(const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
                                int32_t bitsPerPixel, const RGBQUAD* palette) {
  // Nothing below reports progress. The record is looked up once: the
  // run-length decoder calls this for every run.
  PelornThreadState& state = GetThreadState();
  ++state.operationDepth;
  ConvertPixels(source, destination, pixelCount, bitsPerPixel, palette);
  --state.operationDepth;
}

namespace {

void ConvertPixels(const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
                   int32_t bitsPerPixel, const RGBQUAD* palette) {
  if (source == nullptr || destination == nullptr) return;
  const bool indexed = bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8;
  if (indexed && palette == nullptr) return;
  uint8_t* out = destination;
  switch (bitsPerPixel) {
    case 1:
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3) {
        const RGBQUAD& color = palette[(source[i >> 3] >> (7 - (i & 7))) & 1];
        out[0] = color.rgbRed;
        out[1] = color.rgbGreen;
        out[2] = color.rgbBlue;
      }
      break;
    case 4:
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3) {
        const uint8_t pair = source[i >> 1];
        const RGBQUAD& color = palette[(i & 1) ? (pair & 15) : (pair >> 4)];
        out[0] = color.rgbRed;
        out[1] = color.rgbGreen;
        out[2] = color.rgbBlue;
      }
      break;
    case 8:
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3) {
        const RGBQUAD& color = palette[source[i]];
        out[0] = color.rgbRed;
        out[1] = color.rgbGreen;
        out[2] = color.rgbBlue;
      }
      break;
    case 16:
      // 1-5-5-5 words; the three low bits of each channel are filled with
      // ones, so 0 becomes 7 and 31 becomes 255.
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3) {
        const uint32_t word = static_cast<uint32_t>(source[2 * i]) | source[2 * i + 1] << 8;
        out[0] = static_cast<uint8_t>(((word >> 10) & 31) * 8 + 7);
        out[1] = static_cast<uint8_t>(((word >> 5) & 31) * 8 + 7);
        out[2] = static_cast<uint8_t>((word & 31) * 8 + 7);
      }
      break;
    case 24:
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3, source += 3) {
        out[0] = source[2];
        out[1] = source[1];
        out[2] = source[0];
      }
      break;
    case 32:
      for (uint32_t i = 0; i < pixelCount; ++i, out += 3, source += 4) {
        out[0] = source[2];
        out[1] = source[1];
        out[2] = source[0];
      }
      break;
    default:
      break;
  }
}

// Counts what reaches the file so the writer can tell a complete file.
class CountingWriter {
 public:
  explicit CountingWriter(std::FILE* file) : file_(file) {}
  bool Write(const void* bytes, size_t count) {
    if (count == 0) return true;
    const size_t written = std::fwrite(bytes, 1, count, file_);
    total_ += written;
    return written == count;
  }
  bool WriteZeros(size_t count) {
    static const uint8_t kZeros[64] = {};
    while (count > 0) {
      const size_t chunk = count < sizeof kZeros ? count : sizeof kZeros;
      if (!Write(kZeros, chunk)) return false;
      count -= chunk;
    }
    return true;
  }
  uint64_t total() const { return total_; }

 private:
  std::FILE* file_;
  uint64_t total_ = 0;
};

// Packs one row of palette indexes, most significant bits first, and writes
// it. Quirk: indexes are masked to the depth so that an index too large for
// it cannot spill into its neighbour's bits.
bool WritePackedRow(CountingWriter* writer, const uint8_t* indexes, uint32_t width,
                    int32_t bitsPerPixel) {
  uint8_t chunk[4096];
  size_t used = 0;
  const uint32_t mask = (1u << bitsPerPixel) - 1;
  uint32_t accumulator = 0;
  int32_t bitsHeld = 0;
  for (uint32_t i = 0; i < width; ++i) {
    accumulator = (accumulator << bitsPerPixel) | (indexes[i] & mask);
    bitsHeld += bitsPerPixel;
    if (bitsHeld == 8) {
      chunk[used++] = static_cast<uint8_t>(accumulator);
      accumulator = 0;
      bitsHeld = 0;
      if (used == sizeof chunk) {
        if (!writer->Write(chunk, used)) return false;
        used = 0;
      }
    }
  }
  if (bitsHeld > 0) chunk[used++] = static_cast<uint8_t>(accumulator << (8 - bitsHeld));
  return writer->Write(chunk, used);
}

}  // namespace

void PelornCodec::WriteBmpFile(const char* path, const uint8_t* pixels, int32_t width,
                               int32_t height, int32_t bitsPerPixel, int32_t colorCount,
                               const RGBQUAD* palette) {
  errorCode = kPelornOk;
  if (path == nullptr || pixels == nullptr) {
    errorCode = kPelornBadParam;
    return;
  }
  if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8 && bitsPerPixel != 24) {
    errorCode = kPelornBadParam;
    return;
  }
  if (bitsPerPixel == 24) {
    colorCount = 0;
  } else if (palette == nullptr) {
    errorCode = kPelornBadParam;
    return;
  }
  // Palettes hold 256 entries; a negative size or count has no file form.
  if (width < 0 || height < 0 || colorCount < 0 || colorCount > 256) {
    errorCode = kPelornBadParam;
    return;
  }
  size_t stride = 0;
  const bool strideFits = pelorn::CheckedDibStride(
      static_cast<uint64_t>(width), static_cast<uint64_t>(bitsPerPixel), &stride);
  const uint64_t imageSize = uint64_t{stride} * static_cast<uint64_t>(height);
  const uint32_t pixelOffset = 54 + 4 * static_cast<uint32_t>(colorCount);
  const uint64_t fileSize = pixelOffset + imageSize;
  if (!strideFits || fileSize > UINT32_MAX) {  // the header's size fields cannot say it
    errorCode = kPelornBadParam;
    return;
  }

  pelorn::FileOwner file;
  if (!file.Open(path, "wb")) {
    errorCode = kPelornFileOpen;
    return;
  }
  CountingWriter writer(file.get());

  uint8_t fileHeader[14] = {'B', 'M'};
  pelorn::bmp::PutLe32(fileHeader + 2, static_cast<uint32_t>(fileSize));
  pelorn::bmp::PutLe32(fileHeader + 10, pixelOffset);
  uint8_t info[40] = {};
  pelorn::bmp::PutLe32(info + 0, 40);
  pelorn::bmp::PutLe32(info + 4, static_cast<uint32_t>(width));
  pelorn::bmp::PutLe32(info + 8, static_cast<uint32_t>(height));
  pelorn::bmp::PutLe16(info + 12, 1);
  pelorn::bmp::PutLe16(info + 14, static_cast<uint32_t>(bitsPerPixel));
  pelorn::bmp::PutLe32(info + 20, static_cast<uint32_t>(imageSize));
  pelorn::bmp::PutLe32(info + 32, static_cast<uint32_t>(colorCount));
  pelorn::bmp::PutLe32(info + 36, static_cast<uint32_t>(colorCount));
  uint8_t table[256 * 4];
  for (int32_t i = 0; i < colorCount; ++i) {
    table[4 * i] = palette[i].rgbBlue;
    table[4 * i + 1] = palette[i].rgbGreen;
    table[4 * i + 2] = palette[i].rgbRed;
    table[4 * i + 3] = 0;
  }
  if (!writer.Write(fileHeader, sizeof fileHeader) || !writer.Write(info, sizeof info) ||
      !writer.Write(table, 4 * static_cast<size_t>(colorCount))) {
    errorCode = kPelornFileWrite;
    return;
  }

  const size_t sourceRowBytes = static_cast<size_t>(width) * (bitsPerPixel == 24 ? 3 : 1);
  const size_t pixelBytes =
      bitsPerPixel == 24 ? sourceRowBytes
                         : (static_cast<size_t>(width) * bitsPerPixel + 7) / 8;
  for (int32_t i = 0; i < height; ++i) {
    if (!ReportProgress(i, height)) {
      errorCode = kPelornCancelled;
      return;  // the partial file stays
    }
    const uint8_t* rowPixels = pixels + static_cast<size_t>(i) * sourceRowBytes;
    const bool written = bitsPerPixel == 24
                             ? writer.Write(rowPixels, sourceRowBytes)
                             : WritePackedRow(&writer, rowPixels, static_cast<uint32_t>(width),
                                              bitsPerPixel);
    if (!written || !writer.WriteZeros(stride - pixelBytes)) {
      errorCode = kPelornFileWrite;
      return;
    }
  }
  // Buffered bytes reach the disk only when the file is closed.
  if (!file.Close() || writer.total() != fileSize) errorCode = kPelornFileWrite;
}

void PelornCodec::WriteBmp24File(const char* path, const uint8_t* pixels, int32_t width,
                                 int32_t height) {
  WriteBmpFile(path, pixels, width, height, 24, 0, nullptr);
}
