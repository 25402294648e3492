// Tests of the bilinear scaler (PelornCodec::ResampleRgb and the entry point
// ResampleRgb).
//
// Expected values are worked out by hand from the sampling rule (output pixel
// x samples source position x * sourceWidth / destinationWidth from the first
// pixel, limited to the last one; blends truncated), on sizes whose steps are
// exact in binary so that hand arithmetic and doubles agree; the rest are
// properties (constant pictures, monotone ramps) and a comparison with
// Pillow's bilinear interpolation set to sample the same positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Picture;

Picture MakePicture(uint32_t width, uint32_t height) {
  Picture picture;
  picture.width = width;
  picture.height = height;
  picture.rgb.assign(static_cast<size_t>(width) * height * 3, 0);
  return picture;
}

uint8_t* At(Picture& picture, uint32_t x, uint32_t y) {
  return &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
}
const uint8_t* At(const Picture& picture, uint32_t x, uint32_t y) {
  return &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
}

Picture Noise(uint32_t width, uint32_t height, uint32_t seed) {
  Picture picture = MakePicture(width, height);
  for (uint8_t& byte : picture.rgb) {
    seed = seed * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(seed >> 24);
  }
  return picture;
}

// A smooth picture: a bilinear-friendly stand-in for a photo.
Picture Smooth(uint32_t width, uint32_t height) {
  Picture picture = MakePicture(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* p = At(picture, x, y);
      p[0] = static_cast<uint8_t>(255 * x / (width - 1));
      p[1] = static_cast<uint8_t>(255 * y / (height - 1));
      p[2] = static_cast<uint8_t>((x * x + 3 * y) % 256);
    }
  }
  return picture;
}

struct Scaled {
  int32_t result = 0;
  PelornError error = 0;
  Picture picture;
};

constexpr uint8_t kSentinel = 0x5A;
constexpr size_t kGuardBytes = 48;

// Through the entry point; checks that nothing past the destination is written.
Scaled Scale(const Picture& source, uint32_t width, uint32_t height) {
  Scaled out;
  std::vector<uint8_t> destination(static_cast<size_t>(width) * height * 3 + kGuardBytes, kSentinel);
  out.result = ResampleRgb(source.rgb.data(), static_cast<int32_t>(source.width),
                           static_cast<int32_t>(source.height), destination.data(),
                           static_cast<int32_t>(width), static_cast<int32_t>(height));
  out.error = GetLastImageError();
  for (size_t i = destination.size() - kGuardBytes; i < destination.size(); ++i) {
    EXPECT_EQ(destination[i], kSentinel) << "written past the destination";
  }
  destination.resize(destination.size() - kGuardBytes);
  out.picture.width = width;
  out.picture.height = height;
  out.picture.rgb = std::move(destination);
  return out;
}

Picture Grey(std::initializer_list<int> values) {
  Picture picture = MakePicture(static_cast<uint32_t>(values.size()), 1);
  size_t i = 0;
  for (int v : values) {
    picture.rgb[i++] = static_cast<uint8_t>(v);
    picture.rgb[i++] = static_cast<uint8_t>(v);
    picture.rgb[i++] = static_cast<uint8_t>(v);
  }
  return picture;
}

std::vector<int> RedRow(const Picture& picture, uint32_t y) {
  std::vector<int> row;
  for (uint32_t x = 0; x < picture.width; ++x) row.push_back(At(picture, x, y)[0]);
  return row;
}

// ---------------------------------------------------------------------------
// Exact values worked out by hand.

TEST(ResampleExact, FourByFourToTwoByTwoTakesPositionsZeroAndTwo) {
  const Picture source = Noise(4, 4, 7);
  const Scaled out = Scale(source, 2, 2);
  ASSERT_EQ(out.result, 1);
  EXPECT_EQ(out.error, kPelornOk);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 2; ++x) {
      EXPECT_EQ(std::memcmp(At(out.picture, x, y), At(source, 2 * x, 2 * y), 3), 0) << x << "," << y;
    }
  }
}

