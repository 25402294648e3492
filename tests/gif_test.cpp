// GIF reader and writer: the reader's rules on crafted files, the writer's
// exact layout, every written file read back by giflib and Pillow, and the
// public GIF corpus against its suites' expected pictures and our golden list.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/codecs/gif.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Checksum;
using testing_support::CorpusFiles;
using testing_support::CorpusPath;
using testing_support::ExpectGoldenList;
using testing_support::GoldenLine;
using testing_support::Picture;
using testing_support::ReadWholeFile;
using testing_support::RunCommand;
using testing_support::TakePicture;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

using Bytes = std::vector<uint8_t>;

// --- Crafted files -----------------------------------------------------------------------

void Append(Bytes& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}
void Append16(Bytes& out, int value) { Append(out, {value & 0xFF, (value >> 8) & 0xFF}); }

// Picture data with no compression at all: a clear before every few literals
// so the table never grows past the first code width. An encoder of its own,
// independent of the run-length code writer.
Bytes PlainCodeData(const std::vector<int>& indices, int minimumCodeSize, bool endCode = true) {
  const int clear = 1 << minimumCodeSize;
  const int width = minimumCodeSize + 1;
  Bytes data;
  uint32_t accumulator = 0;
  int bits = 0;
  auto put = [&](int code) {
    accumulator |= static_cast<uint32_t>(code) << bits;
    bits += width;
    while (bits >= 8) {
      data.push_back(static_cast<uint8_t>(accumulator));
      accumulator >>= 8;
      bits -= 8;
    }
  };
  int sinceClear = 0;
  put(clear);
  for (int index : indices) {
    if (sinceClear == clear - 2) {
      put(clear);
      sinceClear = 0;
    }
    put(index);
    ++sinceClear;
  }
  if (endCode) put(clear + 1);
  if (bits > 0) data.push_back(static_cast<uint8_t>(accumulator));
  Bytes out = {static_cast<uint8_t>(minimumCodeSize)};
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
  }
  out.push_back(0);
  return out;
}

struct Rgb {
  uint8_t r, g, b;
};

// Colours 0..n-1: a distinct, recognisable colour per index.
std::vector<Rgb> TestColors(int n) {
  std::vector<Rgb> colors;
  for (int i = 0; i < n; ++i)
    colors.push_back({static_cast<uint8_t>(i * 37 + 11), static_cast<uint8_t>(255 - i),
                      static_cast<uint8_t>(i * 91 + 5)});
  return colors;
}

class GifBuilder {
 public:
  GifBuilder& Header(const char* version = "GIF89a") {
    for (int i = 0; i < 6; ++i) bytes.push_back(static_cast<uint8_t>(version[i]));
    return *this;
  }
  // Screen with a global table of 2 << depthBits entries (or none).
  GifBuilder& Screen(int width, int height, const std::vector<Rgb>* table, int depthBits = 0) {
    Append16(bytes, width);
    Append16(bytes, height);
    Append(bytes, {table != nullptr ? 0x80 | depthBits : 0, 0, 0});
    if (table != nullptr) AppendTable(*table, 2 << depthBits);
    return *this;
  }
  GifBuilder& Control(int flags, int transparentIndex) {
    Append(bytes, {0x21, 0xF9, 4, flags, 0, 0, transparentIndex, 0});
    return *this;
  }
  GifBuilder& Comment(const std::string& text) {
    Append(bytes, {0x21, 0xFE, static_cast<int>(text.size())});
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    return *this;
  }
  GifBuilder& Image(int left, int top, int width, int height, int flags = 0,
                    const std::vector<Rgb>* localTable = nullptr) {
    bytes.push_back(0x2C);
    Append16(bytes, left);
    Append16(bytes, top);
    Append16(bytes, width);
    Append16(bytes, height);
    bytes.push_back(static_cast<uint8_t>(flags));
    if (localTable != nullptr) AppendTable(*localTable, 1 << ((flags & 7) + 1));
    return *this;
  }
  GifBuilder& Data(const Bytes& data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
  }
  GifBuilder& Raw(std::initializer_list<int> raw) {
    Append(bytes, raw);
    return *this;
  }
  GifBuilder& Trailer() {
    bytes.push_back(0x3B);
    return *this;
  }
  Bytes bytes;

 private:
  void AppendTable(const std::vector<Rgb>& table, int entries) {
    for (int i = 0; i < entries; ++i) {
      const Rgb c = i < static_cast<int>(table.size()) ? table[i] : Rgb{0, 0, 0};
      Append(bytes, {c.r, c.g, c.b});
    }
  }
};

struct ReadResult {
  HGLOBAL block = nullptr;
  PelornError error = 0;
  int32_t transparent = -2;
  Picture picture;
};

ReadResult ReadGif(const std::string& path) {
  ReadResult result;
  uint32_t width = 0, height = 0;
  result.block = ReadGifFile(path.c_str(), &width, &height, &result.transparent);
  result.error = GetLastImageError();
  if (result.block != nullptr) result.picture = TakePicture(result.block, width, height);
  return result;
}

ReadResult ReadGifBytes(const Bytes& bytes) {
  static int counter = 0;
  const std::string path = TempDir() + "/crafted" + std::to_string(counter++) + ".gif";
  EXPECT_TRUE(WriteWholeFile(path, bytes));
  return ReadGif(path);
}

Bytes PixelsOf(const std::vector<int>& indices, const std::vector<Rgb>& colors) {
  Bytes rgb;
  for (int i : indices) {
    const Rgb c = i < static_cast<int>(colors.size()) ? colors[i] : Rgb{0, 0, 0};
    Append(rgb, {c.r, c.g, c.b});
  }
  return rgb;
}

// Every test checks that the codec leaves no block behind.
class GifTest : public ::testing::Test {
 protected:
  void SetUp() override { liveBefore_ = platform::LiveGlobalBlocks(); }
  void TearDown() override {
    SetProgressCallback(nullptr);
    platform::FailNthGlobalAlloc(0);
    EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore_);
  }

 private:
  int64_t liveBefore_ = 0;
};

// --- Reader: failures ----------------------------------------------------------------------

using GifReaderFailures = GifTest;

TEST_F(GifReaderFailures, ArgumentsAndUnopenableFiles) {
  uint32_t w, h;
  int32_t t;
  EXPECT_EQ(ReadGifFile("", &w, &h, &t), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadGifFile(nullptr, &w, &h, &t), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadGifFile(CorpusPath("gif", "pygif_depth1.gif").c_str(), nullptr, &h, &t), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadGifFile((TempDir() + "/absent.gif").c_str(), &w, &h, &t), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornFileOpen);
}

