// Tests of the colour quantiser (ColorQuantizer) and its entry point QuantizeRgb.
//
// Expected palettes here are computed independently from the pictures (cell
// averages, hand-traced heap merges); the mapping phase is checked against a
// straightforward per-pixel restatement of the diffusion rule that keeps a
// full 2-D error array instead of the two rotating error rows. The golden
// list tests/golden/quantize.txt is a regression guard: it records what this
// quantiser produced for fixed pictures, so exported files stay the same
// from build to build; regenerate it only on purpose, with
// tests/tools/make_golden.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "imaging/quantize/quantize.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Checksum;
using testing_support::CorpusPath;
using testing_support::Picture;

// Lower bounds for PSNR against the source, a few dB under what this
// quantiser measures (see the report in each test's output): they catch a
// broken palette or a broken diffusion, which lose 10 dB or more.
constexpr double kPsnr256Bound = 30.0;
constexpr double kPsnr16Bound = 20.0;
constexpr double kPhotoPsnrBound = 30.0;

Picture MakePicture(uint32_t width, uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  return picture;
}

void SetPixel(Picture& picture, uint32_t x, uint32_t y, int r, int g, int b) {
  uint8_t* pixel = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
  pixel[0] = static_cast<uint8_t>(r);
  pixel[1] = static_cast<uint8_t>(g);
  pixel[2] = static_cast<uint8_t>(b);
}

int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// A photo-like picture in integer arithmetic only (the same on every
// machine): gradients, a bright disc, a hard-edged band and grain.
Picture PhotoLike(uint32_t width, uint32_t height) {
  Picture picture = MakePicture(width, height);
  uint32_t noise = 2463534242u;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int grain = static_cast<int>((noise >> 16) & 15) - 8;
      const int dx = static_cast<int>(x) - static_cast<int>(width * 3 / 5);
      const int dy = static_cast<int>(y) - static_cast<int>(height * 2 / 5);
      const int radius = static_cast<int>(width / 5);
      const bool inDisc = dx * dx + dy * dy < radius * radius;
      const bool inBand = (x + 2 * y) % (width / 2 + 1) < width / 12 + 1;
      int r = 30 + static_cast<int>(190 * x / width) + grain;
      int g = 20 + static_cast<int>(170 * y / height) + static_cast<int>((x * 7) % 23) + grain / 2;
      int b = inDisc ? 215 + grain : 70 + static_cast<int>(110 * (x + y) / (width + height)) + grain;
      if (inBand) std::swap(r, g);
      SetPixel(picture, x, y, Clamp255(r), Clamp255(g), Clamp255(b));
    }
  }
  return picture;
}

// An uncompressed bottom-up 24-bit BMP, read here directly so the corpus
// photos do not depend on any reader of the library.
Picture ReadBmp24(const std::string& path) {
  const std::vector<uint8_t> file = testing_support::ReadWholeFile(path);
  Picture picture;
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return picture;
  auto u32 = [&](size_t at) {
    return uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 |
           uint32_t(file[at + 3]) << 24;
  };
  const uint32_t offset = u32(10), width = u32(18), height = u32(22);
  const uint32_t bits = uint32_t(file[28]) | uint32_t(file[29]) << 8, compression = u32(30);
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  if (bits != 24 || compression != 0 || height > 0x7FFFFFFF ||
      offset + stride * height > file.size()) {
    return picture;
  }
  picture = MakePicture(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* row = &file[offset + stride * (height - 1 - y)];
    for (uint32_t x = 0; x < width; ++x) {
      SetPixel(picture, x, y, row[x * 3 + 2], row[x * 3 + 1], row[x * 3]);
    }
  }
  return picture;
}

struct Quantized {
  int32_t result = 0;
  PelornError error = 0;
  std::vector<uint8_t> indices;
  RGBQUAD palette[256];
};

constexpr uint8_t kSentinel = 0xA5;

Quantized RunQuantizeRgb(const Picture& picture, int32_t colorCount) {
  Quantized out;
  out.indices.assign(static_cast<size_t>(picture.width) * picture.height, kSentinel);
  std::memset(out.palette, kSentinel, sizeof out.palette);
  out.result = QuantizeRgb(picture.rgb.data(), out.indices.data(),
                           static_cast<int32_t>(picture.width),
                           static_cast<int32_t>(picture.height), colorCount, out.palette);
  out.error = GetLastImageError();
  return out;
}

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
Rgb Entry(const Quantized& q, int i) {
  return Rgb{q.palette[i].rgbRed, q.palette[i].rgbGreen, q.palette[i].rgbBlue};
}