TEST(ResampleExact, TwoByOneToFourByOneTruncatesTheHalfWayBlend) {
  const Scaled grey = Scale(Grey({0, 255}), 4, 1);
  ASSERT_EQ(grey.result, 1);
  EXPECT_EQ(grey.picture.rgb, Grey({0, 127, 255, 255}).rgb);

  Picture source = MakePicture(2, 1);
  const uint8_t pixels[6] = {10, 200, 0, 20, 100, 255};
  std::memcpy(source.rgb.data(), pixels, 6);
  const Scaled colour = Scale(source, 4, 1);
  ASSERT_EQ(colour.result, 1);
  const std::vector<uint8_t> expected = {10, 200, 0, 15, 150, 127, 20, 100, 255, 20, 100, 255};
  EXPECT_EQ(colour.picture.rgb, expected);
}

TEST(ResampleExact, SameSizeIsAnIdenticalCopy) {
  for (auto size : {std::pair<uint32_t, uint32_t>{37, 23}, {1, 1}, {1, 9}, {300, 2}}) {
    const Picture source = Noise(size.first, size.second, 11);
    const Scaled out = Scale(source, size.first, size.second);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.picture.rgb, source.rgb) << size.first << "x" << size.second;
  }
}

// Horizontal step 2 (columns 0, 2, 4, 6, 8); vertical step 2.5: even output
// rows take source row 2.5 y, odd ones blend rows a and a + 1 half and half,
// down to row 39 at position 97.5.
TEST(ResampleExact, TenByHundredToFiveByFortyBlendsOddRowsHalfAndHalf) {
  const Picture source = Noise(10, 100, 3);
  const Scaled out = Scale(source, 5, 40);
  ASSERT_EQ(out.result, 1);
  for (uint32_t y = 0; y < 40; ++y) {
    const uint32_t a = y * 5 / 2;
    for (uint32_t x = 0; x < 5; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int upper = At(source, 2 * x, a)[c];
        const int expected = y % 2 == 0 ? upper : (upper + At(source, 2 * x, a + 1)[c]) / 2;
        ASSERT_EQ(At(out.picture, x, y)[c], expected) << x << "," << y << " channel " << c;
      }
    }
  }
}

TEST(ResampleExact, EnlargingInQuarterSteps) {
  // Positions 0, .25, .5, .75, then the last pixel repeats.
  const Scaled row = Scale(Grey({0, 100}), 8, 1);
  ASSERT_EQ(row.result, 1);
  EXPECT_EQ(RedRow(row.picture, 0), (std::vector<int>{0, 25, 50, 75, 100, 100, 100, 100}));

  // 2 x 2 to 8 x 8: (1 - u)(1 - v) p00 + u (1 - v) p10 + (1 - u) v p01 + u v p11
  // with u, v in quarters up to 1, truncated; computed in sixteenths.
  Picture source = MakePicture(2, 2);
  const int corners[2][2] = {{0, 200}, {90, 33}};  // [y][x]
  for (uint32_t y = 0; y < 2; ++y)
    for (uint32_t x = 0; x < 2; ++x) std::memset(At(source, x, y), corners[y][x], 3);
  const Scaled out = Scale(source, 8, 8);
  ASSERT_EQ(out.result, 1);
  for (uint32_t y = 0; y < 8; ++y) {
    for (uint32_t x = 0; x < 8; ++x) {
      const int u = std::min<int>(x, 4), v = std::min<int>(y, 4);
      const int sixteenths = (4 - u) * (4 - v) * corners[0][0] + u * (4 - v) * corners[0][1] +
                             (4 - u) * v * corners[1][0] + u * v * corners[1][1];
      ASSERT_EQ(At(out.picture, x, y)[1], sixteenths / 16) << x << "," << y;
    }
  }
  EXPECT_EQ(RedRow(out.picture, 2), (std::vector<int>{45, 62, 80, 98, 116, 116, 116, 116}));
}

