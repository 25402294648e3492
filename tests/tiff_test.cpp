// TIFF reader: the whole public corpus (good files against Pillow,
// ImageMagick and libtiff's own PNM references; bad ones must fail cleanly
// and leave nothing), the golden list, crafted files for orientation,
// resolution bookkeeping, palette and grey, the block size, the diagnostic
// lines, cancellation and out-of-memory paths.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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
using testing_support::TempDir;
using testing_support::WriteWholeFile;

struct ReadOutcome {
  PelornError code = 0;
  Picture picture;
  bool gotBlock = false;
};

// Reads with the library and checks the block: width x height x 4 bytes.
ReadOutcome ReadTiff(const std::string& path) {
  ReadOutcome outcome;
  uint32_t width = 7, height = 7;
  HGLOBAL block = ReadTiffFile(path.c_str(), &width, &height);
  outcome.code = GetLastImageError();
  if (block == nullptr) {
    EXPECT_EQ(width, 0u) << path;
    EXPECT_EQ(height, 0u) << path;
    return outcome;
  }
  outcome.gotBlock = true;
  EXPECT_EQ(GlobalSize(block), static_cast<SIZE_T>(width) * height * 4) << path;
  outcome.picture.width = width;
  outcome.picture.height = height;
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
  outcome.picture.rgb.assign(bytes, bytes + static_cast<size_t>(width) * height * 3);
  GlobalUnlock(block);
  GlobalFree(block);
  return outcome;
}

// --- Crafted files, written with libtiff directly ----------------------------------

struct TestTiff {
  uint32_t width = 1;
  uint32_t height = 1;
  uint16_t samples = 3;
  uint16_t bitsPerSample = 8;
  uint16_t photometric = PHOTOMETRIC_RGB;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  std::vector<std::vector<uint8_t>> rows;  // as stored, first stored row first
  std::vector<uint16_t> colormap;          // 3 x (1 << bits) for palette files
  std::optional<float> resolutionX, resolutionY;
  std::optional<uint16_t> resolutionUnit;
};

bool WriteTestTiff(const std::string& path, const TestTiff& spec) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) return false;
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, spec.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, spec.height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, spec.samples);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, spec.bitsPerSample);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, spec.photometric);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, spec.compression);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, spec.orientation);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, spec.height);
  if (!spec.colormap.empty()) {
    const size_t entries = spec.colormap.size() / 3;
    TIFFSetField(tiff, TIFFTAG_COLORMAP, spec.colormap.data(), spec.colormap.data() + entries,
                 spec.colormap.data() + 2 * entries);
  }
  if (spec.resolutionX) TIFFSetField(tiff, TIFFTAG_XRESOLUTION, *spec.resolutionX);
  if (spec.resolutionY) TIFFSetField(tiff, TIFFTAG_YRESOLUTION, *spec.resolutionY);
  if (spec.resolutionUnit) TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, *spec.resolutionUnit);
  bool written = true;
  for (uint32_t y = 0; y < spec.height && written; ++y) {
    std::vector<uint8_t> row = spec.rows[y];
    written = TIFFWriteScanline(tiff, row.data(), y, 0) == 1;
  }
  TIFFClose(tiff);
  return written;
}

std::vector<std::vector<uint8_t>> GradientRows(uint32_t width, uint32_t height) {
  std::vector<std::vector<uint8_t>> rows(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      rows[y].insert(rows[y].end(), {static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 13),
                                     static_cast<uint8_t>((x ^ y) * 5)});
    }
  }
  return rows;
}

std::vector<uint8_t> Flatten(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> flat;
  for (const auto& row : rows) flat.insert(flat.end(), row.begin(), row.end());
  return flat;
}

// Tags of a corpus file, read with libtiff, to choose the reference.
struct TiffTags {
  uint16_t photometric = 0, bitsPerSample = 1, samples = 1, sampleFormat = SAMPLEFORMAT_UINT;
  uint16_t extraSamples = 0;
  uint16_t orientation = ORIENTATION_TOPLEFT;
};
std::optional<TiffTags> ReadTags(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return std::nullopt;
  TiffTags tags;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PHOTOMETRIC, &tags.photometric);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &tags.bitsPerSample);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &tags.samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &tags.sampleFormat);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &tags.orientation);
  uint16_t* extraTypes = nullptr;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &tags.extraSamples, &extraTypes);
  TIFFClose(tiff);
  return tags;
}

