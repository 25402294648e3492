// The TGA reader: header checks and failure codes, row order, run-length
// packets, value layouts, colour maps, memory, and the public corpus compared
// with independent decodes (Pillow, or the suites' own reference PNGs).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Picture;

// --- Building files ----------------------------------------------------------

struct TgaFile {
  uint8_t imageType = 2;
  uint8_t pixelDepth = 24;
  uint16_t width = 1;
  uint16_t height = 1;
  uint8_t descriptor = 0;
  std::vector<uint8_t> id;
  uint8_t colorMapType = 0;
  uint16_t colorMapFirst = 0;
  uint16_t colorMapLength = 0;
  uint8_t colorMapEntryBits = 0;
  std::vector<uint8_t> colorMap;  // stored entries
  std::vector<uint8_t> data;      // pixel data as stored

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(id.size()),
                                  colorMapType,
                                  imageType,
                                  static_cast<uint8_t>(colorMapFirst),
                                  static_cast<uint8_t>(colorMapFirst >> 8),
                                  static_cast<uint8_t>(colorMapLength),
                                  static_cast<uint8_t>(colorMapLength >> 8),
                                  colorMapEntryBits,
                                  0, 0, 0, 0,
                                  static_cast<uint8_t>(width),
                                  static_cast<uint8_t>(width >> 8),
                                  static_cast<uint8_t>(height),
                                  static_cast<uint8_t>(height >> 8),
                                  pixelDepth,
                                  descriptor};
    bytes.insert(bytes.end(), id.begin(), id.end());
    bytes.insert(bytes.end(), colorMap.begin(), colorMap.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
  }
};

struct Result {
  PelornError error = -1;
  Picture picture;
  bool gotBlock = false;
};

Result ReadPath(const std::string& path) {
  Result result;
  uint32_t width = 77;
  uint32_t height = 77;
  HGLOBAL block = ReadTgaFile(path.c_str(), &width, &height);
  result.error = GetLastImageError();
  result.gotBlock = block != nullptr;
  if (block != nullptr) {
    result.picture = testing_support::TakePicture(block, width, height);
  } else {
    EXPECT_EQ(width, 0u) << "out width stays 0 on failure";
    EXPECT_EQ(height, 0u) << "out height stays 0 on failure";
  }
  return result;
}

Result ReadBytes(const std::vector<uint8_t>& bytes) {
  const std::string path = testing_support::TempDir() + "/picture.tga";
  EXPECT_TRUE(testing_support::WriteWholeFile(path, bytes));
  return ReadPath(path);
}

Result ReadFile(const TgaFile& file) { return ReadBytes(file.Bytes()); }

// Fails the test (and returns the code) unless the read failed cleanly.
PelornError FailureCode(const std::vector<uint8_t>& bytes) {
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  const Result result = ReadBytes(bytes);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore) << "a failed read leaves no block";
  return result.error;
}

std::vector<uint8_t> Rgb(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

// Stored 24-bit values (blue, green, red) for RGB triples.
std::vector<uint8_t> Bgr(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> stored;
  for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
    stored.insert(stored.end(), {rgb[i + 2], rgb[i + 1], rgb[i]});
  }
  return stored;
}

// --- Header checks and failure codes ------------------------------------------