TEST(ResampleExact, ShrinkingSamplesInsideTheSource) {
  const Scaled quarter = Scale(Grey({0, 10, 20, 31, 40, 50, 60, 70}), 2, 1);
  ASSERT_EQ(quarter.result, 1);
  EXPECT_EQ(RedRow(quarter.picture, 0), (std::vector<int>{0, 40}));
  // Step 2.5: positions 0 and 2.5; (20 + 31) / 2 = 25.5 truncates to 25.
  const Scaled fifths = Scale(Grey({0, 10, 20, 31, 40}), 2, 1);
  ASSERT_EQ(fifths.result, 1);
  EXPECT_EQ(RedRow(fifths.picture, 0), (std::vector<int>{0, 25}));
}

TEST(ResampleExact, OnePixelSourcesAndDestinations) {
  Picture dot = MakePicture(1, 1);
  dot.rgb = {12, 34, 56};
  const Scaled spread = Scale(dot, 5, 3);
  ASSERT_EQ(spread.result, 1);
  for (size_t i = 0; i < spread.picture.rgb.size(); i += 3) {
    ASSERT_EQ(spread.picture.rgb[i], 12);
    ASSERT_EQ(spread.picture.rgb[i + 1], 34);
    ASSERT_EQ(spread.picture.rgb[i + 2], 56);
  }

  const Picture source = Noise(7, 5, 5);
  const Scaled single = Scale(source, 1, 1);
  ASSERT_EQ(single.result, 1);
  EXPECT_EQ(std::memcmp(single.picture.rgb.data(), At(source, 0, 0), 3), 0);

  // One column: every output column is the same column scaled vertically.
  const Picture column = Grey({0, 100});  // 2 x 1 ...
  Picture tall = MakePicture(1, 2);
  tall.rgb = {0, 0, 0, 100, 100, 100};
  const Scaled wide = Scale(tall, 3, 4);
  ASSERT_EQ(wide.result, 1);
  for (uint32_t y = 0; y < 4; ++y) {
    const int expected[4] = {0, 50, 100, 100};
    for (uint32_t x = 0; x < 3; ++x) ASSERT_EQ(At(wide.picture, x, y)[0], expected[y]) << x << "," << y;
  }
  // One row scaled to one column: the first pixel.
  const Scaled narrow = Scale(column, 1, 6);
  ASSERT_EQ(narrow.result, 1);
  for (uint8_t byte : narrow.picture.rgb) ASSERT_EQ(byte, 0);
}

// ---------------------------------------------------------------------------
// Properties on sizes whose steps are not exact in binary.

const std::pair<uint32_t, uint32_t> kOddSizes[] = {{7, 3}, {13, 29}, {100, 1}, {1, 77},
                                                   {549, 366}, {31, 31}, {2, 250}};

// Truncation could drop a constant by one wherever the rounded weights'
// products summed just below the integer; on these sizes they never do (a
// value one below is reported apart from any other change).
TEST(ResampleProperties, ConstantPicturesStayConstant) {
  for (int value : {0, 1, 77, 128, 254, 255}) {
    Picture source = MakePicture(97, 61);
    std::fill(source.rgb.begin(), source.rgb.end(), static_cast<uint8_t>(value));
    for (const auto& size : kOddSizes) {
      const Scaled out = Scale(source, size.first, size.second);
      ASSERT_EQ(out.result, 1);
      size_t lowered = 0;
      for (uint8_t byte : out.picture.rgb) {
        ASSERT_TRUE(byte == value || byte == value - 1) << value << " became " << int(byte);
        lowered += byte != value;
      }
      EXPECT_EQ(lowered, 0u) << value << " to " << size.first << "x" << size.second;
    }
  }
}

TEST(ResampleProperties, MonotoneRampsStayMonotone) {
  Picture ramp = MakePicture(256, 9);
  for (uint32_t y = 0; y < 9; ++y)
    for (uint32_t x = 0; x < 256; ++x) std::memset(At(ramp, x, y), static_cast<int>(x), 3);
  for (uint32_t width : {3u, 17u, 100u, 255u, 257u, 600u, 1001u}) {
    const Scaled out = Scale(ramp, width, 5);
    ASSERT_EQ(out.result, 1);
    for (uint32_t y = 0; y < 5; ++y) {
      const std::vector<int> row = RedRow(out.picture, y);
      EXPECT_TRUE(std::is_sorted(row.begin(), row.end())) << width;
      EXPECT_EQ(row.front(), 0);
      EXPECT_LE(row.back(), 255);
      EXPECT_GE(row.back(), 255 - 256 / static_cast<int>(width) - 1) << "last column samples near the end";
    }
  }
}

