// Tests of the run-length BMP decoder: crafted RLE8 and RLE4 command streams
// (runs, absolute runs and their padding, deltas, ends of line and bitmap),
// runs and moves out of the picture, progress, cancellation, memory faults,
// oversized colour tables, and files written by ImageMagick read like Pillow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/test_hooks.h"
#include "tests/bmp_builder.h"
#include "tests/support/test_support.h"

using bmp_test::AppendRgb;
using bmp_test::BmpSpec;
using bmp_test::BuildBmp;
using bmp_test::Color;
using bmp_test::DistinctColors;
using bmp_test::ProgressRecorder;
using bmp_test::ReadBmpBytes;
using bmp_test::ReadBmpPath;
using bmp_test::ReadOutcome;
using testing_support::Compare;
using testing_support::CorpusPath;
using testing_support::Picture;
using testing_support::ReferenceDecode;
using testing_support::RunCommand;
using testing_support::TempDir;

namespace {

class BmpRleTest : public ::testing::Test {
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

std::vector<uint8_t> Rle(int bits, int32_t w, int32_t h, const std::vector<uint8_t>& data,
                         size_t colorCount = 0) {
  BmpSpec spec;
  spec.width = w;
  spec.height = h;
  spec.bitCount = static_cast<uint16_t>(bits);
  spec.compression = bits == 8 ? 1 : 2;
  spec.colors = DistinctColors(colorCount != 0 ? colorCount : (bits == 8 ? 256 : 16));
  spec.pixels = data;
  return BuildBmp(spec);
}

// The buffer expected from rows of palette indexes given top row first; -1
// is a pixel nothing was written to (black).
std::vector<uint8_t> Expected(const std::vector<std::vector<int>>& rows, size_t colorCount = 256) {
  const std::vector<RGBQUAD> colors = DistinctColors(colorCount);
  std::vector<uint8_t> rgb;
  for (const std::vector<int>& row : rows)
    for (int index : row) AppendRgb(&rgb, index < 0 ? Color(0, 0, 0) : colors[index]);
  return rgb;
}

// --- Commands -----------------------------------------------------------------------

TEST_F(BmpRleTest, EncodedRunNeedsTheEndOfBitmap) {
  const ReadOutcome run = ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 1}));
  ASSERT_EQ(run.code, kPelornOk);
  EXPECT_EQ(run.width, 3u);
  EXPECT_EQ(run.height, 1u);
  EXPECT_EQ(run.picture.rgb, Expected({{5, 5, 5}}));
  const ReadOutcome cut = ReadBmpBytes(Rle(8, 3, 1, {3, 5}));
  EXPECT_EQ(cut.code, kPelornFileRead);
  EXPECT_FALSE(cut.gotPicture);
}

TEST_F(BmpRleTest, RowsFillFromTheBottomUp) {
  const ReadOutcome outcome = ReadBmpBytes(Rle(8, 2, 3, {2, 1, 0, 0, 1, 2, 1, 3, 0, 0, 2, 4, 0, 1}));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{4, 4}, {2, 3}, {1, 1}}));
}

TEST_F(BmpRleTest, RleFourRunsAlternateTheTwoNibbles) {
  const ReadOutcome outcome = ReadBmpBytes(Rle(4, 5, 1, {5, 0x3A, 0, 1}, 16));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{3, 10, 3, 10, 3}}, 16));
}

TEST_F(BmpRleTest, AbsoluteRunsOfOddLengthAreFollowedByPadding) {
  // RLE4: 5 pixels in three data bytes, one padding byte, then a normal run.
  const ReadOutcome four =
      ReadBmpBytes(Rle(4, 7, 1, {0, 5, 0x12, 0x34, 0x50, 0, 2, 0x77, 0, 1}, 16));
  ASSERT_EQ(four.code, kPelornOk);
  EXPECT_EQ(four.picture.rgb, Expected({{1, 2, 3, 4, 5, 7, 7}}, 16));
  // RLE8: 3 pixels, one padding byte.
  const ReadOutcome eight = ReadBmpBytes(Rle(8, 4, 1, {0, 3, 9, 8, 7, 0, 1, 6, 0, 1}));
  ASSERT_EQ(eight.code, kPelornOk);
  EXPECT_EQ(eight.picture.rgb, Expected({{9, 8, 7, 6}}));
  // An even absolute run has no padding.
  const ReadOutcome even = ReadBmpBytes(Rle(8, 5, 1, {0, 4, 1, 2, 3, 4, 1, 200, 0, 1}));
  ASSERT_EQ(even.code, kPelornOk);
  EXPECT_EQ(even.picture.rgb, Expected({{1, 2, 3, 4, 200}}));
}

