// Run-length BMP decoding (BI_RLE8 with 8 bits, BI_RLE4 with 4 bits).
//
// Method: the compressed pixel data is a sequence of two-byte commands, each
// starting at an even offset: (n, v) an encoded run of n pixels of index v
// (RLE4: alternately the high and low nibble of v); (0, 0) end of line;
// (0, 1) end of bitmap; (0, 2, dx, dy) a delta moving dx pixels right and dy
// rows up; (0, n >= 3) an absolute run of n pixels given one by one, padded to
// an even byte count. The decoder walks the data one byte at a time through a
// seven-state machine:
//   0  first byte of a command (run count), or a skipped padding zero
//   1  the value of an encoded run
//   2  the escape byte 0 of a two-byte command
//   3  the escape code (end of line, end of bitmap, delta, absolute run)
//   4  the data bytes of an absolute run
//   5  delta dx
//   6  delta dy
// A zero byte at an odd byte number in state 0 starts an escape; at an even
// number it is the padding after an odd absolute run. Rows are filled from the
// bottom of the buffer (the file's first row) up; pixels a delta or an early
// end skips stay black. Each run is turned into RGB with one call of the row
// converter of the BMP codec.
//
// Parameters: the headers and colour table of the file (the table right after
// the info header); nothing is kept between calls.
// Cost: one pass over the compressed bytes through a 16 KB read buffer; each
// run costs one palette lookup per pixel. Memory: the picture block and a
// 256-byte scratch row (a run holds at most 255 pixels).
#include <cstring>

#include "imaging/codecs/bmp.h"
#include "imaging/core/reader_prelude.h"
#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

// Hands out the pixel data one byte at a time from large reads of the file.
class ByteStream {
 public:
  explicit ByteStream(std::FILE* file) : file_(file) {}
  bool Next(uint8_t* dataByte) {
    if (position_ == filled_) {
      filled_ = std::fread(buffer_, 1, sizeof buffer_, file_);
      position_ = 0;
      if (filled_ == 0) return false;
    }
    *dataByte = buffer_[position_++];
    return true;
  }

 private:
  std::FILE* file_;
  size_t filled_ = 0;
  size_t position_ = 0;
  uint8_t buffer_[16384];
};

// A run holds at most 255 pixels: 255 bytes for 8 bits, 128 for 4 bits.
constexpr size_t kScratchRowBytes = 256;

enum RleState {
  kRunCount = 0,
  kRunValue = 1,
  kEscape = 2,
  kEscapeCode = 3,
  kAbsoluteData = 4,
  kDeltaX = 5,
  kDeltaY = 6,
};

}  // namespace

