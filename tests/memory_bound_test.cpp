// The memory bound of one picture (kMaxPictureMemory, 1 GiB): small files
// whose headers declare pictures past it, for every reader, fail with code 1
// before anything of that size is asked for. Each file is built here from a
// short recipe. "Before anything is asked for" is checked two ways: no global
// block is allocated at all (the picture block is the first thing a reader
// allocates), and the process's peak resident memory grows by far less than
// the bound (libjpeg's, libpng's and libtiff's own buffers come from malloc,
// and a reader that went on would fill gigabytes). Neither check relies on an
// allocation failing, so the cases behave the same under the sanitizers.
// The libraries' own limits (libjpeg's max_memory_to_use, libtiff's cap) stay
// behind as a second line; the debugger output shows they were not reached.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "imaging/core/image_size.h"
#include "imaging/core/pelorn.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLe16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutLe32(Bytes& out, uint32_t value) {
  PutLe16(out, value);
  PutLe16(out, value >> 16);
}
void PutBe32(Bytes& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// --- Recipes ------------------------------------------------------------------------

// An 8 x 8 JPEG written by libjpeg (through the library's writer), with the
// size in its frame header (SOF0 baseline, SOF2 progressive) replaced.
Bytes JpegDeclaring(uint16_t width, uint16_t height, bool progressive) {
  const std::string path = testing_support::TempDir() + "/seed.jpg";
  std::vector<uint8_t> rgb(8 * 8 * 3, 0x80);
  EXPECT_EQ(WriteJpegFile(path.c_str(), rgb.data(), 8, 8, 75, 1, progressive ? 1 : 0), 1);
  Bytes jpeg = testing_support::ReadWholeFile(path);
  const uint8_t frameMarker = progressive ? 0xC2 : 0xC0;
  for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] != frameMarker) continue;
    // FF Cn, length (2), precision (1), height (2), width (2), big-endian.
    jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
    jpeg[i + 6] = static_cast<uint8_t>(height);
    jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
    jpeg[i + 8] = static_cast<uint8_t>(width);
    return jpeg;
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

Bytes BmpHeaders(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                 uint32_t colors, size_t pixelBytes) {
  const uint32_t offset = 14 + 40 + 4 * colors;
  Bytes bmp = {'B', 'M'};
  PutLe32(bmp, static_cast<uint32_t>(offset + pixelBytes));
  PutLe32(bmp, 0);
  PutLe32(bmp, offset);
  for (uint32_t field : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)})
    PutLe32(bmp, field);
  PutLe16(bmp, 1);
  PutLe16(bmp, bits);
  for (uint32_t field : {compression, static_cast<uint32_t>(pixelBytes), 0u, 0u, colors, 0u})
    PutLe32(bmp, field);
  for (uint32_t i = 0; i < colors; ++i) PutLe32(bmp, i == 1 ? 0xFFFFFF : 0);
  return bmp;
}

// Run-length data that covers a few kilobytes: rows ended at once, then the
// end of the bitmap. Everything a run does not reach is black.
Bytes RleBmp(int32_t width, int32_t height, uint16_t bits, size_t endOfLines) {
  Bytes data;
  for (size_t i = 0; i < endOfLines; ++i) Append(data, {0, 0});
  Append(data, {0, 1});
  Bytes bmp = BmpHeaders(width, height, bits, bits == 4 ? 2 : 1, 16, data.size());
  Append(bmp, data);
  return bmp;
}

Bytes UncompressedBmp(int32_t width, int32_t height) {
  return BmpHeaders(width, height, 24, 0, 0, 0);
}

// A GIF whose first picture has the given size on a smaller logical screen;
// its code stream (clear, one 0, then nothing at a byte boundary) goes on as
// index 0 for as long as the reader asks.
Bytes Gif(uint16_t screenWidth, uint16_t screenHeight, uint16_t width, uint16_t height) {
  Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
  PutLe16(gif, screenWidth);
  PutLe16(gif, screenHeight);
  Append(gif, {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});  // 2-entry global table
  gif.push_back(0x2C);
  PutLe16(gif, 0);
  PutLe16(gif, 0);
  PutLe16(gif, width);
  PutLe16(gif, height);
  gif.push_back(0);
  Append(gif, {7, 2, 0x80, 0x00, 0, 0x3B});  // code size 7: clear = 128
  return gif;
}