TEST_F(BmpRleTest, LongestRunsFitTheScratchRow) {
  std::vector<uint8_t> data = {255, 17, 0, 0, 0, 255};
  for (int i = 0; i < 255; ++i) data.push_back(static_cast<uint8_t>(i));
  data.insert(data.end(), {0, 0, 1});  // padding, end of bitmap
  const ReadOutcome eight = ReadBmpBytes(Rle(8, 255, 2, data));
  ASSERT_EQ(eight.code, kPelornOk);
  std::vector<int> ramp, flat(255, 17);
  for (int i = 0; i < 255; ++i) ramp.push_back(i);
  EXPECT_EQ(eight.picture.rgb, Expected({ramp, flat}));

  std::vector<uint8_t> data4 = {255, 0x9C, 0, 0, 0, 255};
  for (int i = 0; i < 128; ++i) data4.push_back(0xE1);
  data4.insert(data4.end(), {0, 1});
  const ReadOutcome four = ReadBmpBytes(Rle(4, 255, 2, data4, 16));
  ASSERT_EQ(four.code, kPelornOk);
  std::vector<int> pairs, alternating;
  for (int i = 0; i < 255; ++i) {
    pairs.push_back(i % 2 == 0 ? 14 : 1);
    alternating.push_back(i % 2 == 0 ? 9 : 12);
  }
  EXPECT_EQ(four.picture.rgb, Expected({pairs, alternating}, 16));
}

TEST_F(BmpRleTest, DeltaSkipsPixelsThatStayBlack) {
  // Row 0 (bottom): 1 pixel, delta (2, 1), 1 pixel on the row above.
  const ReadOutcome outcome = ReadBmpBytes(Rle(8, 4, 2, {1, 3, 0, 2, 2, 1, 1, 4, 0, 1}));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{-1, -1, -1, 4}, {3, -1, -1, -1}}));
}

TEST_F(BmpRleTest, EarlyEndOfBitmapLeavesTheRestBlack) {
  const ReadOutcome outcome = ReadBmpBytes(Rle(8, 2, 2, {1, 7, 0, 1}));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{-1, -1}, {7, -1}}));
}

TEST_F(BmpRleTest, BytesAfterTheEndOfBitmapAreIgnored) {
  const ReadOutcome outcome = ReadBmpBytes(Rle(8, 1, 1, {1, 7, 0, 1, 9, 9, 9}));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{7}}));
}

// --- Leaving the picture ---------------------------------------------------------------

TEST_F(BmpRleTest, RunsMustEndWithinTheirRow) {
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 1})).code, kPelornOk);   // ends at the row end
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {4, 5, 0, 1})).code, kPelornBadBmp);
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {2, 5, 2, 5, 0, 1})).code, kPelornBadBmp);
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {0, 4, 1, 2, 3, 4, 0, 1})).code, kPelornBadBmp);
  EXPECT_EQ(ReadBmpBytes(Rle(4, 3, 1, {0, 5, 0x12, 0x34, 0x50, 0, 0, 1}, 16)).code,
            kPelornBadBmp);
}

TEST_F(BmpRleTest, DeltasMustStayInThePicture) {
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 2, {0, 2, 4, 0, 0, 1})).code, kPelornBadBmp);  // right
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 2, {0, 2, 0, 3, 0, 1})).code, kPelornBadBmp);  // up
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 2, {0, 2, 3, 1, 0, 1})).code, kPelornOk);      // to the edge
}

