// GIF reader (first picture of a file into an RGB buffer) and writer (one
// 8-bit paletted picture, picture data from the run-length code writer).
//
// Reader rules worth knowing:
// - The result has the picture's own size; the logical screen's size, the
//   picture's position, the background index and the disposal are ignored.
//   A picture larger than its screen, or placed outside it, is read whole.
// - The colours come from the local table when the picture has one, else from
//   the global table. Indices past the table in use give black (the unused
//   entries of the 256-entry planes stay zero); so does every index of a
//   file with neither table.
// - A damaged stream (a loop in the table, an end code after the data's end)
//   ends decoding and the pixels never reached stay black (the zero fill).
//   Quirks of the code stream (lzw.cpp): a code past the table is decoded as
//   if it were the next free code; a stream that just runs out goes on as
//   index 0; one that meets its end code early decodes on past it.
#include "imaging/codecs/gif.h"

#include <cstring>

#include "imaging/core/reader_prelude.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

constexpr int kExtensionIntroducer = 0x21;
constexpr int kImageSeparator = 0x2C;
constexpr int kTrailer = 0x3B;
constexpr int kGraphicControlLabel = 0xF9;

// Interlaced rows: pass 0 every 8th row from 0, pass 1 every 8th from 4,
// pass 2 every 4th from 2, pass 3 every 2nd from 1.
constexpr uint32_t kPassStartRow[4] = {0, 4, 2, 1};
constexpr uint32_t kPassRowStep[4] = {8, 8, 4, 2};

// Moves to the next row of an interlaced picture; false after the last one.
// Passes that start below the picture are skipped (a picture of height 1
// has only pass 0).
bool NextInterlacedRow(uint32_t height, int* pass, uint32_t* row) {
  *row += kPassRowStep[*pass];
  while (*row >= height) {
    if (*pass == 3) return false;
    ++*pass;
    *row = kPassStartRow[*pass];
  }
  return true;
}

}  // namespace

// --- Reader ------------------------------------------------------------------------

GifReader::GifReader() { ++GetThreadState().operationDepth; }
GifReader::~GifReader() { --GetThreadState().operationDepth; }

int GifReader::ReadSubBlock(uint8_t* bytes) {
  const int count = std::fgetc(file_);
  lastBlockEmpty_ = false;
  if (count == EOF) return -1;
  if (count > 0 && std::fread(bytes, 1, static_cast<size_t>(count), file_) != static_cast<size_t>(count))
    return -1;
  lastBlockEmpty_ = count == 0;
  return count;
}

bool GifReader::ReadColorTable(ColorTable& table, int entries) {
  uint8_t triples[256 * 3];
  const size_t bytes = static_cast<size_t>(entries) * 3;
  if (std::fread(triples, 1, bytes, file_) != bytes) return false;
  for (int i = 0; i < entries; ++i) {
    table[i] = triples[i * 3];
    table[256 + i] = triples[i * 3 + 1];
    table[512 + i] = triples[i * 3 + 2];
  }
  return true;
}

// Skips an extension's sub-blocks, taking the transparent index from a Graphic
// Control Extension. False when a sub-block cannot be read.
bool GifReader::ReadExtension(int label) {
  uint8_t bytes[255];
  if (label == kGraphicControlLabel) {
    const int count = ReadSubBlock(bytes);
    if (count < 0) return false;
    if (count == 0) return true;
    // Quirk: a first block shorter than 4 bytes has no transparent index to
    // give, so its transparency flag is ignored rather than a stale byte used.
    if (count >= 4 && (bytes[0] & 1) != 0) transparentIndex_ = bytes[3];
  }
  for (;;) {
    const int count = ReadSubBlock(bytes);
    if (count < 0) return false;
    if (count == 0) return true;
  }
}

HGLOBAL GifReader::Read(const char* path, uint32_t* width, uint32_t* height,
                        int32_t* transparentColor) {
  transparentIndex_ = -1;
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  file_ = file.get();

  uint8_t header[6];
  if (std::fread(header, 1, sizeof header, file_) != sizeof header ||
      std::memcmp(header, "GIF", 3) != 0 ||
      (std::memcmp(header + 3, "87a", 3) != 0 && std::memcmp(header + 3, "89a", 3) != 0)) {
    errorCode = kPelornBadGif;
    return nullptr;
  }
  uint8_t screen[7];
  if (std::fread(screen, 1, sizeof screen, file_) != sizeof screen) {
    errorCode = kPelornBadGif;
    return nullptr;
  }
  const uint8_t screenFlags = screen[4];
  if ((screenFlags & 0x80) != 0 && !ReadColorTable(globalTable_, 2 << (screenFlags & 7))) {
    errorCode = kPelornBadGif;
    return nullptr;
  }

  for (;;) {
    const int blockType = std::fgetc(file_);
    if (blockType == EOF) {
      // No picture before the end of the file (a lone trailer included).
      errorCode = kPelornFileRead;
      return nullptr;
    }
    if (blockType == kExtensionIntroducer) {
      const int label = std::fgetc(file_);
      if (label == EOF) {
        errorCode = kPelornFileRead;
        return nullptr;
      }
      // A damaged extension ends the file for us: the next read meets EOF.
      ReadExtension(label);
    } else if (blockType == kImageSeparator) {
      return ReadPicture(width, height, transparentColor);
    }
    // Quirk: any other byte, the trailer included, is skipped, so stray bytes
    // between blocks do no harm.
  }
}