TEST(TgaFailures, MissingArgumentsAndFiles) {
  uint32_t width = 0;
  uint32_t height = 0;
  EXPECT_EQ(ReadTgaFile(nullptr, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  const std::string path = testing_support::CorpusPath("tga", "tgasuite_utc24.tga");
  EXPECT_EQ(ReadTgaFile(path.c_str(), nullptr, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadTgaFile(path.c_str(), &width, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadPath(testing_support::TempDir() + "/absent.tga").error, kPelornFileOpen);
}

TEST(TgaFailures, ShortHeaderIdAndColorMapAreReadErrors) {
  TgaFile file;
  file.data = {1, 2, 3};
  const std::vector<uint8_t> whole = file.Bytes();
  EXPECT_EQ(FailureCode(std::vector<uint8_t>(whole.begin(), whole.begin() + 17)), kPelornFileRead);
  EXPECT_EQ(FailureCode({}), kPelornFileRead);

  file.id = std::vector<uint8_t>(40, 'x');
  std::vector<uint8_t> shortId = file.Bytes();
  shortId.resize(18 + 20);
  EXPECT_EQ(FailureCode(shortId), kPelornFileRead);

  TgaFile mapped;
  mapped.imageType = 1;
  mapped.pixelDepth = 8;
  mapped.colorMapType = 1;
  mapped.colorMapLength = 4;
  mapped.colorMapEntryBits = 24;
  mapped.colorMap = std::vector<uint8_t>(11, 0);  // one byte short
  EXPECT_EQ(FailureCode(mapped.Bytes()), kPelornFileRead);
}

TEST(TgaFailures, RejectedHeadersGiveCode35) {
  for (int type : {0, 4, 8, 12, 32, 255}) {
    TgaFile file;
    file.imageType = static_cast<uint8_t>(type);
    file.data = {0, 0, 0};
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadTga) << "image type " << type;
  }
  for (int depth : {0, 1, 7, 12, 20, 31, 33, 40, 255}) {
    TgaFile file;
    file.pixelDepth = static_cast<uint8_t>(depth);
    file.data = std::vector<uint8_t>(8, 0);
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadTga) << "pixel depth " << depth;
  }
}

TEST(TgaFailures, DepthOutsideRangeFailsBeforeAnyAllocation) {
  TgaFile file;
  file.pixelDepth = 40;
  file.data = std::vector<uint8_t>(5, 0);
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadTga);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
}

TEST(TgaFailures, UnreadableColorMapEntrySizeIsCode35) {
  // The entry reader has no layout for 12-bit entries: the file is rejected
  // with the reader's own code, not "no error".
  for (int entryBits : {0, 1, 12, 17, 31, 48}) {
    TgaFile file;
    file.imageType = 1;
    file.pixelDepth = 8;
    file.colorMapType = 1;
    file.colorMapLength = 2;
    file.colorMapEntryBits = static_cast<uint8_t>(entryBits);
    file.colorMap = std::vector<uint8_t>(12, 0);
    file.data = {0};
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadTga) << "entry bits " << entryBits;
  }
}

TEST(TgaFailures, ZeroWidthOrHeightIsCode35) {
  for (auto size : {std::pair<int, int>{0, 4}, {4, 0}, {0, 0}}) {
    TgaFile file;
    file.width = static_cast<uint16_t>(size.first);
    file.height = static_cast<uint16_t>(size.second);
    file.data = std::vector<uint8_t>(48, 0);
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadTga) << size.first << "x" << size.second;
  }
}

TEST(TgaFailures, FileEndingInsidePixelDataIsCode3) {
  TgaFile raw;
  raw.width = 4;
  raw.height = 4;
  raw.data = std::vector<uint8_t>(4 * 4 * 3 - 1, 9);
  EXPECT_EQ(FailureCode(raw.Bytes()), kPelornFileRead);

  // Run-length data that stops inside a raw packet, after whole rows were
  // decoded: the partly filled block is freed.
  TgaFile packed = raw;
  packed.imageType = 10;
  packed.data = {0x8F, 1, 2, 3, 0x7F};  // 16-pixel run, then a 128-pixel raw packet
  packed.height = 8;
  packed.data.resize(packed.data.size() + 3 * 5, 7);
  EXPECT_EQ(FailureCode(packed.Bytes()), kPelornFileRead);

  // No packet header where the next packet should start.
  TgaFile noHeader = packed;
  noHeader.height = 5;
  noHeader.data = {0x8F, 1, 2, 3, 0x81, 4, 5, 6};  // 16 + 2 of 20 pixels
  EXPECT_EQ(FailureCode(noHeader.Bytes()), kPelornFileRead);
}