TEST_F(GifReaderFailures, EachDamagedPartGivesItsCode) {
  const std::vector<Rgb> colors = TestColors(4);
  const Bytes good = GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 2, 1)
                         .Data(PlainCodeData({1, 2}, 2)).Trailer().bytes;
  ASSERT_EQ(ReadGifBytes(good).error, kPelornOk);
  struct Case {
    const char* what;
    Bytes bytes;
    PelornError expected;
  };
  const size_t screenEnd = 13, tableEnd = 13 + 12, descriptorEnd = tableEnd + 10;
  auto cut = [&](size_t n) { return Bytes(good.begin(), good.begin() + static_cast<long>(n)); };
  Bytes version = good;
  version[4] = '8';  // "GIF88a"
  Bytes notGif = good;
  notGif[0] = 'J';
  std::vector<Case> cases = {
      {"empty file", {}, kPelornBadGif},
      {"short header", cut(5), kPelornBadGif},
      {"unknown version", version, kPelornBadGif},
      {"not a GIF", notGif, kPelornBadGif},
      {"short screen descriptor", cut(10), kPelornBadGif},
      {"short global table", cut(screenEnd + 5), kPelornBadGif},
      {"no picture", GifBuilder().Header().Screen(2, 1, &colors, 1).Trailer().bytes, kPelornFileRead},
      {"nothing after the table", cut(tableEnd), kPelornFileRead},
      {"short image descriptor", cut(tableEnd + 6), kPelornFileRead},
      {"missing code size", cut(descriptorEnd), kPelornFileRead},
      {"extension label missing", GifBuilder().Header().Screen(2, 1, &colors, 1).Raw({0x21}).bytes,
       kPelornFileRead},
      {"short local table", GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 2, 1, 0x81)
                                .Raw({1, 2, 3, 4}).bytes,
       kPelornBadGif},
      {"code size 12", GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 2, 1)
                           .Raw({12, 2, 0x00, 0x10, 0, 0x3B}).bytes,
       kPelornFileRead},
      {"zero-width picture", GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 0, 1)
                                 .Data(PlainCodeData({}, 2)).Trailer().bytes,
       kPelornOutOfMemory},
      {"zero-height picture", GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 2, 0)
                                  .Data(PlainCodeData({}, 2)).Trailer().bytes,
       kPelornOutOfMemory},
  };
  for (const Case& c : cases) {
    const ReadResult result = ReadGifBytes(c.bytes);
    EXPECT_EQ(result.block, nullptr) << c.what;
    EXPECT_EQ(result.error, c.expected) << c.what;
  }
}

TEST_F(GifReaderFailures, AllocationFailureIsCodeOneAndFreesEverything) {
  const std::vector<Rgb> colors = TestColors(4);
  const Bytes file = GifBuilder().Header().Screen(2, 1, &colors, 1).Image(0, 0, 2, 1)
                         .Data(PlainCodeData({1, 2}, 2)).Trailer().bytes;
  platform::FailNthGlobalAlloc(1);
  const ReadResult result = ReadGifBytes(file);
  EXPECT_EQ(result.block, nullptr);
  EXPECT_EQ(result.error, kPelornOutOfMemory);
}

// --- Reader: pictures ----------------------------------------------------------------------

using GifReaderPictures = GifTest;

TEST_F(GifReaderPictures, TwoPicturesYieldOnlyTheFirst) {
  const std::vector<Rgb> colors = TestColors(4);
  const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(3, 1, &colors, 1)
                                             .Image(0, 0, 3, 1).Data(PlainCodeData({0, 1, 2}, 2))
                                             .Image(0, 0, 2, 2).Data(PlainCodeData({3, 3, 3, 3}, 2))
                                             .Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.width, 3u);
  EXPECT_EQ(result.picture.height, 1u);
  EXPECT_EQ(result.picture.rgb, PixelsOf({0, 1, 2}, colors));
}

TEST_F(GifReaderPictures, PictureNarrowerThanItsScreenHasItsOwnSizeAndIgnoresItsPosition) {
  const std::vector<Rgb> colors = TestColors(4);
  const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(50, 40, &colors, 1)
                                             .Image(30, 20, 2, 2).Data(PlainCodeData({3, 2, 1, 0}, 2))
                                             .Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.width, 2u);
  EXPECT_EQ(result.picture.height, 2u);
  EXPECT_EQ(result.picture.rgb, PixelsOf({3, 2, 1, 0}, colors));
  // Larger than its screen and placed outside it: still read whole.
  const ReadResult outside = ReadGifBytes(GifBuilder().Header().Screen(1, 1, &colors, 1)
                                              .Image(900, 900, 3, 1).Data(PlainCodeData({1, 2, 3}, 2))
                                              .Trailer().bytes);
  ASSERT_EQ(outside.error, kPelornOk);
  EXPECT_EQ(outside.picture.rgb, PixelsOf({1, 2, 3}, colors));
}

TEST_F(GifReaderPictures, TransparentColourComesFromTheTableInUse) {
  const std::vector<Rgb> global = TestColors(4);
  const std::vector<Rgb> local = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(2, 1, &global, 1)
                                             .Control(0x01, 2).Image(0, 0, 2, 1, 0x81, &local)
                                             .Data(PlainCodeData({2, 3}, 2)).Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.transparent, 7 | 8 << 8 | 9 << 16);
  EXPECT_EQ(result.picture.rgb, PixelsOf({2, 3}, local));
  // Without a local table, from the global one.
  const ReadResult fromGlobal = ReadGifBytes(GifBuilder().Header().Screen(2, 1, &global, 1)
                                                 .Control(0x01, 1).Image(0, 0, 2, 1)
                                                 .Data(PlainCodeData({2, 3}, 2)).Trailer().bytes);
  EXPECT_EQ(fromGlobal.transparent, global[1].r | global[1].g << 8 | global[1].b << 16);
}

TEST_F(GifReaderPictures, NoTransparencyWithoutTheFlagOrTheExtension) {
  const std::vector<Rgb> colors = TestColors(4);
  for (int flags : {0x00, 0x04, 0x1C}) {
    const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(1, 1, &colors, 1)
                                               .Control(flags, 2).Image(0, 0, 1, 1)
                                               .Data(PlainCodeData({2}, 2)).Trailer().bytes);
    ASSERT_EQ(result.error, kPelornOk);
    EXPECT_EQ(result.transparent, -1) << flags;
  }
  const ReadResult none = ReadGifBytes(GifBuilder().Header().Screen(1, 1, &colors, 1)
                                           .Image(0, 0, 1, 1).Data(PlainCodeData({2}, 2)).Trailer().bytes);
  EXPECT_EQ(none.transparent, -1);
  // A control block of fewer than 4 bytes holds no index: ignored.
  const ReadResult shortBlock = ReadGifBytes(GifBuilder().Header().Screen(1, 1, &colors, 1)
                                                 .Raw({0x21, 0xF9, 1, 0x01, 0}).Image(0, 0, 1, 1)
                                                 .Data(PlainCodeData({2}, 2)).Trailer().bytes);
  ASSERT_EQ(shortBlock.error, kPelornOk);
  EXPECT_EQ(shortBlock.transparent, -1);
}

TEST_F(GifReaderPictures, ReadsWithoutAPlaceForTheTransparentColour) {
  const std::string path = CorpusPath("gif", "pygif_transparent.gif");
  uint32_t w = 0, h = 0;
  HGLOBAL block = ReadGifFile(path.c_str(), &w, &h, nullptr);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
  const Picture picture = TakePicture(block, w, h);
  EXPECT_EQ(picture.width, 2u);
  // The reader object itself accepts no place as well.
  GifReader reader;
  block = reader.Read(path.c_str(), &w, &h, nullptr);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(TakePicture(block, w, h).rgb, picture.rgb);
}

TEST_F(GifReaderPictures, ExtensionsAndStrayBytesBeforeThePictureAreSkipped) {
  const std::vector<Rgb> colors = TestColors(4);
  const ReadResult result = ReadGifBytes(
      GifBuilder().Header().Screen(2, 1, &colors, 1).Comment("hello")
          .Raw({0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0})
          .Raw({0x21, 0x01, 12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 'h', 'i', 0})
          .Raw({0x21, 0x99, 0})        // unknown label
          .Raw({0x00, 0x3B, 0x77})     // stray bytes, a trailer among them
          .Image(0, 0, 2, 1).Data(PlainCodeData({3, 1}, 2)).Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, PixelsOf({3, 1}, colors));
}

