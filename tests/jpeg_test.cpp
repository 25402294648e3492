// Tests of the JPEG codec: the readers against Pillow and a golden list over
// the corpus, truncation, comments and density, the writer's parameters and
// grey conversion, progress and cancellation, out-of-memory and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/codecs/jpeg.h"
#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Checksum;
using testing_support::Compare;
using testing_support::CorpusFiles;
using testing_support::CorpusPath;
using testing_support::ExpectGoldenList;
using testing_support::GoldenLine;
using testing_support::Picture;
using testing_support::ReadWholeFile;
using testing_support::ReferenceDecode;
using testing_support::TakePicture;
using testing_support::TempDir;
using testing_support::WriteWholeFile;

namespace {

// --- Helpers ------------------------------------------------------------------

struct Decoded {
  PelornError code = -1;
  Picture picture;
};

Decoded DecodeFile(const std::string& path) {
  Decoded result;
  uint32_t width = 99, height = 99;
  HGLOBAL block = ReadJpegFile(path.c_str(), &width, &height);
  result.code = GetLastImageError();
  if (block != nullptr) result.picture = TakePicture(block, width, height);
  if (block == nullptr) {
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);
  }
  return result;
}

Decoded DecodeBytes(const std::vector<uint8_t>& bytes) {
  Decoded result;
  uint32_t width = 99, height = 99;
  HGLOBAL block = ReadJpegMemory(bytes.empty() ? "" : static_cast<const void*>(bytes.data()),
                                 static_cast<int32_t>(bytes.size()), &width, &height);
  result.code = GetLastImageError();
  if (block != nullptr) result.picture = TakePicture(block, width, height);
  return result;
}

// One marker segment of a JPEG header.
struct Segment {
  uint8_t marker = 0;
  size_t offset = 0;             // of the 0xFF
  std::vector<uint8_t> payload;  // after the two length bytes
};

// The segments from SOI up to and including the first SOS.
std::vector<Segment> HeaderSegments(const std::vector<uint8_t>& file) {
  std::vector<Segment> segments;
  size_t at = 2;
  while (at + 4 <= file.size() && file[at] == 0xFF) {
    Segment segment;
    segment.marker = file[at + 1];
    segment.offset = at;
    const size_t length = (size_t{file[at + 2]} << 8) | file[at + 3];
    if (length < 2 || at + 2 + length > file.size()) break;
    segment.payload.assign(file.begin() + static_cast<long>(at + 4),
                           file.begin() + static_cast<long>(at + 2 + length));
    segments.push_back(segment);
    if (segment.marker == 0xDA) break;
    at += 2 + length;
  }
  return segments;
}

std::vector<uint8_t> MarkersOf(const std::vector<Segment>& segments) {
  std::vector<uint8_t> markers;
  for (const Segment& segment : segments) markers.push_back(segment.marker);
  return markers;
}

// The file with COM segments holding the given texts inserted after SOI.
std::vector<uint8_t> WithComments(const std::vector<uint8_t>& file,
                                  const std::vector<std::string>& texts) {
  std::vector<uint8_t> spliced(file.begin(), file.begin() + 2);
  for (const std::string& text : texts) {
    const size_t length = text.size() + 2;
    spliced.insert(spliced.end(), {0xFF, 0xFE, static_cast<uint8_t>(length >> 8),
                                   static_cast<uint8_t>(length & 0xFF)});
    spliced.insert(spliced.end(), text.begin(), text.end());
  }
  spliced.insert(spliced.end(), file.begin() + 2, file.end());
  return spliced;
}

std::vector<uint8_t> SmoothPicture(uint32_t width, uint32_t height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      pixel[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
      pixel[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
      pixel[2] = static_cast<uint8_t>((x + y) * 2);
    }
  }
  return rgb;
}

double MeanDelta(const Picture& a, const Picture& b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
  return sum / static_cast<double>(a.rgb.size());
}

// Progress recorder: every call, and the call (1-based) at which to stop.
std::vector<std::pair<int32_t, int32_t>> progressCalls;
size_t stopAtCall = 0;
int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.emplace_back(done, total);
  return (stopAtCall != 0 && progressCalls.size() >= stopAtCall) ? 0 : 1;
}

class JpegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    progressCalls.clear();
    stopAtCall = 0;
    SetProgressCallback(nullptr);
    platform::TakeDebugOutput();
  }
  void TearDown() override {
    SetProgressCallback(nullptr);
    platform::FailNthGlobalAlloc(0);
    pelorn::FailNthPlainAllocation(0);
    PelornThreadState& state = GetThreadState();
    state.writeComments.clear();
    state.writeDensity = PelornResolution{};
    state.dctMethod = 0;
  }
};

// The JPEG corpus files that are broken on purpose or that no 8-bit
// libjpeg decodes in full, each covered by the test named beside it.
bool IsSpecialCorpusFile(const std::string& name) {
  return name == "imagers_oss-fuzz-36829.jpeg" ||      // FuzzedFileWithoutFrameFailsCleanly
         name == "libjpegturbo_monkey12.jpg" ||        // ArithmeticAndTwelveBitFilesFollowTheLibrary
         name == "libjpegturbo_testimgari.jpg" ||      // ArithmeticAndTwelveBitFilesFollowTheLibrary
         name == "pillow_truncated_jpeg.jpg";          // StreamCutInsideScanDataDecodesWithWarning
}

// --- Reading: corpus against Pillow --------------------------------------------