// A large picture within the memory bound (768 MB) on a tiny file: the
// length check refuses it before its block (larger ones: memory_bound_test).
TEST(TgaFailures, HugeHeaderOnTinyFileAllocatesNothing) {
  for (uint8_t type : {2, 10}) {
    TgaFile file;
    file.imageType = type;
    file.pixelDepth = 32;
    file.width = 16000;
    file.height = 16000;
    file.data = std::vector<uint8_t>(64, 0x80);
    const int64_t allocationsBefore = platform::GlobalAllocCount();
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornFileRead) << int(type);
    EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore) << int(type);
  }
}

TEST(TgaFailures, OutOfMemoryIsCode1AndLeavesNothing) {
  const std::string path = testing_support::CorpusPath("tga", "tgasuite_ctc24.tga");
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  platform::FailNthGlobalAlloc(1);
  const Result result = ReadPath(path);
  platform::FailNthGlobalAlloc(0);
  EXPECT_EQ(result.error, kPelornOutOfMemory);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  EXPECT_EQ(ReadPath(path).error, kPelornOk) << "the next read works again";
}

TEST(TgaFailures, OtherFormatsAreRejected) {
  for (const auto& [format, name] :
       std::vector<std::pair<std::string, std::string>>{{"png", "pngsuite_basn2c08.png"},
                                                        {"bmp", "bmpsuite_g_rgb24.bmp"},
                                                        {"pcx", "kimg_rgb.pcx"}}) {
    const std::vector<uint8_t> bytes =
        testing_support::ReadWholeFile(testing_support::CorpusPath(format, name));
    if (bytes.empty()) continue;
    const PelornError code = FailureCode(bytes);
    EXPECT_TRUE(code == kPelornBadTga || code == kPelornFileRead) << name << " gave " << code;
  }
}

// --- Row order ------------------------------------------------------------------

TEST(TgaRows, BottomUpAndTopDownGiveTheSameBuffer) {
  // Stored bottom-up: the last stored row is the top of the picture.
  TgaFile bottomUp;
  bottomUp.width = 2;
  bottomUp.height = 3;
  const std::vector<uint8_t> top = Rgb({255, 0, 0, 0, 255, 0});
  const std::vector<uint8_t> middle = Rgb({0, 0, 255, 10, 20, 30});
  const std::vector<uint8_t> bottom = Rgb({1, 2, 3, 4, 5, 6});
  for (const auto* row : {&bottom, &middle, &top}) {
    const auto stored = Bgr(*row);
    bottomUp.data.insert(bottomUp.data.end(), stored.begin(), stored.end());
  }
  const Result upward = ReadFile(bottomUp);
  ASSERT_EQ(upward.error, kPelornOk);
  std::vector<uint8_t> expected = top;
  expected.insert(expected.end(), middle.begin(), middle.end());
  expected.insert(expected.end(), bottom.begin(), bottom.end());
  EXPECT_EQ(upward.picture.rgb, expected);
  EXPECT_EQ(upward.picture.width, 2u);
  EXPECT_EQ(upward.picture.height, 3u);

  TgaFile topDown = bottomUp;
  topDown.descriptor = 0x20;
  topDown.data.clear();
  for (const auto* row : {&top, &middle, &bottom}) {
    const auto stored = Bgr(*row);
    topDown.data.insert(topDown.data.end(), stored.begin(), stored.end());
  }
  EXPECT_EQ(ReadFile(topDown).picture.rgb, expected);

  // Right-to-left (bit 4) and the alpha bit count are not used.
  topDown.descriptor = 0x20 | 0x10 | 0x08;
  EXPECT_EQ(ReadFile(topDown).picture.rgb, expected);
}

// --- Run-length packets ------------------------------------------------------------

TEST(TgaRunLength, PacketsContinueAcrossRows) {
  TgaFile file;
  file.imageType = 10;
  file.width = 3;
  file.height = 2;
  file.descriptor = 0x20;
  // A 4-pixel run covers row 0 and the first pixel of row 1; a 2-pixel raw
  // packet ends row 1.
  file.data = {0x83, 30, 20, 10, 0x01, 3, 2, 1, 6, 5, 4};
  const Result result = ReadFile(file);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, Rgb({10, 20, 30, 10, 20, 30, 10, 20, 30,  //
                                     10, 20, 30, 1, 2, 3, 4, 5, 6}));

  // A raw packet across the row end, then a run.
  file.data = {0x03, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0x81, 9, 9, 9};
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 9, 9, 9, 9, 9, 9}));
}