// An end of line after the top row is how many encoders finish; only a pixel
// placed above the picture, or a second step up, is an error.
TEST_F(BmpRleTest, EndOfLineAfterTheTopRowIsAcceptedBeforeTheEnd) {
  const ReadOutcome lastEol = ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 0, 0, 1}));
  EXPECT_EQ(lastEol.code, kPelornOk);
  EXPECT_EQ(lastEol.picture.rgb, Expected({{5, 5, 5}}));
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 0, 1, 5, 0, 1})).code, kPelornBadBmp);
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 0, 0, 0, 0, 1})).code, kPelornBadBmp);
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 1, {0, 2, 0, 2, 0, 1})).code, kPelornBadBmp);
}

// --- Headers --------------------------------------------------------------------------

TEST_F(BmpRleTest, NegativeOrZeroSizesGiveCodeOne) {
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, -1, {3, 5, 0, 1})).code, kPelornOutOfMemory);
  EXPECT_EQ(ReadBmpBytes(Rle(8, 3, 0, {3, 5, 0, 1})).code, kPelornOutOfMemory);
  PelornCodec codec;  // directly: the uncompressed reader refuses widths <= 0 first
  uint32_t w = 0, h = 0;
  const std::string path = bmp_test::WriteTemp(Rle(8, -3, -2, {0, 1}), "neg.bmp");
  EXPECT_EQ(codec.ReadBmpRleFile(path.c_str(), &w, &h), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOutOfMemory);
}

TEST_F(BmpRleTest, HugeSizeClaimsAreRefusedBeforeAllocating) {
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  EXPECT_EQ(ReadBmpBytes(Rle(8, 70000, 70000, {0, 1})).code, kPelornOutOfMemory);
  EXPECT_EQ(ReadBmpBytes(Rle(4, INT32_MAX, 2, {0, 1}, 16)).code, kPelornOutOfMemory);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
}

TEST_F(BmpRleTest, OnlyRle8WithEightBitsAndRle4WithFourBits) {
  PelornCodec codec;
  uint32_t w = 0, h = 0;
  BmpSpec spec;
  spec.bitCount = 8;
  spec.compression = 2;
  spec.colors = DistinctColors(4);
  spec.pixels = {1, 1, 0, 1};
  const std::string path = bmp_test::WriteTemp(BuildBmp(spec), "mismatch.bmp");
  EXPECT_EQ(codec.ReadBmpRleFile(path.c_str(), &w, &h), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornNoRle);
  EXPECT_EQ(ReadBmpPath(path).code, kPelornBadBmp);  // the reader refuses it itself
  const std::string rgb = CorpusPath("bmp", "bmpsuite_g_rgb24.bmp");
  EXPECT_EQ(codec.ReadBmpRleFile(rgb.c_str(), &w, &h), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornNoRle);
}

TEST_F(BmpRleTest, ColourCountAbove256UsesTheFirst256) {
  BmpSpec spec;
  spec.width = 2;
  spec.height = 1;
  spec.bitCount = 8;
  spec.compression = 1;
  spec.colorsUsed = 1000;
  spec.colors = DistinctColors(256);
  spec.pixels = {1, 255, 1, 3, 0, 1};
  const ReadOutcome outcome = ReadBmpBytes(BuildBmp(spec));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{255, 3}}));
}

TEST_F(BmpRleTest, ColourTableFollowsALongInfoHeader) {
  BmpSpec spec;
  spec.width = 2;
  spec.bitCount = 8;
  spec.compression = 1;
  spec.infoSize = 124;
  spec.colors = DistinctColors(256);
  spec.pixels = {1, 40, 1, 41, 0, 1};
  const ReadOutcome outcome = ReadBmpBytes(BuildBmp(spec));
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Expected({{40, 41}}));
}

TEST_F(BmpRleTest, ShortColourTableFailsWithCodeThree) {
  std::vector<uint8_t> bytes = Rle(8, 2, 1, {}, 2);
  EXPECT_EQ(ReadBmpBytes(bytes).code, kPelornFileRead);
}

// --- Progress, cancellation and memory -------------------------------------------------------

