// The PCX reader: header checks and failure codes, the palette rules, scan
// line decoding and plane unpacking, progress and memory, and the public
// corpus compared with independent decodes (the suites' reference PNGs, or
// Pillow).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Picture;

// --- Building files ----------------------------------------------------------------

// Run-length codes a whole scan line the usual way: runs of up to 63, and a
// count byte before any value that has both top bits set.
std::vector<uint8_t> EncodeLine(const std::vector<uint8_t>& line) {
  std::vector<uint8_t> coded;
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && line[i + run] == line[i] && run < 63) ++run;
    if (run > 1 || (line[i] & 0xC0) == 0xC0) coded.push_back(static_cast<uint8_t>(0xC0 | run));
    coded.push_back(line[i]);
    i += run;
  }
  return coded;
}

struct PcxFile {
  uint8_t manufacturer = 10;
  uint8_t version = 5;
  uint8_t bitsPerPixel = 8;
  uint16_t xmin = 0;
  uint16_t ymin = 0;
  uint16_t xmax = 0;
  uint16_t ymax = 0;
  uint8_t headerColors[48] = {};
  uint8_t planeCount = 1;
  uint16_t bytesPerLine = 1;
  uint8_t encoding = 1;          // 0: lines stored as they are
  std::vector<uint8_t> data;     // coded scan lines
  std::vector<uint8_t> trailer;  // e.g. 12 + 768 palette bytes

  void SetSize(int width, int height) {
    xmax = static_cast<uint16_t>(xmin + width - 1);
    ymax = static_cast<uint16_t>(ymin + height - 1);
  }
  void AddLine(const std::vector<uint8_t>& line) {
    const std::vector<uint8_t> coded = encoding == 0 ? line : EncodeLine(line);
    data.insert(data.end(), coded.begin(), coded.end());
  }
  void SetHeaderColor(int index, uint8_t red, uint8_t green, uint8_t blue) {
    headerColors[index * 3] = red;
    headerColors[index * 3 + 1] = green;
    headerColors[index * 3 + 2] = blue;
  }
  void SetVgaPalette(const std::vector<uint8_t>& colors) {
    trailer = {12};
    trailer.insert(trailer.end(), colors.begin(), colors.end());
    trailer.resize(769, 0);
  }

  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> bytes(128, 0);
    bytes[0] = manufacturer;
    bytes[1] = version;
    bytes[2] = encoding;
    bytes[3] = bitsPerPixel;
    auto put16 = [&](size_t offset, uint16_t value) {
      bytes[offset] = static_cast<uint8_t>(value);
      bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    };
    put16(4, xmin);
    put16(6, ymin);
    put16(8, xmax);
    put16(10, ymax);
    put16(12, 72);
    put16(14, 72);
    std::copy(headerColors, headerColors + 48, bytes.begin() + 16);
    bytes[65] = planeCount;
    put16(66, bytesPerLine);
    put16(68, 1);
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());
    return bytes;
  }
};

struct Result {
  PelornError error = -1;
  uint32_t width = 0;   // as the reader left its out-parameters
  uint32_t height = 0;
  Picture picture;
  bool gotBlock = false;
};

Result ReadPath(const std::string& path) {
  Result result;
  HGLOBAL block = ReadPcxFile(path.c_str(), &result.width, &result.height);
  result.error = GetLastImageError();
  result.gotBlock = block != nullptr;
  if (block != nullptr) result.picture = testing_support::TakePicture(block, result.width, result.height);
  return result;
}

Result ReadBytes(const std::vector<uint8_t>& bytes) {
  const std::string path = testing_support::TempDir() + "/picture.pcx";
  EXPECT_TRUE(testing_support::WriteWholeFile(path, bytes));
  return ReadPath(path);
}

Result ReadFile(const PcxFile& file) { return ReadBytes(file.Bytes()); }

// The code of a read that must fail cleanly.
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

