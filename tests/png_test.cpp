// PNG codec: the public corpus against an independent decode with the
// reader's rules applied (tests/tools/png_expected.py) and against Pillow,
// the golden list, crafted files for each transformation, text and pHYs
// bookkeeping, the writers read back by Pillow with their chunks parsed,
// failures, cancellation and out-of-memory paths.
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/codecs/png.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/test_hooks.h"
#include "support/test_support.h"

namespace {

using testing_support::Checksum;
using testing_support::CorpusFiles;
using testing_support::CorpusPath;
using testing_support::ExpectGoldenList;
using testing_support::GoldenLine;
using testing_support::Picture;
using testing_support::ReadWholeFile;
using testing_support::TakePicture;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

constexpr double kDisplayGamma = 2.9;

struct ReadOutcome {
  PelornError code = 0;
  Picture picture;
  bool gotBlock = false;
};

ReadOutcome ReadPng(const std::string& path) {
  ReadOutcome outcome;
  uint32_t width = 7, height = 7;
  HGLOBAL block = ReadPngFile(path.c_str(), &width, &height);
  outcome.code = GetLastImageError();
  if (block != nullptr) {
    outcome.gotBlock = true;
    EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(width) * height * 3) << path;
    outcome.picture = TakePicture(block, width, height);
  } else {
    EXPECT_EQ(width, 0u) << path;
    EXPECT_EQ(height, 0u) << path;
  }
  return outcome;
}

// --- Crafted files, written with libpng directly ----------------------------------

struct TestPng {
  int width = 1;
  int height = 1;
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_RGB;
  bool interlaced = false;
  std::vector<std::vector<uint8_t>> rows;  // packed rows as the file stores them
  std::vector<png_color> palette;
  std::vector<uint8_t> transparentAlpha;     // palette tRNS
  std::optional<png_color_16> transparentColor;
  std::optional<png_color_16> background;
  double gamma = 0.0;
  std::optional<std::array<uint32_t, 3>> physical;
  std::vector<std::pair<std::string, std::string>> textsBefore;  // tEXt before IDAT
  std::vector<std::pair<std::string, std::string>> zTextsAfter;  // zTXt after IDAT
};

bool WriteTestPngStage(png_structp png, png_infop info, FILE* file, const TestPng& spec,
                       png_bytepp rows, png_textp before, png_textp after) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) {
    png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
  }
  if (!spec.transparentAlpha.empty() || spec.transparentColor) {
    png_set_tRNS(png, info, spec.transparentAlpha.data(),
                 static_cast<int>(spec.transparentAlpha.size()),
                 spec.transparentColor ? &*spec.transparentColor : nullptr);
  }
  if (spec.background) png_set_bKGD(png, info, &*spec.background);
  if (spec.gamma > 0) png_set_gAMA(png, info, spec.gamma);
  if (spec.physical) {
    png_set_pHYs(png, info, (*spec.physical)[0], (*spec.physical)[1],
                 static_cast<int>((*spec.physical)[2]));
  }
  if (!spec.textsBefore.empty()) png_set_text(png, info, before, static_cast<int>(spec.textsBefore.size()));
  png_write_info(png, info);
  png_write_image(png, rows);
  if (!spec.zTextsAfter.empty()) png_set_text(png, info, after, static_cast<int>(spec.zTextsAfter.size()));
  png_write_end(png, info);
  return true;
}

bool WriteTestPng(const std::string& path, const TestPng& spec) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (const auto& row : spec.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  std::vector<png_text> before(spec.textsBefore.size()), after(spec.zTextsAfter.size());
  for (size_t i = 0; i < before.size(); ++i) {
    before[i] = png_text{};
    before[i].compression = PNG_TEXT_COMPRESSION_NONE;
    before[i].key = const_cast<char*>(spec.textsBefore[i].first.c_str());
    before[i].text = const_cast<char*>(spec.textsBefore[i].second.c_str());
  }
  for (size_t i = 0; i < after.size(); ++i) {
    after[i] = png_text{};
    after[i].compression = PNG_TEXT_COMPRESSION_zTXt;
    after[i].key = const_cast<char*>(spec.zTextsAfter[i].first.c_str());
    after[i].text = const_cast<char*>(spec.zTextsAfter[i].second.c_str());
  }
  const bool written = WriteTestPngStage(png, info, file, spec, rows.data(), before.data(), after.data());
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  return written;
}

// Chunks of a PNG file, in order, as (type, data).
std::vector<std::pair<std::string, std::vector<uint8_t>>> ParseChunks(const std::vector<uint8_t>& bytes) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> chunks;
  size_t position = 8;
  while (position + 12 <= bytes.size()) {
    const uint32_t length = (uint32_t{bytes[position]} << 24) | (uint32_t{bytes[position + 1]} << 16) |
                            (uint32_t{bytes[position + 2]} << 8) | bytes[position + 3];
    if (position + 12 + length > bytes.size()) break;
    std::string type(bytes.begin() + position + 4, bytes.begin() + position + 8);
    std::vector<uint8_t> data(bytes.begin() + position + 8, bytes.begin() + position + 8 + length);
    // (zlib answers 0 for a null buffer, so the type and data are summed from the file.)
    const uint32_t crc = static_cast<uint32_t>(crc32(0, bytes.data() + position + 4, 4 + length));
    const size_t crcAt = position + 8 + length;
    const uint32_t stored = (uint32_t{bytes[crcAt]} << 24) | (uint32_t{bytes[crcAt + 1]} << 16) |
                            (uint32_t{bytes[crcAt + 2]} << 8) | bytes[crcAt + 3];
    EXPECT_EQ(crc, stored) << "CRC of " << type;
    chunks.emplace_back(type, data);
    position += 12 + length;
  }
  return chunks;
}

