// GIF code stream: the LZW decoder that turns a picture's code stream into
// colour indices, and the run-length code writer that produces picture data
// without a string table. Both work on GIF data sub-blocks (a count byte of
// 1 to 255 and that many bytes; a count of 0 ends the data).
#pragma once

#include <cstddef>
#include <cstdint>

// Where the decoder gets its data sub-blocks from (the GIF reader's file).
class GifSubBlockSource {
 public:
  virtual ~GifSubBlockSource() = default;
  // Reads one sub-block into bytes (room for 255): its count 0–255, or -1
  // when it cannot be read (end of file or short read).
  virtual int ReadSubBlock(uint8_t* bytes) = 0;
  // Whether the last sub-block read had count 0.
  virtual bool LastBlockEmpty() const = 0;
};

// Where the code writer puts its sub-blocks (count byte and bytes).
class GifByteSink {
 public:
  virtual ~GifByteSink() = default;
  virtual void Put(const uint8_t* bytes, size_t count) = 0;
};

// Where the code writer gets its pixels.
class GifPixelSource {
 public:
  static constexpr int kEndOfPicture = -1;
  virtual ~GifPixelSource() = default;
  // The next colour index, or kEndOfPicture.
  virtual int NextPixel() = 0;
};

class LzwDecoder {
 public:
  static constexpr int kTableSize = 4096;
  static constexpr int kStackSize = 8192;
  static constexpr int kLargestMinimumCodeSize = 11;
  static constexpr int kEndOfData = -1;   // end of data or a loop in the table
  static constexpr int kDamaged = -2;     // damaged stream

  // Starts a code stream read from source. False (nothing started) for a
  // minimum code size above 11, whose clear code would lie past the tables.
  bool Initialise(int minimumCodeSize, GifSubBlockSource* source);

  // The next colour index (0–255, or a larger literal of a code size above
  // 8), or kEndOfData / kDamaged.
  int NextIndex() {
    if (stackCount_ > 0 && !fresh_) return stack_[--stackCount_];
    return NextIndexSlow();
  }

  // Bit reader: the next code of `width` bits, least significant bit first.
  // Once the sub-blocks have ended: -1 while bits are left but fewer than
  // width, 0 once none are. Public for tests.
  int GetCode(int width);

 private:
  int NextIndexSlow();
  void ResetTables();
  bool Push(int value) {
    if (stackCount_ >= kStackSize) return false;
    stack_[stackCount_++] = static_cast<uint8_t>(value);
    return true;
  }
  bool FillBits();

  GifSubBlockSource* source_ = nullptr;

  // Bit reader: bytes [0, 2) carry the unused bits of the previous fill.
  uint8_t bitBuffer_[280] = {};
  int bitPosition_ = 0;
  int lastBitPosition_ = 0;
  bool dataFinished_ = false;
  int lastFillBytes_ = 0;

  int minimumCodeSize_ = 0;
  int codeWidth_ = 0;
  int clearCode_ = 0;
  int endCode_ = 0;
  int nextFreeCode_ = 0;
  int codeLimit_ = 0;
  uint16_t prefix_[kTableSize] = {};
  uint8_t suffix_[kTableSize] = {};
  int firstPixel_ = 0;
  int previousCode_ = 0;
  uint8_t stack_[kStackSize] = {};
  int stackCount_ = 0;
  bool fresh_ = false;
};

class RunLengthCodeWriter {
 public:
  // Writes the whole picture data (sub-blocks, not the final empty block)
  // with codes of initialCodeWidth (minimum code size + 1, 3 to 9) bits.
  void Encode(int initialCodeWidth, GifPixelSource* pixels, GifByteSink* sink);

 private:
  void Output(unsigned code);
  void AppendByte(uint8_t byte);
  void FlushBits();
  void DidClear();
  void Plain(unsigned code);
  void OpenClear();
  void ResetClear();
  void FromClear(uint64_t count);
  void ClearOrRepeat(uint64_t count);
  void WithTable(uint64_t count);
  void FlushRun();

  GifByteSink* sink_ = nullptr;
  unsigned initialWidth_ = 0;
  unsigned clearCode_ = 0;
  unsigned endCode_ = 0;
  unsigned baseCode_ = 0;
  unsigned currentWidth_ = 0;
  uint64_t widthBumpCount_ = 0;
  uint64_t widthBumpAfterClear_ = 0;
  uint64_t forcedClearCount_ = 0;
  uint64_t forcedClearAfterClear_ = 0;
  uint64_t maximumRunCodes_ = 0;
  uint64_t codesEmitted_ = 0;
  int runPixel_ = 0;
  uint64_t runLength_ = 0;
  int tablePixel_ = 0;
  uint64_t tableMaximum_ = 0;
  bool justCleared_ = false;
  uint32_t accumulator_ = 0;
  unsigned bitCount_ = 0;
  uint8_t block_[256] = {};
  size_t blockLength_ = 0;
};

namespace lzw_detail {
// Integer square root by Newton's method (exposed for tests).
uint64_t IntSqrt(uint64_t x);
// Codes needed for count pixels of one value from a fresh table when at most
// n run codes fit (run codes of length 1, 2, 3 ...).
uint64_t TriangleCost(uint64_t count, uint64_t n);
}  // namespace lzw_detail
