// The GIF code stream on its own: the decoder on hand-made code streams and
// the run-length code writer's exact output, then round trips between them.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "imaging/codecs/lzw.h"

namespace {

// Sub-blocks laid out in memory as in a file (count byte, bytes, ...).
class MemorySubBlocks : public GifSubBlockSource {
 public:
  explicit MemorySubBlocks(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int ReadSubBlock(uint8_t* out) override {
    lastEmpty_ = false;
    if (offset_ >= bytes_.size()) return -1;
    const int count = bytes_[offset_++];
    if (bytes_.size() - offset_ < static_cast<size_t>(count)) {
      offset_ = bytes_.size();
      return -1;
    }
    for (int i = 0; i < count; ++i) out[i] = bytes_[offset_++];
    lastEmpty_ = count == 0;
    ++blocksRead_;
    return count;
  }
  bool LastBlockEmpty() const override { return lastEmpty_; }
  size_t offset() const { return offset_; }
  int blocksRead() const { return blocksRead_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t offset_ = 0;
  bool lastEmpty_ = false;
  int blocksRead_ = 0;
};

// Codes of the given widths, least significant bit first.
std::vector<uint8_t> PackCodes(const std::vector<std::pair<int, int>>& codes) {
  std::vector<uint8_t> bytes;
  uint32_t accumulator = 0;
  int bits = 0;
  for (const auto& [code, width] : codes) {
    accumulator |= static_cast<uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(accumulator));
      accumulator >>= 8;
      bits -= 8;
    }
  }
  if (bits > 0) bytes.push_back(static_cast<uint8_t>(accumulator));
  return bytes;
}

// Data bytes cut into sub-blocks of blockSize, then the empty block.
std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, size_t blockSize = 255) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < data.size(); i += blockSize) {
    const size_t n = std::min(blockSize, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  return out;
}

std::vector<int> Decode(LzwDecoder& decoder, size_t count) {
  std::vector<int> values;
  for (size_t i = 0; i < count; ++i) values.push_back(decoder.NextIndex());
  return values;
}

class VectorPixels : public GifPixelSource {
 public:
  explicit VectorPixels(const std::vector<uint8_t>& pixels) : pixels_(pixels) {}
  int NextPixel() override { return next_ < pixels_.size() ? pixels_[next_++] : kEndOfPicture; }

 private:
  const std::vector<uint8_t>& pixels_;
  size_t next_ = 0;
};

class VectorSink : public GifByteSink {
 public:
  void Put(const uint8_t* bytes, size_t count) override { data.insert(data.end(), bytes, bytes + count); }
  std::vector<uint8_t> data;
};

// The writer's output for pixels, with the final empty block added.
std::vector<uint8_t> EncodePixels(const std::vector<uint8_t>& pixels, int initialWidth) {
  VectorPixels source(pixels);
  VectorSink sink;
  RunLengthCodeWriter writer;
  writer.Encode(initialWidth, &source, &sink);
  sink.data.push_back(0);
  return sink.data;
}

// An independent reading of a code stream by the standard decoder's width
// rule: after a clear, the first code adds no entry, every later code adds
// one, and the width grows when the next free code reaches 1 << width
// (never past 12). Gives the codes as read, ending at the end code.
std::vector<int> TraceCodes(const std::vector<uint8_t>& subBlocks, int minimumCodeSize) {
  std::vector<uint8_t> data;
  for (size_t i = 0; i < subBlocks.size() && subBlocks[i] != 0; i += subBlocks[i] + 1)
    data.insert(data.end(), subBlocks.begin() + static_cast<long>(i + 1),
                subBlocks.begin() + static_cast<long>(i + 1 + subBlocks[i]));
  const int clear = 1 << minimumCodeSize;
  std::vector<int> codes;
  size_t bit = 0;
  int width = minimumCodeSize + 1;
  int nextFree = clear + 2;
  bool firstAfterClear = true;
  while (bit + width <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit)
      code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    codes.push_back(code);
    if (code == clear + 1) break;
    if (code == clear) {
      width = minimumCodeSize + 1;
      nextFree = clear + 2;
      firstAfterClear = true;
      continue;
    }
    if (firstAfterClear) {
      firstAfterClear = false;
      continue;
    }
    if (nextFree < 4096) {
      ++nextFree;
      if (nextFree == (1 << width) && width < 12) ++width;
    }
  }
  return codes;
}