// Pillow decodes through the same system libjpeg with its default settings
// (accurate integer IDCT, fancy upsampling), so RGB and grey files must agree
// exactly. For CMYK/YCCK Pillow's CMYK-to-RGB is the same multiply and rounded
// division as ours, so they must agree exactly too.
TEST_F(JpegTest, CorpusMatchesPillowOrImageMagick) {
  int compared = 0;
  std::vector<std::string> paths;
  for (const std::string& name : CorpusFiles("jpeg")) paths.push_back(CorpusPath("jpeg", name));
  const testing_support::ReferenceBatch pillow(paths);
  for (const std::string& name : CorpusFiles("jpeg")) {
    if (IsSpecialCorpusFile(name)) continue;
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("jpeg", name);
    const Decoded ours = DecodeFile(path);
    ASSERT_EQ(ours.code, kPelornOk);
    // Pillow 9.4 refuses a file whose EXIF block is cut short before it
    // looks at the picture; ImageMagick decodes it through the same libjpeg.
    auto reference = pillow.Decode(path);
    if (!reference) reference = testing_support::MagickDecode(path, ours.picture.width, ours.picture.height);
    ASSERT_TRUE(reference.has_value()) << "neither Pillow nor ImageMagick could decode it";
    ASSERT_EQ(ours.picture.width, reference->width);
    ASSERT_EQ(ours.picture.height, reference->height);
    const auto difference = Compare(ours.picture, *reference);
    EXPECT_EQ(difference.maxDelta, 0) << difference.differingBytes << " bytes differ";
    ++compared;
  }
  EXPECT_GE(compared, 55);
}