uint32_t BigEndian32(const std::vector<uint8_t>& data, size_t at) {
  return (uint32_t{data[at]} << 24) | (uint32_t{data[at + 1]} << 16) | (uint32_t{data[at + 2]} << 8) |
         data[at + 3];
}

// One chunk as a file stores it: length, type, data, CRC.
std::vector<uint8_t> EncodedChunk(const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> bytes;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(length >> shift));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  bytes.insert(bytes.end(), typed.begin(), typed.end());
  const uint32_t crc = static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size())));
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(crc >> shift));
  return bytes;
}

// The file with the chunk put right after its IHDR (signature 8 bytes, IHDR 25).
std::vector<uint8_t> WithChunkAfterHeader(std::vector<uint8_t> png, const char* type,
                                          const std::vector<uint8_t>& data) {
  const std::vector<uint8_t> chunk = EncodedChunk(type, data);
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());
  return png;
}

// A PNG signature and an IHDR chunk of the given size, then IEND: enough for
// the header checks.
std::vector<uint8_t> HeaderOnlyPng(uint32_t width, uint32_t height) {
  std::vector<uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto chunk = [&bytes](const char* type, const std::vector<uint8_t>& data) {
    const std::vector<uint8_t> encoded = EncodedChunk(type, data);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  };
  std::vector<uint8_t> ihdr;
  for (uint32_t value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) ihdr.push_back(static_cast<uint8_t>(value >> shift));
  }
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  chunk("IHDR", ihdr);
  chunk("IDAT", {0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  chunk("IEND", {});
  return bytes;
}

int CorrectedLevel(int value, double fileGamma) {
  return static_cast<int>(std::floor(255.0 * std::pow(value / 255.0, 1.0 / (fileGamma * kDisplayGamma)) + 0.5));
}

// --- Progress callbacks ----------------------------------------------------------

int progressCalls = 0;
int32_t CountProgress(int32_t, int32_t) {
  ++progressCalls;
  return 1;
}
int32_t StopAtOnce(int32_t, int32_t) {
  ++progressCalls;
  return 0;
}
int32_t StopAtThird(int32_t, int32_t) { return ++progressCalls < 3; }

class ProgressScope {
 public:
  explicit ProgressScope(PelornProgressCallback callback) {
    progressCalls = 0;
    SetProgressCallback(callback);
  }
  ~ProgressScope() { SetProgressCallback(nullptr); }
};

// =================================================================================
// Corpus
// =================================================================================

// The independent decode of every corpus file with the reader's rules, and
// Pillow's, made once per build (the reference_decodes target).
class PngCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    expectedDir_ = new std::string(TESSARY_REFERENCE_DIR "/png");
    ASSERT_TRUE(std::ifstream(TESSARY_REFERENCE_DIR "/png.stamp").good())
        << "the reference decodes are made by the build (target reference_decodes)";
  }

  // Pillow's decode of a corpus file, if it has one.
  static std::optional<Picture> PillowDecode(const std::string& name) {
    std::ifstream in(*expectedDir_ + "/" + name + ".pil", std::ios::binary);
    if (!in) return std::nullopt;
    Picture picture;
    std::string line;
    std::getline(in, line);
    std::istringstream header(line);
    header >> picture.width >> picture.height;
    picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    return picture;
  }
  static void TearDownTestSuite() {
    delete expectedDir_;
    expectedDir_ = nullptr;
  }

  struct Expected {
    uint32_t width = 0, height = 0;
    std::string kind;
    std::vector<uint8_t> rgb;        // ideal result
    std::vector<uint8_t> low, high;  // bounds per byte ("gamma" only)
  };
  static Expected ExpectedFor(const std::string& name) {
    Expected expected;
    std::ifstream in(*expectedDir_ + "/" + name + ".rgb", std::ios::binary);
    std::string line;
    std::getline(in, line);
    std::istringstream header(line);
    header >> expected.width >> expected.height >> expected.kind;
    const size_t bytes = static_cast<size_t>(expected.width) * expected.height * 3;
    for (std::vector<uint8_t>* plane : {&expected.rgb, &expected.low, &expected.high}) {
      if (plane != &expected.rgb && expected.kind != "gamma") break;
      plane->resize(bytes);
      in.read(reinterpret_cast<char*>(plane->data()), static_cast<std::streamsize>(bytes));
    }
    return expected;
  }

  static std::string* expectedDir_;
};
std::string* PngCorpus::expectedDir_ = nullptr;

TEST_F(PngCorpus, CorruptPngSuiteFilesFailWithACodeAndLeaveNothing) {
  int corrupt = 0;
  for (const std::string& name : CorpusFiles("png")) {
    if (name.rfind("pngsuite_x", 0) != 0) continue;
    ++corrupt;
    const int64_t liveBefore = platform::LiveGlobalBlocks();
    ReadOutcome outcome = ReadPng(CorpusPath("png", name));
    EXPECT_FALSE(outcome.gotBlock) << name;
    EXPECT_EQ(outcome.code, kPelornPngReadError) << name;
    EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore) << name;
  }
  EXPECT_EQ(corrupt, 14);
}