int progressCalls = 0;
int32_t CountProgress(int32_t, int32_t) {
  ++progressCalls;
  return 1;
}
int32_t StopAtOnce(int32_t, int32_t) {
  ++progressCalls;
  return 0;
}

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

// Pillow's decodes of the corpus, made once per build (the reference_decodes target).
class TiffCorpus : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pillowDir_ = new std::string(TESSARY_REFERENCE_DIR "/tiff");
    ASSERT_TRUE(std::ifstream(TESSARY_REFERENCE_DIR "/tiff.stamp").good())
        << "the reference decodes are made by the build (target reference_decodes)";
  }
  static void TearDownTestSuite() {
    delete pillowDir_;
    pillowDir_ = nullptr;
  }
  static std::optional<Picture> PillowDecode(const std::string& name) {
    std::ifstream in(*pillowDir_ + "/" + name + ".pil", std::ios::binary);
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
  static std::string* pillowDir_;
};
std::string* TiffCorpus::pillowDir_ = nullptr;

// Every file either decodes or fails with one of the reader's codes; none
// crashes, hangs (IFD loops included) or leaves a block behind.
TEST_F(TiffCorpus, EveryFileDecodesOrFailsCleanly) {
  int decoded = 0, failed = 0;
  for (const std::string& name : CorpusFiles("tiff")) {
    const int64_t liveBefore = platform::LiveGlobalBlocks();
    ReadOutcome outcome = ReadTiff(CorpusPath("tiff", name));
    EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore) << name;
    if (outcome.gotBlock) {
      EXPECT_EQ(outcome.code, kPelornOk) << name;
      ++decoded;
    } else {
      // Every corpus file exists: a failure is the file's content.
      EXPECT_TRUE(outcome.code == kPelornBadTiff || outcome.code == kPelornOutOfMemory)
          << name << " " << outcome.code;
      ++failed;
    }
  }
  EXPECT_GE(decoded, 230);
  EXPECT_GE(failed, 50);
  for (const char* loop : {"libtiff_test_ifd_loop_to_self.tif", "libtiff_test_ifd_loop_to_first.tif",
                           "libtiff_test_ifd_loop_subifd.tif"}) {
    EXPECT_EQ(ReadTiff(CorpusPath("tiff", loop)).code, kPelornOk) << loop;  // the first image is fine
  }
}

// Good files against an independent decode. Pillow's result is the
// reference, with alpha applied to the colours (libtiff's RGBA interface
// hands out associated alpha, and our reader drops the alpha byte); 16-bit
// files without alpha are compared with ImageMagick instead (Pillow clips
// 16-bit grey to 255 and mangles planar 16-bit RGB).
// Within 1 for rounding of 16-bit and CMYK scaling; within 6 for pictures
// with alpha (Pillow un-premultiplies stored associated alpha before we
// multiply again, which loses precision at low alpha). Left out, with their
// reasons: CIE L*a*b* (libtiff converts to its own display model), signed
// samples (the RGBA interface reads them as unsigned), and files Pillow
// cannot decode or turns (orientations 5 to 8, which libtiff does not
// transpose).
TEST_F(TiffCorpus, GoodFilesMatchPillowOrImageMagick) {
  int compared = 0, withMagick = 0;
  for (const std::string& name : CorpusFiles("tiff")) {
    ReadOutcome outcome = ReadTiff(CorpusPath("tiff", name));
    if (!outcome.gotBlock) continue;
    const auto tags = ReadTags(CorpusPath("tiff", name));
    ASSERT_TRUE(tags.has_value()) << name;
    if (tags->photometric == PHOTOMETRIC_CIELAB || tags->sampleFormat == SAMPLEFORMAT_INT ||
        tags->orientation > ORIENTATION_BOTLEFT) {
      continue;
    }
    std::optional<Picture> reference;
    if (tags->bitsPerSample == 16 && tags->extraSamples == 0) {
      reference = testing_support::MagickDecode(CorpusPath("tiff", name), outcome.picture.width,
                                                outcome.picture.height);
      withMagick += reference.has_value();
    } else {
      reference = PillowDecode(name);
    }
    if (!reference) continue;  // Pillow (or ImageMagick) cannot decode it
    // Both read the first image untransposed: its size must agree.
    EXPECT_EQ(reference->width, outcome.picture.width) << name;
    EXPECT_EQ(reference->height, outcome.picture.height) << name;
    if (reference->width != outcome.picture.width || reference->height != outcome.picture.height) {
      continue;
    }
    const auto difference = testing_support::Compare(outcome.picture, *reference);
    EXPECT_LE(difference.maxDelta, tags->extraSamples > 0 ? 6 : 1) << name;
    ++compared;
  }
  std::printf("compared: %d files (%d with ImageMagick)\n", compared, withMagick);
  EXPECT_GE(compared, 200);
  EXPECT_GE(withMagick, 15);
}