// --- Bit reader ------------------------------------------------------------------------

TEST(LzwBitReader, TakesCodesLeastSignificantBitFirstAcrossSubBlocks) {
  // 0xAB 0xCD as codes of 4 bits: B, A, D, C; then 0 once none are left.
  MemorySubBlocks source({1, 0xAB, 1, 0xCD, 0});
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(decoder.GetCode(4), 0xB);
  EXPECT_EQ(decoder.GetCode(4), 0xA);
  EXPECT_EQ(decoder.GetCode(4), 0xD);
  EXPECT_EQ(decoder.GetCode(4), 0xC);
  EXPECT_EQ(decoder.GetCode(4), 0);
  EXPECT_EQ(decoder.GetCode(4), 0);
}

TEST(LzwBitReader, AfterTheEmptyBlockGivesMinusOneWhileBitsAreLeftAndZeroOnceNone) {
  // 8 bits read as 3-bit codes: 3, 5, then 2 bits left: -1 for every request.
  MemorySubBlocks source({1, 0xAB, 0});
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(decoder.GetCode(3), 3);
  EXPECT_EQ(decoder.GetCode(3), 5);
  EXPECT_EQ(decoder.GetCode(3), -1);
  EXPECT_EQ(decoder.GetCode(3), -1);
  // 8 bits as two 4-bit codes use every bit: then 0 forever.
  MemorySubBlocks exact({1, 0x21, 0});
  ASSERT_TRUE(decoder.Initialise(2, &exact));
  EXPECT_EQ(decoder.GetCode(4), 1);
  EXPECT_EQ(decoder.GetCode(4), 2);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(decoder.GetCode(4), 0);
}

TEST(LzwBitReader, UnreadableSubBlockEndsTheDataLikeAnEmptyOne) {
  MemorySubBlocks source({3, 0xFF});  // count 3, one byte: a short read
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(decoder.GetCode(3), 0);
  EXPECT_EQ(decoder.GetCode(3), 0);
}

TEST(LzwBitReader, CodesSpanningOneByteSubBlocksAreReadWhole) {
  // 12-bit codes in sub-blocks of one byte: every code spans two or three
  // blocks. Thousands of them must come back intact (no stale bits, no walk
  // past the buffer).
  std::vector<std::pair<int, int>> codes;
  for (int i = 0; i < 3000; ++i) codes.push_back({(i * 2654435761u) & 0xFFF, 12});
  MemorySubBlocks source(SubBlocks(PackCodes(codes), 1));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(8, &source));
  for (size_t i = 0; i < codes.size(); ++i) ASSERT_EQ(decoder.GetCode(12), codes[i].first) << i;
  EXPECT_EQ(decoder.GetCode(12), 0);
}

// --- Decoder ---------------------------------------------------------------------------

TEST(LzwDecoder, RefusesMinimumCodeSizesAbove11) {
  MemorySubBlocks source({0});
  LzwDecoder decoder;
  EXPECT_TRUE(decoder.Initialise(11, &source));
  EXPECT_FALSE(decoder.Initialise(12, &source));
  EXPECT_FALSE(decoder.Initialise(255, &source));
}