TEST_F(JpegTest, MemoryReaderGivesTheSamePictureAsTheFileReader) {
  for (const char* name : {"pillow_hopper.jpg", "pillow_hopper_gray.jpg", "zigimg_tuba.jpg",
                           "imagers_progressive_cat.jpg", "pillow_pil_sample_cmyk.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("jpeg", name);
    const Decoded fromFile = DecodeFile(path);
    const Decoded fromMemory = DecodeBytes(ReadWholeFile(path));
    ASSERT_EQ(fromFile.code, kPelornOk);
    ASSERT_EQ(fromMemory.code, kPelornOk);
    EXPECT_EQ(fromFile.picture.width, fromMemory.picture.width);
    EXPECT_EQ(fromFile.picture.height, fromMemory.picture.height);
    EXPECT_EQ(fromFile.picture.rgb, fromMemory.picture.rgb);
  }
}

TEST_F(JpegTest, GreyscaleFilesGiveEqualComponents) {
  for (const char* name : {"pillow_hopper_gray.jpg", "zigimg_grayscale_sample0.jpg",
                           "pillow_hopper_bad_exif.jpg"}) {
    SCOPED_TRACE(name);
    const Decoded decoded = DecodeFile(CorpusPath("jpeg", name));
    ASSERT_EQ(decoded.code, kPelornOk);
    const std::vector<uint8_t>& rgb = decoded.picture.rgb;
    ASSERT_EQ(rgb.size(), size_t{decoded.picture.width} * decoded.picture.height * 3);
    bool allEqual = true, allBlack = true;
    for (size_t i = 0; i < rgb.size(); i += 3) {
      allEqual = allEqual && rgb[i] == rgb[i + 1] && rgb[i] == rgb[i + 2];
      allBlack = allBlack && rgb[i] == 0;
    }
    EXPECT_TRUE(allEqual);
    EXPECT_FALSE(allBlack);
  }
}

// YCCK (Adobe, inverted) must come out as the picture, not all black: close
// to the RGB twin the file was made from.
TEST_F(JpegTest, YcckFileDecodesCloseToItsRgbTwin) {
  const Decoded cmyk = DecodeFile(CorpusPath("jpeg", "pillow_pil_sample_cmyk.jpg"));
  const Decoded rgb = DecodeFile(CorpusPath("jpeg", "pillow_pil_sample_rgb.jpg"));
  ASSERT_EQ(cmyk.code, kPelornOk);
  ASSERT_EQ(rgb.code, kPelornOk);
  ASSERT_EQ(cmyk.picture.width, 100u);
  ASSERT_EQ(cmyk.picture.height, 100u);
  // The twin went through a CMYK conversion and a second lossy coding, so the
  // pictures are close, not equal (mean 4.7 levels); black or an inverted
  // reading is more than 50 levels away.
  const double mean = MeanDelta(cmyk.picture, rgb.picture);
  EXPECT_LT(mean, 6.0);
  // An inverted or black decode is far away.
  size_t black = 0;
  for (uint8_t value : cmyk.picture.rgb) black += value == 0;
  EXPECT_LT(black, cmyk.picture.rgb.size() / 4);
}

// Plain (non-Adobe) CMYK: made here by stripping the APP14 marker from a CMYK
// file that ImageMagick writes, so the samples are read as non-inverted.
TEST_F(JpegTest, CmykWithoutAdobeMarkerIsNotInverted) {
  const std::string folder = TempDir();
  const std::string source = CorpusPath("jpeg", "pillow_pil_sample_rgb.jpg");
  const std::string adobe = folder + "/cmyk.jpg";
  if (testing_support::RunCommand("convert '" + source + "' -colorspace CMYK '" + adobe +
                                  "' 2>/dev/null") != 0) {
    GTEST_SKIP() << "ImageMagick could not make a CMYK file";
  }
  const std::vector<uint8_t> file = ReadWholeFile(adobe);
  const std::vector<Segment> segments = HeaderSegments(file);
  std::vector<uint8_t> plain;
  size_t from = 0;
  bool stripped = false;
  for (const Segment& segment : segments) {
    if (segment.marker != 0xEE) continue;
    plain.insert(plain.end(), file.begin() + static_cast<long>(from),
                 file.begin() + static_cast<long>(segment.offset));
    from = segment.offset + 4 + segment.payload.size();
    stripped = true;
  }
  plain.insert(plain.end(), file.begin() + static_cast<long>(from), file.end());
  const Decoded withMarker = DecodeBytes(file);
  ASSERT_EQ(withMarker.code, kPelornOk);
  const Decoded twin = DecodeFile(source);
  EXPECT_LT(MeanDelta(withMarker.picture, twin.picture), 6.0);
  if (!stripped) GTEST_SKIP() << "ImageMagick wrote no Adobe marker";
  // Without the marker the same samples mean the opposite: the picture comes
  // out as the photographic negative of the marked decode (within rounding).
  const Decoded withoutMarker = DecodeBytes(plain);
  ASSERT_EQ(withoutMarker.code, kPelornOk);
  ASSERT_EQ(withoutMarker.picture.rgb.size(), withMarker.picture.rgb.size());
  const auto reference = ReferenceDecode(adobe);
  ASSERT_TRUE(reference.has_value());
  EXPECT_EQ(Compare(withMarker.picture, *reference).maxDelta, 0);
  // (Not named "far": <windows.h> defines that away.)
  const double distance = MeanDelta(withoutMarker.picture, withMarker.picture);
  EXPECT_GT(distance, 30.0);
}

// Whatever the installed libjpeg can do with arithmetic coding and 12-bit
// samples, we do the same as Pillow over it: decode equally, or fail with 9.
TEST_F(JpegTest, ArithmeticAndTwelveBitFilesFollowTheLibrary) {
  for (const char* name : {"libjpegturbo_testimgari.jpg", "libjpegturbo_monkey12.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = CorpusPath("jpeg", name);
    const auto reference = ReferenceDecode(path);
    const Decoded ours = DecodeFile(path);
    if (reference.has_value()) {
      ASSERT_EQ(ours.code, kPelornOk);
      EXPECT_EQ(Compare(ours.picture, *reference).maxDelta, 0);
    } else {
      EXPECT_EQ(ours.code, kPelornBadJpeg);
      EXPECT_TRUE(ours.picture.rgb.empty());
    }
  }
  // The arithmetic-coded file is the same picture as the baseline one.
  const Decoded arithmetic = DecodeFile(CorpusPath("jpeg", "libjpegturbo_testimgari.jpg"));
  if (arithmetic.code == kPelornOk) {
    const Decoded baseline = DecodeFile(CorpusPath("jpeg", "libjpegturbo_testimgint.jpg"));
    EXPECT_EQ(arithmetic.picture.rgb, baseline.picture.rgb);
  }
}

TEST_F(JpegTest, FuzzedFileWithoutFrameFailsCleanly) {
  const int64_t blocks = platform::LiveGlobalBlocks();
  const Decoded decoded = DecodeFile(CorpusPath("jpeg", "imagers_oss-fuzz-36829.jpeg"));
  EXPECT_EQ(decoded.code, kPelornBadJpeg);
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocks);
  EXPECT_FALSE(platform::TakeDebugOutput().empty());
}

// --- Reading: bad and short input -------------------------------------------------

TEST_F(JpegTest, ArgumentsAndFilesThatAreNotThere) {
  uint32_t width = 7, height = 7;
  EXPECT_EQ(ReadJpegFile(nullptr, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadJpegFile(CorpusPath("jpeg", "pillow_hopper.jpg").c_str(), nullptr, &height),
            nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(ReadJpegMemory(nullptr, 10, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  const uint8_t byte = 0;
  EXPECT_EQ(ReadJpegMemory(&byte, 1, &width, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);

  EXPECT_EQ(ReadJpegFile((TempDir() + "/missing.jpg").c_str(), &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornFileOpen);
  EXPECT_EQ(width, 0u);
  EXPECT_EQ(height, 0u);
}

TEST_F(JpegTest, MemoryThatIsEmptyOrNotAJpegFails) {
  const int64_t blocks = platform::LiveGlobalBlocks();
  EXPECT_EQ(DecodeBytes({}).code, kPelornBadJpeg);
  EXPECT_NE(platform::TakeDebugOutput().find("Not a JPEG file"), std::string::npos);

  const std::vector<uint8_t> png = ReadWholeFile(CorpusPath("png", "pngsuite_basn2c08.png"));
  std::vector<uint8_t> notJpeg = png.empty() ? std::vector<uint8_t>(100, 0x42) : png;
  EXPECT_EQ(DecodeBytes(notJpeg).code, kPelornBadJpeg);

  // A valid stream with a negative length is read as no bytes at all, never
  // past the caller's block.
  const std::vector<uint8_t> good = ReadWholeFile(CorpusPath("jpeg", "pillow_hopper.jpg"));
  uint32_t width = 0, height = 0;
  EXPECT_EQ(ReadJpegMemory(good.data(), -5, &width, &height), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadJpeg);
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocks);
}

TEST_F(JpegTest, StreamCutInsideScanDataDecodesWithWarning) {
  const std::vector<uint8_t> file = ReadWholeFile(CorpusPath("jpeg", "libjpegturbo_testorig.jpg"));
  const std::vector<Segment> segments = HeaderSegments(file);
  ASSERT_FALSE(segments.empty());
  ASSERT_EQ(segments.back().marker, 0xDA);
  const size_t scanStart = segments.back().offset + 4 + segments.back().payload.size();
  const std::vector<uint8_t> cut(file.begin(),
                                 file.begin() + static_cast<long>((scanStart + file.size()) / 2));
  const Decoded whole = DecodeBytes(file);
  platform::TakeDebugOutput();
  const Decoded decoded = DecodeBytes(cut);
  EXPECT_EQ(decoded.code, kPelornOk);
  EXPECT_EQ(decoded.picture.width, 227u);
  EXPECT_EQ(decoded.picture.height, 149u);
  EXPECT_NE(platform::TakeDebugOutput().find("Premature end of JPEG file\n"), std::string::npos);
  // The top rows are there; the missing part differs from the whole file.
  ASSERT_EQ(whole.code, kPelornOk);
  EXPECT_TRUE(std::equal(whole.picture.rgb.begin(), whole.picture.rgb.begin() + 227 * 3 * 8,
                         decoded.picture.rgb.begin()));
  EXPECT_NE(whole.picture.rgb, decoded.picture.rgb);

  // The same through the file reader.
  const Decoded truncated = DecodeFile(CorpusPath("jpeg", "pillow_truncated_jpeg.jpg"));
  EXPECT_EQ(truncated.code, kPelornOk);
  EXPECT_GT(truncated.picture.width, 0u);
  EXPECT_NE(platform::TakeDebugOutput().find("Premature end of JPEG file"), std::string::npos);
}

// The file reader's source refills a buffer many times over a large file:
// whole, cut inside its scan data, and empty, the file reads as the memory
// reader reads the same bytes (same code, same pixels).
TEST_F(JpegTest, FileReaderAgreesWithMemoryReaderWholeCutAndEmpty) {
  std::vector<uint8_t> noise(size_t{640} * 480 * 3);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  const std::string whole = TempDir() + "/large.jpg";
  ASSERT_EQ(WriteJpegFile(whole.c_str(), noise.data(), 640, 480, 95, 1, 0), 1);
  const std::vector<uint8_t> bytes = ReadWholeFile(whole);
  ASSERT_GT(bytes.size(), size_t{256} << 10);
  for (const size_t length : {bytes.size(), bytes.size() * 2 / 3, size_t{0}}) {
    SCOPED_TRACE(length);
    const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<long>(length));
    const std::string path = TempDir() + "/prefix.jpg";
    ASSERT_TRUE(WriteWholeFile(path, prefix));
    const Decoded fromFile = DecodeFile(path);
    const Decoded fromMemory = DecodeBytes(prefix);
    EXPECT_EQ(fromFile.code, length == 0 ? kPelornBadJpeg : kPelornOk);
    EXPECT_EQ(fromFile.code, fromMemory.code);
    EXPECT_EQ(fromFile.picture.rgb, fromMemory.picture.rgb);
  }
}

TEST_F(JpegTest, StreamCutBeforeFirstScanFails) {
  const std::vector<uint8_t> file = ReadWholeFile(CorpusPath("jpeg", "libjpegturbo_testorig.jpg"));
  const std::vector<Segment> segments = HeaderSegments(file);
  ASSERT_EQ(segments.back().marker, 0xDA);
  const int64_t blocks = platform::LiveGlobalBlocks();
  for (size_t length : {size_t{2}, size_t{20}, segments.back().offset,
                        segments.back().offset + 3}) {
    SCOPED_TRACE(length);
    const std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<long>(length));
    const Decoded decoded = DecodeBytes(cut);
    EXPECT_EQ(decoded.code, kPelornBadJpeg);
    EXPECT_TRUE(decoded.picture.rgb.empty());
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocks);
}

// The memory source on its own: the caller's block is the one buffer; past
// its end come a warning and an EOI marker, as often as libjpeg asks.
TEST_F(JpegTest, MemorySourceSkipsAndEndsWithEoi) {
  struct Job {
    jpeg_decompress_struct info;
    JpegErrorManager errors;
  };
  auto job = std::make_unique<Job>();
  std::memset(job.get(), 0, sizeof(Job));
  job->info.err = JpegStandardErrors(&job->errors);
  jpeg_create_decompress(&job->info);
  const uint8_t data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  JpegMemorySource(&job->info, data, 10);
  jpeg_source_mgr* source = job->info.src;
  ASSERT_NE(source, nullptr);
  EXPECT_EQ(source->next_input_byte, data);
  EXPECT_EQ(source->bytes_in_buffer, 10u);
  EXPECT_EQ(source->resync_to_restart, jpeg_resync_to_restart);

  source->skip_input_data(&job->info, 0);
  source->skip_input_data(&job->info, -3);
  EXPECT_EQ(source->next_input_byte, data);
  source->skip_input_data(&job->info, 4);
  EXPECT_EQ(source->next_input_byte, data + 4);
  EXPECT_EQ(source->bytes_in_buffer, 6u);
  EXPECT_TRUE(platform::TakeDebugOutput().empty());

  // 7 bytes from 6 left: the sixth ends the block, the seventh is the 0xFF
  // of the end marker.
  // Between operations the process-wide flag is what SetJpegMessageBoxes set.
  headless::TakeMessageBoxes();
  SetJpegMessageBoxes(true);
  source->skip_input_data(&job->info, 7);
  SetJpegMessageBoxes(false);
  const std::vector<headless::MessageBoxShown> boxes = headless::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "JPEG Error");
  EXPECT_EQ(boxes[0].owner, GetActiveWindow());
  EXPECT_EQ(source->bytes_in_buffer, 1u);
  EXPECT_EQ(source->next_input_byte[0], 0xD9);
  EXPECT_NE(platform::TakeDebugOutput().find("Premature end of JPEG file"), std::string::npos);
  // A write copies the thread's flag (off) into the process-wide one.
  SetJpegMessageBoxes(true);
  const std::vector<uint8_t> pixels(8 * 8 * 3, 128);
  ASSERT_EQ(WriteJpegFile((TempDir() + "/flag.jpg").c_str(), pixels.data(), 8, 8, 75, 1, 0), 1);
  job->errors.pub.num_warnings = 0;  // libjpeg passes on only the first warning
  EXPECT_EQ(source->fill_input_buffer(&job->info), TRUE);
  EXPECT_NE(platform::TakeDebugOutput().find("Premature end of JPEG file"), std::string::npos);
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
  EXPECT_EQ(source->bytes_in_buffer, 2u);
  EXPECT_EQ(source->next_input_byte[0], 0xFF);
  EXPECT_EQ(source->next_input_byte[1], 0xD9);

  // Installed again on the same decompressor: the manager is reused.
  JpegMemorySource(&job->info, data + 2, 5);
  EXPECT_EQ(job->info.src, source);
  EXPECT_EQ(source->next_input_byte, data + 2);
  EXPECT_EQ(source->bytes_in_buffer, 5u);
  jpeg_destroy_decompress(&job->info);
}

// Message boxes: none unless asked for. The thread's show flag gives fatal
// errors a "JPEG Fatal Error" box (no owner, stop icon) and, copied into the
// process-wide flag when an operation starts, warnings a "JPEG Error" box.
TEST_F(JpegTest, MessageBoxesOnlyWhenAsked) {
  const std::vector<uint8_t> file = ReadWholeFile(CorpusPath("jpeg", "libjpegturbo_testorig.jpg"));
  const std::vector<uint8_t> cut(file.begin(), file.begin() + 3000);
  const std::vector<uint8_t> notJpeg = {0x00, 0x01, 0x02};
  headless::TakeMessageBoxes();
  EXPECT_EQ(DecodeBytes(notJpeg).code, kPelornBadJpeg);
  EXPECT_EQ(DecodeBytes(cut).code, kPelornOk);
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());

  PelornThreadState& state = GetThreadState();
  state.showJpegMessages = true;
  EXPECT_EQ(DecodeBytes(notJpeg).code, kPelornBadJpeg);
  std::vector<headless::MessageBoxShown> boxes = headless::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "JPEG Fatal Error");
  EXPECT_EQ(boxes[0].text, "Not a JPEG file: starts with 0x00 0x01");
  EXPECT_EQ(boxes[0].type, UINT(MB_OK | MB_ICONERROR));
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_NE(platform::TakeDebugOutput().find("Not a JPEG file: starts with 0x00 0x01"),
            std::string::npos);

  EXPECT_EQ(DecodeBytes(cut).code, kPelornOk);
  boxes = headless::TakeMessageBoxes();
  ASSERT_GE(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "JPEG Error");
  EXPECT_EQ(boxes[0].text, "Premature end of JPEG file");
  EXPECT_EQ(boxes[0].type, UINT(MB_OK));

  // With the thread's flag off nothing shows, even after
  // SetJpegMessageBoxes(true): every operation copies the thread's flag.
  state.showJpegMessages = false;
  SetJpegMessageBoxes(true);
  EXPECT_EQ(DecodeBytes(cut).code, kPelornOk);
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
  SetJpegMessageBoxes(false);
}

// --- Reading: comments and density ---------------------------------------------

TEST_F(JpegTest, CommentsInFileOrderCutAtNul) {
  // Comments that real files carry; Photoshop's ends in a NUL.
  ASSERT_EQ(DecodeFile(CorpusPath("jpeg", "pillow_hopper.jpg")).code, kPelornOk);
  EXPECT_EQ(GetThreadState().readComments,
            std::vector<std::string>{"File written by Adobe Photoshop\xa8 4.0"});
  ASSERT_EQ(DecodeFile(CorpusPath("jpeg", "imagers_progressive_cat.jpg")).code, kPelornOk);
  EXPECT_EQ(GetThreadState().readComments, std::vector<std::string>{"*"});

  const std::vector<uint8_t> file = ReadWholeFile(CorpusPath("jpeg", "libjpegturbo_testorig.jpg"));
  const std::string withNul("before\0after", 12);
  const std::string longText(60000, 'x');
  const std::vector<uint8_t> spliced =
      WithComments(file, {"first comment", withNul, std::string("\0hidden", 7), "third", longText});
  ASSERT_EQ(DecodeBytes(spliced).code, kPelornOk);
  const std::vector<std::string> expected = {"first comment", "before", "", "third", longText};
  EXPECT_EQ(GetThreadState().readComments, expected);

  // The list is emptied by every read: a file without comments leaves none.
  ASSERT_EQ(DecodeBytes(file).code, kPelornOk);
  EXPECT_TRUE(GetThreadState().readComments.empty());

  // A failed read after the comments keeps only what was gathered.
  ASSERT_EQ(DecodeBytes(spliced).code, kPelornOk);
  EXPECT_EQ(DecodeBytes({0x00}).code, kPelornBadJpeg);
  EXPECT_TRUE(GetThreadState().readComments.empty());
}

TEST_F(JpegTest, DensityFromJfifHeader) {
  PelornThreadState& state = GetThreadState();
  ASSERT_EQ(DecodeFile(CorpusPath("jpeg", "pillow_jfif_unit_cm.jpg")).code, kPelornOk);
  EXPECT_EQ(state.readDensity.x, 1);
  EXPECT_EQ(state.readDensity.y, 2);
  EXPECT_EQ(state.readDensity.unit, 2);

  ASSERT_EQ(DecodeFile(CorpusPath("jpeg", "pillow_hopper.jpg")).code, kPelornOk);
  EXPECT_EQ(state.readDensity.x, 96);
  EXPECT_EQ(state.readDensity.y, 96);
  EXPECT_EQ(state.readDensity.unit, 1);

  // Files without JFIF (Adobe APP14 only, or EXIF only) get libjpeg's defaults.
  for (const char* name : {"pillow_app13.jpg", "pillow_exif-200dpcm.jpg",
                           "pillow_exif_gps_typeerror.jpg"}) {
    SCOPED_TRACE(name);
    ASSERT_EQ(DecodeFile(CorpusPath("jpeg", name)).code, kPelornOk);
    EXPECT_EQ(state.readDensity.x, 1);
    EXPECT_EQ(state.readDensity.y, 1);
    EXPECT_EQ(state.readDensity.unit, 0);
  }
}

// --- Reading: progress, cancellation, memory ------------------------------------

TEST_F(JpegTest, ReadReportsEveryRowBeforeDecodingIt) {
  SetProgressCallback(RecordProgress);
  const Decoded decoded = DecodeFile(CorpusPath("jpeg", "zigimg_subsampling_420.jpg"));
  ASSERT_EQ(decoded.code, kPelornOk);
  const int32_t height = static_cast<int32_t>(decoded.picture.height);
  ASSERT_EQ(progressCalls.size(), static_cast<size_t>(height));
  for (int32_t row = 0; row < height; ++row) {
    EXPECT_EQ(progressCalls[static_cast<size_t>(row)], std::make_pair(row, height));
  }

  // Inside another codec object of the same call the depth is 2: silence.
  progressCalls.clear();
  {
    PelornCodec outer;
    const std::vector<uint8_t> bytes = ReadWholeFile(CorpusPath("jpeg", "pillow_hopper.jpg"));
    EXPECT_EQ(DecodeBytes(bytes).code, kPelornOk);
  }
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(JpegTest, ReadCancelledAtFirstRowLeavesNothing) {
  const int64_t blocks = platform::LiveGlobalBlocks();
  SetProgressCallback(RecordProgress);
  stopAtCall = 1;
  const Decoded fromFile = DecodeFile(CorpusPath("jpeg", "pillow_flower.jpg"));
  EXPECT_EQ(fromFile.code, kPelornCancelled);
  EXPECT_TRUE(fromFile.picture.rgb.empty());
  EXPECT_EQ(progressCalls.size(), 1u);
  EXPECT_EQ(progressCalls[0], std::make_pair(0, 360));

  progressCalls.clear();
  stopAtCall = 100;  // part-way through, from memory
  const Decoded fromMemory = DecodeBytes(ReadWholeFile(CorpusPath("jpeg", "pillow_flower.jpg")));
  EXPECT_EQ(fromMemory.code, kPelornCancelled);
  EXPECT_EQ(progressCalls.size(), 100u);
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocks);
}

TEST_F(JpegTest, ReadWithoutMemoryFailsWithCode1) {
  const int64_t blocks = platform::LiveGlobalBlocks();
  platform::FailNthGlobalAlloc(1);
  const Decoded fromFile = DecodeFile(CorpusPath("jpeg", "pillow_hopper.jpg"));
  EXPECT_EQ(fromFile.code, kPelornOutOfMemory);
  platform::FailNthGlobalAlloc(1);
  const Decoded fromMemory = DecodeBytes(ReadWholeFile(CorpusPath("jpeg", "pillow_hopper.jpg")));
  EXPECT_EQ(fromMemory.code, kPelornOutOfMemory);
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocks);
  platform::FailNthGlobalAlloc(0);
  EXPECT_EQ(DecodeFile(CorpusPath("jpeg", "pillow_hopper.jpg")).code, kPelornOk);
}

