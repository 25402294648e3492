// Tests of the pixel buffer conversions: FlipRows (exchanges, progress,
// cancellation, memory), SwapRedBlue, and the device-independent rows of
// RgbToDibBits / RgbToGlobalDibBits (order, padding left alone, sizes).
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/test_hooks.h"
#include "tests/bmp_builder.h"

using bmp_test::ProgressRecorder;

namespace {

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override { liveBefore_ = platform::LiveGlobalBlocks(); }
  void TearDown() override {
    platform::FailNthGlobalAlloc(0);
    pelorn::FailNthPlainAllocation(0);
    SetProgressCallback(nullptr);
    EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore_);
    EXPECT_EQ(GetThreadState().operationDepth, 0);
  }
  int64_t liveBefore_ = 0;
};

// n rows of length L, row r filled with the byte r + 1.
std::vector<uint8_t> NumberedRows(uint32_t length, uint32_t rows) {
  std::vector<uint8_t> buffer;
  for (uint32_t r = 0; r < rows; ++r) buffer.insert(buffer.end(), length, static_cast<uint8_t>(r + 1));
  return buffer;
}

using Calls = std::vector<std::pair<int32_t, int32_t>>;

// --- FlipRows ---------------------------------------------------------------------------

TEST_F(ConvertTest, FlipRowsOfThreeExchangesTheOuterRowsAndReportsTwice) {
  std::vector<uint8_t> rows = NumberedRows(5, 3);
  ProgressRecorder recorder;
  EXPECT_EQ(FlipRows(rows.data(), 5, 3), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
  EXPECT_EQ(rows, (std::vector<uint8_t>{3, 3, 3, 3, 3, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1}));
  EXPECT_EQ(recorder.calls(), (Calls{{0, 3}, {2, 3}}));
}

TEST_F(ConvertTest, FlipRowsOfEveryCountTurnsTheBufferUpsideDown) {
  for (uint32_t count : {1u, 2u, 4u, 7u, 64u}) {
    std::vector<uint8_t> rows = NumberedRows(3, count);
    ProgressRecorder recorder;
    ASSERT_EQ(FlipRows(rows.data(), 3, count), 1) << count;
    for (uint32_t r = 0; r < count; ++r) EXPECT_EQ(rows[r * 3], count - r) << count;
    EXPECT_EQ(recorder.calls().size(), (count + 1) / 2) << count;
    EXPECT_EQ(recorder.calls().back().first, static_cast<int32_t>(2 * ((count + 1) / 2 - 1)));
  }
}

TEST_F(ConvertTest, FlipRowsOfNothingSucceedsQuietly) {
  std::vector<uint8_t> one = {42};
  ProgressRecorder recorder;
  EXPECT_EQ(FlipRows(one.data(), 1, 0), 1);
  EXPECT_EQ(FlipRows(one.data(), 0, 5), 1);
  EXPECT_EQ(one[0], 42);
  EXPECT_EQ(recorder.calls(), (Calls{{0, 5}, {2, 5}, {4, 5}}));  // zero-length rows still count
}

TEST_F(ConvertTest, FlipRowsRefusesAMissingBuffer) {
  EXPECT_EQ(FlipRows(nullptr, 3, 3), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

TEST_F(ConvertTest, FlipRowsWithoutItsSpareRowFailsWithCodeOne) {
  std::vector<uint8_t> rows = NumberedRows(4, 2);
  const std::vector<uint8_t> original = rows;
  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(FlipRows(rows.data(), 4, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  EXPECT_EQ(rows, original);
}

TEST_F(ConvertTest, CancelledFlipLeavesThePartlyFlippedBuffer) {
  std::vector<uint8_t> rows = NumberedRows(1, 6);
  ProgressRecorder recorder(1);
  EXPECT_EQ(FlipRows(rows.data(), 1, 6), 0);
  EXPECT_EQ(GetLastImageError(), kPelornCancelled);
  EXPECT_EQ(rows, (std::vector<uint8_t>{6, 5, 3, 4, 2, 1}));  // two exchanges done
}

TEST_F(ConvertTest, FlipInsideAnotherOperationIsSilent) {
  std::vector<uint8_t> rows = NumberedRows(2, 4);
  ProgressRecorder recorder;
  PelornCodec outer;  // depth 1: a flip run on a second codec is at depth 2
  PelornCodec inner;
  EXPECT_EQ(inner.FlipRows(rows.data(), 2, 4), 1);
  EXPECT_TRUE(recorder.calls().empty());
  EXPECT_EQ(rows[0], 4);
}

// --- SwapRedBlue ---------------------------------------------------------------------------

TEST_F(ConvertTest, SwapRedBlueExchangesTheOuterBytesAndTwiceUndoesIt) {
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 3 * 5 * 2; ++i) pixels.push_back(static_cast<uint8_t>(i * 11));
  const std::vector<uint8_t> original = pixels;
  ProgressRecorder recorder;
  ASSERT_EQ(SwapRedBlue(pixels.data(), 5, 2), 1);
  for (size_t i = 0; i < pixels.size(); i += 3) {
    EXPECT_EQ(pixels[i], original[i + 2]);
    EXPECT_EQ(pixels[i + 1], original[i + 1]);
    EXPECT_EQ(pixels[i + 2], original[i]);
  }
  ASSERT_EQ(SwapRedBlue(pixels.data(), 5, 2), 1);
  EXPECT_EQ(pixels, original);
  EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(ConvertTest, SwapRedBlueTouchesOnlyItsPixels) {
  std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  ASSERT_EQ(SwapRedBlue(pixels.data(), 2, 1), 1);
  EXPECT_EQ(pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 7, 8, 9}));
  EXPECT_EQ(SwapRedBlue(nullptr, 2, 1), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

// --- Device-independent rows -------------------------------------------------------------------

TEST_F(ConvertTest, DibRowsAreBottomUpBgrAndPaddingIsLeftAlone) {
  const std::vector<uint8_t> rgb = {1, 2, 3, 4, 5, 6};  // 1 wide, 2 high
  std::vector<uint8_t> dib(8, 0xAA);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), dib.data(), 1, 2, 4), kPelornOk);
  EXPECT_EQ(dib, (std::vector<uint8_t>{6, 5, 4, 0xAA, 3, 2, 1, 0xAA}));
}

TEST_F(ConvertTest, DibRowsRefuseMissingOrZeroArgumentsAndOverlappingRows) {
  const std::vector<uint8_t> rgb(12, 1);
  std::vector<uint8_t> dib(16, 0);
  EXPECT_EQ(PelornCodec::RgbToDibBits(nullptr, dib.data(), 2, 2, 8), kPelornBadParam);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), nullptr, 2, 2, 8), kPelornBadParam);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), dib.data(), 0, 2, 8), kPelornBadParam);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), dib.data(), 2, 0, 8), kPelornBadParam);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), dib.data(), 2, 2, 0), kPelornBadParam);
  EXPECT_EQ(PelornCodec::RgbToDibBits(rgb.data(), dib.data(), 2, 2, 5), kPelornBadParam);
  EXPECT_EQ(dib, std::vector<uint8_t>(16, 0));
  PelornCodec codec;
  codec.errorCode = 77;
  EXPECT_EQ(codec.RgbToDibBits(rgb.data(), dib.data(), 2, 2, 8), kPelornOk);
  EXPECT_EQ(codec.errorCode, 77);  // leaves the codec's code alone
}