TEST(LzwDecoder, LiteralsAndTheStringOfAPreviousCode) {
  // s = 2: clear 4, end 5, first free 6. Codes 1, 2 add entry 6 = "1 2";
  // code 6 then gives 1, 2.
  MemorySubBlocks source(SubBlocks(PackCodes({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 4}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(Decode(decoder, 4), (std::vector<int>{1, 2, 1, 2}));
}

TEST(LzwDecoder, CodeEqualToTheNextFreeCodeGivesItsStringAndItsFirstPixel) {
  // After 1, the code 6 is not yet in the table: it stands for "1" + "1".
  // Then 7 = "1 1" + "1".
  MemorySubBlocks source(SubBlocks(PackCodes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(Decode(decoder, 6), (std::vector<int>{1, 1, 1, 1, 1, 1}));
}

TEST(LzwDecoder, FirstCodeNeedNotBeAClearAndLeadingClearsAreSkipped) {
  MemorySubBlocks noClear(SubBlocks(PackCodes({{3, 3}, {2, 3}, {5, 3}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &noClear));
  EXPECT_EQ(Decode(decoder, 2), (std::vector<int>{3, 2}));
  MemorySubBlocks clears(SubBlocks(PackCodes({{4, 3}, {4, 3}, {4, 3}, {1, 3}, {5, 3}})));
  ASSERT_TRUE(decoder.Initialise(2, &clears));
  EXPECT_EQ(decoder.NextIndex(), 1);
}

TEST(LzwDecoder, CodeWidthGrowsWhenTheNextFreeCodeReachesThePowerOfTwo) {
  // s = 2: the 4th code after a clear is read with 4 bits (entries 6 and 7
  // were added by the 2nd and 3rd codes), and the 12th with 5 bits.
  std::vector<std::pair<int, int>> codes = {{4, 3}, {0, 3}, {1, 3}, {2, 3}};
  std::vector<int> expected = {0, 1, 2};
  for (int i = 0; i < 8; ++i) {
    codes.push_back({3, 4});
    expected.push_back(3);
  }
  codes.push_back({1, 5});
  expected.push_back(1);
  codes.push_back({5, 5});
  MemorySubBlocks source(SubBlocks(PackCodes(codes)));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(Decode(decoder, expected.size()), expected);
}

TEST(LzwDecoder, ClearRestoresTheWidthAndTheTable) {
  // Grow to 4 bits, clear (sent with 4 bits), then 3-bit codes again.
  MemorySubBlocks source(SubBlocks(PackCodes(
      {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {4, 4}, {2, 3}, {6, 3}, {5, 3}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  // 6 after the clear is the next free code: "2" + "2".
  EXPECT_EQ(Decode(decoder, 7), (std::vector<int>{0, 1, 2, 3, 2, 2, 2}));
}

TEST(LzwDecoder, TableStopsAt4095AndWidthAt12Bits) {
  // s = 8: after the clear, 3839 literal codes assign entries 258 to 4095;
  // then codes go on at 12 bits without new entries. Code 4095 is the last
  // entry: the literals 3837 and 3838 (mod 256).
  std::vector<std::pair<int, int>> codes = {{256, 9}};
  std::vector<int> expected;
  int nextFree = 258;
  auto widthNow = [&]() { return nextFree < 512 ? 9 : nextFree < 1024 ? 10 : nextFree < 2048 ? 11 : 12; };
  for (int i = 0; i < 3839; ++i) {
    codes.push_back({i & 0xFF, widthNow()});
    expected.push_back(i & 0xFF);
    if (i > 0) ++nextFree;
  }
  ASSERT_EQ(nextFree, 4096);
  codes.push_back({4095, 12});
  expected.push_back(3837 & 0xFF);
  expected.push_back(3838 & 0xFF);
  codes.push_back({7, 12});
  expected.push_back(7);
  codes.push_back({4095, 12});  // unchanged by the codes after the table filled
  expected.push_back(3837 & 0xFF);
  expected.push_back(3838 & 0xFF);
  codes.push_back({257, 12});
  MemorySubBlocks source(SubBlocks(PackCodes(codes)));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(8, &source));
  EXPECT_EQ(Decode(decoder, expected.size()), expected);
}

TEST(LzwDecoder, EndCodeAfterTheEmptyBlockIsDamage) {
  // Three 3-bit codes and a 4-bit end fill exactly two bytes, so the empty
  // block is read before the end code is taken.
  MemorySubBlocks source(SubBlocks(PackCodes({{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(Decode(decoder, 4), (std::vector<int>{1, 1, 1, LzwDecoder::kDamaged}));
}

TEST(LzwDecoder, EndCodeInsideABlockSkipsToTheTerminatorThenDecodesOn) {
  // The end code sits in the first of two data blocks: the rest of the data
  // is skipped up to the empty block, and the end code is then decoded like
  // an ordinary code (its suffix, never assigned, is 0; then literal 0).
  std::vector<uint8_t> data = PackCodes({{4, 3}, {2, 3}, {5, 3}});
  std::vector<uint8_t> blocks = {static_cast<uint8_t>(data.size())};
  blocks.insert(blocks.end(), data.begin(), data.end());
  const std::vector<uint8_t> extra = {3, 9, 9, 9, 0};
  blocks.insert(blocks.end(), extra.begin(), extra.end());
  const size_t terminator = blocks.size();
  blocks.push_back(0x3B);  // what follows the data in a file
  MemorySubBlocks source(blocks);
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(decoder.NextIndex(), 2);
  EXPECT_EQ(decoder.NextIndex(), 0);
  EXPECT_EQ(source.offset(), terminator);
  EXPECT_EQ(decoder.NextIndex(), 0);
}

TEST(LzwDecoder, PrefixLoopEndsTheData) {
  // Code 7 while 6 is the next free code adds entry 6 and makes 7 the
  // previous code; the literal 0 then adds entry 7 with prefix 7 (a loop).
  MemorySubBlocks source(SubBlocks(PackCodes({{4, 3}, {1, 3}, {7, 3}, {0, 3}, {7, 4}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(2, &source));
  EXPECT_EQ(Decode(decoder, 5), (std::vector<int>{1, 1, 1, 0, LzwDecoder::kEndOfData}));
}

TEST(LzwDecoder, LongerPrefixCycleFillsTheStackAndIsDamage) {
  // s = 3: entries 11 -> 12 and 12 -> 11 point at each other.
  MemorySubBlocks source(SubBlocks(PackCodes({{8, 4}, {1, 4}, {12, 4}, {11, 4}, {0, 4}, {11, 4}})));
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(3, &source));
  int value = 0;
  int calls = 0;
  while ((value = decoder.NextIndex()) >= 0 && calls < 100) ++calls;
  EXPECT_EQ(value, LzwDecoder::kDamaged);
  EXPECT_EQ(calls, 7);  // 1 | 1 1 | 0 0 1 | 0
}

// --- Run-length code writer: exact output -------------------------------------------------

TEST(RunLengthCodeWriter, TwoByTwoOfOneColourWithNineBitCodes) {
  // clear 256, pixel 7, 258 (a run of 2), pixel 7, end 257; 9 bits each:
  // 45 bits in 6 bytes worked out by hand.
  EXPECT_EQ(EncodePixels({7, 7, 7, 7}, 9),
            (std::vector<uint8_t>{6, 0x00, 0x0F, 0x08, 0x3C, 0x10, 0x10, 0}));
}

TEST(RunLengthCodeWriter, OneBitPictureGrowsTo4BitsAfterThreeCodes) {
  // clear 4, 0, 1, 1 in 3 bits; then 0 and end 5 in 4 bits: 20 bits.
  EXPECT_EQ(EncodePixels({0, 1, 1, 0}, 3), (std::vector<uint8_t>{3, 0x44, 0x02, 0x05, 0}));
  EXPECT_EQ(TraceCodes(EncodePixels({0, 1, 1, 0}, 3), 2), (std::vector<int>{4, 0, 1, 1, 0, 5}));
}

TEST(RunLengthCodeWriter, OneBitPicturesClearAfterNineCodes) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 20; ++i) pixels.push_back(static_cast<uint8_t>(i & 1));
  const std::vector<int> codes = TraceCodes(EncodePixels(pixels, 3), 2);
  const std::vector<int> expected = {4, 0, 1, 0, 1, 0, 1, 0, 1, 0, 4, 1, 0, 1, 0, 1, 0, 1, 0, 1, 4, 0, 1, 5};
  EXPECT_EQ(codes, expected);
}

TEST(RunLengthCodeWriter, EightBitPicturesClearAfter254CodesOutsideRuns) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 600; ++i) pixels.push_back(static_cast<uint8_t>(i % 3));
  const std::vector<int> codes = TraceCodes(EncodePixels(pixels, 9), 8);
  std::vector<int> expected = {256};
  for (int i = 0; i < 600; ++i) {
    expected.push_back(i % 3);
    if ((i + 1) % 254 == 0) expected.push_back(256);
  }
  expected.push_back(257);
  EXPECT_EQ(codes, expected);
}

TEST(RunLengthCodeWriter, LongRunUsesGrowingRunCodesUpTo3837ThenClears) {
  // One run of 8 million pixels after the clear: p, then 258, 259 ... (runs
  // of 2, 3 ...) for 3837 codes in all; the width grows at 255, 767 and 1791
  // codes (the trace would go astray otherwise); the clear follows at once.
  const std::vector<uint8_t> pixels(8000000, 42);
  const std::vector<uint8_t> data = EncodePixels(pixels, 9);
  const std::vector<int> codes = TraceCodes(data, 8);
  ASSERT_GT(codes.size(), 3840u);
  EXPECT_EQ(codes[0], 256);
  EXPECT_EQ(codes[1], 42);
  uint64_t covered = 1;
  for (int k = 2; k <= 3837; ++k) {
    ASSERT_EQ(codes[k], 258 + k - 2) << k;
    covered += k;
  }
  EXPECT_EQ(codes[3838], 256);
  EXPECT_EQ(codes[3839], 42);
  EXPECT_EQ(codes.back(), 257);
  // The rest (8000000 - covered pixels) came after the clear: decoded whole.
  MemorySubBlocks source(data);
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(8, &source));
  size_t decoded = 0;
  int value;
  while (decoded <= pixels.size() && (value = decoder.NextIndex()) == 42) ++decoded;
  EXPECT_EQ(decoded, pixels.size());
  EXPECT_LT(covered, pixels.size());
}

TEST(RunLengthCodeWriter, ResetClearClearsAtOnceWhenARunPassedTheLimit) {
  // A run of 1 + 2 + ... + 300 pixels after the clear takes 300 codes (p,
  // 258 ... 556) while the limit is lifted; past 254, ResetClear sends the
  // clear straight after the run.
  std::vector<uint8_t> pixels(300 * 301 / 2, 9);
  pixels.push_back(5);
  const std::vector<int> codes = TraceCodes(EncodePixels(pixels, 9), 8);
  std::vector<int> expected = {256, 9};
  for (int k = 2; k <= 300; ++k) expected.push_back(258 + k - 2);
  expected.insert(expected.end(), {256, 5, 257});
  EXPECT_EQ(codes, expected);
}

TEST(RunLengthCodeWriter, ShortRunAfterSingleCodesIsRepeatedOrCleared) {
  // A run of 3 after another pixel costs 3 plain codes (1 + TriangleCost(3)
  // = 3 is not less than 3); a run of 10 costs a clear and 4 run codes.
  EXPECT_EQ(TraceCodes(EncodePixels({1, 2, 2, 2}, 9), 8), (std::vector<int>{256, 1, 2, 2, 2, 257}));
  EXPECT_EQ(TraceCodes(EncodePixels({1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 9), 8),
            (std::vector<int>{256, 1, 256, 2, 258, 259, 260, 257}));
}

TEST(RunLengthCodeWriter, SecondRunOfTheTablePixelUsesTheLongestRunCode) {
  // After 2 x10 (codes 2, 258, 259, 260: runs of 1, 2, 3, 4), a 1, then 2
  // x9: two codes of the longest run (4) and a single pixel.
  std::vector<uint8_t> pixels(10, 2);
  pixels.push_back(1);
  pixels.insert(pixels.end(), 9, 2);
  EXPECT_EQ(TraceCodes(EncodePixels(pixels, 9), 8),
            (std::vector<int>{256, 2, 258, 259, 260, 1, 260, 260, 2, 257}));
}

TEST(RunLengthCodeWriter, IntSqrtAndTriangleCost) {
  for (uint64_t x = 0; x < 100000; ++x) {
    const uint64_t r = lzw_detail::IntSqrt(x);
    ASSERT_LE(r * r, x + 2 * r) << x;  // within one of the true root
    ASSERT_GE((r + 2) * (r + 2), x) << x;
  }
  EXPECT_EQ(lzw_detail::IntSqrt(1u << 30), 1u << 15);
  EXPECT_EQ(lzw_detail::TriangleCost(1, 3837), 1u);
  EXPECT_EQ(lzw_detail::TriangleCost(3, 3837), 2u);   // 1 + 2
  EXPECT_EQ(lzw_detail::TriangleCost(4, 3837), 3u);   // 1 + 2 + (1)
  EXPECT_EQ(lzw_detail::TriangleCost(10, 3837), 4u);  // 1 + 2 + 3 + 4
  EXPECT_EQ(lzw_detail::TriangleCost(11, 3837), 5u);
  EXPECT_EQ(lzw_detail::TriangleCost(6 + 3, 3), 3u + 2u);  // one full triangle of 3, then 3
}

// --- Round trips -----------------------------------------------------------------------

void ExpectRoundTrip(const std::vector<uint8_t>& pixels, int minimumCodeSize) {
  std::vector<uint8_t> data = EncodePixels(pixels, minimumCodeSize + 1);
  MemorySubBlocks source(data);
  LzwDecoder decoder;
  ASSERT_TRUE(decoder.Initialise(minimumCodeSize, &source));
  for (size_t i = 0; i < pixels.size(); ++i) {
    const int value = decoder.NextIndex();
    ASSERT_EQ(value, pixels[i]) << "pixel " << i << " of " << pixels.size();
  }
  // The value past the picture reaches the end code and, unless a clear came
  // just before the end code (read then as the first code), the terminator.
  decoder.NextIndex();
  EXPECT_GE(source.offset() + 1, data.size());
}

TEST(LzwRoundTrip, RandomRunsOfEveryDepth) {
  std::mt19937 random(12345);
  for (int bits = 1; bits <= 8; ++bits) {
    const int minimumCodeSize = bits < 2 ? 2 : bits;
    for (int trial = 0; trial < 12; ++trial) {
      std::vector<uint8_t> pixels;
      const size_t size = 1 + random() % 60000;
      const int longest = 1 << (trial % 14);
      while (pixels.size() < size) {
        const uint8_t value = static_cast<uint8_t>(random() % (1u << bits));
        pixels.insert(pixels.end(), 1 + random() % longest, value);
      }
      pixels.resize(size);
      SCOPED_TRACE(::testing::Message() << "bits " << bits << " trial " << trial);
      ExpectRoundTrip(pixels, minimumCodeSize);
    }
  }
}

TEST(LzwRoundTrip, EdgeShapes) {
  ExpectRoundTrip({0}, 8);
  ExpectRoundTrip({255}, 8);
  ExpectRoundTrip(std::vector<uint8_t>(70000, 3), 2);
  std::vector<uint8_t> ramp;
  for (int i = 0; i < 5000; ++i) ramp.insert(ramp.end(), static_cast<size_t>(i % 97), static_cast<uint8_t>(i));
  ExpectRoundTrip(ramp, 8);
}

}  // namespace