TEST(TgaRunLength, PacketsPastTheLastPixelAreNotRead) {
  // Quirk: a final packet longer than what is left of the picture is cut.
  TgaFile file;
  file.imageType = 10;
  file.width = 2;
  file.height = 1;
  file.data = {0xFF, 5, 6, 7};  // a 128-pixel run for 2 pixels
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({7, 6, 5, 7, 6, 5}));
  file.data = {0x7F, 1, 2, 3, 4, 5, 6};  // a 128-pixel raw packet, only 2 stored
  const Result result = ReadFile(file);
  EXPECT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, Rgb({3, 2, 1, 6, 5, 4}));
}

TEST(TgaRunLength, GreyAndMappedRunsRepeatTheirValue) {
  TgaFile grey;
  grey.imageType = 11;
  grey.pixelDepth = 8;
  grey.width = 4;
  grey.data = {0x82, 77, 0x00, 5};
  EXPECT_EQ(ReadFile(grey).picture.rgb, Rgb({77, 77, 77, 77, 77, 77, 77, 77, 77, 5, 5, 5}));

  TgaFile mapped;
  mapped.imageType = 9;
  mapped.pixelDepth = 8;
  mapped.width = 4;
  mapped.colorMapType = 1;
  mapped.colorMapLength = 2;
  mapped.colorMapEntryBits = 24;
  mapped.colorMap = Bgr(Rgb({10, 20, 30, 200, 100, 50}));
  mapped.data = {0x82, 1, 0x00, 0};
  EXPECT_EQ(ReadFile(mapped).picture.rgb,
            Rgb({200, 100, 50, 200, 100, 50, 200, 100, 50, 10, 20, 30}));
}

// --- Value layouts ----------------------------------------------------------------

TEST(TgaValues, FiveBitChannelsAreShiftedNotScaled) {
  // 0x7FFF is white at 248 (no rounding up to 255); bit 15 is ignored.
  for (uint8_t depth : {15, 16}) {
    TgaFile file;
    file.pixelDepth = depth;
    file.width = 4;
    file.data = {0xFF, 0x7F, 0x00, 0x80, 0x1F, 0x00, 0x21, 0x84};
    // 0x001F: blue 31; 0x8421: red 1, green 1, blue 1 with bit 15 set.
    const Result result = ReadFile(file);
    ASSERT_EQ(result.error, kPelornOk);
    EXPECT_EQ(result.picture.rgb,
              Rgb({248, 248, 248, 0, 0, 0, 0, 0, 248, 8, 8, 8}))
        << int(depth);
  }
  TgaFile red;
  red.pixelDepth = 16;
  red.data = {0x00, 0x7C};
  EXPECT_EQ(ReadFile(red).picture.rgb, Rgb({248, 0, 0}));
  TgaFile green;
  green.pixelDepth = 16;
  green.data = {0xE0, 0x03};
  EXPECT_EQ(ReadFile(green).picture.rgb, Rgb({0, 248, 0}));
}

TEST(TgaValues, BlackAndWhiteHasEqualChannels) {
  TgaFile file;
  file.imageType = 3;
  file.pixelDepth = 8;
  file.width = 3;
  file.data = {0, 128, 255};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({0, 0, 0, 128, 128, 128, 255, 255, 255}));
}

TEST(TgaValues, ThirtyTwoBitDropsAlpha) {
  TgaFile file;
  file.pixelDepth = 32;
  file.width = 2;
  file.descriptor = 8;
  file.data = {1, 2, 3, 0, 4, 5, 6, 255};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({3, 2, 1, 6, 5, 4}));
}