TEST_F(ConvertTest, GlobalDibRowsComeInAZeroedBlockWithTheirStride) {
  const uint32_t w = 3, h = 2;
  std::vector<uint8_t> rgb;
  for (uint32_t i = 0; i < w * h * 3; ++i) rgb.push_back(static_cast<uint8_t>(i + 1));
  PelornCodec codec;
  uint32_t stride = 0;
  HGLOBAL block = codec.RgbToGlobalDibBits(rgb.data(), w, h, &stride);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOk);
  EXPECT_EQ(stride, 12u);
  ASSERT_EQ(GlobalSize(block), 24u);
  const auto* rows = static_cast<const uint8_t*>(GlobalLock(block));
  ASSERT_NE(rows, nullptr);
  const std::vector<uint8_t> got(rows, rows + 24);
  GlobalUnlock(block);
  GlobalFree(block);
  EXPECT_EQ(got, (std::vector<uint8_t>{12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0,
                                       3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}));
}

TEST_F(ConvertTest, GlobalDibRowsRefuseEmptyPicturesAndReportMemory) {
  const std::vector<uint8_t> rgb(12, 1);
  PelornCodec codec;
  uint32_t stride = 99;
  EXPECT_EQ(codec.RgbToGlobalDibBits(rgb.data(), 0, 2, &stride), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornBadParam);
  EXPECT_EQ(codec.RgbToGlobalDibBits(nullptr, 2, 2, &stride), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornBadParam);
  platform::FailNthGlobalAlloc(1);
  EXPECT_EQ(codec.RgbToGlobalDibBits(rgb.data(), 2, 2, &stride), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOutOfMemory);
  // A size no block can have: refused before anything is asked for.
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  EXPECT_EQ(codec.RgbToGlobalDibBits(rgb.data(), 0xFFFFFFFFu, 0xFFFFFFFFu, &stride), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOutOfMemory);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
  EXPECT_EQ(stride, 99u);
}

}  // namespace