// The level-5 cell index with bits r7 g7 b7 r6 g6 b6 ... r3 g3 b3.
uint32_t InterleavedCell(int r, int g, int b) {
  uint32_t cell = 0;
  for (int bit = 7; bit >= 3; --bit) {
    cell = cell << 3 | uint32_t((r >> bit) & 1) << 2 | uint32_t((g >> bit) & 1) << 1 |
           uint32_t((b >> bit) & 1);
  }
  return cell;
}

size_t OccupiedCells(const Picture& picture) {
  std::set<uint32_t> cells;
  for (size_t i = 0; i < picture.rgb.size(); i += 3) {
    cells.insert(InterleavedCell(picture.rgb[i], picture.rgb[i + 1], picture.rgb[i + 2]));
  }
  return cells.size();
}

// The mapping rule restated per pixel: error[y][x] is the limited error of
// pixel (x, y); a pixel receives (error above + error of the previous pixel
// in processing order) >> 1; the palette is searched from the cell centre.
std::vector<uint8_t> ReferenceMap(const Picture& picture, const Quantized& q, int colours) {
  const int w = static_cast<int>(picture.width), h = static_cast<int>(picture.height);
  std::vector<int> error(static_cast<size_t>(w) * h * 3, 0);
  std::vector<uint8_t> indices(static_cast<size_t>(w) * h);
  auto limit = [](int e) { return e < -20 ? -20 : e > 20 ? 20 : e; };
  for (int y = 0; y < h; ++y) {
    const bool leftToRight = y % 2 == 0;
    for (int s = 0; s < w; ++s) {
      const int x = leftToRight ? s : w - 1 - s;
      const int previousX = leftToRight ? x - 1 : x + 1;
      int adjusted[3];
      for (int c = 0; c < 3; ++c) {
        int carried = 0;
        if (y > 0) carried += error[(static_cast<size_t>(y - 1) * w + x) * 3 + c];
        if (s > 0) carried += error[(static_cast<size_t>(y) * w + previousX) * 3 + c];
        const int source = picture.rgb[(static_cast<size_t>(y) * w + x) * 3 + c];
        // carried >> 1 as an arithmetic shift: floor division by 2.
        adjusted[c] = Clamp255(source + static_cast<int>(std::floor(carried / 2.0)));
      }
      int best = 200000, nearest = 0;
      for (int i = 0; i < colours; ++i) {
        const Rgb p = Entry(q, i);
        const int dr = (adjusted[0] & 0xF8) + 4 - p.r;
        const int dg = (adjusted[1] & 0xF8) + 4 - p.g;
        const int db = (adjusted[2] & 0xF8) + 4 - p.b;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
          best = distance;
          nearest = i;
        }
      }
      indices[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(nearest);
      const Rgb chosen = Entry(q, nearest);
      const int chosenChannels[3] = {chosen.r, chosen.g, chosen.b};
      for (int c = 0; c < 3; ++c) {
        error[(static_cast<size_t>(y) * w + x) * 3 + c] = limit(adjusted[c] - chosenChannels[c]);
      }
    }
  }
  return indices;
}

double Psnr(const Picture& picture, const Quantized& q) {
  double squared = 0;
  for (size_t i = 0; i < q.indices.size(); ++i) {
    const Rgb p = Entry(q, q.indices[i]);
    const int d[3] = {picture.rgb[i * 3] - p.r, picture.rgb[i * 3 + 1] - p.g,
                      picture.rgb[i * 3 + 2] - p.b};
    for (int c = 0; c < 3; ++c) squared += double(d[c]) * d[c];
  }
  const double mse = squared / (q.indices.size() * 3.0);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Progress recording for the callback tests.
std::vector<std::pair<int32_t, int32_t>> progressCalls;
int32_t stopAtCall = 0;  // 1-based call that answers "stop"; 0: never
int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.emplace_back(done, total);
  return stopAtCall != 0 && static_cast<int32_t>(progressCalls.size()) == stopAtCall ? 0 : 1;
}
class ProgressScope {
 public:
  explicit ProgressScope(int32_t stopAt) {
    progressCalls.clear();
    stopAtCall = stopAt;
    SetProgressCallback(RecordProgress);
  }
  ~ProgressScope() { SetProgressCallback(nullptr); }
};

// ---------------------------------------------------------------------------
// The entry point: arguments, clamping of N, what of the palette is written.