// libtiff's own test pictures against the PNM versions shipped with them.
TEST_F(TiffCorpus, LibtiffPicturesMatchTheirPnmReferences) {
  for (const auto& [tiff, pnm] : std::vector<std::pair<std::string, std::string>>{
           {"libtiff_minisblack-1c-8b.tiff", "libtiff_minisblack-1c-8b.pgm"},
           {"libtiff_miniswhite-1c-1b.tiff", "libtiff_miniswhite-1c-1b.pbm"},
           {"libtiff_rgb-3c-8b.tiff", "libtiff_rgb-3c-8b.ppm"},
           {"libtiff_rgb-3c-16b.tiff", "libtiff_rgb-3c-16b.ppm"}}) {
    ReadOutcome outcome = ReadTiff(CorpusPath("tiff", tiff));
    ASSERT_EQ(outcome.code, kPelornOk) << tiff;
    const auto reference = testing_support::ReadPnm(CorpusPath("tiff", "ref/" + pnm));
    ASSERT_TRUE(reference.has_value()) << pnm;
    ASSERT_EQ(reference->width, outcome.picture.width) << pnm;
    ASSERT_EQ(reference->height, outcome.picture.height) << pnm;
    EXPECT_LE(testing_support::Compare(outcome.picture, *reference).maxDelta, 1) << tiff;
  }
}

// Whether the linked libtiff was built with the codec of the file's
// compression (Debian's has them all; the static Windows build lacks WebP and
// LZMA). True for files libtiff cannot open.
bool CompressionCodecBuiltIn(const std::string& path) {
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return true;
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetField(tiff, TIFFTAG_COMPRESSION, &compression);
  const bool builtIn = TIFFIsCODECConfigured(compression) != 0;
  TIFFClose(tiff);
  return builtIn;
}

// tests/golden/tiff.txt: one line per corpus file, the checksum over the first
// width x height x 3 bytes of the reader's block (tests/tools/make_golden.sh).
// The list holds what a libtiff with every codec gives; with a codec missing,
// its files must fail as bad files and their lines are left out.
TEST(TiffGolden, CorpusMatchesTheGoldenList) {
  std::string lines;
  std::set<std::string> withoutCodec;
  for (const std::string& name : CorpusFiles("tiff")) {
    ReadOutcome outcome = ReadTiff(CorpusPath("tiff", name));
    if (!CompressionCodecBuiltIn(CorpusPath("tiff", name))) {
      EXPECT_EQ(outcome.code, kPelornBadTiff) << name;
      withoutCodec.insert(name);
      continue;
    }
    lines += GoldenLine(name, outcome.picture.width, outcome.picture.height, outcome.code,
                        outcome.gotBlock ? &outcome.picture.rgb : nullptr);
  }
  ExpectGoldenList("tiff", lines, withoutCodec);
}

// libtiff's tiff2rgba: the RGBA interface's picture without its alpha,
// written as a plain TIFF and read back by Pillow. Empty when it gives none.
std::optional<Picture> Tiff2RgbaDecode(const std::string& path) {
  const std::string output = TempDir() + "/tiff2rgba.tif";
  std::remove(output.c_str());
  if (testing_support::RunCommand("tiff2rgba -n '" + path + "' '" + output + "' 2>/dev/null") != 0) {
    return std::nullopt;
  }
  return testing_support::ReferenceDecode(output);
}

enum class TiffPeer { kNetpbm, kMagick, kTiff2Rgba };