// Every good file decodes to what the reader's rules give on an independent
// decode. Without gamma correction the compositing follows libpng's integer
// formula and must match exactly. With gamma each byte must lie within the
// bounds the reference gives: the ideal value over the precision of libpng's
// tables (16-bit samples index them by their high byte; partly transparent
// pixels are composited as linear values of about 8 bits), +-1 for rounding.
// A wrong background, a missing correction or a wrong gamma falls far out.
TEST_F(PngCorpus, GoodFilesMatchTheIndependentDecodeWithTheReadersRules) {
  int exact = 0, corrected = 0, skipped = 0;
  for (const std::string& name : CorpusFiles("png")) {
    if (name.rfind("pngsuite_x", 0) == 0) continue;
    const Expected expected = ExpectedFor(name);
    if (expected.kind == "skip") {
      ++skipped;
      continue;
    }
    ReadOutcome outcome = ReadPng(CorpusPath("png", name));
    ASSERT_EQ(outcome.code, kPelornOk) << name;
    ASSERT_EQ(outcome.picture.width, expected.width) << name;
    ASSERT_EQ(outcome.picture.height, expected.height) << name;
    const std::vector<uint8_t>& ours = outcome.picture.rgb;
    if (expected.kind == "exact") {
      ++exact;
      EXPECT_EQ(ours, expected.rgb) << name;
      continue;
    }
    ++corrected;
    size_t outside = 0, first = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
      if (ours[i] < expected.low[i] || ours[i] > expected.high[i]) {
        if (outside++ == 0) first = i;
      }
    }
    EXPECT_EQ(outside, 0u) << name << ": byte " << first << " is " << int(ours[first]) << ", ideal "
                           << int(expected.rgb[first]) << ", bounds " << int(expected.low[first])
                           << ".." << int(expected.high[first]);
  }
  // Most of the corpus is compared; the skipped files are the damaged ones.
  EXPECT_GE(exact, 95);
  EXPECT_GE(corrected, 190);
  EXPECT_LE(skipped, 33);
}

// Opaque files decode as Pillow decodes them: exactly without gamma
// correction; with it, Pillow's samples through the correction
// 255 * (v / 255) ^ (1 / (file gamma * 2.9)) within 1 (libpng rounds its
// exponent to five digits). 16-bit grey is left out (Pillow clips it instead
// of scaling), and so are 16-bit files with gamma (libpng's tables index
// them by the high byte; the independent decode above covers both).
TEST_F(PngCorpus, OpaqueFilesMatchPillow) {
  int plain = 0, corrected = 0;
  for (const std::string& name : CorpusFiles("png")) {
    if (name.rfind("pngsuite_x", 0) == 0) continue;
    const Expected expected = ExpectedFor(name);
    if (expected.kind == "skip") continue;
    const std::vector<uint8_t> bytes = ReadWholeFile(CorpusPath("png", name));
    const int bitDepth = bytes[24], colorType = bytes[25];
    if (colorType == 4 || colorType == 6) continue;
    if (bitDepth == 16 && (colorType == 0 || expected.kind == "gamma")) continue;
    // Indices past the end of a short palette: libpng gives black, Pillow
    // its own default entries.
    if (name.find("badpal") != std::string::npos) continue;
    bool opaque = true;
    double fileGamma = 0.0;
    for (const auto& chunk : ParseChunks(bytes)) {
      if (chunk.first == "tRNS") opaque = false;
      if (chunk.first == "gAMA" && fileGamma == 0.0) fileGamma = BigEndian32(chunk.second, 0) / 100000.0;
    }
    if (!opaque) continue;
    auto reference = PillowDecode(name);
    if (!reference) continue;
    ReadOutcome outcome = ReadPng(CorpusPath("png", name));
    ASSERT_EQ(outcome.code, kPelornOk) << name;
    ASSERT_EQ(outcome.picture.rgb.size(), reference->rgb.size()) << name;
    if (expected.kind == "exact") {
      EXPECT_EQ(outcome.picture.rgb, reference->rgb) << name;
      ++plain;
      continue;
    }
    int worst = 0;
    for (size_t i = 0; i < reference->rgb.size(); ++i) {
      worst = std::max(worst, std::abs(outcome.picture.rgb[i] - CorrectedLevel(reference->rgb[i], fileGamma)));
    }
    EXPECT_LE(worst, 1) << name;
    ++corrected;
  }
  std::printf("compared with Pillow: %d plain, %d corrected\n", plain, corrected);
  EXPECT_GE(plain, 30);
  EXPECT_GE(corrected, 60);
}

// The files the independent decode skips (a chunk cut short or with a wrong
// CRC, a damaged data stream) follow netpbm's pngtopam, another libpng
// program that also reads to the end chunk: refused where it fails, its
// pixels where it gives a picture (libpng only warns about damaged
// ancillary chunks and leaves them out).
TEST_F(PngCorpus, FilesTheIndependentDecodeSkipsFollowPngtopam) {
  int refused = 0, decoded = 0;
  for (const std::string& name : CorpusFiles("png")) {
    if (name.rfind("pngsuite_x", 0) == 0) continue;
    std::string header;
    std::getline(std::ifstream(*expectedDir_ + "/" + name + ".rgb"), header);
    if (header.find(" skip") == std::string::npos) continue;
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("png", name);
    const ReadOutcome outcome = ReadPng(path);
    // In 300 MB libpng gives its read error on the huge-chunk files at once
    // instead of first filling a block of the length the chunk claims.
    const std::optional<Picture> peer = testing_support::NetpbmDecode("ulimit -v 300000; pngtopam", path);
    if (!peer) {
      EXPECT_FALSE(outcome.gotBlock);
      EXPECT_EQ(outcome.code, kPelornPngReadError);
      ++refused;
      continue;
    }
    ASSERT_EQ(outcome.code, kPelornOk);
    ASSERT_EQ(outcome.picture.width, peer->width);
    ASSERT_EQ(outcome.picture.height, peer->height);
    EXPECT_TRUE(outcome.picture.rgb == peer->rgb) << "pngtopam's pixels differ";
    ++decoded;
  }
  EXPECT_GE(refused, 15);
  EXPECT_GE(decoded, 3);
}

// tests/golden/png.txt: one line per corpus file (tests/tools/make_golden.sh).
TEST(PngGolden, CorpusMatchesTheGoldenList) {
  std::string lines;
  for (const std::string& name : CorpusFiles("png")) {
    ReadOutcome outcome = ReadPng(CorpusPath("png", name));
    lines += GoldenLine(name, outcome.picture.width, outcome.picture.height, outcome.code,
                        outcome.gotBlock ? &outcome.picture.rgb : nullptr);
  }
  ExpectGoldenList("png", lines);
}