TEST_F(JpegTest, ThreadsKeepTheirOwnComments) {
  const std::vector<uint8_t> file = ReadWholeFile(CorpusPath("jpeg", "zigimg_huff_simple0.jpg"));
  auto worker = [&file](const std::string& tag, bool* ok) {
    const std::vector<uint8_t> mine = WithComments(file, {tag, tag + " again"});
    for (int i = 0; i < 40; ++i) {
      uint32_t width = 0, height = 0;
      HGLOBAL block = ReadJpegMemory(mine.data(), static_cast<int32_t>(mine.size()), &width,
                                     &height);
      if (block == nullptr) *ok = false;
      GlobalFree(block);
      const std::vector<std::string> expected = {tag, tag + " again"};
      if (GetThreadState().readComments != expected) *ok = false;
      if (GetLastImageError() != kPelornOk) *ok = false;
    }
  };
  bool firstOk = true, secondOk = true;
  std::thread first(worker, "thread one", &firstOk);
  std::thread second(worker, "thread two", &secondOk);
  first.join();
  second.join();
  EXPECT_TRUE(firstOk);
  EXPECT_TRUE(secondOk);
}

// --- Golden list ------------------------------------------------------------------

// tests/golden/jpeg.txt: one line per corpus file (tests/tools/make_golden.sh).
TEST_F(JpegTest, GoldenListOfTheCorpus) {
  std::string lines;
  for (const std::string& name : CorpusFiles("jpeg")) {
    const Decoded decoded = DecodeFile(CorpusPath("jpeg", name));
    lines += GoldenLine(name, decoded.picture.width, decoded.picture.height, decoded.code,
                        decoded.picture.rgb.empty() ? nullptr : &decoded.picture.rgb);
  }
  ExpectGoldenList("jpeg", lines);
}

