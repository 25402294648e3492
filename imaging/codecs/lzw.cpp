// GIF code stream: LZW decoder and run-length code writer.
//
// Decoder. Classic LZW of variable code width: codes of s + 1 bits (s, the
// minimum code size, 0 to 11), growing by one bit each time the next free
// code reaches a power of two, up to 12 bits and 4096 table entries. Each
// entry is a prefix code and a suffix byte; a code's string is produced in
// reverse onto an 8192-byte stack and handed out one index per call. Memory:
// the two 4096-entry tables, the stack and a 280-byte bit buffer that holds
// one sub-block (255 bytes) behind the two bytes left of the previous one.
// Cost: constant per pixel, plus the table reset (4096 entries) per clear.
//
// Run-length code writer. Produces picture data that any GIF decoder reads
// without ever building a string table of its own: it emits single pixels,
// clear codes, and codes for runs of one repeated pixel value, which the
// decoder's table has by then built by itself (after a clear, the pixel p
// followed by the next free code gives "pp", then the next free code again
// "ppp" ...). A run of c pixels after a clear thus costs about sqrt(2c)
// codes (run codes of length 1, 2, 3 ...; TriangleCost measures this); a run
// of the pixel whose runs the table already holds costs c / t codes of the
// longest run t. The writer counts the codes since the last clear so that
// its code width grows exactly when the decoder's does, and clears before
// the decoder's table could fill (254 codes after a clear for 8-bit
// pictures, 9 for 1-bit; up to 4093 - clear inside a long run). Parameters:
// the initial code width w = minimum code size + 1 (3 to 9). Memory: a few
// integers and one 255-byte block; no string table, no hashing. Cost:
// constant per pixel outside the run flushes, and a run flush costs about
// the square root of its length.
#include "imaging/codecs/lzw.h"

// --- Decoder -----------------------------------------------------------------------

bool LzwDecoder::Initialise(int minimumCodeSize, GifSubBlockSource* source) {
  // A code size above 11 is refused: it puts the clear code (1 << s) at or
  // past the 4096-entry tables.
  if (minimumCodeSize < 0 || minimumCodeSize > kLargestMinimumCodeSize || source == nullptr)
    return false;
  source_ = source;
  minimumCodeSize_ = minimumCodeSize;
  codeWidth_ = minimumCodeSize + 1;
  clearCode_ = 1 << minimumCodeSize;
  endCode_ = clearCode_ + 1;
  codeLimit_ = 2 * clearCode_;
  nextFreeCode_ = clearCode_ + 2;
  bitPosition_ = 0;
  lastBitPosition_ = 0;
  dataFinished_ = false;
  lastFillBytes_ = 0;
  fresh_ = true;
  ResetTables();
  stackCount_ = 0;
  return true;
}

void LzwDecoder::ResetTables() {
  for (int i = 0; i < clearCode_; ++i) {
    prefix_[i] = 0;
    suffix_[i] = static_cast<uint8_t>(i);
  }
  // Suffixes past the literals keep their values: only prefixes are reset.
  for (int i = clearCode_; i < kTableSize; ++i) prefix_[i] = 0;
}

bool LzwDecoder::FillBits() {
  // The bits not yet used lie in the last two bytes of the previous fill.
  if (lastFillBytes_ > 0) {
    bitBuffer_[0] = bitBuffer_[lastFillBytes_ - 2];
    bitBuffer_[1] = bitBuffer_[lastFillBytes_ - 1];
  }
  int count = source_->ReadSubBlock(bitBuffer_ + 2);
  if (count <= 0) {
    // A zero-length block ends the data; so does one that cannot be read.
    dataFinished_ = true;
    count = 0;
  }
  lastFillBytes_ = 2 + count;
  bitPosition_ = bitPosition_ - lastBitPosition_ + 16;
  lastBitPosition_ = (2 + count) * 8;
  return !dataFinished_;
}

int LzwDecoder::GetCode(int width) {
  if (bitPosition_ + width >= lastBitPosition_) {
    // Quirk: once the data has ended, a request with no bits left gives code
    // 0 (not an end), so a stream cut at a byte boundary goes on as index 0.
    if (dataFinished_) return bitPosition_ >= lastBitPosition_ ? 0 : -1;
    FillBits();
    // A code may span more than two sub-blocks (blocks of one
    // byte) or run past the end of the data. One fill then leaves too few
    // valid bits; reading on would take stale bytes and, repeated, walk past
    // the buffer. Fill again, or treat it as the end of the data.
    while (bitPosition_ + width > lastBitPosition_) {
      if (dataFinished_) return bitPosition_ >= lastBitPosition_ ? 0 : -1;
      FillBits();
    }
  }
  const int byte = bitPosition_ >> 3;
  const uint32_t bits = uint32_t{bitBuffer_[byte]} | uint32_t{bitBuffer_[byte + 1]} << 8 |
                        uint32_t{bitBuffer_[byte + 2]} << 16;
  const int code = static_cast<int>((bits >> (bitPosition_ & 7)) & ((1u << width) - 1));
  bitPosition_ += width;
  return code;
}