// Pillow's affine transform with bilinear interpolation, shifted to sample the
// same positions. Both blend the same four pixels with the same weights, but
// in another order of operations (Pillow: a + (b - a) d), so where the exact
// value is an integer or very near one the two truncations can fall on either
// side: bytes may differ by one, and only rarely (measured: about 0.05 %;
// the bound below is 1 %). A shifted sample position or a wrong weight
// breaks both limits at once on these pictures.
TEST(ResampleProperties, AgreesWithPillowBilinearWithinOneLevel) {
  const std::string python = testing_support::PythonWithPillow();
  if (testing_support::RunCommand(python + " -c 'import PIL' 2>/dev/null") != 0) {
    GTEST_SKIP() << "Pillow not installed";
  }
  const std::string folder = testing_support::TempDir();
  struct Case {
    Picture source;
    uint32_t width, height;
  };
  const Picture smooth = Smooth(300, 200);
  const Picture noise = Noise(64, 48, 9);
  const Case cases[] = {{smooth, 97, 61}, {smooth, 549, 366}, {noise, 29, 17}, {noise, 100, 75}};
  int index = 0;
  for (const Case& c : cases) {
    const std::string in = folder + "/in" + std::to_string(index) + ".ppm";
    const std::string outPath = folder + "/out" + std::to_string(index++) + ".ppm";
    std::string header = "P6\n" + std::to_string(c.source.width) + " " +
                         std::to_string(c.source.height) + "\n255\n";
    std::vector<uint8_t> file(header.begin(), header.end());
    file.insert(file.end(), c.source.rgb.begin(), c.source.rgb.end());
    ASSERT_TRUE(testing_support::WriteWholeFile(in, file));
    const std::string command = python + " '" TESSARY_SOURCE_DIR "/tests/tools/bilinear_affine.py' '" +
                                in + "' " + std::to_string(c.width) + " " +
                                std::to_string(c.height) + " '" + outPath + "'";
    ASSERT_EQ(testing_support::RunCommand(command), 0) << command;
    const std::vector<uint8_t> produced = testing_support::ReadWholeFile(outPath);
    const std::string expectedHeader =
        "P6\n" + std::to_string(c.width) + " " + std::to_string(c.height) + "\n255\n";
    ASSERT_GT(produced.size(), expectedHeader.size());
    ASSERT_EQ(std::string(produced.begin(), produced.begin() + expectedHeader.size()), expectedHeader);
    Picture reference = MakePicture(c.width, c.height);
    reference.rgb.assign(produced.begin() + expectedHeader.size(), produced.end());

    const Scaled ours = Scale(c.source, c.width, c.height);
    ASSERT_EQ(ours.result, 1);
    const auto difference = testing_support::Compare(ours.picture, reference);
    std::printf("%ux%u to %ux%u: Pillow differs in %zu of %zu bytes, by at most %d\n",
                c.source.width, c.source.height, c.width, c.height, difference.differingBytes,
                reference.rgb.size(), difference.maxDelta);
    EXPECT_LE(difference.maxDelta, 1) << c.source.width << "x" << c.source.height << " to "
                                      << c.width << "x" << c.height;
    EXPECT_LE(difference.differingBytes * 100, reference.rgb.size())
        << c.source.width << "x" << c.source.height << " to " << c.width << "x" << c.height;
  }
}

// ---------------------------------------------------------------------------
// Bad arguments, memory, progress and operation depth.