// --- Writing -------------------------------------------------------------------------

struct Written {
  int32_t result = 0;
  PelornError code = -1;
  std::vector<uint8_t> bytes;
};

Written Write(const std::vector<uint8_t>& rgb, uint32_t width, uint32_t height, int32_t quality,
              int32_t color, int32_t progressive) {
  const std::string path = TempDir() + "/out.jpg";
  Written written;
  written.result = WriteJpegFile(path.c_str(), rgb.data(), width, height, quality, color,
                                 progressive);
  written.code = GetLastImageError();
  written.bytes = ReadWholeFile(path);
  return written;
}

// The exact grey rule: (0.587 G + 0.299 R) + 0.114 B in doubles, truncated.
// Each 8 x 8 block is one flat colour; a flat block survives JPEG coding at
// quality 100 exactly, so the decoded grey is the byte handed to libjpeg.
TEST_F(JpegTest, GreyWriterTruncatesTheDoubleSum) {
  std::vector<std::array<uint8_t, 3>> colours;
  for (int level = 0; level < 256; ++level) {
    colours.push_back({uint8_t(level), uint8_t(level), uint8_t(level)});
  }
  colours.push_back({255, 0, 0});
  colours.push_back({0, 255, 0});
  colours.push_back({0, 0, 255});
  colours.push_back({10, 200, 30});
  const uint32_t width = static_cast<uint32_t>(colours.size()) * 8, height = 8;
  std::vector<uint8_t> rgb(size_t{width} * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      std::memcpy(&rgb[(size_t{y} * width + x) * 3], colours[x / 8].data(), 3);
    }
  }
  const Written written = Write(rgb, width, height, 100, 0, 0);
  ASSERT_EQ(written.result, 1);
  const Decoded decoded = DecodeBytes(written.bytes);
  ASSERT_EQ(decoded.code, kPelornOk);
  auto greyOf = [&](size_t block) { return int(decoded.picture.rgb[(block * 8 + 3) * 3]); };

  EXPECT_EQ(greyOf(1), 0);
  EXPECT_EQ(greyOf(2), 1);
  EXPECT_EQ(greyOf(100), 100);
  EXPECT_EQ(greyOf(255), 255);
  int dropped = 0;
  for (size_t level = 0; level < 256; ++level) {
    const int grey = greyOf(level);
    EXPECT_TRUE(grey == int(level) || grey == int(level) - 1) << level;
    dropped += grey != int(level);
  }
  EXPECT_EQ(dropped, 65);
  EXPECT_EQ(greyOf(256), 76);   // 76.245
  EXPECT_EQ(greyOf(257), 149);  // 149.685, not rounded up
  EXPECT_EQ(greyOf(258), 29);   // 29.07
  EXPECT_EQ(greyOf(259), 123);  // 2.99 + 117.4 + 3.42 = 123.81
  // Every pixel of the file, not only the probe: the blocks are flat.
  for (size_t i = 0; i < decoded.picture.rgb.size(); i += 3) {
    ASSERT_EQ(decoded.picture.rgb[i], decoded.picture.rgb[i + 1]);
  }
}