int LzwDecoder::NextIndexSlow() {
  if (fresh_) {
    fresh_ = false;
    int code;
    do {
      code = GetCode(codeWidth_);
    } while (code == clearCode_);
    // A negative value is handed on without becoming the previous code, so a
    // later call never stores it as a prefix.
    if (code < 0) return code;
    firstPixel_ = code;
    previousCode_ = code;
    return code;
  }
  if (stackCount_ > 0) return stack_[--stackCount_];

  int code = GetCode(codeWidth_);
  if (code < 0) return code;
  if (code == clearCode_) {
    ResetTables();
    codeWidth_ = minimumCodeSize_ + 1;
    codeLimit_ = 2 * clearCode_;
    nextFreeCode_ = clearCode_ + 2;
    stackCount_ = 0;
    // A clear may follow a clear (legal, and a reset each time); the second
    // is not a pixel, or the picture would shift by one.
    do {
      code = GetCode(codeWidth_);
    } while (code == clearCode_);
    if (code < 0) return code;
    firstPixel_ = code;
    previousCode_ = code;
    return code;
  }
  if (code == endCode_) {
    if (source_->LastBlockEmpty()) return kDamaged;
    // Quirk: the rest of the data is skipped up to its empty block, and the
    // end code is then decoded like an ordinary code. The reader asks for one
    // value past the last pixel so that this consumes the data's terminator.
    uint8_t skipped[255];
    for (;;) {
      const int count = source_->ReadSubBlock(skipped);
      if (count < 0) return kDamaged;
      if (count == 0) break;
    }
  }

  const int incomingCode = code;
  if (code >= nextFreeCode_) {
    // The string of the previous code followed by its own first pixel.
    // Quirk: a code beyond the next free one (a damaged stream) is taken the
    // same way rather than refused; its prefixes are bounded by the stack.
    if (!Push(firstPixel_)) return kDamaged;
    code = previousCode_;
  }
  while (code >= clearCode_) {
    if (!Push(suffix_[code])) return kDamaged;
    if (prefix_[code] == code) return kEndOfData;
    code = prefix_[code];
  }
  firstPixel_ = suffix_[code];
  if (!Push(firstPixel_)) return kDamaged;

  if (nextFreeCode_ < kTableSize) {
    prefix_[nextFreeCode_] = static_cast<uint16_t>(previousCode_);
    suffix_[nextFreeCode_] = static_cast<uint8_t>(firstPixel_);
    ++nextFreeCode_;
    if (nextFreeCode_ == codeLimit_ && codeLimit_ < kTableSize) {
      codeLimit_ *= 2;
      ++codeWidth_;
    }
  }
  previousCode_ = incomingCode;
  return stack_[--stackCount_];
}

// --- Run-length code writer ----------------------------------------------------------

namespace lzw_detail {

uint64_t IntSqrt(uint64_t x) {
  if (x < 2) return x;
  uint64_t root = 1;
  for (uint64_t v = x; v != 0; v >>= 2) root <<= 1;
  for (;;) {
    const uint64_t next = (x / root + root) / 2;
    if (next == root || next == root + 1) return root;
    root = next;
  }
}

uint64_t TriangleCost(uint64_t count, uint64_t n) {
  uint64_t cost = 0;
  const uint64_t perTriangle = n * (n + 1) / 2;
  if (perTriangle == 0) return count;
  cost += (count / perTriangle) * n;
  count %= perTriangle;
  if (count > 0) {
    uint64_t k = IntSqrt(count);
    while (k > 0 && k * (k + 1) >= 2 * count) --k;
    while (k * (k + 1) < 2 * count) ++k;
    cost += k;
  }
  return cost;
}

}  // namespace lzw_detail

using lzw_detail::TriangleCost;

void RunLengthCodeWriter::AppendByte(uint8_t byte) {
  block_[1 + blockLength_++] = byte;
  if (blockLength_ == 255) {
    block_[0] = 255;
    sink_->Put(block_, 256);
    blockLength_ = 0;
  }
}

void RunLengthCodeWriter::Output(unsigned code) {
  accumulator_ |= static_cast<uint32_t>(code) << bitCount_;
  bitCount_ += currentWidth_;
  while (bitCount_ >= 8) {
    AppendByte(static_cast<uint8_t>(accumulator_ & 0xFF));
    accumulator_ >>= 8;
    bitCount_ -= 8;
  }
}

void RunLengthCodeWriter::FlushBits() {
  if (bitCount_ > 0) AppendByte(static_cast<uint8_t>(accumulator_ & 0xFF));
  accumulator_ = 0;
  bitCount_ = 0;
  if (blockLength_ > 0) {
    block_[0] = static_cast<uint8_t>(blockLength_);
    sink_->Put(block_, blockLength_ + 1);
    blockLength_ = 0;
  }
}

void RunLengthCodeWriter::DidClear() {
  currentWidth_ = initialWidth_;
  widthBumpCount_ = widthBumpAfterClear_;
  forcedClearCount_ = forcedClearAfterClear_;
  codesEmitted_ = 0;
  tableMaximum_ = 0;
  justCleared_ = true;
}