HGLOBAL GifReader::ReadPicture(uint32_t* width, uint32_t* height, int32_t* transparentColor) {
  uint8_t descriptor[9];
  if (std::fread(descriptor, 1, sizeof descriptor, file_) != sizeof descriptor) {
    errorCode = kPelornFileRead;
    return nullptr;
  }
  const uint32_t pictureWidth = descriptor[4] | uint32_t{descriptor[5]} << 8;
  const uint32_t pictureHeight = descriptor[6] | uint32_t{descriptor[7]} << 8;
  const uint8_t flags = descriptor[8];

  // Quirk: a picture of width or height 0 has no pixels to hold; a zero-size
  // block cannot be locked, so it fails as an allocation does (code 1).
  // A picture past the memory bound fails the same way before its block is
  // asked for: the decoder fills what the data does not supply with index 0,
  // so a few bytes declaring 65535 x 65535 would otherwise cost 12 GB.
  size_t bytes = 0;
  pelorn::GlobalBlockOwner block;
  if (pictureWidth == 0 || pictureHeight == 0 ||
      !pelorn::PictureFitsBound(pictureWidth, pictureHeight, 3, 0, &bytes) ||
      !block.AllocateAndLock(bytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  const ColorTable* table = &globalTable_;
  if ((flags & 0x80) != 0) {
    if (!ReadColorTable(localTable_, 1 << ((flags & 7) + 1))) {
      errorCode = kPelornBadGif;
      return nullptr;
    }
    table = &localTable_;
  }
  if (!DecodePixels(block.bytes(), pictureWidth, pictureHeight, (flags & 0x40) != 0, *table))
    return nullptr;

  *width = pictureWidth;
  *height = pictureHeight;
  if (transparentColor != nullptr) {
    if (transparentIndex_ < 0) {
      *transparentColor = -1;
    } else {
      const ColorTable& colors = *table;
      const int i = transparentIndex_;
      *transparentColor = colors[i] | colors[256 + i] << 8 | colors[512 + i] << 16;
    }
  }
  return block.Release();
}

bool GifReader::DecodePixels(uint8_t* rgb, uint32_t width, uint32_t height, bool interlaced,
                             const ColorTable& table) {
  const int minimumCodeSize = std::fgetc(file_);
  if (minimumCodeSize == EOF || !decoder_.Initialise(minimumCodeSize, this)) {
    errorCode = kPelornFileRead;
    return false;
  }
  const uint8_t* reds = table;
  const uint8_t* greens = table + 256;
  const uint8_t* blues = table + 512;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  uint32_t row = 0;
  int pass = 0;
  for (;;) {
    uint8_t* out = rgb + row * rowBytes;
    for (uint32_t x = 0; x < width; ++x, out += 3) {
      const int index = decoder_.NextIndex();
      // A damaged or early-ending stream keeps what was decoded so far.
      if (index < 0) goto decoded;
      // Quirk: with code sizes above 8 the first code after a clear is handed
      // on whole, and a literal above 255 there only moves on (black); later
      // literals come through the byte-wide suffix table, modulo 256.
      if (index < 256) {
        out[0] = reds[index];
        out[1] = greens[index];
        out[2] = blues[index];
      }
    }
    if (interlaced) {
      if (!NextInterlacedRow(height, &pass, &row)) break;
    } else {
      if (!ReportProgress(static_cast<int32_t>(row), static_cast<int32_t>(height))) {
        errorCode = kPelornCancelled;
        return false;
      }
      if (++row >= height) break;
    }
  }
decoded:
  // One value past the picture: lets the decoder consume the end code and
  // the data's terminator.
  decoder_.NextIndex();
  return true;
}

// --- Writer ------------------------------------------------------------------------

GifWriter::GifWriter() { ++GetThreadState().operationDepth; }
GifWriter::~GifWriter() { --GetThreadState().operationDepth; }

void GifWriter::Put(const uint8_t* bytes, size_t count) {
  if (writeFailed_) return;
  if (std::fwrite(bytes, 1, count, file_) != count) writeFailed_ = true;
}

bool GifWriter::AdvanceRow() {
  if (!interlaced_) {
    ++row_;
    if (!ReportProgress(static_cast<int32_t>(row_), static_cast<int32_t>(height_))) {
      cancelled_ = true;
      return false;
    }
    return row_ < height_;
  }
  return NextInterlacedRow(height_, &interlacePass_, &row_);
}

int GifWriter::NextPixel() {
  // A cancelled or failed write ends the picture at once, so the file still
  // gets its end code, empty block and trailer.
  if (pixelsToSend_ == 0 || cancelled_ || writeFailed_) return kEndOfPicture;
  const int pixel = rowPixels_[column_];
  --pixelsToSend_;
  if (++column_ == width_) {
    column_ = 0;
    if (AdvanceRow()) rowPixels_ = pixels_ + static_cast<size_t>(row_) * width_;
  }
  return pixel;
}

int32_t GifWriter::Write(const char* path, int32_t width, int32_t height, int32_t interlace,
                         int32_t backgroundIndex, int32_t transparentIndex, int32_t bitsPerPixel,
                         const int32_t* redTable, const int32_t* greenTable,
                         const int32_t* blueTable, const uint8_t* pixels) {
  errorCode = kPelornOk;
  // Sizes and indices the file's 16-bit and 8-bit fields cannot hold are
  // refused: cut silently, they would give a corrupt file reported as success.
  size_t pixelCount = 0;
  if (path == nullptr || redTable == nullptr || greenTable == nullptr || blueTable == nullptr ||
      pixels == nullptr || bitsPerPixel < 1 || bitsPerPixel > 8 || width < 1 || width > 65535 ||
      height < 1 || height > 65535 || backgroundIndex < 0 || backgroundIndex > 255 ||
      transparentIndex > 255 ||
      !pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                              &pixelCount)) {
    errorCode = kPelornBadParam;
    return 0;
  }
  const int colorCount = 1 << bitsPerPixel;
  // With fewer than 8 bits an index past the table is refused: it would be
  // coded as a control code (the clear code or beyond).
  if (bitsPerPixel < 8) {
    for (size_t i = 0; i < pixelCount; ++i) {
      if (pixels[i] >= colorCount) {
        errorCode = kPelornBadParam;
        return 0;
      }
    }
  }

  pelorn::FileOwner file;
  if (!file.Open(path, "wb")) {
    errorCode = kPelornFileOpen;
    return 0;
  }
  file_ = file.get();
  writeFailed_ = false;
  cancelled_ = false;

  Put(reinterpret_cast<const uint8_t*>(transparentIndex < 0 ? "GIF87a" : "GIF89a"), 6);
  const uint8_t depth = static_cast<uint8_t>(bitsPerPixel - 1);
  const uint8_t screen[7] = {static_cast<uint8_t>(width),
                             static_cast<uint8_t>(width >> 8),
                             static_cast<uint8_t>(height),
                             static_cast<uint8_t>(height >> 8),
                             static_cast<uint8_t>(0x80 | depth << 4 | depth),
                             static_cast<uint8_t>(backgroundIndex),
                             0};
  Put(screen, sizeof screen);
  uint8_t colors[256 * 3];
  for (int i = 0; i < colorCount; ++i) {
    colors[i * 3] = static_cast<uint8_t>(redTable[i]);
    colors[i * 3 + 1] = static_cast<uint8_t>(greenTable[i]);
    colors[i * 3 + 2] = static_cast<uint8_t>(blueTable[i]);
  }
  Put(colors, static_cast<size_t>(colorCount) * 3);
  if (transparentIndex >= 0) {
    const uint8_t control[8] = {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00,
                                static_cast<uint8_t>(transparentIndex), 0x00};
    Put(control, sizeof control);
  }
  const uint8_t descriptor[10] = {kImageSeparator,
                                  0, 0, 0, 0,
                                  static_cast<uint8_t>(width),
                                  static_cast<uint8_t>(width >> 8),
                                  static_cast<uint8_t>(height),
                                  static_cast<uint8_t>(height >> 8),
                                  static_cast<uint8_t>(interlace != 0 ? 0x40 : 0x00)};
  Put(descriptor, sizeof descriptor);
  const uint8_t minimumCodeSize = static_cast<uint8_t>(bitsPerPixel < 2 ? 2 : bitsPerPixel);
  Put(&minimumCodeSize, 1);

  pixels_ = pixels;
  rowPixels_ = pixels;
  width_ = static_cast<uint32_t>(width);
  height_ = static_cast<uint32_t>(height);
  interlaced_ = interlace != 0;
  interlacePass_ = 0;
  column_ = 0;
  row_ = 0;
  pixelsToSend_ = pixelCount;
  RunLengthCodeWriter coder;
  coder.Encode(minimumCodeSize + 1, this, this);

  const uint8_t ending[2] = {0x00, kTrailer};
  Put(ending, sizeof ending);
  // A write error (a full disk) may only show when the stream's buffer is
  // flushed, so the flush and the close count too.
  const bool flushed = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const bool closed = file.Close();
  file_ = nullptr;
  if (cancelled_) {
    errorCode = kPelornCancelled;
    return 0;
  }
  if (writeFailed_ || !flushed || !closed) {
    errorCode = kPelornFileWrite;
    return 0;
  }
  return 1;
}