// =================================================================================
// Read transformations
// =================================================================================

TEST(PngRead, SixteenBitRgbaWithBkgdIsCompositedOntoTheFilesBackground) {
  TestPng spec;
  spec.width = 3;
  spec.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  spec.bitDepth = 16;
  // Opaque red, fully transparent, half-transparent white.
  spec.rows = {{0xff, 0xff, 0, 0, 0, 0, 0xff, 0xff, 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0, 0,
                0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x80, 0x00}};
  png_color_16 background{};
  background.red = 0x0000;
  background.green = 0x8000;
  background.blue = 0xffff;
  spec.background = background;
  const std::string path = TempDir() + "/bkgd16.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ReadOutcome outcome = ReadPng(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  const std::vector<uint8_t> expected = {255, 0, 0, 0, 128, 255, 127, 191, 255};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(outcome.picture.rgb[i], expected[i], 1) << i;
  }
}

TEST(PngRead, OneBitGreyMapsZeroToBlackAndOneToWhite) {
  TestPng spec;
  spec.width = 10;
  spec.colorType = PNG_COLOR_TYPE_GRAY;
  spec.bitDepth = 1;
  spec.rows = {{0xa5, 0x80}};  // 1010 0101 10
  const std::string path = TempDir() + "/grey1.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ReadOutcome outcome = ReadPng(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  const int bits[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 0};
  for (int x = 0; x < 10; ++x) {
    for (int c = 0; c < 3; ++c) EXPECT_EQ(outcome.picture.rgb[x * 3 + c], bits[x] ? 255 : 0) << x;
  }
}

TEST(PngRead, PaletteWithTrnsAndNoBkgdIsCompositedOntoBlack) {
  TestPng spec;
  spec.width = 3;
  spec.colorType = PNG_COLOR_TYPE_PALETTE;
  spec.palette = {{200, 100, 50}, {10, 20, 30}, {250, 250, 250}};
  spec.transparentAlpha = {0, 128};  // entry 0 clear, entry 1 half, entry 2 opaque
  spec.rows = {{0, 1, 2}};
  const std::string path = TempDir() + "/paltrns.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ReadOutcome outcome = ReadPng(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  const std::vector<uint8_t> expected = {0, 0, 0, 5, 10, 15, 250, 250, 250};
  EXPECT_EQ(outcome.picture.rgb, expected);
}

TEST(PngRead, GammaIsCorrectedOnlyWhenTheFileHasGama) {
  TestPng spec;
  spec.width = 4;
  spec.rows = {{0, 0, 0, 64, 64, 64, 128, 128, 128, 255, 200, 30}};
  const std::string plainPath = TempDir() + "/nogama.png";
  ASSERT_TRUE(WriteTestPng(plainPath, spec));
  spec.gamma = 0.45455;
  const std::string gammaPath = TempDir() + "/gama.png";
  ASSERT_TRUE(WriteTestPng(gammaPath, spec));

  ReadOutcome plain = ReadPng(plainPath);
  ASSERT_EQ(plain.code, kPelornOk);
  EXPECT_EQ(plain.picture.rgb, spec.rows[0]);

  ReadOutcome corrected = ReadPng(gammaPath);
  ASSERT_EQ(corrected.code, kPelornOk);
  for (size_t i = 0; i < spec.rows[0].size(); ++i) {
    EXPECT_NEAR(corrected.picture.rgb[i], CorrectedLevel(spec.rows[0][i], 0.45455), 1) << i;
  }
  EXPECT_GT(corrected.picture.rgb[3], 64 + 20);  // mid-tones visibly brighter
}

// libpng reports an sRGB chunk as gamma 0.45455 as if it were gAMA; only a
// gAMA chunk gives the file gamma. sRGB alone: no correction. sRGB followed
// by gAMA 1.0: corrected for 1.0, not for sRGB's 0.45455.
TEST(PngRead, FileGammaComesFromTheGamaChunkAloneNotFromSrgb) {
  TestPng spec;
  spec.width = 4;
  spec.rows = {{0, 0, 0, 64, 64, 64, 128, 128, 128, 255, 200, 30}};
  const std::string plainPath = TempDir() + "/plain-for-srgb.png";
  ASSERT_TRUE(WriteTestPng(plainPath, spec));
  const std::vector<uint8_t> plain = ReadWholeFile(plainPath);
  const std::vector<uint8_t> srgbOnly = WithChunkAfterHeader(plain, "sRGB", {0});
  const std::vector<uint8_t> srgbAndGama =
      WithChunkAfterHeader(WithChunkAfterHeader(plain, "gAMA", {0, 1, 0x86, 0xA0}), "sRGB", {0});
  ASSERT_EQ(ParseChunks(srgbAndGama)[1].first, "sRGB");
  ASSERT_EQ(ParseChunks(srgbAndGama)[2].first, "gAMA");

  const std::string srgbPath = TempDir() + "/srgb-only.png";
  ASSERT_TRUE(WriteWholeFile(srgbPath, srgbOnly));
  ReadOutcome uncorrected = ReadPng(srgbPath);
  ASSERT_EQ(uncorrected.code, kPelornOk);
  EXPECT_EQ(uncorrected.picture.rgb, spec.rows[0]);

  const std::string bothPath = TempDir() + "/srgb-gama.png";
  ASSERT_TRUE(WriteWholeFile(bothPath, srgbAndGama));
  ReadOutcome corrected = ReadPng(bothPath);
  ASSERT_EQ(corrected.code, kPelornOk);
  for (size_t i = 0; i < spec.rows[0].size(); ++i) {
    EXPECT_NEAR(corrected.picture.rgb[i], CorrectedLevel(spec.rows[0][i], 1.0), 1) << i;
  }
}