// A w x h 8-bit picture whose index at (x, y) is x + y * w.
PcxFile EightBitRamp(int width, int height) {
  PcxFile file;
  file.SetSize(width, height);
  file.bytesPerLine = static_cast<uint16_t>(width);
  for (int y = 0; y < height; ++y) {
    std::vector<uint8_t> line;
    for (int x = 0; x < width; ++x) line.push_back(static_cast<uint8_t>(x + y * width));
    file.AddLine(line);
  }
  return file;
}

// --- Header checks and failure codes ---------------------------------------------------

TEST(PcxFailures, MissingArgumentsAndFiles) {
  uint32_t width = 0;
  uint32_t height = 0;
  EXPECT_EQ(ReadPcxFile(nullptr, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  const std::string path = testing_support::CorpusPath("pcx", "kimg_rgb.pcx");
  EXPECT_EQ(ReadPcxFile(path.c_str(), nullptr, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadPath(testing_support::TempDir() + "/absent.pcx").error, kPelornFileOpen);
}

TEST(PcxFailures, BadHeadersAreCode22) {
  PcxFile file = EightBitRamp(2, 2);
  file.manufacturer = 11;
  EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx);
  for (int version : {1, 4, 6, 255}) {
    file.manufacturer = 10;
    file.version = static_cast<uint8_t>(version);
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx) << "version " << version;
  }
  for (int version : {0, 2, 3, 5}) {
    file.version = static_cast<uint8_t>(version);
    EXPECT_EQ(ReadFile(file).error, kPelornOk) << "version " << version;
  }
  // The filler must be readable: a file of 127 bytes has no complete header.
  std::vector<uint8_t> shortHeader = EightBitRamp(2, 2).Bytes();
  shortHeader.resize(127);
  EXPECT_EQ(FailureCode(shortHeader), kPelornBadPcx);
  EXPECT_EQ(FailureCode({}), kPelornBadPcx);
}

TEST(PcxFailures, EndBeforeStartIsABadHeader) {
  // Quirk: xmax < xmin would give a width of 0 or less.
  PcxFile file = EightBitRamp(2, 2);
  file.xmin = 5;
  file.xmax = 3;
  EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx);
  file = EightBitRamp(2, 2);
  file.ymin = 1;
  file.ymax = 0;
  EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx);
}

TEST(PcxFailures, ScanLinePastTheEndIsCode22AndKeepsTheSize) {
  PcxFile file = EightBitRamp(40, 40);
  file.data.resize(file.data.size() - 5);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  const Result result = ReadFile(file);
  EXPECT_EQ(result.error, kPelornBadPcx);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  // The size is reported as soon as the header has been read.
  EXPECT_EQ(result.width, 40u);
  EXPECT_EQ(result.height, 40u);

  // A count byte whose value byte is missing.
  PcxFile cut;
  cut.SetSize(4, 1);
  cut.bytesPerLine = 4;
  cut.data = {0xC4};
  EXPECT_EQ(FailureCode(cut.Bytes()), kPelornBadPcx);
}

// A large picture within the memory bound (768 MB) on a tiny file: the
// length check refuses it before its block (larger ones: memory_bound_test).
TEST(PcxFailures, HugeHeaderOnTinyFileAllocatesNothing) {
  PcxFile file;
  file.SetSize(16000, 16000);
  file.bytesPerLine = 16000;
  file.data = {0xFF, 0x00, 0xFF, 0x00};
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  const Result result = ReadFile(file);
  EXPECT_EQ(result.error, kPelornBadPcx);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
}

TEST(PcxFailures, OutOfMemoryIsCode1AndLeavesNothing) {
  const std::string path = testing_support::CorpusPath("pcx", "kimg_16color.pcx");
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  platform::FailNthGlobalAlloc(1);
  Result result = ReadPath(path);
  platform::FailNthGlobalAlloc(0);
  EXPECT_EQ(result.error, kPelornOutOfMemory);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);

  pelorn::FailNthPlainAllocation(1);  // the line buffer
  result = ReadPath(path);
  pelorn::FailNthPlainAllocation(0);
  EXPECT_EQ(result.error, kPelornOutOfMemory);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  EXPECT_EQ(ReadPath(path).error, kPelornOk);
}

