// Tests of the pelorn command-line tool, run as a process: the exit status and
// message of each way it fails (no file, a name it cannot read or write, an
// unknown form, a damaged file, a picture too large to hold), and every output
// form read back by Pillow and compared with our own decode of the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/pelorn.h"
#include "tests/bmp_builder.h"
#include "tests/support/photo_reference.h"
#include "tests/support/test_support.h"

using testing_support::Compare;
using testing_support::Picture;
using testing_support::PythonWithPillow;
using testing_support::Quoted;
using testing_support::ReferenceDecode;
using testing_support::RunCommand;
using testing_support::TakePicture;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

struct Outcome {
  int status;
  std::string message;  // what pelorn wrote on stderr
};

Outcome RunPelorn(const std::string& arguments, const std::string& shellPrefix = "") {
  Outcome outcome;
  outcome.status = RunCommand(shellPrefix + "'" + TESSARY_BIN_DIR + "/pelorn' " + arguments +
                                  " 2>&1 >/dev/null",
                              &outcome.message);
  return outcome;
}

constexpr uint32_t kBlock = 16;

// The largest channel difference over the pixels at least `margin` away from
// the edges of the picture's 16 x 16 blocks (all pixels for margin 0): a JPEG
// decoder's chroma upsampling blends colours across those edges.
int MaxDeltaInsideBlocks(const Picture& a, const Picture& b, uint32_t margin) {
  if (margin == 0) return Compare(a, b).maxDelta;
  int largest = 0;
  for (uint32_t y = 0; y < a.height; ++y) {
    for (uint32_t x = 0; x < a.width; ++x) {
      if (x % kBlock < margin || x % kBlock >= kBlock - margin || y % kBlock < margin ||
          y % kBlock >= kBlock - margin)
        continue;
      for (size_t i = (size_t{y} * a.width + x) * 3, end = i + 3; i < end; ++i)
        largest = std::max(largest, std::abs(int(a.rgb[i]) - int(b.rgb[i])));
    }
  }
  return largest;
}

// A 128 x 64 picture of 16 x 16 blocks in 16 colours, written by Pillow.
// Each colour lies in its own cube of the quantiser's tree, so even the
// 16-colour form keeps every pixel, and the blocks sit on JPEG's 16 x 16
// units, so a JPEG copy stays close.
std::string MakeBlocksPng(const std::string& folder) {
  const std::string path = folder + "/blocks.png";
  const std::string script =
      "from PIL import Image\n"
      "levels = (0, 96, 176, 255)\n"
      "colours = [(levels[i % 4], levels[(i // 4) % 4], levels[(i * 3 + 1) % 4]) for i in range(16)]\n"
      "picture = Image.new('RGB', (128, 64))\n"
      "for y in range(64):\n"
      "    for x in range(128):\n"
      "        picture.putpixel((x, y), colours[(x // 16 + 8 * (y // 16)) % 16])\n"
      "picture.save('" + path + "')\n";
  const std::string scriptPath = folder + "/blocks.py";
  WriteWholeFile(scriptPath, std::vector<uint8_t>(script.begin(), script.end()));
  EXPECT_EQ(RunCommand(std::string(PythonWithPillow()) + " " + Quoted(scriptPath)), 0);
  return path;
}

// An RLE4 BMP of a few kilobytes whose header declares 131168 x 4096 pixels
// (1.5 GiB as RGB): 300 rows of eight runs each, then the end of the bitmap.
std::string MakeOversizedBmp(const std::string& folder) {
  bmp_test::BmpSpec spec;
  spec.width = 131168;
  spec.height = 4096;
  spec.bitCount = 4;
  spec.compression = 2;
  spec.colors = bmp_test::DistinctColors(16);
  for (int row = 0; row < 300; ++row) {
    for (int run = 0; run < 8; ++run) spec.pixels.insert(spec.pixels.end(), {255, 0x12});
    spec.pixels.insert(spec.pixels.end(), {0, 0});  // end of line
  }
  spec.pixels.insert(spec.pixels.end(), {0, 1});  // end of bitmap
  const std::string path = folder + "/huge.bmp";
  WriteWholeFile(path, bmp_test::BuildBmp(spec));
  return path;
}