HGLOBAL PelornCodec::ReadBmpRleFile(const char* path, uint32_t* width, uint32_t* height) {
  pelorn::FileOwner file;
  errorCode = pelorn::OpenPictureFile(path, width, height, &file);
  if (errorCode != kPelornOk) return nullptr;
  pelorn::bmp::BmpHeaders headers;
  errorCode = pelorn::bmp::ReadBmpHeaders(file.get(), &headers);
  if (errorCode != kPelornOk) return nullptr;

  const int32_t bitCount = headers.bitCount;
  uint32_t colorCount = headers.colorsUsed;
  if (colorCount == 0 && bitCount < 32) colorCount = uint32_t{1} << bitCount;
  if (!((headers.compression == 2 && bitCount == 4) ||
        (headers.compression == 1 && bitCount == 8))) {
    errorCode = kPelornNoRle;
    return nullptr;
  }
  // Quirk: a colour count above 256 uses the first 256 entries; the palette
  // has no room for more and an 8-bit index cannot reach them.
  if (colorCount > 256) colorCount = 256;
  RGBQUAD palette[256];
  std::memset(palette, 0, sizeof palette);
  errorCode = pelorn::bmp::ReadColorTable(file.get(), headers, colorCount, palette);
  if (errorCode != kPelornOk) return nullptr;
  if (!pelorn::bmp::SeekFromStart(file.get(), headers.pixelOffset)) {
    errorCode = kPelornBadBmp;
    return nullptr;
  }

  // The height is taken as it is: run-length files are bottom-up only, so a
  // negative (top-down) height gives no buffer.
  const int32_t pictureWidth = headers.width;
  const int32_t pictureHeight = headers.height;
  *width = static_cast<uint32_t>(pictureWidth);
  *height = static_cast<uint32_t>(pictureHeight);
  // The bound counts the scratch row too; a picture past it fails before the
  // block is asked for, so a few kilobytes of deltas and end-of-line escapes
  // cannot make the decoder commit gigabytes of black.
  size_t pictureBytes = 0;
  pelorn::GlobalBlockOwner picture;
  if (!pelorn::bmp::PictureBytes(pictureWidth, pictureHeight, kScratchRowBytes, &pictureBytes) ||
      !picture.AllocateAndLock(pictureBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  pelorn::PlainBlock scratchRow;
  if (!scratchRow.Allocate(kScratchRowBytes)) {
    errorCode = kPelornOutOfMemory;
    return nullptr;
  }
  uint8_t* const scratch = scratchRow.bytes();
  uint8_t* const rgb = picture.bytes();

  ByteStream stream(file.get());
  int32_t y = pictureHeight - 1;
  int32_t x = 0;
  int32_t pending = 0;   // pixels in the scratch row waiting to be placed
  int32_t runCount = 0;  // pixels of the current run still to come
  RleState state = kRunCount;
  uint32_t byteNumber = 0;
  int32_t lastReportedRow = 0;
  for (;;) {
    uint8_t dataByte = 0;
    if (!stream.Next(&dataByte)) {
      errorCode = kPelornFileRead;  // no end-of-bitmap escape
      return nullptr;
    }
    ++byteNumber;
    if (y != lastReportedRow) {
      lastReportedRow = y;
      if (!ReportProgress(pictureHeight - y - 1, pictureHeight)) {
        errorCode = kPelornCancelled;
        return nullptr;
      }
    }
    if (state == kRunCount && dataByte == 0) {
      if ((byteNumber & 1) == 0) continue;  // padding after an odd absolute run
      state = kEscape;
    }
    bool emit = false;
    switch (state) {
      case kRunCount:
        runCount = dataByte;
        state = kRunValue;
        break;
      case kRunValue:
        std::memset(scratch, dataByte, bitCount == 8 ? runCount : (runCount + 1) / 2);
        pending = runCount;
        runCount = 0;
        state = kRunCount;
        emit = true;
        break;
      case kEscape:
        state = kEscapeCode;
        break;
      case kEscapeCode:
        if (dataByte == 0) {
          x = 0;
          --y;
          state = kRunCount;
        } else if (dataByte == 1) {
          return picture.Release();
        } else if (dataByte == 2) {
          state = kDeltaX;
        } else {
          runCount = dataByte;
          state = kAbsoluteData;
        }
        break;
      case kAbsoluteData:
        // The run's bytes gather in the scratch row and are placed together
        // when it ends; the row-end check below still sees every byte.
        if (bitCount == 8) {
          scratch[pending] = dataByte;
          pending += 1;
          runCount -= 1;
        } else {
          scratch[pending / 2] = dataByte;
          const int32_t pixels = runCount < 2 ? runCount : 2;
          pending += pixels;
          runCount -= pixels;
        }
        if (runCount > 0) {
          state = kAbsoluteData;
        } else {
          state = kRunCount;
          emit = true;
        }
        break;
      case kDeltaX:
        x += dataByte;
        state = kDeltaY;
        break;
      case kDeltaY:
        y -= dataByte;
        state = kRunCount;
        break;
    }
    // Quirk: many encoders (ImageMagick among them) end every row, the top one
    // too, with an end-of-line escape before the end of bitmap, which leaves
    // the row index one above the picture. That is accepted; a pixel placed
    // there, or any move further up, fails.
    if (y < -1 || (y < 0 && pending > 0) || x + pending > pictureWidth) {
      errorCode = kPelornBadBmp;  // a run past its row end, or out of the picture
      return nullptr;
    }
    if (emit && pending > 0) {
      const size_t pixelIndex =
          static_cast<size_t>(y) * static_cast<size_t>(pictureWidth) + static_cast<size_t>(x);
      ConvertBmpRow(scratch, rgb + pixelIndex * 3, static_cast<uint32_t>(pending), bitCount,
                    palette);
      x += pending;
      pending = 0;
    }
  }
}