void PngChunk(Bytes& png, const char* type, const Bytes& body) {
  PutBe32(png, static_cast<uint32_t>(body.size()));
  Bytes typed(type, type + 4);
  Append(typed, body);
  Append(png, typed);
  PutBe32(png, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

// An 8-bit RGB PNG declaring the size, with one compressed empty row.
Bytes Png(uint32_t width, uint32_t height) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes header;
  PutBe32(header, width);
  PutBe32(header, height);
  Append(header, {8, 2, 0, 0, 0});
  PngChunk(png, "IHDR", header);
  Bytes row(64, 0);
  Bytes compressed(128);
  uLongf length = compressed.size();
  EXPECT_EQ(compress(compressed.data(), &length, row.data(), row.size()), Z_OK);
  compressed.resize(length);
  PngChunk(png, "IDAT", compressed);
  PngChunk(png, "IEND", {});
  return png;
}

// A little-endian TIFF of one PackBits strip holding two bytes. Compressed,
// so libtiff cannot split the strip into small ones: decoding it needs one
// buffer of the whole strip.
Bytes Tiff(uint32_t width, uint32_t height, uint16_t samples) {
  struct Entry {
    uint16_t tag, type;
    uint32_t value;
  };
  const uint16_t photometric = samples == 1 ? 1 : 2;
  const std::vector<Entry> entries = {
      {256, 4, width},      {257, 4, height},  {258, 3, 8},      {259, 3, 32773},
      {262, 3, photometric}, {273, 4, 0 /*data*/}, {277, 3, samples}, {278, 4, height},
      {279, 4, 2},
  };
  Bytes tiff = {'I', 'I', 42, 0};
  PutLe32(tiff, 8);
  PutLe16(tiff, static_cast<uint32_t>(entries.size()));
  const uint32_t dataOffset = static_cast<uint32_t>(8 + 2 + 12 * entries.size() + 4);
  for (const Entry& entry : entries) {
    PutLe16(tiff, entry.tag);
    PutLe16(tiff, entry.type);
    PutLe32(tiff, 1);
    const uint32_t value = entry.tag == 273 ? dataOffset : entry.value;
    if (entry.type == 3) {
      PutLe16(tiff, value);
      PutLe16(tiff, 0);
    } else {
      PutLe32(tiff, value);
    }
  }
  PutLe32(tiff, 0);
  Append(tiff, {0x80, 0x80});  // PackBits no-ops
  return tiff;
}

Bytes Tga(uint16_t width, uint16_t height, uint8_t imageType) {
  Bytes tga = {0, 0, imageType, 0, 0, 0, 0, 0};
  PutLe16(tga, 0);
  PutLe16(tga, 0);
  PutLe16(tga, width);
  PutLe16(tga, height);
  Append(tga, {24, 0x20});
  Append(tga, Bytes(64, 0x80));
  return tga;
}

Bytes Pcx(uint16_t width, uint16_t height) {
  Bytes pcx = {10, 5, 1, 8};
  for (uint32_t field : {0u, 0u, uint32_t{width} - 1u, uint32_t{height} - 1u, 72u, 72u})
    PutLe16(pcx, field);
  Append(pcx, Bytes(48, 0));
  Append(pcx, {0, 3});  // reserved, three planes
  PutLe16(pcx, width + (width & 1));
  PutLe16(pcx, 1);
  pcx.resize(128, 0);
  Append(pcx, {0xFF, 0x00, 0xFF, 0x00});
  return pcx;
}

// --- Readers --------------------------------------------------------------------------

using Reader = std::function<HGLOBAL(const char*, uint32_t*, uint32_t*)>;

Reader ByExtension(const std::string& extension) {
  if (extension == "jpg") return ReadJpegFile;
  if (extension == "bmp") return ReadBmpFile;
  if (extension == "png") return ReadPngFile;
  if (extension == "tif") return ReadTiffFile;
  if (extension == "tga") return ReadTgaFile;
  if (extension == "pcx") return ReadPcxFile;
  return [](const char* path, uint32_t* width, uint32_t* height) {
    return ReadGifFile(path, width, height, nullptr);
  };
}

long PeakResidentKilobytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

// The most address space (Linux) or committed memory (Windows) the process
// has had: a block counts here as soon as it is allocated, touched or not.
long PeakVirtualKilobytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.PeakPagefileUsage / 1024);
#else
  std::ifstream status("/proc/self/status");
  std::string field;
  while (status >> field) {
    long kilobytes = 0;
    if (field == "VmPeak:" && status >> kilobytes) return kilobytes;
  }
  return 0;