TEST(PngRead, GreyWithAlphaBecomesRgb) {
  TestPng spec;
  spec.width = 2;
  spec.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  spec.rows = {{100, 255, 100, 0}};
  const std::string path = TempDir() + "/ga.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ReadOutcome outcome = ReadPng(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, (std::vector<uint8_t>{100, 100, 100, 0, 0, 0}));
}

TEST(PngRead, InterlacedFileReportsEveryRowOncePerPass) {
  TestPng spec;
  spec.width = 9;
  spec.height = 5;
  spec.interlaced = true;
  for (int y = 0; y < spec.height; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < spec.width * 3; ++x) row.push_back(static_cast<uint8_t>(x * 7 + y * 31));
    spec.rows.push_back(row);
  }
  const std::string path = TempDir() + "/interlaced.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ProgressScope progress(CountProgress);
  ReadOutcome outcome = ReadPng(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(progressCalls, 7 * spec.height);
  for (int y = 0; y < spec.height; ++y) {
    EXPECT_TRUE(std::equal(spec.rows[y].begin(), spec.rows[y].end(), outcome.picture.rgb.begin() + y * 27)) << y;
  }
}

TEST(PngRead, NonInterlacedFileReportsEachRowOnce) {
  TestPng spec;
  spec.width = 2;
  spec.height = 6;
  spec.rows.assign(6, std::vector<uint8_t>(6, 9));
  const std::string path = TempDir() + "/rows.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ProgressScope progress(CountProgress);
  ASSERT_EQ(ReadPng(path).code, kPelornOk);
  EXPECT_EQ(progressCalls, 6);
}

// =================================================================================
// Text chunks and pHYs into the thread state
// =================================================================================

TEST(PngReadState, TextChunksBeforeAndAfterThePictureDataAreListed) {
  TestPng spec;
  spec.rows = {{1, 2, 3}};
  spec.textsBefore = {{"Title", "Before"}};
  spec.zTextsAfter = {{"Comment", "After the picture data"}};
  const std::string path = TempDir() + "/texts.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ASSERT_EQ(ReadPng(path).code, kPelornOk);
  const auto& texts = GetThreadState().pngReadTexts;
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].keyword, "Title");
  EXPECT_EQ(texts[0].text, "Before");
  EXPECT_EQ(texts[0].compressed, 0);
  EXPECT_EQ(texts[1].keyword, "Comment");
  EXPECT_EQ(texts[1].text, "After the picture data");
  EXPECT_NE(texts[1].compressed, 0);

  // The next read replaces the list, even when it fails.
  ReadPng(CorpusPath("png", "pngsuite_xs1n0g01.png"));
  EXPECT_TRUE(GetThreadState().pngReadTexts.empty());
}

TEST(PngReadState, PngSuiteTextChunksAreListed) {
  ASSERT_EQ(ReadPng(CorpusPath("png", "pngsuite_ct1n0g04.png")).code, kPelornOk);
  const auto& texts = GetThreadState().pngReadTexts;
  ASSERT_EQ(texts.size(), 6u);
  EXPECT_EQ(texts[0].keyword, "Title");
  EXPECT_EQ(texts[0].text, "PngSuite");
  ASSERT_EQ(ReadPng(CorpusPath("png", "pngsuite_ctzn0g04.png")).code, kPelornOk);
  int compressed = 0;
  for (const auto& entry : GetThreadState().pngReadTexts) compressed += entry.compressed != 0;
  EXPECT_GT(compressed, 0);
}

TEST(PngReadState, PhysIsStoredAndAFileWithoutItLeavesTheValues) {
  TestPng spec;
  spec.rows = {{1, 2, 3}};
  spec.physical = std::array<uint32_t, 3>{3780, 2835, 1};
  const std::string path = TempDir() + "/phys.png";
  ASSERT_TRUE(WriteTestPng(path, spec));
  ASSERT_EQ(ReadPng(path).code, kPelornOk);
  EXPECT_EQ(GetThreadState().pngReadResolution.x, 3780);
  EXPECT_EQ(GetThreadState().pngReadResolution.y, 2835);
  EXPECT_EQ(GetThreadState().pngReadResolution.unit, 1);

  spec.physical.reset();
  const std::string plainPath = TempDir() + "/nophys.png";
  ASSERT_TRUE(WriteTestPng(plainPath, spec));
  ASSERT_EQ(ReadPng(plainPath).code, kPelornOk);
  EXPECT_EQ(GetThreadState().pngReadResolution.x, 3780);
  EXPECT_EQ(GetThreadState().pngReadResolution.unit, 1);

  ASSERT_EQ(ReadPng(CorpusPath("png", "pngsuite_cdun2c08.png")).code, kPelornOk);
  EXPECT_EQ(GetThreadState().pngReadResolution.x, 1000);
  EXPECT_EQ(GetThreadState().pngReadResolution.y, 1000);
  EXPECT_EQ(GetThreadState().pngReadResolution.unit, 1);
}

// =================================================================================
// Read failures
// =================================================================================