// The files the comparisons above leave out (signed samples, CIE L*a*b*,
// orientations 5 to 8, files Pillow cannot decode), each against another
// decoder: netpbm's tifftopnm, which unpacks the samples itself; ImageMagick
// (within 1 for CMYK scaling); or, where neither shows the picture as this
// reader does (L*a*b*, YCbCr, alpha, orientation), tiff2rgba, which takes
// libtiff's RGBA interface as the reader does and so pins the reader's own
// part: the size, the row order and dropping the alpha byte.
TEST(TiffCorpusPeers, FilesLeftOutAboveMatchNetpbmImageMagickOrTiff2rgba) {
  const std::vector<std::pair<std::string, TiffPeer>> files = {
      {"imagers_ycbcr_lzw_bt709.tif", TiffPeer::kTiff2Rgba},
      {"imagetiff_bigtiff_BigTIFFMotorola.tif", TiffPeer::kNetpbm},
      {"imagetiff_cmyk-4c-8b.tiff", TiffPeer::kMagick},
      {"imagetiff_extra_bits_gray_8b.tiff", TiffPeer::kMagick},
      {"imagetiff_int8.tif", TiffPeer::kNetpbm},
      {"imagetiff_minisblack-1c-i8b.tiff", TiffPeer::kNetpbm},
      {"imagetiff_seq-1c-i8-f8446bbe.tiff", TiffPeer::kNetpbm},
      {"imagetiff_tiled-cmyk-i8.tif", TiffPeer::kNetpbm},
      {"imagetiff_tiled-oversize-gray-i8.tif", TiffPeer::kNetpbm},
      {"libtiff_minisblack-2c-8b-alpha.tiff", TiffPeer::kTiff2Rgba},
      {"libtiff_testfax3_bug54_1dnoEOL.tif", TiffPeer::kNetpbm},
      {"libtiff_testfax3_bug_513.tiff", TiffPeer::kNetpbm},
      {"libtiffpic_cramps-tile.tif", TiffPeer::kNetpbm},
      {"libtiffpic_dscf0013.tif", TiffPeer::kTiff2Rgba},
      {"libtiffpic_text.tif", TiffPeer::kNetpbm},
      {"pillow_8bit.s.tif", TiffPeer::kNetpbm},
      {"pillow_crash-0da013a13571cc8eb457a39fee8db18f8a3c7127.tif", TiffPeer::kNetpbm},
      {"pillow_crash-2020-10-test.tif", TiffPeer::kTiff2Rgba},
      {"pillow_crash-63b1dffefc8c075ddc606c0a2f5fdc15ece78863.tif", TiffPeer::kTiff2Rgba},
      {"pillow_crash-74d2a78403a5a59db1fb0a2b8735ac068a75f6e3.tif", TiffPeer::kTiff2Rgba},
      {"pillow_g4_orientation_5.tif", TiffPeer::kTiff2Rgba},
      {"pillow_g4_orientation_6.tif", TiffPeer::kTiff2Rgba},
      {"pillow_g4_orientation_7.tif", TiffPeer::kTiff2Rgba},
      {"pillow_g4_orientation_8.tif", TiffPeer::kTiff2Rgba},
      {"pillow_hopper.Lab.tif", TiffPeer::kTiff2Rgba},
      {"pillow_lab-green.tif", TiffPeer::kTiff2Rgba},
      {"pillow_lab-red.tif", TiffPeer::kTiff2Rgba},
      {"pillow_lab.tif", TiffPeer::kTiff2Rgba},
      {"pillow_separate_planar_extra_samples.tiff", TiffPeer::kTiff2Rgba},
      {"pillow_tiff_overflow_rows_per_strip.tif", TiffPeer::kNetpbm},
  };
  for (const auto& [name, peer] : files) {
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("tiff", name);
    if (!CompressionCodecBuiltIn(path)) continue;
    const ReadOutcome outcome = ReadTiff(path);
    ASSERT_EQ(outcome.code, kPelornOk);
    std::optional<Picture> reference;
    if (peer == TiffPeer::kNetpbm) reference = testing_support::NetpbmDecode("tifftopnm", path);
    if (peer == TiffPeer::kMagick) {
      reference = testing_support::MagickDecode(path, outcome.picture.width, outcome.picture.height);
    }
    if (peer == TiffPeer::kTiff2Rgba) reference = Tiff2RgbaDecode(path);
    ASSERT_TRUE(reference.has_value()) << "the peer gives no picture";
    ASSERT_EQ(reference->width, outcome.picture.width);
    ASSERT_EQ(reference->height, outcome.picture.height);
    const int tolerance = peer == TiffPeer::kMagick ? 1 : 0;
    EXPECT_LE(testing_support::Compare(outcome.picture, *reference).maxDelta, tolerance);
  }
}