TEST(TgaValues, DepthDecidesTheLayoutNotTheType) {
  // A 16-bit black-and-white file (grey + alpha elsewhere) reads as 5-5-5.
  TgaFile file;
  file.imageType = 3;
  file.pixelDepth = 16;
  file.data = {0xFF, 0x7F};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({248, 248, 248}));
  // A type 1 file without a colour map reads its indices as grey.
  TgaFile unmapped;
  unmapped.imageType = 1;
  unmapped.pixelDepth = 8;
  unmapped.data = {99};
  EXPECT_EQ(ReadFile(unmapped).picture.rgb, Rgb({99, 99, 99}));
}

// --- Colour maps --------------------------------------------------------------------

TgaFile MappedFile(uint16_t first, uint16_t length, uint8_t entryBits) {
  TgaFile file;
  file.imageType = 1;
  file.pixelDepth = 8;
  file.colorMapType = 1;
  file.colorMapFirst = first;
  file.colorMapLength = length;
  file.colorMapEntryBits = entryBits;
  return file;
}

TEST(TgaColorMap, FullTableMapsEveryIndex) {
  TgaFile file = MappedFile(0, 256, 24);
  file.width = 256;
  std::vector<uint8_t> expected;
  for (int i = 0; i < 256; ++i) {
    const uint8_t red = static_cast<uint8_t>(255 - i);
    const uint8_t green = static_cast<uint8_t>(i * 7);
    const uint8_t blue = static_cast<uint8_t>(i ^ 0x5A);
    file.colorMap.insert(file.colorMap.end(), {blue, green, red});
    file.data.push_back(static_cast<uint8_t>(i));
    expected.insert(expected.end(), {red, green, blue});
  }
  EXPECT_EQ(ReadFile(file).picture.rgb, expected);
}

TEST(TgaColorMap, EntryLayouts) {
  TgaFile grey = MappedFile(0, 1, 8);
  grey.colorMap = {200};
  grey.data = {0};
  EXPECT_EQ(ReadFile(grey).picture.rgb, Rgb({200, 200, 200}));

  for (uint8_t bits : {15, 16}) {
    TgaFile fiveBit = MappedFile(0, 1, bits);
    fiveBit.colorMap = {0x1F, 0xFC};  // bit 15 set, red 31, green 0, blue 31
    fiveBit.data = {0};
    EXPECT_EQ(ReadFile(fiveBit).picture.rgb, Rgb({248, 0, 248})) << int(bits);
  }

  TgaFile withAlpha = MappedFile(0, 2, 32);
  withAlpha.colorMap = {1, 2, 3, 0, 4, 5, 6, 9};
  withAlpha.width = 2;
  withAlpha.data = {1, 0};
  EXPECT_EQ(ReadFile(withAlpha).picture.rgb, Rgb({6, 5, 4, 3, 2, 1}));
}

TEST(TgaColorMap, FirstIndexPlacesEntriesAndTheRestAreBlack) {
  TgaFile file = MappedFile(39, 2, 24);
  file.colorMap = Bgr(Rgb({1, 2, 3, 4, 5, 6}));
  file.width = 4;
  file.data = {39, 40, 0, 41};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({1, 2, 3, 4, 5, 6, 0, 0, 0, 0, 0, 0}));
}

TEST(TgaColorMap, EntriesPastTheTableAreReadAndDropped) {
  // First index 250 + 20 entries would run 14 entries past the 256-entry
  // table: they are skipped, and the pixel data after them still reads.
  TgaFile file = MappedFile(250, 20, 24);
  for (int i = 0; i < 20; ++i) {
    file.colorMap.insert(file.colorMap.end(), {static_cast<uint8_t>(i), 0, 100});
  }
  file.width = 3;
  file.data = {250, 255, 7};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({100, 0, 0, 100, 0, 5, 0, 0, 0}));

  // A map that starts past the table entirely.
  TgaFile beyond = MappedFile(60000, 3, 24);
  beyond.colorMap = std::vector<uint8_t>(9, 0xEE);
  beyond.data = {0};
  const Result result = ReadFile(beyond);
  EXPECT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.picture.rgb, Rgb({0, 0, 0}));
}