TEST_F(BmpRleTest, ProgressFollowsTheRowIndex) {
  {
    ProgressRecorder recorder;
    ASSERT_EQ(ReadBmpBytes(Rle(8, 3, 1, {3, 5, 0, 1})).code, kPelornOk);
    EXPECT_TRUE(recorder.calls().empty());  // one row: the index starts at 0
  }
  {
    ProgressRecorder recorder;
    ASSERT_EQ(ReadBmpBytes(Rle(8, 1, 3, {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1})).code, kPelornOk);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 3}, {1, 3}, {2, 3}};
    EXPECT_EQ(recorder.calls(), expected);
  }
}

TEST_F(BmpRleTest, CancellationFailsWithCodeFourteen) {
  ProgressRecorder recorder(1);
  const ReadOutcome outcome = ReadBmpBytes(Rle(8, 1, 3, {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1}));
  EXPECT_EQ(outcome.code, kPelornCancelled);
  EXPECT_FALSE(outcome.gotPicture);
}

TEST_F(BmpRleTest, OutOfMemoryForTheBufferOrTheScratchRow) {
  const std::string path = bmp_test::WriteTemp(Rle(8, 3, 1, {3, 5, 0, 1}), "oom.bmp");
  platform::FailNthGlobalAlloc(1);
  EXPECT_EQ(ReadBmpPath(path).code, kPelornOutOfMemory);
  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(ReadBmpPath(path).code, kPelornOutOfMemory);
  EXPECT_EQ(ReadBmpPath(path).code, kPelornOk);
}

// --- Files from other encoders ------------------------------------------------------------

// ImageMagick ends every row with an end of line, the top one too.
TEST_F(BmpRleTest, ImageMagickRle8FilesReadLikePillow) {
  const std::string path = TempDir() + "/magick.bmp";
  const std::string command = "convert -seed 7 -size 96x31 plasma:fractal -colors 200 "
                              "-type palette -compress RLE 'BMP3:" + path + "' 2>/dev/null";
  if (RunCommand(command) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  const ReadOutcome ours = ReadBmpPath(path);
  ASSERT_EQ(ours.code, kPelornOk);
  const std::optional<Picture> reference = ReferenceDecode(path);
  ASSERT_TRUE(reference.has_value());
  EXPECT_EQ(Compare(ours.picture, *reference).differingBytes, 0u);
}

// ImageMagick 6 encodes rows padded to 4 bytes, so for widths that are not a
// multiple of 4 its runs pass the row end: such files are refused.
TEST_F(BmpRleTest, ImageMagickRunsPastTheRowEndAreRefused) {
  const std::string path = TempDir() + "/magick97.bmp";
  const std::string command = "convert -seed 7 -size 97x31 plasma:fractal -colors 200 "
                              "-type palette -compress RLE 'BMP3:" + path + "' 2>/dev/null";
  if (RunCommand(command) != 0) GTEST_SKIP() << "ImageMagick is not installed";
  EXPECT_EQ(ReadBmpPath(path).code, kPelornBadBmp);
}

TEST_F(BmpRleTest, CorpusRunLengthFilesMatchPillowOrImageMagick) {
  for (const char* name : {"bmpsuite_g_pal4rle.bmp", "bmpsuite_g_pal8rle.bmp",
                           "pillow_hopper_rle8.bmp", "pillow_hopper_rle8_grayscale.bmp"}) {
    const std::string path = CorpusPath("bmp", name);
    const ReadOutcome ours = ReadBmpPath(path);
    ASSERT_EQ(ours.code, kPelornOk) << name;
    // Pillow 9.4 misreads the RLE4 file; ImageMagick reads it right.
    const std::optional<Picture> reference = std::string(name) == "bmpsuite_g_pal4rle.bmp"
                                                 ? bmp_test::MagickDecode(path)
                                                 : ReferenceDecode(path);
    ASSERT_TRUE(reference.has_value()) << name;
    EXPECT_EQ(Compare(ours.picture, *reference).differingBytes, 0u) << name;
  }
  // Rows that run past the width.
  EXPECT_EQ(ReadBmpPath(CorpusPath("bmp", "pillow_hopper_rle8_row_overflow.bmp")).code,
            kPelornBadBmp);
}

}  // namespace