TEST(PelornTool, FailuresEndWithTheirStatusAndMessage) {
  const std::string folder = TempDir();
  const std::string png = MakeBlocksPng(folder);
  const std::string notGif = folder + "/damaged.gif";
  WriteWholeFile(notGif, {'G', 'I', 'F', '8', '7', 'b', 0, 0, 0, 0, 0, 0, 0});
  const std::string huge = MakeOversizedBmp(folder);
  const std::string out = folder + "/out.ppm";
  // Pillow's JPEG of the blocks under other formats' names, and a TIFF cut
  // after its byte-order mark: damaged files each reader must name.
  const std::string jpeg = folder + "/blocks.jpg";
  EXPECT_EQ(RunCommand(std::string(PythonWithPillow()) + " -c \"from PIL import Image; Image.open('" +
                       png + "').save('" + jpeg + "')\""),
            0);
  const std::vector<uint8_t> jpegBytes = testing_support::ReadWholeFile(jpeg);
  for (const char* name : {"/jpeg.png", "/jpeg.pcx", "/jpeg.tga", "/jpeg.tif"})
    WriteWholeFile(folder + name, jpegBytes);
  WriteWholeFile(folder + "/cut.tif", {'I', 'I', 42, 0});
  const struct {
    const char* what;
    std::string arguments;
    int status;
    std::string message;  // found in what pelorn writes on stderr
  } kCases[] = {
      {"missing file", "convert " + Quoted(folder + "/none.png") + " " + Quoted(out), 1,
       "pelorn: " + folder + "/none.png: Error on file open\n"},
      {"unknown input extension", "info " + Quoted(folder + "/blocks.xyz"), 1,
       "pelorn: " + folder + "/blocks.xyz: not a picture name"},
      {"unknown output extension", "convert " + Quoted(png) + " " + Quoted(folder + "/out.xyz"),
       2, "pelorn: cannot tell the form from " + folder + "/out.xyz; give --form\n"},
      {"bad form", "convert " + Quoted(png) + " " + Quoted(out) + " --form png32", 2,
       "pelorn: unknown form png32\n"},
      {"unwritable output", "convert " + Quoted(png) + " " + Quoted(folder + "/no/out.ppm"), 1,
       "pelorn: " + folder + "/no/out.ppm: Error on file open\n"},
      {"damaged picture", "convert " + Quoted(notGif) + " " + Quoted(out), 1,
       "pelorn: " + notGif + ": Bad GIF file\n"},
      {"oversized picture", "info " + Quoted(huge), 1,
       "pelorn: " + huge + ": Error : out of memory\n"},
      {"JPEG named .png", "info " + Quoted(folder + "/jpeg.png"), 1, ": Bad PNG file\n"},
      {"JPEG named .pcx", "info " + Quoted(folder + "/jpeg.pcx"), 1, ": Bad PCX file\n"},
      {"JPEG named .tga", "info " + Quoted(folder + "/jpeg.tga"), 1, ": Bad TGA file\n"},
      {"JPEG named .tif", "info " + Quoted(folder + "/jpeg.tif"), 1, ": Bad TIF file\n"},
      {"cut TIFF", "info " + Quoted(folder + "/cut.tif"), 1, ": Bad TIF file\n"},
      {"missing TIFF", "info " + Quoted(folder + "/none.tif"), 1, ": Error on file open\n"},
      {"quality 0", "convert " + Quoted(png) + " " + Quoted(jpeg) + " --quality 0", 2,
       "pelorn: --quality needs a number from 1 to 100\n"},
      {"quality 101", "convert " + Quoted(png) + " " + Quoted(jpeg) + " --quality 101", 2,
       "--quality needs a number from 1 to 100"},
      {"quality -5", "convert " + Quoted(png) + " " + Quoted(jpeg) + " --quality -5", 2,
       "--quality needs a number from 1 to 100"},
  };
  for (const auto& testCase : kCases) {
    SCOPED_TRACE(testCase.what);
    const Outcome outcome = RunPelorn(testCase.arguments);
    EXPECT_EQ(outcome.status, testCase.status);
    EXPECT_NE(outcome.message.find(testCase.message), std::string::npos) << outcome.message;
  }
}