void RunLengthCodeWriter::Plain(unsigned code) {
  justCleared_ = false;
  Output(code);
  ++codesEmitted_;
  if (codesEmitted_ >= widthBumpCount_) {
    ++currentWidth_;
    widthBumpCount_ += uint64_t{1} << (currentWidth_ - 1);
  }
  if (codesEmitted_ >= forcedClearCount_) {
    Output(clearCode_);
    DidClear();
  }
}

void RunLengthCodeWriter::OpenClear() { forcedClearCount_ = maximumRunCodes_; }

void RunLengthCodeWriter::ResetClear() {
  forcedClearCount_ = forcedClearAfterClear_;
  if (codesEmitted_ >= forcedClearCount_) {
    Output(clearCode_);
    DidClear();
  }
}

void RunLengthCodeWriter::FromClear(uint64_t count) {
  OpenClear();
  tablePixel_ = runPixel_;
  const unsigned pixel = static_cast<unsigned>(runPixel_);
  uint64_t runCodeLength = 1;
  while (count > 0) {
    if (runCodeLength == 1) {
      tableMaximum_ = 1;
      Plain(pixel);
      --count;
    } else if (count >= runCodeLength) {
      tableMaximum_ = runCodeLength;
      Plain(static_cast<unsigned>(baseCode_ + runCodeLength - 2));
      count -= runCodeLength;
    } else if (count == 1) {
      ++tableMaximum_;
      Plain(pixel);
      count = 0;
    } else {
      ++tableMaximum_;
      Plain(static_cast<unsigned>(baseCode_ + count - 2));
      count = 0;
    }
    // A forced clear starts the run codes over from a single pixel.
    runCodeLength = codesEmitted_ == 0 ? 1 : runCodeLength + 1;
  }
  ResetClear();
}

void RunLengthCodeWriter::ClearOrRepeat(uint64_t count) {
  if (1 + TriangleCost(count, maximumRunCodes_) < count) {
    Output(clearCode_);
    DidClear();
    FromClear(count);
  } else {
    for (uint64_t i = 0; i < count; ++i) Plain(static_cast<unsigned>(runPixel_));
  }
}

void RunLengthCodeWriter::WithTable(uint64_t count) {
  const uint64_t longest = tableMaximum_;
  uint64_t repeats = count / longest;
  uint64_t left = count % longest;
  uint64_t extra = left > 0 ? 1 : 0;
  if (codesEmitted_ + repeats + extra > maximumRunCodes_) {
    repeats = maximumRunCodes_ > codesEmitted_ ? maximumRunCodes_ - codesEmitted_ : 0;
    left = count - repeats * longest;
    extra = 1 + TriangleCost(left, maximumRunCodes_);
  }
  if (1 + TriangleCost(count, maximumRunCodes_) < repeats + extra) {
    Output(clearCode_);
    DidClear();
    FromClear(count);
    return;
  }
  OpenClear();
  for (uint64_t i = 0; i < repeats; ++i) Plain(static_cast<unsigned>(baseCode_ + longest - 2));
  if (left > 0) {
    if (justCleared_) {
      FromClear(left);
    } else if (left == 1) {
      Plain(static_cast<unsigned>(runPixel_));
    } else {
      Plain(static_cast<unsigned>(baseCode_ + left - 2));
    }
  }
  ResetClear();
}

void RunLengthCodeWriter::FlushRun() {
  if (runLength_ == 1) {
    Plain(static_cast<unsigned>(runPixel_));
  } else if (justCleared_) {
    FromClear(runLength_);
  } else if (tableMaximum_ < 2 || tablePixel_ != runPixel_) {
    ClearOrRepeat(runLength_);
  } else {
    WithTable(runLength_);
  }
  runLength_ = 0;
}

void RunLengthCodeWriter::Encode(int initialCodeWidth, GifPixelSource* pixels, GifByteSink* sink) {
  sink_ = sink;
  initialWidth_ = static_cast<unsigned>(initialCodeWidth);
  clearCode_ = 1u << (initialWidth_ - 1);
  endCode_ = clearCode_ + 1;
  baseCode_ = clearCode_ + 2;
  widthBumpAfterClear_ = clearCode_ - 1;
  forcedClearAfterClear_ = initialWidth_ <= 3 ? 9 : clearCode_ - 2;
  maximumRunCodes_ = 4093 - clearCode_;
  accumulator_ = 0;
  bitCount_ = 0;
  blockLength_ = 0;
  tablePixel_ = 0;
  runPixel_ = 0;
  DidClear();
  Output(clearCode_);
  runLength_ = 0;

  for (;;) {
    const int pixel = pixels->NextPixel();
    if (runLength_ > 0 && pixel != runPixel_) FlushRun();
    if (pixel == GifPixelSource::kEndOfPicture) break;
    if (runLength_ > 0 && pixel == runPixel_) {
      ++runLength_;
    } else {
      runPixel_ = pixel;
      runLength_ = 1;
    }
  }
  Output(endCode_);
  FlushBits();
}