TEST(TgaColorMap, IndicesPastTheTableAreBlack) {
  // 16-bit indices reach 65535; those past entry 255 are black.
  TgaFile file = MappedFile(0, 256, 24);
  file.colorMap = std::vector<uint8_t>(256 * 3, 0x40);
  file.pixelDepth = 16;
  file.width = 3;
  file.data = {0xFF, 0x00, 0x00, 0x01, 0xFF, 0xFF};  // 255, 256, 65535
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({64, 64, 64, 0, 0, 0, 0, 0, 0}));
  file.imageType = 9;
  file.data = {0x80, 0xFF, 0x00, 0x81, 0x34, 0x12};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({64, 64, 64, 0, 0, 0, 0, 0, 0}));
}

TEST(TgaColorMap, TrueColourValuesOfAMappedFileShowEntryZero) {
  // 24- and 32-bit values carry no index: a type 1 file at these depths shows
  // the entry of the index last held, entry 0, for every pixel.
  TgaFile file = MappedFile(0, 2, 24);
  file.pixelDepth = 24;
  file.colorMap = Bgr(Rgb({9, 8, 7, 1, 2, 3}));
  file.width = 2;
  file.data = {1, 1, 1, 200, 100, 50};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({9, 8, 7, 9, 8, 7}));
}

TEST(TgaColorMap, MapOfATrueColourFileIsSkipped) {
  TgaFile file = MappedFile(0, 2, 24);
  file.imageType = 2;
  file.pixelDepth = 24;
  file.colorMap = std::vector<uint8_t>(6, 0x11);
  file.data = {1, 2, 3};
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({3, 2, 1}));
}

TEST(TgaProgress, ReaderReportsNoProgressAndLeavesTheDepthAlone) {
  static int calls = 0;
  calls = 0;
  SetProgressCallback([](int32_t, int32_t) -> int32_t {
    ++calls;
    return 0;  // would cancel
  });
  const int32_t depthBefore = GetThreadState().operationDepth;
  const Result result = ReadPath(testing_support::CorpusPath("tga", "tgasuite_ctc24.tga"));
  SetProgressCallback(nullptr);
  EXPECT_EQ(result.error, kPelornOk);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(GetThreadState().operationDepth, depthBefore);
}

// --- The public corpus ----------------------------------------------------------------

// Files that must be rejected, and with which code.
const std::map<std::string, PelornError>& ExpectedFailures() {
  static const std::map<std::string, PelornError> failures = {
      {"imagers_regression_bad-color-map.tga", kPelornFileRead},        // ID past the end
      {"imagers_regression_flip-zero-height.tga", kPelornBadTga},       // type 163
      {"imagers_regression_flip-zero-height2.tga", kPelornBadTga},      // type 0
      {"imagers_regression_orientation-zero-width.tga", kPelornBadTga}, // type 0
      {"imagers_regression_overfull-image.tga", kPelornFileRead},       // 3 of 40 bytes
      {"imagers_regression_sixteen-bit-gray-colormap.tga", kPelornBadTga},
      {"imagers_regression_slice-copy-length.tga", kPelornFileRead},    // no pixel data
      {"pillow_cross_scan_line_truncated.tga", kPelornFileRead},
      {"pillow_p_8.tga", kPelornFileRead},                              // header only
  };
  return failures;
}

struct TgaFacts {
  int imageType = 0;
  int pixelDepth = 0;
  int colorMapEntryBits = 0;
  bool rightToLeft = false;
};

TgaFacts FactsOf(const std::vector<uint8_t>& bytes) {
  TgaFacts facts;
  if (bytes.size() < 18) return facts;
  facts.imageType = bytes[2];
  facts.colorMapEntryBits = bytes[1] != 0 ? bytes[7] : 0;
  facts.pixelDepth = bytes[16];
  facts.rightToLeft = (bytes[17] & 0x10) != 0;
  return facts;
}

// The independent decode of a corpus file: the suite's own reference PNG
// where there is one, else Pillow. (Pillow 9 misreads 15-bit colour maps and
// 16-bit files that also carry a map: imagers_b5-*.)
std::vector<std::string> ReferenceCandidates(const std::string& name) {
  const std::string stem = name.substr(0, name.size() - 4);
  return {testing_support::CorpusPath("tga", "ref/" + name + ".png"),
          testing_support::CorpusPath("tga", "ref/" + stem + ".png"),
          testing_support::CorpusPath("tga", name)};
}