#endif
}

// Far below the bound, far above what a refusal costs (the recipes, libjpeg's
// and libpng's set-up, the sanitizers' bookkeeping).
constexpr long kAllowedGrowthKilobytes = 192 * 1024;

struct BoundCase {
  const char* name;
  const char* extension;
  std::function<Bytes()> recipe;
};

void PrintTo(const BoundCase& test, std::ostream* out) { *out << test.name; }

class MemoryBound : public ::testing::TestWithParam<BoundCase> {};

TEST_P(MemoryBound, PicturePastTheBoundFailsWithCode1BeforeAnyBlock) {
  const BoundCase& test = GetParam();
  const Bytes file = test.recipe();
  ASSERT_LT(file.size(), 8192u) << "a recipe is a small file";
  const std::string path = testing_support::TempDir() + "/" + test.name + "." + test.extension;
  ASSERT_TRUE(testing_support::WriteWholeFile(path, file));

  platform::TakeDebugOutput();
  const long peakBefore = PeakResidentKilobytes();
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  uint32_t width = 0, height = 0;
  HGLOBAL block = ByExtension(test.extension)(path.c_str(), &width, &height);
  const PelornError code = GetLastImageError();
  if (block != nullptr) GlobalFree(block);

  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(code, kPelornOutOfMemory);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore) << "a picture block was asked for";
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  EXPECT_LT(PeakResidentKilobytes() - peakBefore, kAllowedGrowthKilobytes);
  // Refused by the reader's own count, not by libjpeg's or libtiff's limit
  // after they had begun: libjpeg without a backing store, or libtiff at its
  // allocation cap, would have said so in the debugger output.
  const std::string messages = platform::TakeDebugOutput();
  EXPECT_EQ(messages.find("Backing store"), std::string::npos) << messages;
  EXPECT_EQ(messages.find("limit defined in open options"), std::string::npos) << messages;
}

// Sizes just past the bound: 20000 x 17896 x 3 bytes is 1,073,760,000, 18,176
// bytes more than 1 GiB.
const BoundCase kCases[] = {
    // Under 1 KB of progressive JPEG declaring 64250 x 64250: libjpeg would hold the
    // coefficients of the whole image (23 GB resident) before the block.
    {"jpeg_progressive_64250", "jpg", [] { return JpegDeclaring(64250, 64250, true); }},
    // 16000 x 16000: the block (768 MB) fits; with its coefficients (768 MB
    // more, 4:2:0) it does not.
    {"jpeg_progressive_coefficients", "jpg", [] { return JpegDeclaring(16000, 16000, true); }},
    {"jpeg_baseline_64250", "jpg", [] { return JpegDeclaring(64250, 64250, false); }},
    {"jpeg_baseline_past_bound", "jpg", [] { return JpegDeclaring(20000, 17896, false); }},
    // The uncompressed reader refused blocks above 2^31 - 1 bytes before.
    {"bmp_70000", "bmp", [] { return UncompressedBmp(70000, 70000); }},
    {"bmp_top_down_past_bound", "bmp", [] { return UncompressedBmp(20000, -17896); }},
    // 2.5 KB of end-of-line escapes declaring 131168 x 4096 (1.6 GB).
    {"bmp_rle4_131168x4096", "bmp", [] { return RleBmp(131168, 4096, 4, 1200); }},
    {"bmp_rle8_past_bound", "bmp", [] { return RleBmp(20000, 17896, 8, 1200); }},
    // The first picture declares 65535 x 65535 on a 400 x 331 screen.
    {"gif_65535_on_400x331", "gif", [] { return Gif(400, 331, 65535, 65535); }},
    {"gif_past_bound", "gif", [] { return Gif(400, 331, 20000, 17896); }},
    {"png_100000", "png", [] { return Png(100000, 100000); }},
    {"png_past_bound", "png", [] { return Png(20000, 17896); }},
    {"tiff_65535", "tif", [] { return Tiff(65535, 65535, 3); }},
    // 15000 x 15000 grey: the RGBA block (900 MB) fits; with libtiff's
    // 225 MB strip buffer it does not.
    {"tiff_strip_past_share", "tif", [] { return Tiff(15000, 15000, 1); }},
    {"tga_65535", "tga", [] { return Tga(65535, 65535, 2); }},
    {"tga_rle_past_bound", "tga", [] { return Tga(20000, 17896, 10); }},
    {"pcx_65535", "pcx", [] { return Pcx(65535, 65535); }},
    {"pcx_past_bound", "pcx", [] { return Pcx(20000, 17896); }},
};