// A file this reader refuses gets no picture from libtiff's own converter
// either: the refusals are libtiff's (a directory it cannot read, samples its
// RGBA interface does not take: 12-bit, 32-bit, floating point, 16-bit CMYK),
// or the memory bound, whose one file libtiff refuses as well.
TEST(TiffCorpusPeers, RefusedFilesGetNoPictureFromTiff2rgba) {
  int refused = 0;
  for (const std::string& name : CorpusFiles("tiff")) {
    const std::string path = CorpusPath("tiff", name);
    if (!CompressionCodecBuiltIn(path)) continue;
    if (ReadTiff(path).gotBlock) continue;
    ++refused;
    EXPECT_FALSE(Tiff2RgbaDecode(path).has_value()) << name;
  }
  EXPECT_GE(refused, 60);
}

// =================================================================================
// Orientation
// =================================================================================

// The same picture stored top-to-bottom (1) and bottom-to-top (4) gives
// identical buffers, for RGB strips and for G4 bilevel files.
TEST(TiffOrientation, BottomToTopAndTopToBottomGiveIdenticalBuffers) {
  const std::string dir = TempDir();
  TestTiff topDown;
  topDown.width = 13;
  topDown.height = 7;
  topDown.rows = GradientRows(13, 7);
  TestTiff bottomUp = topDown;
  bottomUp.orientation = ORIENTATION_BOTLEFT;
  std::reverse(bottomUp.rows.begin(), bottomUp.rows.end());
  ASSERT_TRUE(WriteTestTiff(dir + "/o1.tif", topDown));
  ASSERT_TRUE(WriteTestTiff(dir + "/o4.tif", bottomUp));
  ReadOutcome first = ReadTiff(dir + "/o1.tif");
  ReadOutcome fourth = ReadTiff(dir + "/o4.tif");
  ASSERT_EQ(first.code, kPelornOk);
  ASSERT_EQ(fourth.code, kPelornOk);
  EXPECT_EQ(first.picture.rgb, Flatten(topDown.rows));
  EXPECT_EQ(fourth.picture.rgb, first.picture.rgb);

  TestTiff g4;
  g4.width = 40;
  g4.height = 9;
  g4.samples = 1;
  g4.bitsPerSample = 1;
  g4.photometric = PHOTOMETRIC_MINISWHITE;
  g4.compression = COMPRESSION_CCITTFAX4;
  for (uint32_t y = 0; y < g4.height; ++y) {
    std::vector<uint8_t> row(5);
    for (uint32_t x = 0; x < g4.width; ++x) {
      if ((x + 3 * y) % 7 < 2) row[x / 8] |= 0x80 >> (x % 8);
    }
    g4.rows.push_back(row);
  }
  TestTiff g4BottomUp = g4;
  g4BottomUp.orientation = ORIENTATION_BOTLEFT;
  std::reverse(g4BottomUp.rows.begin(), g4BottomUp.rows.end());
  ASSERT_TRUE(WriteTestTiff(dir + "/g1.tif", g4));
  ASSERT_TRUE(WriteTestTiff(dir + "/g4.tif", g4BottomUp));
  ReadOutcome g4First = ReadTiff(dir + "/g1.tif");
  ReadOutcome g4Fourth = ReadTiff(dir + "/g4.tif");
  ASSERT_EQ(g4First.code, kPelornOk);
  EXPECT_EQ(g4Fourth.picture.rgb, g4First.picture.rgb);
  EXPECT_EQ(g4First.picture.rgb[0], 0);    // a set bit of a min-is-white file is black
  EXPECT_EQ(g4First.picture.rgb[6], 255);  // pixel 2 of row 0 is clear
}

// Pillow's G4 files tagged with each orientation: 1 to 4 keep the stored
// size and match Pillow; 5 to 8 come out transposed in size (88 x 590),
// since the RGBA interface does not rotate.
TEST_F(TiffCorpus, PillowOrientationFiles) {
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const std::string name = "pillow_g4_orientation_" + std::to_string(orientation) + ".tif";
    ReadOutcome outcome = ReadTiff(CorpusPath("tiff", name));
    ASSERT_EQ(outcome.code, kPelornOk) << name;
    if (orientation <= 4) {
      EXPECT_EQ(outcome.picture.width, 590u) << name;
      EXPECT_EQ(outcome.picture.height, 88u) << name;
      const auto reference = PillowDecode(name);
      ASSERT_TRUE(reference.has_value());
      EXPECT_EQ(outcome.picture.rgb, reference->rgb) << name;
    } else {
      EXPECT_EQ(outcome.picture.width, 88u) << name;
      EXPECT_EQ(outcome.picture.height, 590u) << name;
    }
  }
}