// --- Progress ----------------------------------------------------------------------------

std::vector<std::pair<int32_t, int32_t>> progressCalls;
int32_t stopAfter = -1;

int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.emplace_back(done, total);
  return static_cast<int32_t>(progressCalls.size()) == stopAfter ? 0 : 1;
}

TEST(PcxProgress, EveryRowReportsAndAStopIsCode14) {
  const PcxFile file = EightBitRamp(5, 4);
  progressCalls.clear();
  stopAfter = -1;
  SetProgressCallback(RecordProgress);
  Result result = ReadFile(file);
  EXPECT_EQ(result.error, kPelornOk);
  EXPECT_EQ(progressCalls, (std::vector<std::pair<int32_t, int32_t>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}}));

  progressCalls.clear();
  stopAfter = 1;
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  result = ReadFile(file);
  SetProgressCallback(nullptr);
  EXPECT_EQ(result.error, kPelornCancelled);
  EXPECT_FALSE(result.gotBlock);
  EXPECT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
}

// --- Palette -------------------------------------------------------------------------------

TEST(PcxPalette, VgaPaletteAtTheEndMapsEachIndex) {
  PcxFile file = EightBitRamp(4, 1);
  std::vector<uint8_t> colors;
  for (int i = 0; i < 256; ++i) {
    colors.insert(colors.end(), {static_cast<uint8_t>(i * 3), static_cast<uint8_t>(255 - i),
                                 static_cast<uint8_t>(i ^ 0x33)});
  }
  file.SetVgaPalette(colors);
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({0, 255, 0x33, 3, 254, 0x32, 6, 253, 0x31, 9, 252, 0x30}));

  // Only version 5 files have one: the same bytes in a version 3 file are
  // data nobody reads, and the picture is grey.
  file.version = 3;
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3}));
}

TEST(PcxPalette, WithoutTheMarkerIndicesAreGrey) {
  PcxFile file = EightBitRamp(3, 1);
  file.SetVgaPalette(std::vector<uint8_t>(768, 0x99));
  file.trailer[0] = 13;
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({0, 0, 0, 1, 1, 1, 2, 2, 2}));
}

TEST(PcxPalette, FileShorterThanThePaletteTrailerIsGrey) {
  // The marker test seeks 769 bytes back from the end; in a
  // 140-byte file there is nothing there, and the grey ramp stands.
  PcxFile file = EightBitRamp(3, 2);
  ASSERT_LT(file.Bytes().size(), 769u);
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5}));
}

TEST(PcxPalette, SixteenColourPlanesUseTheHeaderColours) {
  // 4 planes of 1 bit; plane k gives bit k of the index.
  PcxFile file;
  file.bitsPerPixel = 1;
  file.planeCount = 4;
  file.SetSize(8, 1);
  file.bytesPerLine = 1;
  for (int i = 0; i < 16; ++i) file.SetHeaderColor(i, static_cast<uint8_t>(i * 16), 7, static_cast<uint8_t>(255 - i));
  // Pixels 0..7 get indices 0, 1, 2, 4, 8, 15, 5, 10.
  file.data = EncodeLine({0b01000110, 0b00100101, 0b00010110, 0b00001101});
  std::vector<uint8_t> expected;
  for (int index : {0, 1, 2, 4, 8, 15, 5, 10}) {
    expected.insert(expected.end(), {static_cast<uint8_t>(index * 16), 7, static_cast<uint8_t>(255 - index)});
  }
  EXPECT_EQ(ReadFile(file).picture.rgb, expected);
}

