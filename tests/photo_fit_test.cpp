// Photos as the viewer takes them: the area-weighted reduction against a
// direct model of area averaging, JPEG decoding at a DCT scale against
// Pillow's (libjpeg's) draft decode, EXIF orientation against Pillow's
// reading and against damaged blocks built here, and fitted, upright photos
// against Pillow's Lanczos reduction of its own upright decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands/fitted_picture.h"
#include "imaging/core/pelorn.h"
#include "tests/support/photo_reference.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Picture;

std::vector<uint8_t> NoisePicture(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (uint8_t& byte : rgb) byte = static_cast<uint8_t>(random() & 0xFF);
  return rgb;
}

struct ReduceCase {
  int sw, sh, dw, dh;
};

// Area averaging in exact integers: source pixel i spans [i * dw, (i + 1) * dw)
// and output pixel x spans [x * sw, (x + 1) * sw), so every overlap is whole
// and the mean of an output pixel is its weighted total over sw * sh, rounded
// to nearest with halves up. Sizes cover spans of one to several hundred rows.
uint8_t ExactAreaMean(const std::vector<uint8_t>& rgb, int sw, int sh, int dw, int dh, int x,
                      int y, int channel) {
  auto overlap = [](uint64_t i, uint64_t o, uint64_t sourceSize, uint64_t outputSize) -> uint64_t {
    const uint64_t start = std::max(i * outputSize, o * sourceSize);
    const uint64_t end = std::min((i + 1) * outputSize, (o + 1) * sourceSize);
    return end > start ? end - start : 0;
  };
  uint64_t total = 0;
  for (int j = int(uint64_t(y) * sh / dh); j < sh && uint64_t(j) * dh < uint64_t(y + 1) * sh; ++j)
    for (int i = int(uint64_t(x) * sw / dw); i < sw && uint64_t(i) * dw < uint64_t(x + 1) * sw; ++i)
      total += overlap(j, y, sh, dh) * overlap(i, x, sw, dw) * rgb[(size_t(j) * sw + i) * 3 + channel];
  const uint64_t area = uint64_t(sw) * sh;
  return static_cast<uint8_t>((2 * total + area) / (2 * area));
}

TEST(ReduceRgbTest, RoundsTheExactAreaMeanHalvesUp) {
  const ReduceCase cases[] = {{1000, 750, 549, 411}, {4000, 30, 549, 4}, {37, 300, 5, 7},
                              {20, 600, 3, 2},       {17, 13, 5, 11},    {3, 2, 7, 5},
                              {12, 9, 4, 3},         {10, 7, 3, 4},      {4000, 3, 549, 1},
                              {6, 6, 6, 6}};
  for (const ReduceCase& c : cases) {
    const std::vector<uint8_t> source = NoisePicture(c.sw, c.sh, unsigned(c.sh * 13 + c.dh));
    std::vector<uint8_t> output(size_t(c.dw) * c.dh * 3);
    ASSERT_EQ(ReduceRgb(source.data(), c.sw, c.sh, output.data(), c.dw, c.dh), 1);
    EXPECT_EQ(GetLastImageError(), 0);
    int wrong = 0;
    for (int y = 0; y < c.dh; ++y)
      for (int x = 0; x < c.dw; ++x)
        for (int k = 0; k < 3; ++k)
          wrong += output[(size_t(y) * c.dw + x) * 3 + k] !=
                   ExactAreaMean(source, c.sw, c.sh, c.dw, c.dh, x, y, k);
    EXPECT_EQ(wrong, 0) << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
  }
}

// A one-pixel checkerboard fitted 2:1 is an even grey, not one of its colours.
TEST(ReduceRgbTest, CheckerboardHalvedIsEvenGrey) {
  std::vector<uint8_t> board(64 * 48 * 3);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      std::fill_n(&board[(size_t(y) * 64 + x) * 3], 3, uint8_t((x + y) % 2 ? 255 : 0));
  std::vector<uint8_t> half(32 * 24 * 3);
  ASSERT_EQ(ReduceRgb(board.data(), 64, 48, half.data(), 32, 24), 1);
  EXPECT_TRUE(std::all_of(half.begin(), half.end(), [](uint8_t v) { return v == 128; }));
}