// =================================================================================
// Resolution bookkeeping
// =================================================================================

TEST(TiffResolution, ValuesAreTruncatedAndTheUnitWidenedWithItsSign) {
  const std::string dir = TempDir();
  TestTiff spec;
  spec.rows = GradientRows(1, 1);
  spec.resolutionX = 299.9f;
  spec.resolutionY = 72.5f;
  spec.resolutionUnit = RESUNIT_INCH;
  ASSERT_TRUE(WriteTestTiff(dir + "/res.tif", spec));
  ASSERT_EQ(ReadTiff(dir + "/res.tif").code, kPelornOk);
  EXPECT_EQ(GetThreadState().tiffResolutionX, 299);
  EXPECT_EQ(GetThreadState().tiffResolutionY, 72);
  EXPECT_EQ(GetThreadState().tiffResolutionUnit, 2);

  // A rational above 2^31 - 1 is clamped (a plain conversion is undefined).
  // (libtiff 4 refuses units other than 1 to 3, so the sign widening of the
  // unit cannot be seen through it.)
  spec.resolutionX = 4e9f;
  spec.resolutionUnit = RESUNIT_CENTIMETER;
  ASSERT_TRUE(WriteTestTiff(dir + "/odd.tif", spec));
  ASSERT_EQ(ReadTiff(dir + "/odd.tif").code, kPelornOk);
  EXPECT_EQ(GetThreadState().tiffResolutionUnit, 3);
  EXPECT_EQ(GetThreadState().tiffResolutionX, 2147483647);
}

TEST(TiffResolution, PillowFloatDpiFiles) {
  auto& state = GetThreadState();
  ASSERT_EQ(ReadTiff(CorpusPath("tiff", "pillow_hopper_float_dpi_2.tif")).code, kPelornOk);
  EXPECT_EQ(state.tiffResolutionX, 72);
  EXPECT_EQ(state.tiffResolutionY, 72);
  EXPECT_EQ(state.tiffResolutionUnit, 2);
  ASSERT_EQ(ReadTiff(CorpusPath("tiff", "pillow_hopper_float_dpi_3.tif")).code, kPelornOk);
  EXPECT_EQ(state.tiffResolutionX, 72);
  EXPECT_EQ(state.tiffResolutionUnit, 3);
  // Without ResolutionUnit libtiff reports the tag as absent: the unit keeps
  // the value of the previous read, the resolutions are stored.
  state.tiffResolutionUnit = 9;
  ASSERT_EQ(ReadTiff(CorpusPath("tiff", "pillow_hopper_float_dpi_None.tif")).code, kPelornOk);
  EXPECT_EQ(state.tiffResolutionX, 72);
  EXPECT_EQ(state.tiffResolutionUnit, 9);
}

TEST(TiffResolution, MissingTagsLeaveTheValues) {
  auto& state = GetThreadState();
  state.tiffResolutionUnit = 5;
  state.tiffResolutionX = 6;
  state.tiffResolutionY = 7;
  TestTiff spec;
  spec.rows = GradientRows(1, 1);
  const std::string path = TempDir() + "/nores.tif";
  ASSERT_TRUE(WriteTestTiff(path, spec));
  ASSERT_EQ(ReadTiff(path).code, kPelornOk);
  EXPECT_EQ(state.tiffResolutionUnit, 5);
  EXPECT_EQ(state.tiffResolutionX, 6);
  EXPECT_EQ(state.tiffResolutionY, 7);
}

// =================================================================================
// Pixels
// =================================================================================

TEST(TiffPixels, OneByOneGivesItsRedGreenBlue) {
  TestTiff spec;
  spec.rows = {{12, 200, 77}};
  const std::string path = TempDir() + "/one.tif";
  ASSERT_TRUE(WriteTestTiff(path, spec));
  ReadOutcome outcome = ReadTiff(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, (std::vector<uint8_t>{12, 200, 77}));
}