TEST(PcxPalette, FourBitSinglePlaneUsesTheHeaderColours) {
  PcxFile file;
  file.bitsPerPixel = 4;
  file.SetSize(3, 1);
  file.bytesPerLine = 2;
  file.SetHeaderColor(0x1, 10, 20, 30);
  file.SetHeaderColor(0xA, 40, 50, 60);
  file.SetHeaderColor(0xF, 70, 80, 90);
  file.data = EncodeLine({0x1A, 0xF0});
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({10, 20, 30, 40, 50, 60, 70, 80, 90}));
}

TEST(PcxPalette, MonochromeWithEqualHeaderColoursIsBlackAndWhite) {
  // With colours 0 and 1 both zero the picture would be one flat black; such
  // files are shown black (0) and white (1).
  PcxFile file;
  file.bitsPerPixel = 1;
  file.SetSize(4, 1);
  file.bytesPerLine = 1;
  file.data = EncodeLine({0b10100000});
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0}));
  file.SetHeaderColor(0, 9, 9, 9);
  file.SetHeaderColor(1, 9, 9, 9);
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({255, 255, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0}));

  // Distinct header colours are kept.
  file.SetHeaderColor(0, 0, 0, 128);
  file.SetHeaderColor(1, 255, 255, 0);
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({255, 255, 0, 0, 0, 128, 255, 255, 0, 0, 0, 128}));
}

// --- Scan lines and planes --------------------------------------------------------------------

TEST(PcxScanLines, MonochromeThirteenWideUsesTheSecondByte) {
  PcxFile file;
  file.bitsPerPixel = 1;
  file.SetSize(13, 1);
  file.bytesPerLine = 2;
  file.SetHeaderColor(1, 255, 255, 255);
  file.data = EncodeLine({0b11110000, 0b10101111});
  std::vector<uint8_t> expected;
  for (int bit : {1, 1, 1, 1, 0, 0, 0, 0, 1, 0, 1, 0, 1}) {
    expected.insert(expected.end(), 3, static_cast<uint8_t>(bit ? 255 : 0));
  }
  EXPECT_EQ(ReadFile(file).picture.rgb, expected);
}

TEST(PcxScanLines, RunsStopAtTheEndOfTheLine) {
  // A run of 5 starting 2 bytes before the end fills those 2; the next line
  // starts with a fresh byte.
  PcxFile file;
  file.SetSize(4, 2);
  file.bytesPerLine = 4;
  file.data = {1, 2, 0xC5, 7, 3, 4, 5, 6};
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({1, 1, 1, 2, 2, 2, 7, 7, 7, 7, 7, 7, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}));

  // A count of 0 writes nothing; a counted value may be any byte.
  file.data = {0xC0, 99, 0xC1, 0xC8, 0xC2, 0, 9, 0xC4, 200};
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({0xC8, 0xC8, 0xC8, 0, 0, 0, 0, 0, 0, 9, 9, 9, 200, 200, 200, 200, 200, 200, 200, 200, 200,
                 200, 200, 200}));
}

TEST(PcxScanLines, ThreePlanesGiveRedGreenBlue) {
  PcxFile file;
  file.planeCount = 3;
  file.SetSize(3, 2);
  file.bytesPerLine = 4;  // one padding byte per plane
  file.AddLine({10, 11, 12, 0xEE, 20, 21, 22, 0xEE, 30, 31, 32, 0xEE});
  file.AddLine({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0});
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({10, 20, 30, 11, 21, 31, 12, 22, 32, 1, 4, 7, 2, 5, 8, 3, 6, 9}));

  // Four planes: the alpha plane is ignored.
  file.planeCount = 4;
  file.data.clear();
  file.AddLine({10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0, 1, 2, 3, 0});
  file.AddLine({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0});
  EXPECT_EQ(ReadFile(file).picture.rgb,
            Rgb({10, 20, 30, 11, 21, 31, 12, 22, 32, 1, 4, 7, 2, 5, 8, 3, 6, 9}));

  // Encoding 0: the lines are stored as they are, so bytes with both top bits
  // set are pixels, not counts; a stored line cut short is code 22.
  file.encoding = 0;
  file.data.clear();
  file.AddLine({0xC1, 0xC2, 0xFF, 0, 0xD0, 0xD1, 0xD2, 0, 0xE0, 0xE1, 0xE2, 0, 0xFF, 0, 0, 0});
  file.AddLine({1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0, 0, 0, 0});
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({0xC1, 0xD0, 0xE0, 0xC2, 0xD1, 0xE1, 0xFF, 0xD2, 0xE2,
                                             1, 4, 7, 2, 5, 8, 3, 6, 9}));
  file.data.resize(file.data.size() - 1);
  EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx);
}