TEST(PngReadFailure, MissingFileAndBadArguments) {
  EXPECT_EQ(ReadPng(TempDir() + "/absent.png").code, kPelornFileOpen);
  uint32_t width = 0, height = 0;
  EXPECT_EQ(ReadPngFile(nullptr, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadPngFile(CorpusPath("png", "pngsuite_basn2c08.png").c_str(), nullptr, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

TEST(PngReadFailure, OtherFormatsAndDamagedFilesAreLibpngErrors) {
  const std::string dir = TempDir();
  WriteWholeFile(dir + "/empty.png", {});
  WriteWholeFile(dir + "/jpeg.png", ReadWholeFile(CorpusPath("jpeg", "libjpegturbo_testorig.jpg")));
  std::vector<uint8_t> truncated = ReadWholeFile(CorpusPath("png", "pngsuite_basn2c08.png"));
  truncated.resize(truncated.size() / 2);
  WriteWholeFile(dir + "/truncated.png", truncated);
  for (const char* name : {"empty.png", "jpeg.png", "truncated.png"}) {
    const int64_t liveBefore = platform::LiveGlobalBlocks();
    ReadOutcome outcome = ReadPng(dir + "/" + name);
    EXPECT_FALSE(outcome.gotBlock) << name;
    EXPECT_EQ(outcome.code, kPelornPngReadError) << name;
    EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore) << name;
  }
}

// A header whose picture cannot be held fails before anything is allocated
// (1 000 000 x 1 000 000 x 3 is above the library's block limit); a side
// longer than any picture within the bound can have (2^30 / 3 pixels) is
// refused by libpng as it reads the header.
TEST(PngReadFailure, HugeHeadersAreRefused) {
  const std::string dir = TempDir();
  ASSERT_TRUE(WriteWholeFile(dir + "/huge.png", HeaderOnlyPng(1000000, 1000000)));
  ASSERT_TRUE(WriteWholeFile(dir + "/wide.png", HeaderOnlyPng(400000000, 1)));
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  EXPECT_EQ(ReadPng(dir + "/huge.png").code, kPelornOutOfMemory);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
  EXPECT_EQ(ReadPng(dir + "/wide.png").code, kPelornPngReadError);
  // A small header with missing picture data ends as a libpng error.
  ASSERT_TRUE(WriteWholeFile(dir + "/short.png", HeaderOnlyPng(64, 64)));
  EXPECT_EQ(ReadPng(dir + "/short.png").code, kPelornPngReadError);
}

TEST(PngReadFailure, CancellationAtTheFirstRowLeavesNothing) {
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  {
    ProgressScope progress(StopAtOnce);
    ReadOutcome outcome = ReadPng(CorpusPath("png", "pngsuite_basn2c08.png"));
    EXPECT_EQ(outcome.code, kPelornCancelled);
    EXPECT_FALSE(outcome.gotBlock);
    EXPECT_EQ(progressCalls, 1);
  }
  {
    ProgressScope progress(StopAtThird);
    EXPECT_EQ(ReadPng(CorpusPath("png", "pngsuite_basi6a16.png")).code, kPelornCancelled);
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
}

TEST(PngReadFailure, OutOfMemoryForThePictureOrTheRowTable) {
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  platform::FailNthGlobalAlloc(1);
  EXPECT_EQ(ReadPng(CorpusPath("png", "pngsuite_basn2c08.png")).code, kPelornOutOfMemory);
  platform::FailNthGlobalAlloc(0);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);

  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(ReadPng(CorpusPath("png", "pngsuite_basn2c08.png")).code, kPelornOutOfMemory);
  pelorn::FailNthPlainAllocation(0);
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  // And the reader still works afterwards.
  EXPECT_EQ(ReadPng(CorpusPath("png", "pngsuite_basn2c08.png")).code, kPelornOk);
}

// =================================================================================
// Writers
// =================================================================================

std::vector<uint8_t> NoisyRgb(int width, int height, unsigned seed) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (auto& byte : rgb) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(seed >> 16);
  }
  return rgb;
}

std::vector<std::string> ChunkTypes(const std::string& path) {
  std::vector<std::string> types;
  for (const auto& chunk : ParseChunks(ReadWholeFile(path))) types.push_back(chunk.first);
  return types;
}

const std::vector<uint8_t>* FindChunk(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks,
                                      const std::string& type) {
  for (const auto& chunk : chunks) {
    if (chunk.first == type) return &chunk.second;
  }
  return nullptr;
}

TEST(PngWrite, Rgb24IsReadBackByPillowPixelExactWithItsChunks) {
  const int width = 37, height = 23;
  const std::vector<uint8_t> rgb = NoisyRgb(width, height, 5);
  const std::string path = TempDir() + "/out24.png";
  ASSERT_EQ(WritePng24File(path.c_str(), rgb.data(), width, height, 0.0), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);

  auto reference = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(reference.has_value());
  ASSERT_EQ(reference->width, static_cast<uint32_t>(width));
  EXPECT_EQ(reference->rgb, rgb);

  const auto chunks = ParseChunks(ReadWholeFile(path));
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(chunks.front().first, "IHDR");
  EXPECT_EQ(chunks.front().second[8], 8);  // bit depth
  EXPECT_EQ(chunks.front().second[9], 2);  // RGB
  EXPECT_EQ(chunks.front().second[12], 0);  // not interlaced
  EXPECT_EQ(FindChunk(chunks, "gAMA"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "PLTE"), nullptr);
  const auto* time = FindChunk(chunks, "tIME");
  ASSERT_NE(time, nullptr);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  EXPECT_EQ((*time)[0] << 8 | (*time)[1], local.tm_year + 1900);
  EXPECT_EQ((*time)[2], local.tm_mon + 1);
  const auto* background = FindChunk(chunks, "bKGD");
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(*background, std::vector<uint8_t>(6, 0));  // black, 16-bit RGB
  const auto* physical = FindChunk(chunks, "pHYs");
  ASSERT_NE(physical, nullptr);
  EXPECT_EQ(BigEndian32(*physical, 0), 1u);
  EXPECT_EQ(BigEndian32(*physical, 4), 1u);
  EXPECT_EQ((*physical)[8], 0);
  // Every chunk above precedes the picture data.
  const auto types = ChunkTypes(path);
  const auto firstData = std::find(types.begin(), types.end(), "IDAT") - types.begin();
  for (const char* type : {"tIME", "bKGD", "pHYs"}) {
    EXPECT_LT(std::find(types.begin(), types.end(), type) - types.begin(), firstData) << type;
  }
  EXPECT_EQ(types.back(), "IEND");
}

TEST(PngWrite, Png8IsReadBackByPillowPixelExact) {
  const int width = 41, height = 17, colors = 200;
  RGBQUAD palette[256] = {};
  for (int i = 0; i < 256; ++i) {
    palette[i].rgbRed = static_cast<BYTE>(i * 3);
    palette[i].rgbGreen = static_cast<BYTE>(255 - i);
    palette[i].rgbBlue = static_cast<BYTE>(i * 7);
  }
  std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = static_cast<uint8_t>((i * 13) % colors);
  const std::string path = TempDir() + "/out8.png";
  ASSERT_EQ(WritePng8File(path.c_str(), indices.data(), width, height, colors, palette, 0.0), 1);

  auto reference = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(reference.has_value());
  std::vector<uint8_t> expected;
  for (uint8_t index : indices) {
    expected.insert(expected.end(), {palette[index].rgbRed, palette[index].rgbGreen, palette[index].rgbBlue});
  }
  EXPECT_EQ(reference->rgb, expected);

  const auto chunks = ParseChunks(ReadWholeFile(path));
  EXPECT_EQ(chunks.front().second[9], 3);  // palette
  const auto* plte = FindChunk(chunks, "PLTE");
  ASSERT_NE(plte, nullptr);
  EXPECT_EQ(plte->size(), static_cast<size_t>(colors) * 3);
  const auto* background = FindChunk(chunks, "bKGD");
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(*background, std::vector<uint8_t>{0});  // palette index 0
  EXPECT_NE(FindChunk(chunks, "tIME"), nullptr);
  EXPECT_NE(FindChunk(chunks, "pHYs"), nullptr);

  // Our reader gives the palette colours back (no gAMA: no correction).
  ReadOutcome ours = ReadPng(path);
  ASSERT_EQ(ours.code, kPelornOk);
  EXPECT_EQ(ours.picture.rgb, expected);
}

// bKGD records the codec's background colour: for RGB its 16-bit red,
// green and blue; for a palette its index. Our reader then composites
// nothing (the written pictures have no alpha) and gives the pixels back.
TEST(PngWrite, BkgdRecordsTheBackgroundColour) {
  const std::vector<uint8_t> rgb = NoisyRgb(3, 3, 8);
  const std::string dir = TempDir();
  PngCodec codec;
  codec.backgroundColor.red = 200;
  codec.backgroundColor.green = 10;
  codec.backgroundColor.blue = 255;
  codec.backgroundColor.index = 2;
  ASSERT_EQ(codec.Write((dir + "/rgb.png").c_str(), rgb.data(), 3, 3, 9, 8, 0, nullptr, 2, 0.0, 0), 1);
  const auto rgbChunks = ParseChunks(ReadWholeFile(dir + "/rgb.png"));
  ASSERT_NE(FindChunk(rgbChunks, "bKGD"), nullptr);
  EXPECT_EQ(*FindChunk(rgbChunks, "bKGD"), (std::vector<uint8_t>{0, 200, 0, 10, 0, 255}));
  RGBQUAD palette[256] = {};
  const std::vector<uint8_t> indices(9, 1);
  ASSERT_EQ(codec.Write((dir + "/pal.png").c_str(), indices.data(), 3, 3, 3, 8, 4, palette, 3, 0.0, 0), 1);
  const auto palChunks = ParseChunks(ReadWholeFile(dir + "/pal.png"));
  ASSERT_NE(FindChunk(palChunks, "bKGD"), nullptr);
  EXPECT_EQ(*FindChunk(palChunks, "bKGD"), std::vector<uint8_t>{2});
  EXPECT_EQ(ReadPng(dir + "/rgb.png").picture.rgb, rgb);
}

TEST(PngWrite, FileGammaAboveZeroWritesGama) {
  const std::vector<uint8_t> rgb = NoisyRgb(4, 4, 9);
  const std::string path = TempDir() + "/gamma.png";
  ASSERT_EQ(WritePng24File(path.c_str(), rgb.data(), 4, 4, 0.45455), 1);
  const auto chunks = ParseChunks(ReadWholeFile(path));
  const auto* gamma = FindChunk(chunks, "gAMA");
  ASSERT_NE(gamma, nullptr);
  EXPECT_EQ(BigEndian32(*gamma, 0), 45455u);
  // Read back by us: corrected with display gamma 2.9.
  ReadOutcome ours = ReadPng(path);
  ASSERT_EQ(ours.code, kPelornOk);
  for (size_t i = 0; i < rgb.size(); ++i) EXPECT_NEAR(ours.picture.rgb[i], CorrectedLevel(rgb[i], 0.45455), 1);
  // A file gamma of 1 / 2.9 makes the correction an identity.
  ASSERT_EQ(WritePng24File(path.c_str(), rgb.data(), 4, 4, 1.0 / kDisplayGamma), 1);
  EXPECT_EQ(ReadPng(path).picture.rgb, rgb);
}

TEST(PngWrite, TextListIsWrittenAndEmptiedAfterASuccessfulWrite) {
  auto& texts = GetThreadState().pngWriteTexts;
  texts.clear();
  texts.push_back({"Plain words", "Title", 0});
  texts.push_back({"Squeezed words, squeezed words, squeezed words", "Comment", 1});
  const std::vector<uint8_t> rgb = NoisyRgb(3, 2, 1);
  const std::string path = TempDir() + "/text.png";
  ASSERT_EQ(WritePng24File(path.c_str(), rgb.data(), 3, 2, 0.0), 1);
  EXPECT_TRUE(texts.empty());
  const auto chunks = ParseChunks(ReadWholeFile(path));
  const auto* plain = FindChunk(chunks, "tEXt");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(std::string(plain->begin(), plain->end()), std::string("Title\0Plain words", 17));
  ASSERT_NE(FindChunk(chunks, "zTXt"), nullptr);
  // Our reader lists them back.
  ASSERT_EQ(ReadPng(path).code, kPelornOk);
  ASSERT_EQ(GetThreadState().pngReadTexts.size(), 2u);
  EXPECT_EQ(GetThreadState().pngReadTexts[1].text, "Squeezed words, squeezed words, squeezed words");
  EXPECT_NE(GetThreadState().pngReadTexts[1].compressed, 0);

  // A second write has no text chunks.
  ASSERT_EQ(WritePng24File(path.c_str(), rgb.data(), 3, 2, 0.0), 1);
  const auto types = ChunkTypes(path);
  EXPECT_EQ(std::count(types.begin(), types.end(), "tEXt"), 0);
  EXPECT_EQ(std::count(types.begin(), types.end(), "zTXt"), 0);
}

TEST(PngWrite, FailedWriteKeepsTheTextList) {
  auto& texts = GetThreadState().pngWriteTexts;
  texts.clear();
  texts.push_back({"text", "", 0});  // an empty keyword is refused by libpng
  const std::vector<uint8_t> rgb = NoisyRgb(3, 2, 1);
  const std::string path = TempDir() + "/badtext.png";
  EXPECT_EQ(WritePng24File(path.c_str(), rgb.data(), 3, 2, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
  EXPECT_EQ(texts.size(), 1u);
  texts.clear();
}

TEST(PngWriteFailure, BadArgumentsAndPaths) {
  const std::vector<uint8_t> rgb = NoisyRgb(4, 4, 2);
  RGBQUAD palette[256] = {};
  const std::string dir = TempDir();
  EXPECT_EQ(WritePng24File((dir + "/a.png").c_str(), nullptr, 4, 4, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(WritePng8File((dir + "/b.png").c_str(), rgb.data(), 4, 4, 16, nullptr, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(WritePng24File((dir + "/no/such/dir.png").c_str(), rgb.data(), 4, 4, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornFileOpen);
  // libpng refuses the header or the palette.
  EXPECT_EQ(WritePng24File((dir + "/c.png").c_str(), rgb.data(), 0, 4, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
  EXPECT_EQ(WritePng24File((dir + "/d.png").c_str(), rgb.data(), 4, -4, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
  EXPECT_EQ(WritePng8File((dir + "/e.png").c_str(), rgb.data(), 4, 4, 0, palette, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
  EXPECT_EQ(WritePng8File((dir + "/f.png").c_str(), rgb.data(), 4, 4, 300, palette, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
}

// Widths past libpng's limit of 1 000 000 are refused by libpng, and the
// 24-bit row length is computed without overflow; rows shorter than the
// header says are refused before libpng reads past them.
TEST(PngWriteFailure, HugeWidthsAndShortRows) {
  const std::vector<uint8_t> rgb = NoisyRgb(4, 4, 2);
  const std::string dir = TempDir();
  EXPECT_EQ(WritePng24File((dir + "/wide.png").c_str(), rgb.data(), 800000000, 1, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
  PngCodec codec;
  EXPECT_EQ(codec.Write((dir + "/short.png").c_str(), rgb.data(), 4, 4, 11, 8, 0, nullptr, 2, 0.0, 0), 0);
  EXPECT_EQ(codec.errorCode, kPelornBadParam);
  EXPECT_EQ(codec.Write((dir + "/exact.png").c_str(), rgb.data(), 4, 4, 12, 8, 0, nullptr, 2, 0.0, 0), 1);
  EXPECT_EQ(codec.errorCode, kPelornOk);
}

// A stream whose buffered bytes cannot reach the disk is a write failure,
// not a success: small files fail when the stream is closed (4), larger
// ones while libpng writes (16).
TEST(PngWriteFailure, FullDiskIsReported) {
  if (!std::ifstream("/dev/full").good()) GTEST_SKIP() << "no /dev/full";
  const std::vector<uint8_t> small = NoisyRgb(4, 4, 3);
  EXPECT_EQ(WritePng24File("/dev/full", small.data(), 4, 4, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornFileWrite);
  const std::vector<uint8_t> large = NoisyRgb(300, 300, 3);
  EXPECT_EQ(WritePng24File("/dev/full", large.data(), 300, 300, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornPngCreate);
}

TEST(PngWriteFailure, CancellationAndOutOfMemory) {
  const std::vector<uint8_t> rgb = NoisyRgb(8, 8, 4);
  const std::string path = TempDir() + "/cancel.png";
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  {
    ProgressScope progress(StopAtOnce);
    EXPECT_EQ(WritePng24File(path.c_str(), rgb.data(), 8, 8, 0.0), 0);
    EXPECT_EQ(GetLastImageError(), kPelornCancelled);
    EXPECT_EQ(progressCalls, 1);
  }
  {
    ProgressScope progress(CountProgress);
    EXPECT_EQ(WritePng24File(path.c_str(), rgb.data(), 8, 8, 0.0), 1);
    EXPECT_EQ(progressCalls, 8);
  }
  RGBQUAD palette[256] = {};
  for (int failing = 1; failing <= 2; ++failing) {  // the palette copy, then the row table
    pelorn::FailNthPlainAllocation(failing);
    EXPECT_EQ(WritePng8File(path.c_str(), rgb.data(), 8, 8, 256, palette, 0.0), 0) << failing;
    EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory) << failing;
    pelorn::FailNthPlainAllocation(0);
  }
  GetThreadState().pngWriteTexts.push_back({"t", "Title", 0});
  pelorn::FailNthPlainAllocation(1);  // the text records
  EXPECT_EQ(WritePng24File(path.c_str(), rgb.data(), 8, 8, 0.0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  pelorn::FailNthPlainAllocation(0);
  GetThreadState().pngWriteTexts.clear();
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
}

}  // namespace