// AddressSanitizer reserves terabytes of address space for its shadow memory,
// so a process under an address-space limit cannot start at all.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceLimitUsable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSpaceLimitUsable = false;
#else
constexpr bool kAddressSpaceLimitUsable = true;
#endif
#else
constexpr bool kAddressSpaceLimitUsable = true;
#endif

// Room for the 1.5 GiB picture but not for the GIF's colour indices: the
// tool's own buffer cannot be had. (A reader that bounds its picture refuses
// the file first, with the same text under the input's name.)
TEST(PelornTool, MemoryRefusedMidwayEndsAsOutOfMemory) {
  if (!kAddressSpaceLimitUsable) GTEST_SKIP() << "AddressSanitizer build: no address-space limit";
  const std::string folder = TempDir();
  const std::string huge = MakeOversizedBmp(folder);
  const char kLimit[] = "ulimit -v 1887436; ";  // 1.8 GiB, in KiB
  const Outcome outcome =
      RunPelorn("convert " + Quoted(huge) + " " + Quoted(folder + "/out.gif"), kLimit);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.message.find(": Error : out of memory\n"), std::string::npos) << outcome.message;
}

// Quality 1 and 100 are accepted: at 100 Pillow reads back the picture
// within a level or two inside the blocks, at 1 far from it. A .jpeg name is
// a JPEG too.
TEST(PelornTool, QualityBoundsAreAccepted) {
  const std::string folder = TempDir();
  const std::string png = MakeBlocksPng(folder);
  const auto input = ReferenceDecode(png);
  ASSERT_TRUE(input.has_value());
  const struct {
    int quality;
    bool close;
  } kCases[] = {{100, true}, {1, false}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.quality);
    const std::string out = folder + "/q" + std::to_string(c.quality) + ".jpeg";
    const Outcome outcome = RunPelorn("convert " + Quoted(png) + " " + Quoted(out) +
                                      " --quality " + std::to_string(c.quality));
    ASSERT_EQ(outcome.status, 0) << outcome.message;
    std::string format;
    RunCommand(std::string(PythonWithPillow()) + " -c \"from PIL import Image; print(Image.open('" +
                   out + "').format)\"",
               &format);
    EXPECT_EQ(format, "JPEG\n");
    const auto written = ReferenceDecode(out);
    ASSERT_TRUE(written.has_value());
    EXPECT_EQ(MaxDeltaInsideBlocks(*written, *input, 4) <= 2, c.close);
  }
}

TEST(PelornTool, EveryFormReadsBackAsTheInput) {
  const std::string folder = TempDir();
  const std::string png = MakeBlocksPng(folder);
  uint32_t width = 0, height = 0;
  HGLOBAL block = ReadPngFile(png.c_str(), &width, &height);
  ASSERT_NE(block, nullptr) << GetLastImageError();
  const Picture input = TakePicture(block, width, height);
  ASSERT_EQ(width, 128u);
  ASSERT_EQ(height, 64u);

  const struct {
    const char* form;
    const char* extension;
    uint32_t margin;  // pixels left out at the blocks' edges
    int tolerance;    // largest channel difference allowed
  } kForms[] = {{"jpg", "jpg", 4, 6},   {"png24", "png", 0, 0}, {"png8", "png", 0, 0},
                {"bmp24", "bmp", 0, 0}, {"bmp8", "bmp", 0, 0},  {"bmp4", "bmp", 0, 0},
                {"gif", "gif", 0, 0},   {"ppm", "ppm", 0, 0}};
  for (const auto& form : kForms) {
    SCOPED_TRACE(form.form);
    const std::string out = folder + "/out_" + form.form + "." + form.extension;
    const Outcome outcome =
        RunPelorn("convert " + Quoted(png) + " " + Quoted(out) + " --form " + form.form);
    ASSERT_EQ(outcome.status, 0) << outcome.message;
    EXPECT_EQ(outcome.message, "");
    const auto written = ReferenceDecode(out);
    ASSERT_TRUE(written.has_value()) << "Pillow cannot read " << out;
    ASSERT_EQ(written->width, input.width);
    ASSERT_EQ(written->height, input.height);
    EXPECT_LE(MaxDeltaInsideBlocks(*written, input, form.margin), form.tolerance);
  }
}