TEST(ResampleErrors, MissingBuffersAndZeroOrNegativeSizesAreBadParams) {
  const Picture source = Noise(4, 4, 1);
  std::vector<uint8_t> destination(4 * 4 * 3, kSentinel);
  const uint8_t* s = source.rgb.data();
  uint8_t* d = destination.data();
  const int32_t bad[][4] = {{0, 4, 4, 4}, {4, 0, 4, 4}, {4, 4, 0, 4}, {4, 4, 4, 0},
                            {-4, 4, 4, 4}, {4, -1, 4, 4}, {4, 4, -2, 4}, {4, 4, 4, -3},
                            {0x7FFFFFFF, 0x7FFFFFFF, 4, 4}, {4, 4, 0x7FFFFFFF, 0x7FFFFFFF}};
  for (const auto& sizes : bad) {
    EXPECT_EQ(ResampleRgb(s, sizes[0], sizes[1], d, sizes[2], sizes[3]), 0);
    EXPECT_EQ(GetLastImageError(), kPelornBadParam) << sizes[0] << " " << sizes[1] << " "
                                                    << sizes[2] << " " << sizes[3];
  }
  EXPECT_EQ(ResampleRgb(nullptr, 4, 4, d, 4, 4), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ResampleRgb(s, 4, 4, nullptr, 4, 4), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  for (uint8_t byte : destination) ASSERT_EQ(byte, kSentinel);
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

TEST(ResampleErrors, SuccessStoresZeroAfterAnError) {
  const Picture source = Noise(4, 4, 1);
  std::vector<uint8_t> destination(2 * 2 * 3);
  ASSERT_EQ(ResampleRgb(nullptr, 4, 4, destination.data(), 2, 2), 0);
  EXPECT_EQ(ResampleRgb(source.rgb.data(), 4, 4, destination.data(), 2, 2), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
}

TEST(ResampleErrors, RefusedWorkingRowsReportOutOfMemory) {
  const Picture source = Noise(9, 9, 2);
  for (long long n : {1, 2}) {
    pelorn::FailNthPlainAllocation(n);
    const Scaled out = Scale(source, 5, 5);
    pelorn::FailNthPlainAllocation(0);
    EXPECT_EQ(out.result, 0) << n;
    EXPECT_EQ(out.error, kPelornOutOfMemory) << n;
  }
  EXPECT_EQ(Scale(source, 5, 5).result, 1);
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

std::vector<std::pair<int32_t, int32_t>> progressCalls;
int32_t stopAtCall = 0;
int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.emplace_back(done, total);
  return stopAtCall != 0 && static_cast<int32_t>(progressCalls.size()) == stopAtCall ? 0 : 1;
}

// The entry point's codec object raises the depth to 1 and the scaler raises
// it again, so through ResampleRgb the scaler never reports.
TEST(ResampleProgress, SilentThroughTheEntryPoint) {
  progressCalls.clear();
  stopAtCall = 1;
  SetProgressCallback(RecordProgress);
  const Scaled out = Scale(Noise(8, 8, 4), 4, 6);
  SetProgressCallback(nullptr);
  EXPECT_EQ(out.result, 1);
  EXPECT_TRUE(progressCalls.empty());
}

// Run as the outermost operation (the codec object's own raise taken back),
// the scaler reports (y, height) after each row and stops on a 0 answer.
TEST(ResampleProgress, ReportsEveryRowAndCancelsWhenOutermost) {
  const Picture source = Noise(8, 8, 4);
  std::vector<uint8_t> destination(4 * 6 * 3, kSentinel);
  for (int32_t stopAt : {0, 1, 4}) {
    progressCalls.clear();
    stopAtCall = stopAt;
    SetProgressCallback(RecordProgress);
    int32_t result;
    PelornError code;
    {
      PelornCodec codec;
      --GetThreadState().operationDepth;
      result = codec.ResampleRgb(source.rgb.data(), 8, 8, destination.data(), 4, 6);
      code = codec.errorCode;
      ++GetThreadState().operationDepth;
    }
    SetProgressCallback(nullptr);
    if (stopAt == 0) {
      EXPECT_EQ(result, 1);
      EXPECT_EQ(code, kPelornOk);
      std::vector<std::pair<int32_t, int32_t>> expected;
      for (int32_t y = 0; y < 6; ++y) expected.emplace_back(y, 6);
      EXPECT_EQ(progressCalls, expected);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(code, kPelornCancelled);
      EXPECT_EQ(progressCalls.size(), static_cast<size_t>(stopAt));
    }
  }
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

}  // namespace