TEST_F(GifReaderPictures, InterlacedRowsLandInPassOrder) {
  const std::vector<Rgb> colors = TestColors(256);
  for (int height : {1, 2, 3, 4, 5, 8, 9, 17, 33}) {
    // Row r of the file (in pass order) carries index r.
    std::vector<int> passOrder;
    for (int start : {0, 4, 2, 1}) {
      const int step = start == 0 || start == 4 ? 8 : start == 2 ? 4 : 2;
      for (int row = start; row < height; row += step) passOrder.push_back(row);
    }
    ASSERT_EQ(static_cast<int>(passOrder.size()), height);
    std::vector<int> indices;
    for (int i = 0; i < height; ++i) indices.insert(indices.end(), 3, i);
    const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(3, height, &colors, 7)
                                               .Image(0, 0, 3, height, 0x40)
                                               .Data(PlainCodeData(indices, 8)).Trailer().bytes);
    ASSERT_EQ(result.error, kPelornOk) << height;
    std::vector<int> expected(static_cast<size_t>(height) * 3);
    for (int i = 0; i < height; ++i)
      for (int x = 0; x < 3; ++x) expected[passOrder[i] * 3 + x] = i;
    EXPECT_EQ(result.picture.rgb, PixelsOf(expected, colors)) << "height " << height;
  }
}

TEST_F(GifReaderPictures, IndicesPastTheTableAndFilesWithoutTablesGiveBlack) {
  const std::vector<Rgb> colors = TestColors(4);
  // A 4-entry table; the 8-bit code stream carries 3, 4 and 200.
  const ReadResult past = ReadGifBytes(GifBuilder().Header().Screen(3, 1, &colors, 1)
                                           .Image(0, 0, 3, 1).Data(PlainCodeData({3, 4, 200}, 8))
                                           .Trailer().bytes);
  ASSERT_EQ(past.error, kPelornOk);
  EXPECT_EQ(past.picture.rgb, PixelsOf({3, 99, 99}, colors));
  const ReadResult noTable = ReadGifBytes(GifBuilder().Header().Screen(2, 1, nullptr)
                                              .Image(0, 0, 2, 1).Data(PlainCodeData({1, 2}, 2))
                                              .Trailer().bytes);
  ASSERT_EQ(noTable.error, kPelornOk);
  EXPECT_EQ(noTable.picture.rgb, Bytes(6, 0));
}

TEST_F(GifReaderPictures, DamagedOrShortStreamsKeepWhatWasDecoded) {
  const std::vector<Rgb> colors = TestColors(4);
  // An end code after 2 of 6 pixels: decoding goes on past it (quirk: the
  // end code is decoded like an ordinary code once the data's terminator has
  // been skipped), so only the first two pixels are the file's own.
  const ReadResult early = ReadGifBytes(GifBuilder().Header().Screen(3, 2, &colors, 1)
                                            .Image(0, 0, 3, 2).Data(PlainCodeData({1, 2}, 2))
                                            .Trailer().bytes);
  ASSERT_EQ(early.error, kPelornOk);
  ASSERT_EQ(early.picture.rgb.size(), 18u);
  EXPECT_EQ(Bytes(early.picture.rgb.begin(), early.picture.rgb.begin() + 6), PixelsOf({1, 2}, colors));
  // A file cut in its second data block: the first block's pixels, then
  // colour 0 (the bit reader gives code 0 once the data has run out).
  Bytes whole = GifBuilder().Header().Screen(2000, 1, &colors, 1).Image(0, 0, 2000, 1).bytes;
  const Bytes data = PlainCodeData(std::vector<int>(2000, 3), 2);
  ASSERT_GT(data.size(), 2u + 255 + 50);
  whole.insert(whole.end(), data.begin(), data.begin() + 2 + 255 + 50);
  const ReadResult cut = ReadGifBytes(whole);
  ASSERT_EQ(cut.error, kPelornOk);
  ASSERT_EQ(cut.picture.rgb.size(), 6000u);
  EXPECT_EQ(Bytes(cut.picture.rgb.begin(), cut.picture.rgb.begin() + 3 * 400),
            PixelsOf(std::vector<int>(400, 3), colors));
  EXPECT_EQ(Bytes(cut.picture.rgb.end() - 3, cut.picture.rgb.end()), PixelsOf({0}, colors));
  // A code past the table: a picture all the same, no failure.
  EXPECT_EQ(ReadGif(CorpusPath("gif", "pygif_invalid-code.gif")).error, kPelornOk);
}

TEST_F(GifReaderPictures, StreamEndingWithoutEndCodeAtAByteBoundaryGoesOnAsIndexZero) {
  // Quirk of the bit reader: once the data has ended with no bits left it
  // gives code 0, so the picture's remaining pixels take colour 0 rather
  // than staying black. s = 3: clear and two literals fill 12 bits; with a
  // fourth code of 4 bits the data ends at a byte boundary (16 bits).
  const std::vector<Rgb> colors = TestColors(8);
  const ReadResult result = ReadGifBytes(
      GifBuilder().Header().Screen(5, 1, &colors, 2).Image(0, 0, 5, 1)
          .Raw({3, 2, 0x58, 0x52, 0})  // codes 8, 5, 2, 5 (4 bits each)
          .Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, PixelsOf({5, 2, 5, 0, 0}, colors));
}

TEST_F(GifReaderPictures, LiteralsAboveTheByteRange) {
  // Minimum code size 9: literals up to 511. The first after a clear is
  // handed on whole and, above 255, leaves its pixel black; later ones pass
  // through the byte-wide suffix table (300 -> 44).
  const std::vector<Rgb> colors = TestColors(256);
  const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(4, 1, &colors, 7)
                                             .Image(0, 0, 4, 1).Data(PlainCodeData({300, 5, 300, 6}, 9))
                                             .Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, PixelsOf({999, 5, 44, 6}, colors));
}

TEST_F(GifReaderPictures, RepeatedClearsAreOneReset) {
  // clear, 1, clear, clear, 2, clear, clear, clear, 3 (s = 2, 3-bit codes).
  const std::vector<Rgb> colors = TestColors(4);
  Bytes data = {2};
  const int codes[] = {4, 1, 4, 4, 2, 4, 4, 4, 3, 5};
  uint32_t accumulator = 0;
  int bits = 0;
  Bytes packed;
  for (int code : codes) {
    accumulator |= static_cast<uint32_t>(code) << bits;
    bits += 3;
    while (bits >= 8) {
      packed.push_back(static_cast<uint8_t>(accumulator));
      accumulator >>= 8;
      bits -= 8;
    }
  }
  packed.push_back(static_cast<uint8_t>(accumulator));
  data.push_back(static_cast<uint8_t>(packed.size()));
  data.insert(data.end(), packed.begin(), packed.end());
  data.push_back(0);
  const ReadResult result = ReadGifBytes(GifBuilder().Header().Screen(3, 1, &colors, 1)
                                             .Image(0, 0, 3, 1).Data(data).Trailer().bytes);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, PixelsOf({1, 2, 3}, colors));
}