// Turning and reducing commute, which lets the viewer turn the small picture.
TEST(ReduceRgbTest, ReducingATurnedPictureIsTurningTheReducedOne) {
  const int w = 23, h = 14, dw = 7, dh = 5;
  const std::vector<uint8_t> source = NoisePicture(w, h, 5);
  std::vector<uint8_t> reduced(size_t(dw) * dh * 3);
  ASSERT_EQ(ReduceRgb(source.data(), w, h, reduced.data(), dw, dh), 1);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const bool swaps = orientation >= 5;
    std::vector<uint8_t> turned(source.size()), turnedThenReduced(reduced.size()),
        reducedThenTurned(reduced.size());
    ASSERT_EQ(OrientRgb(source.data(), w, h, orientation, turned.data()), 1);
    ASSERT_EQ(ReduceRgb(turned.data(), swaps ? h : w, swaps ? w : h, turnedThenReduced.data(),
                        swaps ? dh : dw, swaps ? dw : dh),
              1);
    ASSERT_EQ(OrientRgb(reduced.data(), dw, dh, orientation, reducedThenTurned.data()), 1);
    EXPECT_EQ(turnedThenReduced, reducedThenTurned) << orientation;
  }
}

// Every orientation against the EXIF table read pixel by pixel, on sizes
// that leave bands and 8-pixel groups partly filled: below 22 rows the
// quarter turns write in place in 16-row bands; from 22 rows on they stream
// whole output lines where the processor allows, in 256-row bands of 8
// columns (one band and more, a last band of 1-3 rows beyond the 4-row
// groups, widths ending inside and on a group). The buffers are exactly the
// picture's size, so a read or write past either end is an error.
TEST(OrientRgbTest, PlacesEveryPixelAsTheExifTableSays) {
  const int sizes[][2] = {{1, 1},  {1, 37},   {37, 1},   {16, 16}, {40, 17},
                          {9, 53}, {33, 8},   {12, 22},  {21, 517}, {16, 300}};
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    const std::vector<uint8_t> source = NoisePicture(w, h, unsigned(w * 7 + h));
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const bool swaps = orientation >= 5;
      const int uw = swaps ? h : w, uh = swaps ? w : h;
      std::vector<uint8_t> upright(source.size());
      ASSERT_EQ(OrientRgb(source.data(), w, h, orientation, upright.data()), 1);
      int wrong = 0;
      for (int y = 0; y < uh; ++y)
        for (int x = 0; x < uw; ++x) {
          const int table[9][2] = {{0, 0},         {x, y},         {w - 1 - x, y},
                                   {w - 1 - x, h - 1 - y}, {x, h - 1 - y}, {y, x},
                                   {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
          const int* stored = table[orientation];
          wrong += !std::equal(&upright[(size_t(y) * uw + x) * 3], &upright[(size_t(y) * uw + x) * 3] + 3,
                               &source[(size_t(stored[1]) * w + stored[0]) * 3]);
        }
      EXPECT_EQ(wrong, 0) << w << "x" << h << " orientation " << orientation;
    }
  }
}

TEST(ReduceRgbTest, RefusesMissingBuffersAndBadSizes) {
  uint8_t pixels[12] = {};
  EXPECT_EQ(ReduceRgb(nullptr, 2, 2, pixels, 1, 1), 0);
  EXPECT_EQ(GetLastImageError(), 5);
  EXPECT_EQ(ReduceRgb(pixels, 2, 0, pixels, 1, 1), 0);
  EXPECT_EQ(GetLastImageError(), 5);
  EXPECT_EQ(OrientRgb(pixels, 2, 2, 9, pixels), 0);
  EXPECT_EQ(GetLastImageError(), 5);
}

// ---------------------------------------------------------------------------
// JPEG at a DCT scale

std::optional<Picture> DraftDecode(const std::string& path, int k) {
  const std::string out = testing_support::TempDir() + "/draft.ppm";
  if (testing_support::RunCommand(
          std::string(testing_support::PythonWithPillow()) + " " +
          testing_support::Quoted(std::string(TESSARY_SOURCE_DIR) + "/tests/tools/draft_decode.py") +
          " " + testing_support::Quoted(path) + " " + std::to_string(k) + " " +
          testing_support::Quoted(out)) != 0) {
    return std::nullopt;
  }
  return testing_support::ReferenceDecode(out);
}

struct ScaledCase {
  int width, height;
  uint32_t boxWidth, boxHeight;
  int denominator;  // the DCT scale expected
};