TEST_F(JpegTest, QualityIsClampedToOneToHundred) {
  const std::vector<uint8_t> rgb = SmoothPicture(64, 48);
  const Written q0 = Write(rgb, 64, 48, 0, 1, 0);
  const Written q1 = Write(rgb, 64, 48, 1, 1, 0);
  const Written qNegative = Write(rgb, 64, 48, -20, 1, 0);
  const Written q100 = Write(rgb, 64, 48, 100, 1, 0);
  const Written q150 = Write(rgb, 64, 48, 150, 1, 0);
  ASSERT_EQ(q0.result, 1);
  EXPECT_EQ(q0.code, kPelornOk);
  EXPECT_EQ(q0.bytes, q1.bytes);
  EXPECT_EQ(qNegative.bytes, q1.bytes);
  EXPECT_EQ(q150.bytes, q100.bytes);
  EXPECT_NE(q1.bytes, q100.bytes);
  // Baseline tables are forced: at quality 1 every table entry still fits 8
  // bits (DQT precision 0) and the frame is baseline SOF0.
  const std::vector<Segment> segments = HeaderSegments(q1.bytes);
  const std::vector<uint8_t> markers = MarkersOf(segments);
  EXPECT_NE(std::find(markers.begin(), markers.end(), 0xC0), markers.end());
  int tables = 0;
  for (const Segment& segment : segments) {
    if (segment.marker != 0xDB) continue;
    for (size_t at = 0; at < segment.payload.size(); at += 65) {
      EXPECT_EQ(segment.payload[at] >> 4, 0);
      ++tables;
    }
  }
  EXPECT_EQ(tables, 2);
}