// info prints the EXIF orientation after today's fields; convert keeps the
// stored pixels unless --auto-orient turns them upright as Pillow does.
TEST(PelornTool, TurnsUprightOnlyWhenAsked) {
  const std::string folder = TempDir();
  const std::string portrait = folder + "/portrait.jpg";
  ASSERT_TRUE(testing_support::MakePhoto("quadrants", 120, 60, 8, portrait));
  std::vector<std::pair<std::string, int>> files = {{portrait, 8}};
  for (int n = 2; n <= 8; ++n)
    files.push_back({testing_support::CorpusPath("jpeg", "pillow_hopper_orientation_" +
                                                             std::to_string(n) + ".jpg"),
                     n});
  for (const auto& [path, orientation] : files) {
    SCOPED_TRACE(path);
    std::string info;
    ASSERT_EQ(RunCommand("'" + std::string(TESSARY_BIN_DIR) + "/pelorn' info " + Quoted(path), &info), 0);
    const auto stored = ReferenceDecode(path);
    const auto upright = testing_support::UprightReference(path);
    ASSERT_TRUE(stored.has_value() && upright.has_value());
    EXPECT_EQ(info, std::to_string(stored->width) + "x" + std::to_string(stored->height) +
                        " jpeg orientation=" + std::to_string(orientation) + "\n");
    const std::string raw = folder + "/raw.ppm", turned = folder + "/turned.ppm";
    ASSERT_EQ(RunPelorn("convert " + Quoted(path) + " " + Quoted(raw)).status, 0);
    ASSERT_EQ(RunPelorn("convert " + Quoted(path) + " " + Quoted(turned) + " --auto-orient").status, 0);
    const auto rawRead = ReferenceDecode(raw), turnedRead = ReferenceDecode(turned);
    ASSERT_TRUE(rawRead.has_value() && turnedRead.has_value());
    EXPECT_LE(Compare(*rawRead, *stored).maxDelta, 1);
    ASSERT_EQ(turnedRead->width, upright->width);
    EXPECT_LE(Compare(*turnedRead, *upright).maxDelta, 1);
  }
}

TEST(PelornTool, ScalesWithTheBoxFilter) {
  const std::string folder = TempDir();
  const std::string photo = folder + "/photo.jpg", out = folder + "/small.ppm";
  ASSERT_TRUE(testing_support::MakePhoto("photo", 1600, 1200, 0, photo));
  const Outcome outcome =
      RunPelorn("scale " + Quoted(photo) + " " + Quoted(out) + " --size 400x300 --filter box");
  ASSERT_EQ(outcome.status, 0) << outcome.message;
  const auto ours = ReferenceDecode(out);
  const auto lanczos = testing_support::UprightReference(photo, 400, 300);
  ASSERT_TRUE(ours.has_value() && lanczos.has_value());
  EXPECT_GE(testing_support::Psnr(*ours, *lanczos), 38.0);
  EXPECT_EQ(RunPelorn("scale " + Quoted(photo) + " " + Quoted(out) + " --size 4x3 --filter lanczos").status, 2);
  EXPECT_EQ(RunPelorn("scale " + Quoted(photo) + " " + Quoted(out) + " --size 4x3 --auto-orient").status, 2);
}

}  // namespace