TEST(TiffPixels, PaletteAndGreyBecomeRgbWithoutAlpha) {
  const std::string dir = TempDir();
  TestTiff palette;
  palette.width = 4;
  palette.samples = 1;
  palette.photometric = PHOTOMETRIC_PALETTE;
  palette.colormap.assign(3 * 256, 0);
  for (int i = 0; i < 256; ++i) {
    palette.colormap[i] = static_cast<uint16_t>(i * 257);
    palette.colormap[256 + i] = static_cast<uint16_t>((255 - i) * 257);
    palette.colormap[512 + i] = static_cast<uint16_t>((i * 3 % 256) * 257);
  }
  palette.rows = {{0, 1, 100, 255}};
  ASSERT_TRUE(WriteTestTiff(dir + "/pal.tif", palette));
  ReadOutcome paletted = ReadTiff(dir + "/pal.tif");
  ASSERT_EQ(paletted.code, kPelornOk);
  EXPECT_EQ(paletted.picture.rgb, (std::vector<uint8_t>{0, 255, 0, 1, 254, 3, 100, 155, 44, 255, 0, 253}));

  TestTiff grey;
  grey.width = 3;
  grey.samples = 1;
  grey.photometric = PHOTOMETRIC_MINISBLACK;
  grey.rows = {{0, 128, 255}};
  ASSERT_TRUE(WriteTestTiff(dir + "/grey.tif", grey));
  ReadOutcome greyOutcome = ReadTiff(dir + "/grey.tif");
  ASSERT_EQ(greyOutcome.code, kPelornOk);
  EXPECT_EQ(greyOutcome.picture.rgb, (std::vector<uint8_t>{0, 0, 0, 128, 128, 128, 255, 255, 255}));
}

TEST(TiffPixels, RowsComeTopFirstAndProgressIsOnePerRow) {
  TestTiff spec;
  spec.width = 5;
  spec.height = 11;
  spec.rows = GradientRows(5, 11);
  const std::string path = TempDir() + "/rows.tif";
  ASSERT_TRUE(WriteTestTiff(path, spec));
  ProgressScope progress(CountProgress);
  ReadOutcome outcome = ReadTiff(path);
  ASSERT_EQ(outcome.code, kPelornOk);
  EXPECT_EQ(outcome.picture.rgb, Flatten(spec.rows));
  EXPECT_EQ(progressCalls, 11);  // the row reversal runs nested and reports nothing
}

TEST(TiffPixels, DiagnosticTimingLinesGoToTheDebuggerOutput) {
  TestTiff spec;
  spec.rows = GradientRows(1, 1);
  const std::string path = TempDir() + "/timing.tif";
  ASSERT_TRUE(WriteTestTiff(path, spec));
  platform::TakeDebugOutput();
  ASSERT_EQ(ReadTiff(path).code, kPelornOk);
  const std::string output = platform::TakeDebugOutput();
  const size_t alloc = output.find("alloc ");
  const size_t read = output.find("read ");
  const size_t post = output.find("post ");
  ASSERT_NE(alloc, std::string::npos) << output;
  ASSERT_NE(read, std::string::npos) << output;
  ASSERT_NE(post, std::string::npos) << output;
  EXPECT_LT(alloc, read);
  EXPECT_LT(read, post);
  float seconds = -1;
  EXPECT_EQ(std::sscanf(output.c_str() + alloc, "alloc %f\n", &seconds), 1);
  EXPECT_GE(seconds, 0.0f);
}

// =================================================================================
// Failures
// =================================================================================

TEST(TiffFailure, MissingFileOtherFormatsAndBadArguments) {
  const std::string dir = TempDir();
  platform::TakeDebugOutput();
  EXPECT_EQ(ReadTiff(dir + "/absent.tif").code, kPelornFileOpen);
  WriteWholeFile(dir + "/png.tif", ReadWholeFile(CorpusPath("png", "pngsuite_basn2c08.png")));
  EXPECT_EQ(ReadTiff(dir + "/png.tif").code, kPelornBadTiff);
  // libtiff's complaints go to the debugger output, not to stderr.
  EXPECT_NE(platform::TakeDebugOutput().find("libtiff error"), std::string::npos);
  uint32_t width = 0, height = 0;
  EXPECT_EQ(ReadTiffFile(nullptr, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadTiffFile(CorpusPath("tiff", "libtiff_rgb-3c-8b.tiff").c_str(), &width, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
}

// A header claiming more than can be held: refused before any allocation.
TEST(TiffFailure, HugeDimensionsAreRefusedBeforeAllocating) {
  const std::string path = TempDir() + "/huge.tif";
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 1100000u);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 300000u);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 300000u);
  uint8_t row[1] = {0};
  TIFFWriteRawStrip(tiff, 0, row, 1);
  TIFFClose(tiff);
  const int64_t allocationsBefore = platform::GlobalAllocCount();
  const ReadOutcome outcome = ReadTiff(path);
  if (outcome.code == kPelornBadTiff) GTEST_SKIP() << "libtiff refuses the header itself";
  EXPECT_EQ(outcome.code, kPelornOutOfMemory);
  EXPECT_EQ(platform::GlobalAllocCount(), allocationsBefore);
}