INSTANTIATE_TEST_SUITE_P(EveryReader, MemoryBound, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BoundCase>& parameter) {
                           return std::string(parameter.param.name);
                         });

// A PNG of 41 bytes: the signature, the header of a 1 x 1 picture, then the
// length and type of a chunk that claims `length` bytes, and nothing more.
// libpng reads such chunks whole into memory before it looks at them.
Bytes PngChunkClaiming(const char* type, uint32_t length) {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Bytes header;
  PutBe32(header, 1);
  PutBe32(header, 1);
  Append(header, {8, 2, 0, 0, 0});
  PngChunk(png, "IHDR", header);
  PutBe32(png, length);
  Append(png, Bytes(type, type + 4));
  return png;
}

struct ChunkCase {
  const char* type;
  uint32_t length;
};

void PrintTo(const ChunkCase& test, std::ostream* out) { *out << test.type << " " << test.length; }

class PngChunkBound : public ::testing::TestWithParam<ChunkCase> {};

// The file fails as a libpng read error, and neither libpng nor the reader
// asked for the chunk's length: the chunk is passed over (and the file then
// found short) rather than read into a buffer past the bound. libpng leaves
// some such buffers untouched (eXIf), so the address space is watched, not
// the resident memory.
TEST_P(PngChunkBound, ChunkPastTheBoundIsNeverAllocated) {
  const Bytes file = PngChunkClaiming(GetParam().type, GetParam().length);
  ASSERT_EQ(file.size(), 41u);
  const std::string path = testing_support::TempDir() + "/chunk_" + GetParam().type + ".png";
  ASSERT_TRUE(testing_support::WriteWholeFile(path, file));

  const long peakBefore = PeakVirtualKilobytes();
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  uint32_t width = 0, height = 0;
  HGLOBAL block = ReadPngFile(path.c_str(), &width, &height);
  const PelornError code = GetLastImageError();
  if (block != nullptr) GlobalFree(block);

  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(code, kPelornPngReadError);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
  EXPECT_LT(PeakVirtualKilobytes() - peakBefore, kAllowedGrowthKilobytes);
}

// Lengths from 1.1 GB to the largest a chunk may declare (2^31 - 1).
INSTANTIATE_TEST_SUITE_P(EveryBufferedChunk, PngChunkBound,
                         ::testing::Values(ChunkCase{"tEXt", 1100000000u}, ChunkCase{"iTXt", 1300000000u},
                                           ChunkCase{"zTXt", 1500000000u}, ChunkCase{"eXIf", 1700000000u},
                                           ChunkCase{"pCAL", 1900000000u}, ChunkCase{"sPLT", 2147483647u}),
                         [](const ::testing::TestParamInfo<ChunkCase>& parameter) {
                           return std::string(parameter.param.type);
                         });

// The bound is where it is said to be: the largest picture a reader may hold
// fits it, one byte more does not, and the sum of block and working memory
// cannot wrap.
TEST(MemoryBoundArithmetic, LimitIsOneGibibyteOfBlockAndWorkingMemory) {
  size_t bytes = 0;
  EXPECT_TRUE(pelorn::PictureFitsBound(16384, 16384, 4, 0, &bytes));
  EXPECT_EQ(bytes, size_t{1} << 30);
  EXPECT_FALSE(pelorn::PictureFitsBound(16384, 16384, 4, 1, &bytes));
  EXPECT_FALSE(pelorn::PictureFitsBound(1, 1, 3, UINT64_MAX, &bytes));
  EXPECT_FALSE(pelorn::PictureFitsBound(UINT32_MAX, UINT32_MAX, 3, 0, &bytes));
}

// Inside the bound a picture is not refused for memory: 18000 x 18000 is
// 972 MB, and a file that holds none of its rows fails for its length
// (code 3) before its block is asked for.
TEST(MemoryBoundArithmetic, PictureWithinTheBoundIsNotRefusedForMemory) {
  const std::string path = testing_support::TempDir() + "/within.bmp";
  ASSERT_TRUE(testing_support::WriteWholeFile(path, UncompressedBmp(18000, 18000)));
  uint32_t width = 0, height = 0;
  EXPECT_EQ(ReadBmpFile(path.c_str(), &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornFileRead);
}

}  // namespace