TEST(QuantizeRgbEntry, MissingBuffersStoreBadParam) {
  Picture picture = PhotoLike(8, 8);
  std::vector<uint8_t> indices(64);
  RGBQUAD palette[256];
  EXPECT_EQ(QuantizeRgb(nullptr, indices.data(), 8, 8, 16, palette), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(QuantizeRgb(picture.rgb.data(), nullptr, 8, 8, 16, palette), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(QuantizeRgb(picture.rgb.data(), indices.data(), 8, 8, 16, nullptr), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

TEST(QuantizeRgbEntry, SuccessStoresZeroAfterAnEarlierError) {
  Picture picture = PhotoLike(16, 16);
  std::vector<uint8_t> indices(256);
  RGBQUAD palette[256];
  ASSERT_EQ(QuantizeRgb(nullptr, indices.data(), 16, 16, 16, palette), 0);
  ASSERT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(QuantizeRgb(picture.rgb.data(), indices.data(), 16, 16, 16, palette), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
}

TEST(QuantizeRgbEntry, ColourCountZeroGivesOneColour) {
  const Picture picture = PhotoLike(40, 30);
  const Quantized q = RunQuantizeRgb(picture, 0);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(q.error, kPelornOk);
  for (uint8_t index : q.indices) ASSERT_EQ(index, 0);
  EXPECT_NE(q.palette[0].rgbRed, kSentinel);
  for (int i = 1; i < 256; ++i) {
    ASSERT_EQ(q.palette[i].rgbRed, kSentinel) << i;
    ASSERT_EQ(q.palette[i].rgbGreen, kSentinel) << i;
    ASSERT_EQ(q.palette[i].rgbBlue, kSentinel) << i;
  }
  const Quantized negative = RunQuantizeRgb(picture, -7);
  ASSERT_EQ(negative.result, 1);
  EXPECT_EQ(Entry(negative, 0), Entry(q, 0));
  EXPECT_EQ(negative.palette[1].rgbRed, kSentinel);
}

TEST(QuantizeRgbEntry, ColourCountAboveLimitUses256) {
  const Picture picture = PhotoLike(200, 150);
  ASSERT_GT(OccupiedCells(picture), 256u);
  const Quantized q = RunQuantizeRgb(picture, 1000);
  ASSERT_EQ(q.result, 1);
  const Quantized exact = RunQuantizeRgb(picture, 256);
  EXPECT_EQ(q.indices, exact.indices);
  EXPECT_EQ(std::memcmp(q.palette, exact.palette, sizeof q.palette), 0);
  std::set<int> used(q.indices.begin(), q.indices.end());
  EXPECT_EQ(*used.rbegin(), 255);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(q.palette[i].rgbReserved, kSentinel) << i;
}

TEST(QuantizeRgbEntry, SixteenColoursWriteEntriesZeroToFifteenOnly) {
  const Picture picture = PhotoLike(120, 90);
  const Quantized q = RunQuantizeRgb(picture, 16);
  ASSERT_EQ(q.result, 1);
  for (uint8_t index : q.indices) ASSERT_LT(index, 16);
  std::set<uint32_t> colours;
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(q.palette[i].rgbReserved, kSentinel) << "reserved byte is left alone";
    colours.insert(uint32_t(q.palette[i].rgbRed) << 16 | q.palette[i].rgbGreen << 8 |
                   q.palette[i].rgbBlue);
  }
  EXPECT_EQ(colours.size(), 16u);
  for (int i = 16; i < 256; ++i) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&q.palette[i]);
    for (int b = 0; b < 4; ++b) ASSERT_EQ(bytes[b], kSentinel) << "entry " << i;
  }
}

TEST(QuantizeRgbEntry, WritesExactlyTheIndexBufferAndLeavesTheSourceAlone) {
  const Picture picture = PhotoLike(33, 17);
  const Picture before = picture;
  std::vector<uint8_t> indices(33 * 17 + 64, kSentinel);
  RGBQUAD palette[256];
  ASSERT_EQ(QuantizeRgb(picture.rgb.data(), indices.data(), 33, 17, 256, palette), 1);
  for (size_t i = 33 * 17; i < indices.size(); ++i) ASSERT_EQ(indices[i], kSentinel);
  EXPECT_EQ(picture.rgb, before.rgb);
}

TEST(QuantizeRgbEntry, EmptyPictureSucceedsWithBlackEntries) {
  uint8_t pixel[3] = {1, 2, 3};
  uint8_t index = kSentinel;
  RGBQUAD palette[256];
  std::memset(palette, kSentinel, sizeof palette);
  EXPECT_EQ(QuantizeRgb(pixel, &index, 0, 5, 4, palette), 1);
  EXPECT_EQ(QuantizeRgb(pixel, &index, 7, 0, 4, palette), 1);
  EXPECT_EQ(index, kSentinel);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(palette[i].rgbRed + palette[i].rgbGreen + palette[i].rgbBlue, 0);
  EXPECT_EQ(palette[4].rgbRed, kSentinel);
}

TEST(QuantizeRgbEntry, NegativeOrUnrepresentableSizesFailWithoutTouchingMemory) {
  uint8_t pixel[3] = {1, 2, 3};
  uint8_t index = kSentinel;
  RGBQUAD palette[256];
  EXPECT_EQ(QuantizeRgb(pixel, &index, -1, 5, 4, palette), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);  // every quantiser failure is code 1
  EXPECT_EQ(QuantizeRgb(pixel, &index, 5, -3, 4, palette), 0);
  EXPECT_EQ(QuantizeRgb(pixel, &index, 0x7FFFFFFF, 0x7FFFFFFF, 4, palette), 0);
  EXPECT_EQ(index, kSentinel);
  ColorQuantizer quantizer;
  uint8_t planes[3][256];
  EXPECT_EQ(quantizer.Quantize(pixel, &index, -1, 1, 4, planes[0], planes[1], planes[2]), 0);
  EXPECT_EQ(quantizer.errorCode, kPelornBadParam);
}

// ---------------------------------------------------------------------------
// The palette: cells, averages, merge order, palette order.

TEST(QuantizePalette, OneColourPictureGivesOneEntryAndZeroErrors) {
  Picture picture = MakePicture(37, 21);
  for (uint32_t y = 0; y < 21; ++y)
    for (uint32_t x = 0; x < 37; ++x) SetPixel(picture, x, y, 201, 77, 13);
  ColorQuantizer quantizer;
  std::vector<uint8_t> indices(37 * 21, kSentinel);
  uint8_t planes[3][256];
  std::memset(planes, kSentinel, sizeof planes);
  ASSERT_EQ(quantizer.Quantize(picture.rgb.data(), indices.data(), 37, 21, 256, planes[0],
                               planes[1], planes[2]),
            1);
  EXPECT_EQ(quantizer.errorCode, kPelornOk);
  EXPECT_EQ(planes[0][0], 201);
  EXPECT_EQ(planes[1][0], 77);
  EXPECT_EQ(planes[2][0], 13);
  for (int i = 1; i < 256; ++i) {
    ASSERT_EQ(planes[0][i] | planes[1][i] | planes[2][i], 0) << "entry " << i;
  }
  for (uint8_t index : indices) ASSERT_EQ(index, 0);
}

// With no more occupied cells than N nothing merges: one entry per cell, the
// rounded average of its pixels, in descending order of interleaved cell
// index (child 7 before child 0 at every level).
TEST(QuantizePalette, FewCellsKeepOneRoundedAveragePerCellInTreeOrder) {
  const Rgb seeds[] = {{10, 10, 10}, {250, 3, 60}, {128, 128, 128}, {7, 200, 99},
                       {64, 32, 240}, {255, 255, 255}, {130, 129, 131}};
  Picture picture = MakePicture(29, 11);
  uint32_t noise = 99;
  std::map<uint32_t, std::array<uint64_t, 4>> cells;  // cell -> sums, count
  for (uint32_t y = 0; y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      noise = noise * 69069u + 1u;
      const Rgb& seed = seeds[(noise >> 20) % 7];
      // Vary the low three bits only: the pixel stays in its seed's cell.
      const int r = (seed.r & 0xF8) | int((noise >> 8) & 7);
      const int g = (seed.g & 0xF8) | int((noise >> 11) & 7);
      const int b = (seed.b & 0xF8) | int((noise >> 14) & 7);
      SetPixel(picture, x, y, r, g, b);
      auto& cell = cells[InterleavedCell(r, g, b)];
      cell[0] += r;
      cell[1] += g;
      cell[2] += b;
      cell[3] += 1;
    }
  }
  ASSERT_EQ(cells.size(), 6u) << "128,128,128 and 130,129,131 share a cell";
  const Quantized q = RunQuantizeRgb(picture, 6);
  ASSERT_EQ(q.result, 1);
  int entry = 0;
  for (auto it = cells.rbegin(); it != cells.rend(); ++it, ++entry) {
    const auto& s = it->second;
    const Rgb expected{int((s[0] + s[3] / 2) / s[3]), int((s[1] + s[3] / 2) / s[3]),
                       int((s[2] + s[3] / 2) / s[3])};
    EXPECT_EQ(Entry(q, entry), expected) << "entry " << entry;
  }
  EXPECT_EQ(q.palette[6].rgbRed, kSentinel);
  // Larger N changes nothing when the cells are fewer.
  const Quantized roomy = RunQuantizeRgb(picture, 200);
  EXPECT_EQ(std::memcmp(roomy.palette, q.palette, 6 * sizeof(RGBQUAD)), 0);
  EXPECT_EQ(roomy.indices, q.indices);
}

// N = 1: the rounded average of every pixel. For a small picture the 64-bit
// sums give exactly what 32-bit sums gave.
TEST(QuantizePalette, OneColourIsTheRoundedAverageOfAllPixels) {
  const Picture picture = PhotoLike(321, 207);
  uint32_t sums32[3] = {0, 0, 0};
  for (size_t i = 0; i < picture.rgb.size(); ++i) sums32[i % 3] += picture.rgb[i];
  const uint32_t count = 321 * 207;
  const Quantized q = RunQuantizeRgb(picture, 1);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(Entry(q, 0), (Rgb{int((sums32[0] + count / 2) / count), int((sums32[1] + count / 2) / count),
                              int((sums32[2] + count / 2) / count)}));
  for (uint8_t index : q.indices) ASSERT_EQ(index, 0);
}

// A node holding more than 16.8 million bright pixels: 32-bit channel sums
// would wrap and give a dark, wrong colour.
TEST(QuantizePalette, HugeNodesKeepTheExactColour) {
  const uint32_t width = 4200, height = 4100;  // 17.22 million pixels
  Picture picture = MakePicture(width, height);
  for (size_t i = 0; i < picture.rgb.size(); i += 3) {
    picture.rgb[i] = 255;
    picture.rgb[i + 1] = 254;
    picture.rgb[i + 2] = 253;
  }
  const uint64_t count = uint64_t{width} * height;
  const uint32_t wrapped = static_cast<uint32_t>(255 * count);
  ASSERT_NE((wrapped + count / 2) / count, 255u) << "the picture must be big enough to wrap";

  const Quantized flat = RunQuantizeRgb(picture, 1);
  ASSERT_EQ(flat.result, 1);
  EXPECT_EQ(Entry(flat, 0), (Rgb{255, 254, 253}));

  // The same bright region beside a black bottom row, at N = 256: no merge,
  // two cells, each exact.
  for (uint32_t x = 0; x < width; ++x) SetPixel(picture, x, height - 1, 0, 0, 0);
  const Quantized region = RunQuantizeRgb(picture, 256);
  ASSERT_EQ(region.result, 1);
  EXPECT_EQ(Entry(region, 0), (Rgb{255, 254, 253}));
  EXPECT_EQ(Entry(region, 1), (Rgb{0, 0, 0}));
  EXPECT_EQ(region.indices.front(), 0);
  EXPECT_EQ(region.indices.back(), 1);
}

Picture FromCounts(const std::vector<std::pair<Rgb, int>>& colours) {
  int total = 0;
  for (const auto& c : colours) total += c.second;
  Picture picture = MakePicture(static_cast<uint32_t>(total), 1);
  uint32_t x = 0;
  for (const auto& c : colours)
    for (int n = 0; n < c.second; ++n) SetPixel(picture, x++, 0, c.first.r, c.first.g, c.first.b);
  return picture;
}

// Three lone leaves in different top-level subtrees, N = 2: the smallest
// climbs to the root, then the next smallest climbs and merges into it.
TEST(QuantizePalette, SmallestSubtreesMergeFirst) {
  const Rgb a{0, 0, 0}, b{0, 0, 200}, c{200, 0, 0};
  const Quantized q = RunQuantizeRgb(FromCounts({{a, 1}, {b, 2}, {c, 3}}), 2);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(Entry(q, 0), c) << "child 4 of the root is walked before the root itself";
  EXPECT_EQ(Entry(q, 1), (Rgb{0, 0, (400 + 1) / 3}));
}

// Heap ties, traced by hand: leaves A(3) and A'(4) are siblings, B(3) and
// B'(4) too, in another top-level subtree; N = 3. A and B climb to their
// level-4 parents; then A' and B' tie at 4 and A', nearer the top, merges
// first, which ends the run: {A + A'}, {B}, {B'}.
TEST(QuantizePalette, EqualKeysMergeTheEntryNearerTheTop) {
  const Rgb a{0, 0, 0}, a2{8, 0, 0}, b{0, 0, 128}, b2{0, 0, 136};
  ASSERT_LT(InterleavedCell(a.r, a.g, a.b), InterleavedCell(a2.r, a2.g, a2.b));
  ASSERT_LT(InterleavedCell(a2.r, a2.g, a2.b), InterleavedCell(b.r, b.g, b.b));
  ASSERT_LT(InterleavedCell(b.r, b.g, b.b), InterleavedCell(b2.r, b2.g, b2.b));
  const Quantized q = RunQuantizeRgb(FromCounts({{b2, 4}, {a, 3}, {b, 3}, {a2, 4}}), 3);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(Entry(q, 0), b2) << "B' is a child of B's parent, walked before it";
  EXPECT_EQ(Entry(q, 1), b);
  EXPECT_EQ(Entry(q, 2), (Rgb{(32 + 3) / 7, 0, 0})) << "A and A' merged: (3 x 0 + 4 x 8) / 7";
}

// ---------------------------------------------------------------------------
// The mapping: serpentine diffusion, the limit, the lookup cache.

TEST(QuantizeMapping, IndicesFollowTheDiffusionRule) {
  const Picture picture = PhotoLike(97, 61);
  for (int colours : {256, 16, 5, 2}) {
    const Quantized q = RunQuantizeRgb(picture, colours);
    ASSERT_EQ(q.result, 1);
    const int produced = static_cast<int>(std::min<size_t>(colours, OccupiedCells(picture)));
    EXPECT_EQ(q.indices, ReferenceMap(picture, q, produced)) << colours << " colours";
  }
}

TEST(QuantizeMapping, CorpusPhotoFollowsTheDiffusionRule) {
  const Picture photo = ReadBmp24(CorpusPath("bmp", "pillow_hopper.bmp"));
  ASSERT_EQ(photo.width, 128u);
  const Quantized q = RunQuantizeRgb(photo, 16);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(q.indices, ReferenceMap(photo, q, 16));
}

// Hand-traced: black (1 pixel) and grey 100 (6 pixels) share the root's
// child 0, white (1 pixel) is child 7; N = 2. Black climbs to child 0, white
// to the root, grey climbs and joins child 0: entries {black + grey, white}.
// Mapping the one row left to right: black gets error limit(0 - 86) = -20,
// white then sees 255 - 10 = 245 and stays white, the greys stay grey.
TEST(QuantizeMapping, MergedNeighboursShareAnEntry) {
  const Picture picture = FromCounts({{{0, 0, 0}, 1}, {{255, 255, 255}, 1}, {{100, 100, 100}, 6}});
  const Quantized q = RunQuantizeRgb(picture, 2);
  ASSERT_EQ(q.result, 1);
  EXPECT_EQ(Entry(q, 0), (Rgb{86, 86, 86})) << "(0 + 6 x 100 + 3) / 7";
  EXPECT_EQ(Entry(q, 1), (Rgb{255, 255, 255}));
  EXPECT_EQ(q.indices, (std::vector<uint8_t>{0, 1, 0, 0, 0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------
// Progress, cancellation, memory, operation depth.

TEST(QuantizeRun, ReportsFivePhases) {
  const Picture picture = PhotoLike(20, 20);
  ProgressScope scope(0);
  ASSERT_EQ(RunQuantizeRgb(picture, 16).result, 1);
  const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 5}, {1, 5}, {2, 5}, {3, 5}, {4, 5}};
  EXPECT_EQ(progressCalls, expected);
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

TEST(QuantizeRun, CancelAtEveryPhaseFailsAndFreesTheTables) {
  const Picture picture = PhotoLike(20, 20);
  for (int32_t stopAt = 1; stopAt <= 5; ++stopAt) {
    ProgressScope scope(stopAt);
    const Quantized q = RunQuantizeRgb(picture, 16);
    EXPECT_EQ(q.result, 0) << stopAt;
    EXPECT_EQ(q.error, kPelornOutOfMemory) << "the entry point reports every failure as 1";
    EXPECT_EQ(progressCalls.size(), static_cast<size_t>(stopAt));
    EXPECT_EQ(q.palette[0].rgbRed, kSentinel) << "no palette entry written on failure";

    progressCalls.clear();
    ColorQuantizer quantizer;
    std::vector<uint8_t> indices(400);
    uint8_t planes[3][256];
    EXPECT_EQ(quantizer.Quantize(picture.rgb.data(), indices.data(), 20, 20, 16, planes[0],
                                 planes[1], planes[2]),
              0);
    EXPECT_EQ(quantizer.errorCode, kPelornCancelled);
  }
}

// The first call answers "stop": nothing has been allocated yet, so a fault
// armed on the very next plain allocation is still pending afterwards.
TEST(QuantizeRun, CancelAtFirstCallAllocatesNothing) {
  const Picture picture = PhotoLike(20, 20);
  {
    ProgressScope scope(1);
    pelorn::FailNthPlainAllocation(1);
    EXPECT_EQ(RunQuantizeRgb(picture, 16).result, 0);
  }
  void* probe = pelorn::PlainAllocate(16, false);
  EXPECT_EQ(probe, nullptr) << "the armed fault was not used by the cancelled run";
  std::free(probe);
  pelorn::FailNthPlainAllocation(0);
}

TEST(QuantizeRun, EveryRefusedAllocationFailsCleanly) {
  const Picture picture = PhotoLike(31, 19);
  const Quantized good = RunQuantizeRgb(picture, 64);
  ASSERT_EQ(good.result, 1);
  int failures = 0;
  for (long long n = 1; n <= 20; ++n) {
    pelorn::FailNthPlainAllocation(n);
    const Quantized q = RunQuantizeRgb(picture, 64);
    pelorn::FailNthPlainAllocation(0);
    if (q.result == 0) {
      ++failures;
      EXPECT_EQ(q.error, kPelornOutOfMemory) << n;
    } else {
      EXPECT_EQ(q.indices, good.indices) << n;
      break;
    }
  }
  EXPECT_EQ(failures, 10) << "six levels, heap, lookup cache and two error rows";
}

TEST(QuantizeRun, SilentInsideAnotherOperation) {
  const Picture picture = PhotoLike(20, 20);
  ProgressScope scope(1);
  {
    PelornCodec outer;  // depth 1: the quantiser runs at depth 2
    EXPECT_EQ(RunQuantizeRgb(picture, 16).result, 1);
  }
  EXPECT_TRUE(progressCalls.empty());
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

TEST(QuantizeRun, DirectCallerCannotOverrunThePalettePlanes) {
  const Picture picture = PhotoLike(64, 64);
  ColorQuantizer quantizer;
  std::vector<uint8_t> indices(64 * 64);
  std::vector<uint8_t> red(256), green(256), blue(256);  // exactly 256: ASan sees any overrun
  ASSERT_EQ(quantizer.Quantize(picture.rgb.data(), indices.data(), 64, 64, 5000, red.data(),
                               green.data(), blue.data()),
            1);
  const Quantized viaEntry = RunQuantizeRgb(picture, 256);
  EXPECT_EQ(indices, viaEntry.indices);
}

// The quantiser clamps the colour count itself: a direct caller asking for
// none, or a negative count, gets the one-colour result of a count of 1,
// never an unreduced tree.
TEST(QuantizeRun, DirectCallerCountBelowOneGivesOneColour) {
  const Picture picture = PhotoLike(48, 32);
  auto run = [&picture](int32_t colorCount, std::vector<uint8_t>* indices,
                        std::vector<uint8_t>* planes) {
    ColorQuantizer quantizer;
    indices->assign(48 * 32, 0xAA);
    planes->assign(3 * 256, 0xAA);
    return quantizer.Quantize(picture.rgb.data(), indices->data(), 48, 32, colorCount,
                              planes->data(), planes->data() + 256, planes->data() + 512);
  };
  std::vector<uint8_t> oneIndices, onePlanes;
  ASSERT_EQ(run(1, &oneIndices, &onePlanes), 1);
  for (int32_t colorCount : {0, -7, std::numeric_limits<int32_t>::min()}) {
    std::vector<uint8_t> indices, planes;
    ASSERT_EQ(run(colorCount, &indices, &planes), 1) << colorCount;
    EXPECT_EQ(indices, std::vector<uint8_t>(48 * 32, 0)) << colorCount;
    EXPECT_EQ(planes, onePlanes) << colorCount;
  }
}

TEST(QuantizeRun, SameObjectTwiceGivesTheSameResult) {
  const Picture picture = PhotoLike(50, 40);
  ColorQuantizer quantizer;
  std::vector<uint8_t> first(2000), second(2000);
  uint8_t planes1[3][256], planes2[3][256];
  ASSERT_EQ(quantizer.Quantize(picture.rgb.data(), first.data(), 50, 40, 32, planes1[0],
                               planes1[1], planes1[2]), 1);
  ASSERT_EQ(quantizer.Quantize(picture.rgb.data(), second.data(), 50, 40, 32, planes2[0],
                               planes2[1], planes2[2]), 1);
  EXPECT_EQ(first, second);
  EXPECT_EQ(std::memcmp(planes1, planes2, sizeof planes1), 0);
}

// ---------------------------------------------------------------------------
// Quality and determinism.

TEST(QuantizeQuality, PhotoLikePictureKeepsItsDetail) {
  const Picture picture = PhotoLike(400, 300);
  const double psnr256 = Psnr(picture, RunQuantizeRgb(picture, 256));
  const double psnr16 = Psnr(picture, RunQuantizeRgb(picture, 16));
  std::printf("photo-like 400x300: PSNR %.2f dB at 256 colours, %.2f dB at 16\n", psnr256, psnr16);
  EXPECT_GT(psnr256, kPsnr256Bound);
  EXPECT_GT(psnr16, kPsnr16Bound);
  EXPECT_GT(psnr256, psnr16 + 3);
}

TEST(QuantizeQuality, CorpusPhotosKeepTheirDetail) {
  for (const char* name : {"pillow_hopper.bmp", "imagers_V5_24_Bit.bmp"}) {
    const Picture photo = ReadBmp24(CorpusPath("bmp", name));
    ASSERT_GT(photo.width, 0u) << name;
    // Cross-check the tiny reader above against Pillow where it is available.
    if (auto reference = testing_support::ReferenceDecode(CorpusPath("bmp", name))) {
      EXPECT_EQ(reference->rgb, photo.rgb) << name;
    } else {
      std::printf("%s: Pillow not available, reader not cross-checked\n", name);
    }
    const double psnr = Psnr(photo, RunQuantizeRgb(photo, 256));
    std::printf("%s: PSNR %.2f dB at 256 colours\n", name, psnr);
    EXPECT_GT(psnr, kPhotoPsnrBound) << name;
  }
}

struct GoldenCase {
  std::string name;
  Picture picture;
  int colours;
};

std::vector<GoldenCase> GoldenCases() {
  std::vector<GoldenCase> cases;
  const Picture photo = PhotoLike(321, 207);
  for (int colours : {256, 16, 2, 1}) cases.push_back({"photolike_321x207", photo, colours});
  const Picture hopper = ReadBmp24(CorpusPath("bmp", "pillow_hopper.bmp"));
  for (int colours : {256, 16}) cases.push_back({"pillow_hopper.bmp", hopper, colours});
  cases.push_back({"imagers_V5_24_Bit.bmp", ReadBmp24(CorpusPath("bmp", "imagers_V5_24_Bit.bmp")), 256});
  return cases;
}

std::string GoldenLine(const GoldenCase& c) {
  const Quantized q = RunQuantizeRgb(c.picture, c.colours);
  std::ostringstream line;
  line << c.name << ' ' << c.picture.width << ' ' << c.picture.height << ' ' << c.colours << ' '
       << q.error << ' ' << Checksum(q.indices.data(), q.indices.size()) << ' '
       << Checksum(reinterpret_cast<const uint8_t*>(q.palette), sizeof q.palette);
  return line.str();
}

// Regression guard: the lines were produced by this quantiser; a change here
// means exported 8-bit files would change.
TEST(QuantizeDeterminism, MatchesTheGoldenList) {
  const std::string path = std::string(TESSARY_SOURCE_DIR) + "/tests/golden/quantize.txt";
  std::vector<std::string> lines;
  for (const GoldenCase& c : GoldenCases()) {
    ASSERT_GT(c.picture.width, 0u) << c.name;
    lines.push_back(GoldenLine(c));
  }
  if (testing_support::GoldenRewriteRequested()) {
    std::ofstream out(path);
    out << "# name width height colours error index-checksum palette-checksum\n";
    for (const std::string& line : lines) out << line << '\n';
    ASSERT_TRUE(static_cast<bool>(out));
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(static_cast<bool>(in)) << path;
  std::vector<std::string> recorded;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') recorded.push_back(line);
  }
  EXPECT_EQ(recorded, lines);
}

}  // namespace