TEST(ReadJpegFileScaledTest, DecodesAtTheSmallestScaleCoveringTheFit) {
  const ScaledCase cases[] = {
      {1600, 1200, 549, 470, 2},  // 4 x 549 > 1600 and 4 x 470 > 1200
      {2200, 700, 549, 470, 4},   // fitted by width: 2200 / 549 = 4.007
      {1100, 950, 137, 117, 8},   // 8 x 117 <= 950 (a small box: the ratio is the point)
      {500, 400, 549, 470, 1},    // smaller than the box: full size
      {900, 1900, 470, 549, 2},   // a portrait's box, turned: 4 x 549 > 1900
  };
  const std::string folder = testing_support::TempDir();
  for (const ScaledCase& c : cases) {
    const std::string path = folder + "/" + std::to_string(c.width) + ".jpg";
    ASSERT_TRUE(testing_support::MakePhoto("photo", c.width, c.height, 0, path)) << path;
    uint32_t width = 0, height = 0, fullWidth = 0, fullHeight = 0;
    HGLOBAL block =
        ReadJpegFileScaled(path.c_str(), c.boxWidth, c.boxHeight, &width, &height, &fullWidth, &fullHeight);
    ASSERT_NE(block, nullptr) << path;
    const Picture ours = testing_support::TakePicture(block, width, height);
    EXPECT_EQ(fullWidth, uint32_t(c.width));
    EXPECT_EQ(fullHeight, uint32_t(c.height));
    EXPECT_EQ(width, uint32_t((c.width + c.denominator - 1) / c.denominator)) << path;
    const std::optional<Picture> reference = DraftDecode(path, c.denominator);
    ASSERT_TRUE(reference.has_value());
    EXPECT_LE(testing_support::Compare(ours, *reference).maxDelta, 1) << path;
  }
  uint32_t w, h, fw, fh;
  EXPECT_EQ(ReadJpegFileScaled("x.jpg", 0, 470, &w, &h, &fw, &fh), nullptr);
  EXPECT_EQ(GetLastImageError(), 5);
}

// ---------------------------------------------------------------------------
// EXIF orientation

// Every corpus JPEG: ours against Pillow's reading of the first directory.
// Pillow gives up on these blocks where ours, bounded, still finds the tag:
// none of them do hold one.
TEST(ReadJpegOrientationTest, AgreesWithPillowOnTheCorpus) {
  const std::string script =
      "import sys\nfrom PIL import Image\nfor p in sys.argv[1:]:\n"
      "  try:\n    o = Image.open(p).getexif().get(0x0112, 1)\n  except Exception:\n    o = 1\n"
      "  print(o if o in range(1, 9) else 1)\n";
  const std::string scriptPath = testing_support::TempDir() + "/orientations.py";
  testing_support::WriteWholeFile(scriptPath, std::vector<uint8_t>(script.begin(), script.end()));
  std::vector<std::string> files;
  for (const std::string& name : testing_support::CorpusFiles("jpeg"))
    files.push_back(testing_support::CorpusPath("jpeg", name));
  std::string command = std::string(testing_support::PythonWithPillow()) + " " +
                        testing_support::Quoted(scriptPath);
  for (const std::string& file : files) command += " " + testing_support::Quoted(file);
  std::string output;
  ASSERT_EQ(testing_support::RunCommand(command + " 2>/dev/null", &output), 0);
  std::istringstream lines(output);
  int checked = 0, turned = 0;
  for (const std::string& file : files) {
    int expected = 0;
    ASSERT_TRUE(lines >> expected) << file;
    const int32_t ours = ReadJpegOrientation(file.c_str());
    EXPECT_EQ(ours, expected) << file;
    EXPECT_EQ(GetLastImageError(), 0) << file;
    ++checked;
    if (ours != 1) ++turned;
  }
  EXPECT_GE(turned, 9) << "the hopper series and the small tagged files";
  EXPECT_EQ(checked, int(files.size()));
}

// An APP1 "Exif" segment around a TIFF header and one directory.
struct ExifRecipe {
  const char* label;
  bool bigEndian;
  uint32_t directoryOffset;  // from the TIFF header; 8 is right after it
  int entryCount;            // as written; the entries given follow
  uint16_t type;
  uint32_t count;
  uint16_t value;
  size_t cutTo;  // keep only this many bytes of the segment's data (0: all)
  int expected;
};

std::string Bytes16(uint16_t v, bool big) {
  return big ? std::string{char(v >> 8), char(v & 0xFF)} : std::string{char(v & 0xFF), char(v >> 8)};
}
std::string Bytes32(uint32_t v, bool big) {
  return big ? Bytes16(uint16_t(v >> 16), true) + Bytes16(uint16_t(v), true)
             : Bytes16(uint16_t(v), false) + Bytes16(uint16_t(v >> 16), false);
}

std::string JpegWithExif(const ExifRecipe& r) {
  std::string tiff = std::string(r.bigEndian ? "MM" : "II") + Bytes16(42, r.bigEndian) +
                     Bytes32(r.directoryOffset, r.bigEndian) + Bytes16(uint16_t(r.entryCount), r.bigEndian);
  // Another tag first, so the reader has to walk the directory.
  tiff += Bytes16(0x0100, r.bigEndian) + Bytes16(4, r.bigEndian) + Bytes32(1, r.bigEndian) +
          Bytes32(640, r.bigEndian);
  tiff += Bytes16(0x0112, r.bigEndian) + Bytes16(r.type, r.bigEndian) + Bytes32(r.count, r.bigEndian) +
          Bytes16(r.value, r.bigEndian) + std::string(2, '\0');
  tiff += Bytes32(8, r.bigEndian);  // the next directory: IFD0 again, a loop
  std::string data = std::string("Exif\0\0", 6) + tiff;
  if (r.cutTo != 0) data.resize(r.cutTo);
  const size_t length = data.size() + 2;
  return std::string("\xFF\xD8\xFF\xE1", 4) + char(length >> 8) + char(length & 0xFF) + data +
         std::string("\xFF\xDA\x00\x02", 4);
}