TEST_F(JpegTest, WriterArgumentsAndFiles) {
  const std::string folder = TempDir();
  const std::vector<uint8_t> rgb = SmoothPicture(16, 16);
  for (auto size : {std::make_pair(0u, 16u), std::make_pair(16u, 0u)}) {
    const std::string path = folder + "/zero.jpg";
    EXPECT_EQ(WriteJpegFile(path.c_str(), rgb.data(), size.first, size.second, 75, 1, 0), 0);
    EXPECT_EQ(GetLastImageError(), kPelornBadParam);
    EXPECT_FALSE(fs::exists(path));
  }
  EXPECT_EQ(WriteJpegFile((folder + "/x.jpg").c_str(), nullptr, 16, 16, 75, 1, 0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(WriteJpegFile(nullptr, rgb.data(), 16, 16, 75, 1, 0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(WriteJpegFile((folder + "/no/such/folder.jpg").c_str(), rgb.data(), 16, 16, 75, 1, 0),
            0);
  EXPECT_EQ(GetLastImageError(), kPelornFileOpen);
  // A write that the disk refuses is reported by libjpeg's stdio destination.
  if (fs::exists("/dev/full")) {
    const std::vector<uint8_t> big = SmoothPicture(512, 512);
    EXPECT_EQ(WriteJpegFile("/dev/full", big.data(), 512, 512, 95, 1, 0), 0);
    EXPECT_EQ(GetLastImageError(), kPelornBadJpeg);
  }
  // A comment longer than a COM segment holds: libjpeg refuses it.
  GetThreadState().writeComments = {std::string(70000, 'c')};
  EXPECT_EQ(WriteJpegFile((folder + "/long.jpg").c_str(), rgb.data(), 16, 16, 75, 1, 0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadJpeg);
  GetThreadState().writeComments.clear();
  // Larger than libjpeg allows: a fatal libjpeg error, not a crash.
  const std::vector<uint8_t> row(70000 * 3, 0);
  EXPECT_EQ(WriteJpegFile((folder + "/wide.jpg").c_str(), row.data(), 70000, 1, 75, 1, 0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadJpeg);
}

TEST_F(JpegTest, ProgressiveFlagAndDctMethod) {
  const std::vector<uint8_t> rgb = SmoothPicture(40, 30);
  const std::vector<uint8_t> baseline = MarkersOf(HeaderSegments(Write(rgb, 40, 30, 80, 1, 0).bytes));
  const Written progressive = Write(rgb, 40, 30, 80, 1, 7);
  const std::vector<uint8_t> progressiveMarkers = MarkersOf(HeaderSegments(progressive.bytes));
  EXPECT_NE(std::find(baseline.begin(), baseline.end(), 0xC0), baseline.end());
  EXPECT_EQ(std::find(progressiveMarkers.begin(), progressiveMarkers.end(), 0xC0),
            progressiveMarkers.end());
  EXPECT_NE(std::find(progressiveMarkers.begin(), progressiveMarkers.end(), 0xC2),
            progressiveMarkers.end());
  const Written greyProgressive = Write(rgb, 40, 30, 80, 0, 1);
  const std::vector<uint8_t> greyMarkers = MarkersOf(HeaderSegments(greyProgressive.bytes));
  EXPECT_NE(std::find(greyMarkers.begin(), greyMarkers.end(), 0xC2), greyMarkers.end());

  PelornThreadState& state = GetThreadState();
  const std::vector<uint8_t> defaultFile = Write(rgb, 40, 30, 80, 1, 0).bytes;
  std::map<int, std::vector<uint8_t>> byMethod;
  for (int method : {1, 2, 3, 9}) {
    state.dctMethod = method;
    byMethod[method] = Write(rgb, 40, 30, 80, 1, 0).bytes;
  }
  state.dctMethod = 0;
  EXPECT_EQ(byMethod[1], defaultFile);  // libjpeg's default is the accurate integer DCT
  EXPECT_EQ(byMethod[9], defaultFile);
  EXPECT_NE(byMethod[2], defaultFile);
  EXPECT_NE(byMethod[3], byMethod[2]);
}

TEST_F(JpegTest, WriterDensityAndComments) {
  const std::vector<uint8_t> rgb = SmoothPicture(24, 24);
  auto jfifOf = [](const std::vector<uint8_t>& bytes) {
    for (const Segment& segment : HeaderSegments(bytes)) {
      if (segment.marker == 0xE0 && segment.payload.size() >= 12) return segment.payload;
    }
    return std::vector<uint8_t>();
  };
  std::vector<uint8_t> jfif = jfifOf(Write(rgb, 24, 24, 75, 1, 0).bytes);
  ASSERT_GE(jfif.size(), 12u);
  EXPECT_EQ(std::string(jfif.begin(), jfif.begin() + 4), "JFIF");
  EXPECT_EQ(std::vector<uint8_t>(jfif.begin() + 7, jfif.begin() + 12),
            (std::vector<uint8_t>{0, 0, 1, 0, 1}));

  PelornThreadState& state = GetThreadState();
  state.writeDensity = PelornResolution{300, 200, 1};
  state.writeComments = {"first", "", std::string("second\0tail", 11), "third"};
  const Written written = Write(rgb, 24, 24, 75, 0, 0);
  ASSERT_EQ(written.result, 1);
  jfif = jfifOf(written.bytes);
  EXPECT_EQ(std::vector<uint8_t>(jfif.begin() + 7, jfif.begin() + 12),
            (std::vector<uint8_t>{1, 0x01, 0x2C, 0x00, 0xC8}));
  std::vector<std::string> comments;
  for (const Segment& segment : HeaderSegments(written.bytes)) {
    if (segment.marker == 0xFE) comments.emplace_back(segment.payload.begin(), segment.payload.end());
  }
  EXPECT_EQ(comments, (std::vector<std::string>{"first", "second", "third"}));
  // Our reader and Pillow agree on what was written.
  ASSERT_EQ(DecodeBytes(written.bytes).code, kPelornOk);
  EXPECT_EQ(state.readComments, comments);
  EXPECT_EQ(state.readDensity.x, 300);
  EXPECT_EQ(state.readDensity.y, 200);
  EXPECT_EQ(state.readDensity.unit, 1);
}

TEST_F(JpegTest, WriteReportsRowsAndCancelLeavesTruncatedFile) {
  const uint32_t width = 300, height = 200;
  const std::vector<uint8_t> rgb = SmoothPicture(width, height);
  SetProgressCallback(RecordProgress);
  const Written full = Write(rgb, width, height, 90, 1, 0);
  ASSERT_EQ(full.result, 1);
  ASSERT_EQ(progressCalls.size(), size_t{height});
  for (int32_t row = 0; row < int32_t(height); ++row) {
    EXPECT_EQ(progressCalls[size_t(row)], std::make_pair(row, int32_t(height)));
  }

  for (size_t stop : {size_t{1}, size_t{150}}) {
    SCOPED_TRACE(stop);
    progressCalls.clear();
    stopAtCall = stop;
    const std::string path = TempDir() + "/cancelled.jpg";
    EXPECT_EQ(WriteJpegFile(path.c_str(), rgb.data(), width, height, 90, stop == 1 ? 0 : 1, 0), 0);
    EXPECT_EQ(GetLastImageError(), kPelornCancelled);
    EXPECT_EQ(progressCalls.size(), stop);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_LT(fs::file_size(path), full.bytes.size());
  }

  progressCalls.clear();
  stopAtCall = 0;
  {
    PelornCodec outer;
    EXPECT_EQ(Write(rgb, width, height, 90, 1, 0).result, 1);
  }
  EXPECT_TRUE(progressCalls.empty());
}

TEST_F(JpegTest, GreyWriterWithoutMemoryFailsWithCode1) {
  const std::vector<uint8_t> rgb = SmoothPicture(32, 32);
  const std::string path = TempDir() + "/grey.jpg";
  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(WriteJpegFile(path.c_str(), rgb.data(), 32, 32, 75, 0, 0), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  EXPECT_FALSE(fs::exists(path));
  pelorn::FailNthPlainAllocation(0);
}

// Our files read back by an independent reader (Pillow) at the right size,
// with the same pixels our reader gives and close to what was written.
TEST_F(JpegTest, WrittenFilesReadBackByPillow) {
  const uint32_t width = 123, height = 77;  // not multiples of the MCU
  const std::vector<uint8_t> rgb = SmoothPicture(width, height);
  Picture source{width, height, rgb};
  Picture greySource = source;
  for (size_t i = 0; i < greySource.rgb.size(); i += 3) {
    const uint8_t* p = &rgb[i];
    const uint8_t grey = uint8_t((0.587 * p[1] + 0.299 * p[0]) + 0.114 * p[2]);
    greySource.rgb[i] = greySource.rgb[i + 1] = greySource.rgb[i + 2] = grey;
  }
  struct Case {
    int32_t color, progressive;
  };
  for (Case form : {Case{1, 0}, Case{0, 0}, Case{1, 1}, Case{0, 1}}) {
    SCOPED_TRACE(std::to_string(form.color) + "/" + std::to_string(form.progressive));
    const std::string path = TempDir() + "/round.jpg";
    ASSERT_EQ(WriteJpegFile(path.c_str(), rgb.data(), width, height, 95, form.color,
                            form.progressive),
              1);
    const auto reference = ReferenceDecode(path);
    ASSERT_TRUE(reference.has_value());
    EXPECT_EQ(reference->width, width);
    EXPECT_EQ(reference->height, height);
    const Decoded ours = DecodeFile(path);
    ASSERT_EQ(ours.code, kPelornOk);
    EXPECT_EQ(Compare(ours.picture, *reference).maxDelta, 0);
    EXPECT_LT(MeanDelta(*reference, form.color ? source : greySource), 2.0);
  }
}

}  // namespace