std::optional<Picture> Reference(const testing_support::ReferenceBatch& decodes,
                                 const std::string& name) {
  for (const std::string& path : ReferenceCandidates(name)) {
    std::optional<Picture> reference = decodes.Decode(path);
    if (reference) return reference;
  }
  return std::nullopt;
}

// A model of 32-bit run-length pixels (blue, green, red, alpha) for the
// fuzzed file no decoder here accepts: its type says grey (11), but the pixel
// depth decides how a value is read, so its one pixel is a colour.
std::optional<Picture> ThirtyTwoBitRunLengthModel(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 18 || bytes[16] != 32 || (bytes[2] & 8) == 0) return std::nullopt;
  auto word = [&bytes](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  Picture picture;
  picture.width = word(12);
  picture.height = word(14);
  const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
  size_t at = 18 + bytes[0] + (bytes[1] != 0 ? word(5) * ((bytes[7] + 7u) / 8) : 0);
  std::vector<uint8_t> bottomUp;
  while (bottomUp.size() < pixels * 3) {
    if (at >= bytes.size()) return std::nullopt;
    const uint8_t packet = bytes[at++];
    const size_t count = (packet & 0x7F) + 1u;
    for (size_t i = 0; i < count && bottomUp.size() < pixels * 3; ++i) {
      if (at + 4 > bytes.size()) return std::nullopt;
      bottomUp.insert(bottomUp.end(), {bytes[at + 2], bytes[at + 1], bytes[at]});
      if ((packet & 0x80) == 0 || i + 1 == count) at += 4;
    }
  }
  const bool topFirst = (bytes[17] & 0x20) != 0;
  const size_t rowBytes = picture.width * 3u;
  for (uint32_t y = 0; y < picture.height; ++y) {
    const size_t row = topFirst ? y : picture.height - 1 - y;
    picture.rgb.insert(picture.rgb.end(), bottomUp.begin() + static_cast<long>(row * rowBytes),
                       bottomUp.begin() + static_cast<long>((row + 1) * rowBytes));
  }
  return picture;
}

// Pillow's grey+alpha decode of a 16-bit grey file, turned into what the
// 5-5-5 rule gives for the stored value grey | alpha << 8.
std::optional<Picture> GreyAlphaAsColour(const std::string& path) {
  std::optional<Picture> rgba = testing_support::ReferenceDecodeRgba(path);
  if (!rgba) return std::nullopt;
  Picture colour;
  colour.width = rgba->width;
  colour.height = rgba->height;
  for (size_t i = 0; i + 3 < rgba->rgb.size(); i += 4) {
    const unsigned value = rgba->rgb[i] | unsigned{rgba->rgb[i + 3]} << 8;
    for (unsigned shift : {10u, 5u, 0u}) {
      colour.rgb.push_back(static_cast<uint8_t>(((value >> shift) & 31) << 3));
    }
  }
  return colour;
}

void MirrorRows(Picture* picture) {
  for (uint32_t y = 0; y < picture->height; ++y) {
    uint8_t* row = picture->rgb.data() + size_t{y} * picture->width * 3;
    for (uint32_t left = 0, right = picture->width - 1; left < right; ++left, --right) {
      for (int c = 0; c < 3; ++c) std::swap(row[left * 3 + c], row[right * 3 + c]);
    }
  }
}