// --- Progress ----------------------------------------------------------------------------

std::vector<std::pair<int, int>> progressCalls;
int progressStopAt = -1;
int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.push_back({done, total});
  return static_cast<int>(progressCalls.size()) == progressStopAt ? 0 : 1;
}

using GifProgress = GifTest;

TEST_F(GifProgress, ReaderReportsEachRowFromZeroAndStopsWhenAsked) {
  const std::vector<Rgb> colors = TestColors(4);
  const Bytes plain = GifBuilder().Header().Screen(2, 3, &colors, 1).Image(0, 0, 2, 3)
                          .Data(PlainCodeData({0, 1, 2, 3, 0, 1}, 2)).Trailer().bytes;
  SetProgressCallback(RecordProgress);
  progressCalls.clear();
  progressStopAt = -1;
  EXPECT_EQ(ReadGifBytes(plain).error, kPelornOk);
  EXPECT_EQ(progressCalls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
  progressCalls.clear();
  progressStopAt = 1;
  const ReadResult stopped = ReadGifBytes(plain);
  EXPECT_EQ(stopped.block, nullptr);
  EXPECT_EQ(stopped.error, kPelornCancelled);
  // Interlaced pictures report nothing.
  Bytes interlaced = plain;
  interlaced[13 + 12 + 9] = 0x40;
  progressCalls.clear();
  EXPECT_EQ(ReadGifBytes(interlaced).error, kPelornOk);
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(GifProgress, WriterReportsRowsFromOneAndAStopStillFinishesTheFile) {
  RGBQUAD palette[256] = {};
  for (int i = 0; i < 256; ++i) palette[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
  const Bytes indices(4 * 3, 9);
  const std::string path = TempDir() + "/progress.gif";
  SetProgressCallback(RecordProgress);
  progressCalls.clear();
  progressStopAt = -1;
  EXPECT_EQ(WriteGifFile(path.c_str(), indices.data(), 4, 3, 0, -1, palette), 1);
  EXPECT_EQ(progressCalls, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
  progressCalls.clear();
  progressStopAt = 1;
  EXPECT_EQ(WriteGifFile(path.c_str(), indices.data(), 4, 3, 0, -1, palette), 0);
  EXPECT_EQ(GetLastImageError(), kPelornCancelled);
  // The partial file is a complete GIF: end code, empty block, trailer.
  const Bytes file = ReadWholeFile(path);
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file[file.size() - 2], 0x00);
  EXPECT_EQ(file.back(), 0x3B);
  EXPECT_EQ(RunCommand("giftext '" + path + "' >/dev/null 2>&1"), 0);
  SetProgressCallback(nullptr);
  const ReadResult partial = ReadGif(path);
  ASSERT_EQ(partial.error, kPelornOk);
  EXPECT_EQ(Bytes(partial.picture.rgb.begin(), partial.picture.rgb.begin() + 12), Bytes(12, 9));
}

TEST_F(GifProgress, NestedInsideAnotherOperationStaysSilent) {
  // A live reader object raises the depth, so a read inside it reports
  // nothing: only the outermost operation asks the callback.
  const std::vector<Rgb> colors = TestColors(4);
  const Bytes plain = GifBuilder().Header().Screen(2, 3, &colors, 1).Image(0, 0, 2, 3)
                          .Data(PlainCodeData({0, 1, 2, 3, 0, 1}, 2)).Trailer().bytes;
  SetProgressCallback(RecordProgress);
  progressCalls.clear();
  progressStopAt = 1;
  {
    GifReader outer;
    EXPECT_EQ(ReadGifBytes(plain).error, kPelornOk);
  }
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(GifProgress, ReadsOnSeveralThreadsDoNotInterfere) {
  const std::vector<std::string> names = {"pygif_4095-codes.gif", "pillow_hopper.gif", "pygif_interlace.gif",
                                          "peterdn_static_transparent.gif"};
  std::vector<Bytes> alone;
  for (const std::string& name : names) alone.push_back(ReadGif(CorpusPath("gif", name)).picture.rgb);
  std::vector<std::vector<Bytes>> results(names.size());
  std::vector<std::thread> threads;
  for (size_t t = 0; t < names.size(); ++t) {
    threads.emplace_back([&, t]() {
      for (int i = 0; i < 20; ++i) {
        uint32_t w = 0, h = 0;
        HGLOBAL block = ReadGifFile(CorpusPath("gif", names[t]).c_str(), &w, &h, nullptr);
        Bytes rgb;
        if (block != nullptr) {
          const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
          rgb.assign(bytes, bytes + static_cast<size_t>(w) * h * 3);
          GlobalUnlock(block);
          GlobalFree(block);
        }
        results[t].push_back(rgb);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (size_t t = 0; t < names.size(); ++t) {
    ASSERT_FALSE(alone[t].empty());
    for (const Bytes& rgb : results[t]) EXPECT_TRUE(rgb == alone[t]) << names[t];
  }
}

// --- Writer: layout and refusals ------------------------------------------------------------

using GifWriterLayout = GifTest;

RGBQUAD PaletteEntry(int i) {
  return {static_cast<BYTE>(i * 7 + 1), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3), 0xEE};
}

struct Palette {
  RGBQUAD entries[256];
  Palette() {
    for (int i = 0; i < 256; ++i) entries[i] = PaletteEntry(i);
  }
};

Bytes LookUp(const Bytes& indices, const Palette& palette) {
  Bytes rgb;
  rgb.reserve(indices.size() * 3);
  for (uint8_t i : indices) {
    rgb.push_back(palette.entries[i].rgbRed);
    rgb.push_back(palette.entries[i].rgbGreen);
    rgb.push_back(palette.entries[i].rgbBlue);
  }
  return rgb;
}

TEST_F(GifWriterLayout, TwoByTwoFileByteForByte) {
  const Palette palette;
  const std::string path = TempDir() + "/two.gif";
  const Bytes indices(4, 7);
  ASSERT_EQ(WriteGifFile(path.c_str(), indices.data(), 2, 2, 3, -1, palette.entries), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
  Bytes expected = {'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0xF7, 3, 0};
  for (int i = 0; i < 256; ++i)
    Append(expected, {palette.entries[i].rgbRed, palette.entries[i].rgbGreen, palette.entries[i].rgbBlue});
  Append(expected, {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x00, 8});
  Append(expected, {6, 0x00, 0x0F, 0x08, 0x3C, 0x10, 0x10, 0x00, 0x3B});
  EXPECT_EQ(ReadWholeFile(path), expected);
}

TEST_F(GifWriterLayout, TransparentIndexMakesA89aFileWithTheControlExtension) {
  const Palette palette;
  const std::string path = TempDir() + "/transparent.gif";
  const Bytes indices = {5, 6};
  ASSERT_EQ(WriteGifFile(path.c_str(), indices.data(), 2, 1, 0, 5, palette.entries), 1);
  const Bytes file = ReadWholeFile(path);
  ASSERT_GT(file.size(), 13u + 768 + 8);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 6), "GIF89a");
  EXPECT_EQ(Bytes(file.begin() + 13 + 768, file.begin() + 13 + 768 + 9),
            (Bytes{0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 5, 0x00, 0x2C}));
  const ReadResult back = ReadGif(path);
  EXPECT_EQ(back.transparent, PaletteEntry(5).rgbRed | PaletteEntry(5).rgbGreen << 8 | PaletteEntry(5).rgbBlue << 16);
  // -1: "GIF87a" and no extension.
  ASSERT_EQ(WriteGifFile(path.c_str(), indices.data(), 2, 1, 0, -1, palette.entries), 1);
  const Bytes plain = ReadWholeFile(path);
  EXPECT_EQ(std::string(plain.begin(), plain.begin() + 6), "GIF87a");
  EXPECT_EQ(plain[13 + 768], 0x2C);
  EXPECT_EQ(ReadGif(path).transparent, -1);
}

TEST_F(GifWriterLayout, OneByOneHasA256EntryTableAndCodeSize8) {
  const Palette palette;
  const std::string path = TempDir() + "/one.gif";
  const uint8_t index = 200;
  ASSERT_EQ(WriteGifFile(path.c_str(), &index, 1, 1, 0, -1, palette.entries), 1);
  const Bytes file = ReadWholeFile(path);
  ASSERT_GT(file.size(), 13u + 768 + 11);
  EXPECT_EQ(file[10], 0xF7);
  EXPECT_EQ(file[13 + 768 + 10], 8);
}

TEST_F(GifWriterLayout, SmallerDepthsAndInterlaceThroughTheWriterObject) {
  const int32_t red[2] = {0, 255}, green[2] = {10, 20}, blue[2] = {30, 40};
  const std::string path = TempDir() + "/mono.gif";
  Bytes pixels;
  for (int i = 0; i < 7 * 5; ++i) pixels.push_back(static_cast<uint8_t>((i * i) % 3 == 0));
  {
    GifWriter writer;
    ASSERT_EQ(writer.Write(path.c_str(), 7, 5, 1, 1, -1, 1, red, green, blue, pixels.data()), 1);
    EXPECT_EQ(writer.errorCode, kPelornOk);
  }
  const Bytes file = ReadWholeFile(path);
  EXPECT_EQ(file[10], 0x80);               // 1 bit: (1-1) << 4 | (1-1)
  EXPECT_EQ(file[11], 1);                  // background
  EXPECT_EQ(file[13 + 6 + 9], 0x40);       // interlaced
  EXPECT_EQ(file[13 + 6 + 10], 2);         // code size at least 2
  const ReadResult back = ReadGif(path);
  ASSERT_EQ(back.error, kPelornOk);
  Bytes expected;
  for (uint8_t p : pixels) Append(expected, {red[p], green[p], blue[p]});
  EXPECT_EQ(back.picture.rgb, expected);
  std::string out;
  EXPECT_EQ(RunCommand("gif2rgb -1 -o /dev/stdout '" + path + "'", &out), 0);
  EXPECT_EQ(Bytes(out.begin(), out.end()), expected);
}

TEST_F(GifWriterLayout, RefusesWhatTheFileCannotHold) {
  const int32_t table[256] = {};
  const Bytes pixels(70000, 0);
  const std::string path = TempDir() + "/refused.gif";
  struct Case {
    int width, height, background, transparent, bits;
  };
  for (const Case c : {Case{0, 1, 0, -1, 8}, Case{1, 0, 0, -1, 8}, Case{65536, 1, 0, -1, 8},
                       Case{1, 65536, 0, -1, 8}, Case{-5, 1, 0, -1, 8}, Case{1, 1, 256, -1, 8},
                       Case{1, 1, -1, -1, 8}, Case{1, 1, 0, 256, 8}, Case{1, 1, 0, -1, 0},
                       Case{1, 1, 0, -1, 9}}) {
    GifWriter writer;
    EXPECT_EQ(writer.Write(path.c_str(), c.width, c.height, 0, c.background, c.transparent, c.bits,
                           table, table, table, pixels.data()),
              0);
    EXPECT_EQ(writer.errorCode, kPelornBadParam) << c.width << "x" << c.height << " bits " << c.bits;
  }
  // With 2 bits an index of 4 or more would be a control code.
  const Bytes wide = {0, 1, 2, 3, 4};
  GifWriter writer;
  EXPECT_EQ(writer.Write(path.c_str(), 5, 1, 0, 0, -1, 2, table, table, table, wide.data()), 0);
  EXPECT_EQ(writer.errorCode, kPelornBadParam);
  RGBQUAD palette[256] = {};
  EXPECT_EQ(WriteGifFile(path.c_str(), nullptr, 1, 1, 0, -1, palette), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(WriteGifFile(path.c_str(), pixels.data(), 1, 1, 0, -1, nullptr), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

TEST_F(GifWriterLayout, UnopenableFileAndFullDisk) {
  const Palette palette;
  const Bytes pixels(300 * 300, 1);
  EXPECT_EQ(WriteGifFile((TempDir() + "/no/such/folder.gif").c_str(), pixels.data(), 300, 300, 0, -1,
                         palette.entries),
            0);
  EXPECT_EQ(GetLastImageError(), kPelornFileOpen);
  struct stat info;
  ASSERT_EQ(stat("/dev/full", &info), 0);
  // Small (fits the stream's buffer, fails at the close) and large.
  EXPECT_EQ(WriteGifFile("/dev/full", pixels.data(), 2, 2, 0, -1, palette.entries), 0);
  EXPECT_EQ(GetLastImageError(), kPelornFileWrite);
  Bytes noise(300 * 300);
  std::mt19937 random(7);
  for (auto& p : noise) p = static_cast<uint8_t>(random());
  EXPECT_EQ(WriteGifFile("/dev/full", noise.data(), 300, 300, 0, -1, palette.entries), 0);
  EXPECT_EQ(GetLastImageError(), kPelornFileWrite);
}

// --- Writer: read back by peers ----------------------------------------------------------------

struct PeerPicture {
  bool ok = false;
  uint32_t width = 0, height = 0;
  Bytes rgb;
};

PeerPicture PillowDecode(const std::string& path) {
  PeerPicture picture;
  std::string out;
  const std::string command = std::string(testing_support::PythonWithPillow()) + " '" + TESSARY_SOURCE_DIR +
                              "/tests/tools/rgba_decode.py' '" + path + "' rgb 2>/dev/null";
  if (RunCommand(command, &out) != 0) return picture;
  const size_t newline = out.find('\n');
  if (newline == std::string::npos || std::sscanf(out.c_str(), "%u %u", &picture.width, &picture.height) != 2)
    return picture;
  picture.rgb.assign(out.begin() + static_cast<long>(newline) + 1, out.end());
  picture.ok = picture.rgb.size() == static_cast<size_t>(picture.width) * picture.height * 3;
  return picture;
}

// giflib's gif2rgb: the screen's pixels as RGB.
Bytes GiflibDecode(const std::string& path, bool* ok) {
  std::string out;
  *ok = RunCommand("gif2rgb -1 -o /dev/stdout '" + path + "' 2>/dev/null", &out) == 0;
  return Bytes(out.begin(), out.end());
}

// What giftext says about the screen and the control extension.
std::string GiftextReport(const std::string& path) {
  std::string out;
  RunCommand("giftext '" + path + "' 2>&1", &out);
  return out;
}

void ExpectPeersReadBack(const std::string& name, const Bytes& indices, int width, int height,
                         int background = 0, int transparent = -1) {
  SCOPED_TRACE(name);
  const Palette palette;
  const std::string path = TempDir() + "/" + name + ".gif";
  ASSERT_EQ(WriteGifFile(path.c_str(), indices.data(), width, height, background, transparent,
                         palette.entries),
            1);
  const Bytes expected = LookUp(indices, palette);

  bool giflibOk = false;
  const Bytes giflib = GiflibDecode(path, &giflibOk);
  EXPECT_TRUE(giflibOk) << "giflib rejects the file";
  EXPECT_TRUE(giflib == expected) << "giflib's pixels differ";

  const PeerPicture pillow = PillowDecode(path);
  ASSERT_TRUE(pillow.ok) << "Pillow rejects the file";
  EXPECT_EQ(pillow.width, static_cast<uint32_t>(width));
  EXPECT_EQ(pillow.height, static_cast<uint32_t>(height));
  EXPECT_TRUE(pillow.rgb == expected) << "Pillow's pixels differ";

  const ReadResult ours = ReadGif(path);
  ASSERT_EQ(ours.error, kPelornOk);
  EXPECT_TRUE(ours.picture.rgb == expected) << "our reader's pixels differ";

  const std::string report = GiftextReport(path);
  EXPECT_NE(report.find("BackGround = " + std::to_string(background)), std::string::npos) << report;
  if (transparent >= 0) {
    EXPECT_NE(report.find("Transparency on"), std::string::npos) << report;
  }
}

Bytes Noise(size_t count, uint32_t seed, int levels = 256) {
  std::mt19937 random(seed);
  Bytes out(count);
  for (auto& p : out) p = static_cast<uint8_t>(random() % levels);
  return out;
}

Bytes Runs(size_t count, uint32_t seed, int longest) {
  std::mt19937 random(seed);
  Bytes out;
  while (out.size() < count) out.insert(out.end(), 1 + random() % longest, static_cast<uint8_t>(random()));
  out.resize(count);
  return out;
}

using GifWriterPeers = GifTest;

TEST_F(GifWriterPeers, SmallAndThinPictures) {
  ExpectPeersReadBack("1x1", {123}, 1, 1);
  ExpectPeersReadBack("1x1_zero", {0}, 1, 1);
  ExpectPeersReadBack("1xN", Noise(777, 1, 4), 1, 777);
  ExpectPeersReadBack("Nx1", Runs(3001, 2, 9), 3001, 1);
  ExpectPeersReadBack("2x2_one_colour", Bytes(4, 7), 2, 2);
}

TEST_F(GifWriterPeers, WideAndLargePictures) {
  ExpectPeersReadBack("wide", Runs(20000 * 3, 3, 40), 20000, 3);
  ExpectPeersReadBack("noise", Noise(640 * 480, 4), 640, 480);
  ExpectPeersReadBack("runs", Runs(512 * 512, 5, 300), 512, 512);
}

TEST_F(GifWriterPeers, AllColoursAndLongRuns) {
  Bytes all;
  for (int i = 0; i < 256 * 16; ++i) all.push_back(static_cast<uint8_t>(i % 256));
  ExpectPeersReadBack("all256", all, 256, 16);
  Bytes blocks;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) blocks.push_back(static_cast<uint8_t>((x / 16) * 16 + y / 16));
  ExpectPeersReadBack("all256_blocks", blocks, 256, 256);
  ExpectPeersReadBack("one_colour_big", Bytes(3000 * 2000, 200), 3000, 2000);
  // Long runs of alternating colours and then a run of the table's pixel.
  Bytes mixed(1000 * 1000, 3);
  for (size_t i = 100000; i < 300000; ++i) mixed[i] = 4;
  for (size_t i = 300000; i < 300005; ++i) mixed[i] = static_cast<uint8_t>(i);
  ExpectPeersReadBack("mixed_runs", mixed, 1000, 1000);
}

TEST_F(GifWriterPeers, BackgroundAndTransparentIndices) {
  ExpectPeersReadBack("background", Runs(64 * 64, 6, 20), 64, 64, 77, -1);
  ExpectPeersReadBack("transparent", Runs(64 * 64, 7, 20), 64, 64, 0, 5);
  ExpectPeersReadBack("transparent255", Runs(64 * 64, 8, 20), 64, 64, 255, 255);
}

TEST_F(GifWriterPeers, RandomShapes) {
  std::mt19937 random(99);
  for (int trial = 0; trial < 12; ++trial) {
    const int width = 1 + static_cast<int>(random() % 300);
    const int height = 1 + static_cast<int>(random() % 200);
    const int longest = 1 << (random() % 12);
    ExpectPeersReadBack("shape" + std::to_string(trial),
                        Runs(static_cast<size_t>(width) * height, random(), longest), width, height);
  }
}

// --- Corpus --------------------------------------------------------------------------------

struct FirstImage {
  bool found = false;
  int left = 0, top = 0, width = 0, height = 0;
  int transparentIndex = -1;
  bool hasTable = false;   // a global or a local colour table
  size_t dataOffset = 0;   // of the minimum code size byte
};

// A walk over the file's blocks up to the first image descriptor, for the
// position the reader ignores and the expected pictures need.
FirstImage ParseFirstImage(const Bytes& file) {
  FirstImage image;
  if (file.size() < 13) return image;
  size_t at = 13;
  if (file[10] & 0x80) at += 3u * (2u << (file[10] & 7));
  while (at < file.size()) {
    const uint8_t byte = file[at++];
    if (byte == 0x21 && at < file.size()) {
      const uint8_t label = file[at++];
      bool first = true;
      while (at < file.size() && file[at] != 0) {
        const size_t count = file[at];
        if (label == 0xF9 && first && count >= 4 && at + 4 < file.size() && (file[at + 1] & 1))
          image.transparentIndex = file[at + 4];
        first = false;
        at += count + 1;
      }
      ++at;
    } else if (byte == 0x2C && at + 9 <= file.size()) {
      image.found = true;
      image.left = file[at] | file[at + 1] << 8;
      image.top = file[at + 2] | file[at + 3] << 8;
      image.width = file[at + 4] | file[at + 5] << 8;
      image.height = file[at + 6] | file[at + 7] << 8;
      const uint8_t flags = file[at + 8];
      image.hasTable = (file[10] & 0x80) || (flags & 0x80);
      image.dataOffset = at + 9 + ((flags & 0x80) ? 3u * (2u << (flags & 7)) : 0u);
      return image;
    }
  }
  return image;
}

std::map<std::string, std::string> ReadConf(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    auto trim = [](std::string s) {
      while (!s.empty() && s.back() == ' ') s.pop_back();
      while (!s.empty() && s.front() == ' ') s.erase(s.begin());
      return s;
    };
    values[section + "." + trim(line.substr(0, equals))] = trim(line.substr(equals + 1));
  }
  return values;
}

struct Reference {
  uint32_t width = 0, height = 0;
  Bytes rgba;
};

// Our picture placed on the expected screen at its position: every pixel the
// expected picture shows opaque must match; transparent ones are where the
// file's transparent index is (we give its palette colour), not compared.
// Returns the number of pixels compared.
size_t ComparePlaced(const Picture& ours, const FirstImage& image, const Reference& reference,
                     size_t* mismatches) {
  size_t compared = 0;
  *mismatches = 0;
  for (uint32_t y = 0; y < ours.height; ++y) {
    for (uint32_t x = 0; x < ours.width; ++x) {
      const uint64_t sx = x + static_cast<uint64_t>(image.left), sy = y + static_cast<uint64_t>(image.top);
      if (sx >= reference.width || sy >= reference.height) continue;
      const uint8_t* want = &reference.rgba[(sy * reference.width + sx) * 4];
      if (want[3] != 255) continue;
      const uint8_t* got = &ours.rgb[(static_cast<size_t>(y) * ours.width + x) * 3];
      ++compared;
      if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) ++*mismatches;
    }
  }
  return compared;
}

// pygif tests whose expectation differs from this reader's rules, with the
// outcome this reader gives instead (code 0: a picture is returned).
struct PygifDeviation {
  PelornError code;
  const char* reason;
};
const std::map<std::string, PygifDeviation> kPygifDeviations = {
    // pygif expects no picture; we return what the stream decodes to.
    {"invalid-code", {kPelornOk, "a code past the table is decoded as the next free code"}},
    {"invalid-colors", {kPelornOk, "indices past the table give black instead of failing"}},
    // pygif expects the screen's background; we have no picture to return.
    {"image-zero-width", {kPelornOutOfMemory, "a 0-wide picture fails with code 1"}},
    {"image-zero-height", {kPelornOutOfMemory, "a 0-high picture fails with code 1"}},
    {"image-zero-size", {kPelornOutOfMemory, "a 0x0 picture fails with code 1"}},
    {"no-data", {kPelornFileRead, "a file without a picture fails with code 3"}},
    // pygif expects no picture: the plain text extension is skipped and the
    // picture after it read.
    {"plain-text", {kPelornOk, "the plain text extension is skipped; the next picture is read"}},
    // pygif's frame 0 shows the first pictures together (no delay between
    // them); we return the first picture only.
    {"images-overlap", {kPelornOk, "frame 0 composes the first two pictures"}},
    {"dispose-restore-previous", {kPelornOk, "frame 0 composes the first two pictures"}},
};

using GifCorpus = GifTest;

TEST_F(GifCorpus, PygifSuiteAgainstItsExpectedFirstFrames) {
  int compared = 0;
  for (const std::string& name : CorpusFiles("gif")) {
    if (name.rfind("pygif_", 0) != 0) continue;
    const std::string test = name.substr(6, name.size() - 6 - 4);
    SCOPED_TRACE(name);
    const auto conf = ReadConf(CorpusPath("gif", "ref/pygif_" + test + ".conf"));
    ASSERT_FALSE(conf.empty());
    const ReadResult result = ReadGif(CorpusPath("gif", name));
    const FirstImage image = ParseFirstImage(ReadWholeFile(CorpusPath("gif", name)));
    const bool expectPicture = !conf.at("config.frames").empty();
    const auto deviation = kPygifDeviations.find(test);
    if (deviation != kPygifDeviations.end()) {
      // Documented deviation: the outcome the list names, a picture exactly
      // when it names code 0.
      EXPECT_EQ(result.error, deviation->second.code) << deviation->second.reason;
      EXPECT_EQ(result.block != nullptr, deviation->second.code == kPelornOk)
          << deviation->second.reason;
      continue;
    }
    if (!expectPicture) {
      EXPECT_EQ(result.block, nullptr) << "pygif expects no picture";
      EXPECT_NE(result.error, kPelornOk);
      continue;
    }
    ASSERT_EQ(result.error, kPelornOk);
    ASSERT_TRUE(image.found);
    EXPECT_EQ(result.picture.width, static_cast<uint32_t>(image.width));
    EXPECT_EQ(result.picture.height, static_cast<uint32_t>(image.height));
    const std::string frame = conf.at("config.frames").substr(0, conf.at("config.frames").find(','));
    const std::string pixels = conf.at(frame + ".pixels");
    Reference reference;
    reference.width = static_cast<uint32_t>(std::stoul(conf.at("config.width")));
    reference.height = static_cast<uint32_t>(std::stoul(conf.at("config.height")));
    reference.rgba = ReadWholeFile(CorpusPath("gif", "ref/pygif_" + pixels));
    ASSERT_EQ(reference.rgba.size(), static_cast<size_t>(reference.width) * reference.height * 4);
    size_t mismatches = 0;
    ComparePlaced(result.picture, image, reference, &mismatches);
    EXPECT_EQ(mismatches, 0u);
    // Transparency: the expected frame is see-through exactly where the
    // picture holds the transparent index; we report that index's colour.
    if (image.transparentIndex >= 0) {
      EXPECT_NE(result.transparent, -1);
    } else {
      EXPECT_EQ(result.transparent, -1);
    }
    ++compared;
  }
  EXPECT_GT(compared, 60);
}

// The RGBA picture of `path` from Pillow's decodes made in one run.
bool DecodedRgba(const testing_support::ReferenceBatch& decodes, const std::string& path,
                 Reference* reference) {
  std::optional<testing_support::Picture> decoded = decodes.Decode(path);
  if (!decoded) return false;
  reference->width = decoded->width;
  reference->height = decoded->height;
  reference->rgba = std::move(decoded->rgb);
  return true;
}

// The reference pictures beside the GIF corpus.
std::vector<std::string> ReferencePaths() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusPath("gif", "ref"))) {
    // Joined with '/' as every corpus path is (Windows' filesystem joins with '\\').
    paths.push_back(CorpusPath("gif", "ref/" + entry.path().filename().string()));
  }
  return paths;
}

TEST_F(GifCorpus, PeterdnAndImageRsAgainstTheirFirstFramePngs) {
  int compared = 0;
  const testing_support::ReferenceBatch decodes(ReferencePaths(), true);
  for (const std::string& name : CorpusFiles("gif")) {
    std::string refName;
    if (name.rfind("peterdn_", 0) == 0)
      refName = "ref/" + name.substr(0, name.size() - 4) + "-0.png";
    else if (name.rfind("imagers_", 0) == 0)
      refName = "ref/" + name + ".png";
    else
      continue;
    if (!std::ifstream(CorpusPath("gif", refName)).good()) continue;
    SCOPED_TRACE(name);
    Reference reference;
    ASSERT_TRUE(DecodedRgba(decodes, CorpusPath("gif", refName), &reference))
        << "Pillow could not read " << refName;
    const ReadResult result = ReadGif(CorpusPath("gif", name));
    ASSERT_EQ(result.error, kPelornOk);
    const FirstImage image = ParseFirstImage(ReadWholeFile(CorpusPath("gif", name)));
    size_t mismatches = 0;
    const size_t pixels = ComparePlaced(result.picture, image, reference, &mismatches);
    EXPECT_EQ(mismatches, 0u);
    // Only a picture placed wholly outside its screen has nothing to compare.
    if (static_cast<uint32_t>(image.left) < reference.width &&
        static_cast<uint32_t>(image.top) < reference.height) {
      EXPECT_GT(pixels, 0u);
    }
    ++compared;
  }
  EXPECT_GE(compared, 18);
}

TEST_F(GifCorpus, PillowFilesAgainstPillow) {
  // Pillow's own files: no crash, clean codes; where both decode, the first
  // picture matches Pillow's first frame inside its rectangle, where Pillow
  // shows it (Pillow puts the picture on the screen and may fill the rest).
  int matched = 0;
  std::vector<std::string> pillowFiles;
  for (const std::string& name : CorpusFiles("gif")) {
    if (name.rfind("pillow_", 0) == 0) pillowFiles.push_back(CorpusPath("gif", name));
  }
  const testing_support::ReferenceBatch decodes(pillowFiles, true);
  for (const std::string& name : CorpusFiles("gif")) {
    if (name.rfind("pillow_", 0) != 0) continue;
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("gif", name);
    const ReadResult result = ReadGif(path);
    if (result.block == nullptr) {
      EXPECT_NE(result.error, kPelornOk);
      continue;
    }
    EXPECT_EQ(result.error, kPelornOk);
    Reference reference;
    const FirstImage image = ParseFirstImage(ReadWholeFile(path));
    if (!DecodedRgba(decodes, path, &reference) || image.transparentIndex >= 0) continue;
    // Files without a table: Pillow picks a default palette, we give black.
    if (name.find("no_palette") != std::string::npos) continue;
    size_t mismatches = 0;
    if (ComparePlaced(result.picture, image, reference, &mismatches) > 0) ++matched;
    EXPECT_EQ(mismatches, 0u);
  }
  EXPECT_GE(matched, 19);
}

// Corpus files that neither their suite's expected pictures nor Pillow check,
// each checked another way: against netpbm's giftopnm, which gives the first
// picture in its own rectangle with the transparent index in its palette
// colour, as this reader does (and may fail on a later picture); against
// ImageMagick where netpbm refuses a file for bytes after the picture or a
// picture placed off the screen; or by the reader's rule, read off the
// file's own bytes.
enum class GifCheck {
  kNetpbm,
  kMagick,
  kBlackWithoutTable,      // neither a global nor a local table: black
  kBlackPastTheTable,      // netpbm names an index past the table: black
  kEndsBeforeTheData,      // no picture data in the file: code 3
  kZeroWidth,              // a 0-wide picture: code 1
};

TEST_F(GifCorpus, FilesWithoutASuiteReferenceMatchAPeerOrTheReadersRule) {
  const std::vector<std::pair<std::string, GifCheck>> files = {
      {"imagers_large-gif-anim-combine.gif", GifCheck::kNetpbm},
      {"imagers_large-gif-anim-full-frame-replace.gif", GifCheck::kNetpbm},
      {"imagers_zero-loop-count.gif", GifCheck::kEndsBeforeTheData},
      {"peterdn_animated_transparent_loop_frames_out_of_bounds.gif", GifCheck::kMagick},  // off the screen
      {"peterdn_static_nontransparent.gif", GifCheck::kNetpbm},
      {"peterdn_static_transparent.gif", GifCheck::kNetpbm},
      {"pillow_chi.gif", GifCheck::kNetpbm},
      {"pillow_decompression_bomb.gif", GifCheck::kEndsBeforeTheData},
      {"pillow_different_transparency.gif", GifCheck::kNetpbm},
      {"pillow_dispose_bgnd_rgba.gif", GifCheck::kNetpbm},
      {"pillow_dispose_bgnd_transparency.gif", GifCheck::kNetpbm},
      {"pillow_dispose_none_load_end.gif", GifCheck::kNetpbm},
      {"pillow_dispose_prev_first_frame.gif", GifCheck::kNetpbm},
      {"pillow_first_frame_transparency.gif", GifCheck::kNetpbm},
      {"pillow_missing_background.gif", GifCheck::kNetpbm},
      {"pillow_no_palette.gif", GifCheck::kBlackWithoutTable},
      {"pillow_no_palette_after_rgb.gif", GifCheck::kNetpbm},  // the table-less picture is the second
      {"pillow_no_palette_with_background.gif", GifCheck::kNetpbm},
      {"pillow_no_palette_with_transparency.gif", GifCheck::kNetpbm},
      {"pillow_no_palette_with_transparency_after_rgb.gif", GifCheck::kNetpbm},
      {"pillow_test_extents_transparency.gif", GifCheck::kMagick},
      {"pillow_transparent.gif", GifCheck::kNetpbm},
      {"pillow_transparent_dispose.gif", GifCheck::kNetpbm},
      {"pillow_zero_width.gif", GifCheck::kZeroWidth},
      {"pygif_dispose-restore-previous.gif", GifCheck::kNetpbm},
      {"pygif_image-outside-bg.gif", GifCheck::kMagick},  // off the screen
      {"pygif_images-overlap.gif", GifCheck::kNetpbm},
      {"pygif_invalid-colors.gif", GifCheck::kBlackPastTheTable},
      {"pygif_plain-text.gif", GifCheck::kNetpbm},
  };
  for (const auto& [name, check] : files) {
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("gif", name);
    const ReadResult result = ReadGif(path);
    const FirstImage image = ParseFirstImage(ReadWholeFile(path));
    if (check == GifCheck::kEndsBeforeTheData) {
      EXPECT_TRUE(!image.found || image.dataOffset + 1 >= ReadWholeFile(path).size());
      EXPECT_EQ(result.block, nullptr);
      EXPECT_EQ(result.error, kPelornFileRead);
      continue;
    }
    if (check == GifCheck::kZeroWidth) {
      EXPECT_TRUE(image.found && image.width == 0);
      EXPECT_EQ(result.block, nullptr);
      EXPECT_EQ(result.error, kPelornOutOfMemory);
      continue;
    }
    ASSERT_EQ(result.error, kPelornOk);
    const Bytes black(result.picture.rgb.size(), 0);
    if (check == GifCheck::kBlackWithoutTable) {
      EXPECT_FALSE(image.hasTable);
      EXPECT_EQ(result.picture.rgb, black);
      continue;
    }
    if (check == GifCheck::kBlackPastTheTable) {
      std::string complaint;
      RunCommand("giftopnm --image=1 '" + path + "' 2>&1 >/dev/null", &complaint);
      EXPECT_NE(complaint.find("invalid color code"), std::string::npos) << complaint;
      EXPECT_EQ(result.picture.rgb, black);
      continue;
    }
    const std::optional<Picture> peer =
        check == GifCheck::kNetpbm ? testing_support::NetpbmDecode("giftopnm --image=1", path, false)
                                   : testing_support::MagickDecode(path, result.picture.width,
                                                                   result.picture.height);
    ASSERT_TRUE(peer.has_value()) << "the peer refuses the file";
    EXPECT_EQ(peer->width, result.picture.width);
    EXPECT_EQ(peer->height, result.picture.height);
    EXPECT_TRUE(peer->rgb == result.picture.rgb) << "the peer's pixels differ";
  }
}

TEST_F(GifCorpus, ExpectedFailuresOfTheCorpus) {
  const std::map<std::string, PelornError> expected = {
      {"pygif_overflow-codes.gif", kPelornFileRead},         // code size 12
      {"pygif_overflow-codes-max.gif", kPelornFileRead},
      {"pygif_max-size.gif", kPelornFileRead},               // no picture
      {"pygif_zero-size.gif", kPelornFileRead},
  };
  for (const auto& [name, code] : expected) {
    const ReadResult result = ReadGif(CorpusPath("gif", name));
    EXPECT_EQ(result.block, nullptr) << name;
    EXPECT_EQ(result.error, code) << name;
  }
}

// tests/golden/gif.txt: one line per corpus file (tests/tools/make_golden.sh).
TEST_F(GifCorpus, GoldenListOfTheCorpus) {
  std::string lines;
  for (const std::string& name : CorpusFiles("gif")) {
    const ReadResult result = ReadGif(CorpusPath("gif", name));
    lines += GoldenLine(name, result.picture.width, result.picture.height, result.error,
                        result.block != nullptr ? &result.picture.rgb : nullptr);
  }
  ExpectGoldenList("gif", lines);
}

}  // namespace