TEST(TiffFailure, DamagedDataWithinTheFileIsBadTiff) {
  // Floating-point samples, 12-bit samples, a stuck LZW stream and fuzzed files
  // that libtiff opens but cannot turn into RGBA.
  for (const char* name : {"libtiffpic_caspian.tif", "imagetiff_12bit.cropped.tiff",
                           "imagetiff_bad_sample-get-lzw-stuck.tiff",
                           "pillow_crash-0c7e0e8e11ce787078f00b5b0ca409a167f070e0.tif"}) {
    const ReadOutcome outcome = ReadTiff(CorpusPath("tiff", name));
    EXPECT_FALSE(outcome.gotBlock) << name;
    EXPECT_EQ(outcome.code, kPelornBadTiff) << name;
  }
  // 65535 samples a pixel in strips of 40 rows of 65535 pixels: one strip
  // would take 171 GB, far past the memory bound of one picture.
  const ReadOutcome tooLarge = ReadTiff(CorpusPath("tiff", "pillow_libtiff_segfault.tif"));
  EXPECT_FALSE(tooLarge.gotBlock);
  EXPECT_EQ(tooLarge.code, kPelornOutOfMemory);
}

// Stop-on-error 0: a strip libtiff cannot decode does not fail the read;
// the strips before it keep their rows.
TEST(TiffFailure, DamagedStripsDoNotFailTheRead) {
  const std::string dir = TempDir();
  TestTiff spec;
  spec.width = 8;
  spec.height = 8;
  for (uint32_t y = 0; y < 8; ++y) spec.rows.push_back(std::vector<uint8_t>(24, static_cast<uint8_t>(100 + y)));
  ASSERT_TRUE(WriteTestTiff(dir + "/whole.tif", spec));
  // One LZW strip per row; then the data of strips 5 to 8 is overwritten.
  ASSERT_EQ(testing_support::RunCommand("tiffcp -c lzw -r 1 '" + dir + "/whole.tif' '" + dir + "/strips.tif'"), 0);
  std::vector<uint8_t> bytes = ReadWholeFile(dir + "/strips.tif");
  TIFF* tiff = TIFFOpen((dir + "/strips.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_STRIPOFFSETS, &offsets), 1);
  ASSERT_EQ(TIFFGetField(tiff, TIFFTAG_STRIPBYTECOUNTS, &counts), 1);
  const uint64_t from = offsets[4], to = offsets[7] + counts[7];
  TIFFClose(tiff);
  ASSERT_LE(to, bytes.size());
  for (uint64_t i = from; i < to; ++i) bytes[i] = 0xff;
  ASSERT_TRUE(WriteWholeFile(dir + "/damaged.tif", bytes));
  platform::TakeDebugOutput();
  const ReadOutcome outcome = ReadTiff(dir + "/damaged.tif");
  ASSERT_EQ(outcome.code, kPelornOk);
  for (uint32_t y = 0; y < 4; ++y) EXPECT_EQ(outcome.picture.rgb[y * 24], 100 + y) << y;
  EXPECT_NE(platform::TakeDebugOutput().find("libtiff error"), std::string::npos);
}

TEST(TiffFailure, CancellationAndOutOfMemoryLeaveNothing) {
  const std::string path = CorpusPath("tiff", "libtiff_rgb-3c-8b.tiff");
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  {
    ProgressScope progress(StopAtOnce);
    ReadOutcome outcome = ReadTiff(path);
    EXPECT_EQ(outcome.code, kPelornCancelled);
    EXPECT_FALSE(outcome.gotBlock);
    EXPECT_EQ(progressCalls, 1);
  }
  platform::FailNthGlobalAlloc(1);
  EXPECT_EQ(ReadTiff(path).code, kPelornOutOfMemory);
  platform::FailNthGlobalAlloc(0);
  for (int failing = 1; failing <= 1; ++failing) {  // the band of 32-bit values
    pelorn::FailNthPlainAllocation(failing);
    EXPECT_EQ(ReadTiff(path).code, kPelornOutOfMemory) << failing;
    pelorn::FailNthPlainAllocation(0);
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), liveBefore);
  EXPECT_EQ(ReadTiff(path).code, kPelornOk);
}

}  // namespace