TEST(TgaCorpus, EveryFileDecodesOrFailsWithACode) {
  const auto& failures = ExpectedFailures();
  const std::vector<std::string> names = testing_support::CorpusFiles("tga");
  ASSERT_GE(names.size(), 70u);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  for (const std::string& name : names) {
    const Result result = ReadPath(testing_support::CorpusPath("tga", name));
    const auto failure = failures.find(name);
    if (failure != failures.end()) {
      EXPECT_EQ(result.error, failure->second) << name;
      EXPECT_FALSE(result.gotBlock) << name;
      // Damaged past reading for Pillow too.
      EXPECT_FALSE(testing_support::ReferenceDecode(testing_support::CorpusPath("tga", name)).has_value())
          << name;
    } else {
      EXPECT_EQ(result.error, kPelornOk) << name;
      EXPECT_TRUE(result.gotBlock) << name;
    }
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
}

// Compares every good file with the independent decode, after applying this
// reader's own rules to the reference:
// - 5-bit channels (15/16-bit pixels or colour-map entries) are shifted, not
//   scaled: Pillow and the reference PNGs give 255 for 31, this reader 248,
//   so the reference is compared with its low three bits cleared;
// - right-to-left files are shown as stored: the reference is mirrored back;
// - 16-bit grey+alpha files read as 5-5-5 colour here (the pixel depth
//   decides how a value is read): the reference is built from Pillow's grey
//   (first byte) and alpha (second byte) of each pixel by that rule.
TEST(TgaCorpus, GoodFilesMatchAnIndependentDecode) {
  int compared = 0, greyAlphaCompared = 0;
  std::vector<std::string> withoutReference;
  std::vector<std::string> candidates;
  for (const std::string& name : testing_support::CorpusFiles("tga")) {
    for (const std::string& path : ReferenceCandidates(name)) {
      if (!testing_support::ReadWholeFile(path).empty()) candidates.push_back(path);
    }
  }
  const testing_support::ReferenceBatch decodes(candidates);
  for (const std::string& name : testing_support::CorpusFiles("tga")) {
    if (ExpectedFailures().count(name) != 0) continue;
    const std::vector<uint8_t> bytes =
        testing_support::ReadWholeFile(testing_support::CorpusPath("tga", name));
    const TgaFacts facts = FactsOf(bytes);
    const bool greyAlpha = (facts.imageType == 3 || facts.imageType == 11) && facts.pixelDepth == 16;
    std::optional<Picture> reference =
        greyAlpha ? GreyAlphaAsColour(testing_support::CorpusPath("tga", name)) : Reference(decodes, name);
    if (name == "imagers_regression_sixteen-bit-gray-colormap2.tga") {
      reference = ThirtyTwoBitRunLengthModel(bytes);
    }
    greyAlphaCompared += greyAlpha && reference.has_value();
    if (!reference) {
      withoutReference.push_back(name);
      continue;
    }
    const Result ours = ReadPath(testing_support::CorpusPath("tga", name));
    ASSERT_EQ(ours.error, kPelornOk) << name;
    ASSERT_EQ(ours.picture.width, reference->width) << name;
    ASSERT_EQ(ours.picture.height, reference->height) << name;
    const bool mapped = facts.imageType == 1 || facts.imageType == 9;
    const bool fiveBit = mapped ? (facts.colorMapEntryBits == 15 || facts.colorMapEntryBits == 16)
                                : (facts.pixelDepth == 15 || facts.pixelDepth == 16);
    if (fiveBit) {
      for (uint8_t& value : reference->rgb) value &= 0xF8;
    }
    if (facts.rightToLeft) MirrorRows(&*reference);
    const auto difference = testing_support::Compare(ours.picture, *reference);
    EXPECT_EQ(difference.differingBytes, 0u) << name << " max delta " << difference.maxDelta;
    ++compared;
  }
  EXPECT_GE(compared, 61);
  EXPECT_EQ(greyAlphaCompared, 6);
  EXPECT_TRUE(withoutReference.empty()) << ::testing::PrintToString(withoutReference);
}

// --- Golden list ------------------------------------------------------------------------
// tests/golden/tga.txt: one line per corpus file (tests/tools/make_golden.sh).
TEST(TgaCorpus, GoldenList) {
  std::string lines;
  for (const std::string& name : testing_support::CorpusFiles("tga")) {
    const Result result = ReadPath(testing_support::CorpusPath("tga", name));
    lines += testing_support::GoldenLine(name, result.picture.width, result.picture.height,
                                         result.error, result.gotBlock ? &result.picture.rgb : nullptr);
  }
  testing_support::ExpectGoldenList("tga", lines);
}

}  // namespace