TEST(ReadJpegOrientationTest, DamagedBlocksGiveNoOrientation) {
  const ExifRecipe recipes[] = {
      {"little-endian 6", false, 8, 2, 3, 1, 6, 0, 6},
      {"big-endian 8", true, 8, 2, 3, 1, 8, 0, 8},
      {"big-endian 3", true, 8, 2, 3, 1, 3, 0, 3},
      {"directory past the end", false, 0xFFFFFFF0, 2, 3, 1, 6, 0, 1},
      {"directory at the last byte", true, 37, 2, 3, 1, 6, 0, 1},
      {"huge entry count", true, 8, 0xFFFF, 3, 1, 6, 0, 1},
      {"count one entry short", false, 8, 1, 3, 1, 6, 0, 1},
      {"type LONG", false, 8, 2, 4, 1, 6, 0, 1},
      {"two values", true, 8, 2, 3, 2, 6, 0, 1},
      {"value 0", false, 8, 2, 3, 1, 0, 0, 1},
      {"value 9", true, 8, 2, 3, 1, 9, 0, 1},
      {"cut inside the entry", false, 8, 2, 3, 1, 6, 30, 1},
      {"cut inside the header", true, 8, 2, 3, 1, 6, 9, 1},
  };
  const std::string folder = testing_support::TempDir();
  for (const ExifRecipe& r : recipes) {
    const std::string bytes = JpegWithExif(r);
    const std::string path = folder + "/exif.jpg";
    testing_support::WriteWholeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(ReadJpegOrientation(path.c_str()), r.expected) << r.label;
  }
  EXPECT_EQ(ReadJpegOrientation((folder + "/missing.jpg").c_str()), 1);
  EXPECT_EQ(GetLastImageError(), 2);
}

// ---------------------------------------------------------------------------
// Fitted photos against Pillow's Lanczos reduction of its upright decode

TEST(FittedPictureTest, PhotosFitWithinLanczosQuality) {
  struct Photo {
    std::string path;
    int width, height;  // fitted upright, as the design computes it
    double leastPsnr;
  };
  const std::string folder = testing_support::TempDir();
  std::vector<Photo> photos = {
      {testing_support::CorpusPath("jpeg", "pillow_junk_jpeg_header.jpg"), 549, 411, 38},
      {testing_support::CorpusPath("jpeg", "pillow_exif_gps_typeerror.jpg"), 549, 364, 38},
      // Reduced only 1.18 times: no area filter is as sharp as Lanczos there
      // (Pillow's own box filter scores 32.2 dB, its antialiased bilinear 36.6).
      {testing_support::CorpusPath("jpeg", "imagers_progressive_3.jpg"), 549, 396, 37.5},
      {testing_support::CorpusPath("jpeg", "pillow_iptc.jpg"), 549, 411, 38},
      {folder + "/camera.jpg", 549, 411, 38},
      {folder + "/portrait.jpg", 391, 470, 38},
  };
  ASSERT_TRUE(testing_support::MakePhoto("photo", 3264, 2448, 1, photos[4].path));
  // Stored landscape, tagged as a portrait shot: upright it is 1772 x 2126.
  ASSERT_TRUE(testing_support::MakePhoto("photo", 2126, 1772, 6, photos[5].path));
  for (const Photo& photo : photos) {
    const FittedPicture fitted = DecodeFittedPicture(photo.path.c_str(), 549, 470);
    ASSERT_NE(fitted.rgb, nullptr) << photo.path;
    ASSERT_EQ(fitted.width, photo.width) << photo.path;
    ASSERT_EQ(fitted.height, photo.height) << photo.path;
    Picture ours;
    ours.width = uint32_t(fitted.width);
    ours.height = uint32_t(fitted.height);
    ours.rgb.assign(fitted.rgb.get(), fitted.rgb.get() + size_t(fitted.width) * fitted.height * 3);
    const auto reference = testing_support::UprightReference(photo.path, photo.width, photo.height);
    ASSERT_TRUE(reference.has_value()) << photo.path;
    EXPECT_GE(testing_support::Psnr(ours, *reference), photo.leastPsnr) << photo.path;
  }
}

}  // namespace