TEST(PcxScanLines, OriginIsSubtractedFromTheSize) {
  PcxFile file;
  file.xmin = 10;
  file.xmax = 19;
  file.ymin = 3;
  file.ymax = 4;
  file.bytesPerLine = 10;
  file.AddLine(std::vector<uint8_t>(10, 1));
  file.AddLine(std::vector<uint8_t>(10, 2));
  const Result result = ReadFile(file);
  ASSERT_EQ(result.error, kPelornOk);
  EXPECT_EQ(result.width, 10u);
  EXPECT_EQ(result.height, 2u);
}

TEST(PcxScanLines, ShortBytesPerLineReadsZeroPastThePlane) {
  // 2 bytes per line for 4 pixels per plane. Each plane's
  // bytes past its second read as 0 (palette entry 0), never as the next
  // plane's bytes or past the line buffer.
  PcxFile file;
  file.planeCount = 3;
  file.SetSize(4, 1);
  file.bytesPerLine = 2;
  file.AddLine({10, 11, 20, 21, 30, 31});
  EXPECT_EQ(ReadFile(file).picture.rgb, Rgb({10, 20, 30, 11, 21, 31, 0, 0, 0, 0, 0, 0}));

  PcxFile indexed;
  indexed.SetSize(5, 2);
  indexed.bytesPerLine = 2;
  indexed.AddLine({7, 8});
  indexed.AddLine({9, 10});
  EXPECT_EQ(ReadFile(indexed).picture.rgb,
            Rgb({7, 7, 7, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 10, 10, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  // No bytes per line at all: nothing is read, every pixel is entry 0.
  indexed.bytesPerLine = 0;
  indexed.data.clear();
  indexed.SetVgaPalette({40, 50, 60});
  const Result empty = ReadFile(indexed);
  ASSERT_EQ(empty.error, kPelornOk);
  for (size_t i = 0; i < empty.picture.rgb.size(); i += 3) {
    EXPECT_EQ(Rgb({empty.picture.rgb[i], empty.picture.rgb[i + 1], empty.picture.rgb[i + 2]}),
              Rgb({40, 50, 60}));
  }
}

TEST(PcxScanLines, TwoAndThreeBitPicturesStayBlack) {
  for (auto [bits, planes] : {std::pair<int, int>{2, 1}, {1, 2}, {1, 3}, {4, 2}, {8, 2}}) {
    PcxFile file;
    file.bitsPerPixel = static_cast<uint8_t>(bits);
    file.planeCount = static_cast<uint8_t>(planes);
    file.SetSize(8, 2);
    file.bytesPerLine = 2;
    for (int i = 0; i < 16; ++i) file.SetHeaderColor(i, 200, 200, 200);
    file.AddLine(std::vector<uint8_t>(size_t(2 * planes), 0x5A));
    file.AddLine(std::vector<uint8_t>(size_t(2 * planes), 0xA5));
    const Result result = ReadFile(file);
    ASSERT_EQ(result.error, kPelornOk) << bits << "x" << planes;
    EXPECT_EQ(result.picture.rgb, std::vector<uint8_t>(8 * 2 * 3, 0)) << bits << "x" << planes;
    // The scan lines are still read: a short file still fails.
    file.data.pop_back();
    EXPECT_EQ(FailureCode(file.Bytes()), kPelornBadPcx) << bits << "x" << planes;
  }
}

// --- The public corpus ------------------------------------------------------------------------

const std::map<std::string, PelornError>& ExpectedFailures() {
  static const std::map<std::string, PelornError> failures = {
      {"kimg_ICONDOC.pcx", kPelornBadPcx},  // version 4
  };
  return failures;
}

TEST(PcxCorpus, EveryFileDecodesOrFailsWithACode) {
  const std::vector<std::string> names = testing_support::CorpusFiles("pcx");
  ASSERT_GE(names.size(), 30u);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  for (const std::string& name : names) {
    const Result result = ReadPath(testing_support::CorpusPath("pcx", name));
    const auto failure = ExpectedFailures().find(name);
    if (failure != ExpectedFailures().end()) {
      EXPECT_EQ(result.error, failure->second) << name;
      EXPECT_FALSE(result.gotBlock) << name;
    } else {
      EXPECT_EQ(result.error, kPelornOk) << name;
      EXPECT_TRUE(result.gotBlock) << name;
    }
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
}

struct PcxFacts {
  int bitsPerPixel = 0;
  int planeCount = 0;
  uint8_t color0[3] = {};
  uint8_t color1[3] = {};
};

PcxFacts FactsOf(const std::vector<uint8_t>& bytes) {
  PcxFacts facts;
  if (bytes.size() < 128) return facts;
  facts.bitsPerPixel = bytes[3];
  facts.planeCount = bytes[65];
  std::copy(bytes.begin() + 16, bytes.begin() + 19, facts.color0);
  std::copy(bytes.begin() + 19, bytes.begin() + 22, facts.color1);
  return facts;
}

// The suite's reference PNG where there is one, else Pillow, else ImageMagick
// (which must give the size we give).
std::string ReferencePng(const std::string& name) {
  return testing_support::CorpusPath("pcx", "ref/" + name.substr(0, name.size() - 4) + ".png");
}

std::optional<Picture> Reference(const testing_support::ReferenceBatch& decodes,
                                 const std::string& name, uint32_t width, uint32_t height) {
  const std::string path = ReferencePng(name);
  if (!testing_support::ReadWholeFile(path).empty()) return decodes.Decode(path);
  const std::string file = testing_support::CorpusPath("pcx", name);
  std::optional<Picture> pillow = decodes.Decode(file);
  if (pillow) return pillow;
  return testing_support::MagickDecode(file, width, height);
}

// A model of an 8-bit single-plane file without the palette marker: the
// run-length scan lines give each pixel's index, shown as that grey level;
// pixels past bytes-per-line have no byte and stay black. A run reaching
// past the line's end is cut there.
std::optional<Picture> EightBitGreyModel(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 128 || bytes[3] != 8 || bytes[65] != 1) return std::nullopt;
  auto word = [&bytes](size_t at) { return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8); };
  Picture picture;
  picture.width = word(8) - word(4) + 1;
  picture.height = word(10) - word(6) + 1;
  const size_t bytesPerLine = word(66);
  size_t at = 128;
  for (uint32_t y = 0; y < picture.height; ++y) {
    std::vector<uint8_t> line;
    while (line.size() < bytesPerLine) {
      if (at >= bytes.size()) return std::nullopt;
      const uint8_t code = bytes[at++];
      if (code < 0xC0) {
        line.push_back(code);
      } else if (at < bytes.size()) {
        line.insert(line.end(), code & 0x3F, bytes[at++]);
      }
    }
    for (uint32_t x = 0; x < picture.width; ++x) {
      picture.rgb.insert(picture.rgb.end(), 3, x < bytesPerLine ? line[x] : 0);
    }
  }
  return picture;
}

// Compares every good file with the independent decode, after applying this
// reader's own rules:
// - 1-bit single-plane files show header colours 0 and 1 (black and white
//   when those are equal), where Pillow and the references always give black
//   and white: the reference's black and white are mapped to those colours;
// - 2-bit (CGA) pictures stay black;
// - Pillow 9 finds the planes of a planar 1-bit row (width + 7) / 8 bytes
//   apart rather than bytes-per-line apart, so for pillow_p_4_planes (1 pixel,
//   2 bytes per line) it reads planes 0 and 2 (index 5) where plane k starts at
//   k x bytes-per-line (index 3): that file is compared with ImageMagick;
// - pillow_01r_00 (88 pixels wide, 12 bytes per line: the rest of each row
//   is black here) is read by no other decoder here (netpbm cuts it to 12
//   pixels and then refuses it for want of a palette), so it is compared
//   with the model above.
TEST(PcxCorpus, GoodFilesMatchAnIndependentDecode) {
  int compared = 0;
  std::vector<std::string> withoutReference;
  std::vector<std::string> candidates;
  for (const std::string& name : testing_support::CorpusFiles("pcx")) {
    candidates.push_back(testing_support::CorpusPath("pcx", name));
    if (!testing_support::ReadWholeFile(ReferencePng(name)).empty()) candidates.push_back(ReferencePng(name));
  }
  const testing_support::ReferenceBatch decodes(candidates);
  for (const std::string& name : testing_support::CorpusFiles("pcx")) {
    if (ExpectedFailures().count(name) != 0) continue;
    const std::string path = testing_support::CorpusPath("pcx", name);
    const PcxFacts facts = FactsOf(testing_support::ReadWholeFile(path));
    const Result ours = ReadPath(path);
    ASSERT_EQ(ours.error, kPelornOk) << name;
    if (facts.bitsPerPixel * facts.planeCount == 2) {
      EXPECT_EQ(ours.picture.rgb, std::vector<uint8_t>(ours.picture.rgb.size(), 0)) << name;
      ++compared;
      continue;
    }
    std::optional<Picture> reference;
    if (name == "pillow_p_4_planes.pcx") {
      reference = testing_support::MagickDecode(path, ours.picture.width, ours.picture.height);
    } else if (name == "pillow_01r_00.pcx") {
      reference = EightBitGreyModel(testing_support::ReadWholeFile(path));
    } else {
      reference = Reference(decodes, name, ours.picture.width, ours.picture.height);
    }
    if (!reference) {
      withoutReference.push_back(name);
      continue;
    }
    ASSERT_EQ(ours.picture.width, reference->width) << name;
    ASSERT_EQ(ours.picture.height, reference->height) << name;
    if (facts.bitsPerPixel == 1 && facts.planeCount == 1 &&
        !std::equal(facts.color0, facts.color0 + 3, facts.color1)) {
      for (size_t i = 0; i + 2 < reference->rgb.size(); i += 3) {
        const uint8_t* color = reference->rgb[i] != 0 ? facts.color1 : facts.color0;
        std::copy(color, color + 3, reference->rgb.begin() + static_cast<long>(i));
      }
    }
    const auto difference = testing_support::Compare(ours.picture, *reference);
    EXPECT_EQ(difference.differingBytes, 0u) << name << " max delta " << difference.maxDelta;
    ++compared;
  }
  EXPECT_GE(compared, 28);
  EXPECT_EQ(withoutReference, std::vector<std::string>{});
}

// --- Golden list ------------------------------------------------------------------------------
// tests/golden/pcx.txt: one line per corpus file (tests/tools/make_golden.sh).
TEST(PcxCorpus, GoldenList) {
  std::string lines;
  for (const std::string& name : testing_support::CorpusFiles("pcx")) {
    const Result result = ReadPath(testing_support::CorpusPath("pcx", name));
    lines += testing_support::GoldenLine(name, result.picture.width, result.picture.height,
                                         result.error, result.gotBlock ? &result.picture.rgb : nullptr);
  }
  testing_support::ExpectGoldenList("pcx", lines);
}

}  // namespace
