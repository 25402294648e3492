// The stand-alone banner: a JPEG appended to the program file, followed by
// the ten characters "STANDALONE" and the JPEG's length (32-bit, little
// endian), read while the viewer sets itself up and drawn at (15, 525).
// Program files are written here byte by byte; the banner JPEG is Pillow's,
// and its expected pixels Pillow's decode.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/viewer_app.h"
#include "app/viewer_dlg.h"
#include "imaging/core/error_text.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "platform/headless/headless.h"
#include "platform/backend.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

const char kProgramImage[] = "MZ\x90 an executable image stands here";

std::string LengthField(uint32_t length) {
  std::string field;
  for (int i = 0; i < 4; ++i) field += static_cast<char>((length >> (8 * i)) & 0xFF);
  return field;
}

// The 135 x 63 pixels at (15, 525) of the window as a user sees it, as RGB.
testing_support::Picture BannerCorner(CWnd& viewer) {
  const platform::WindowImage image = platform::ComposeWindow(viewer.m_hWnd);
  testing_support::Picture picture;
  picture.width = 135;
  picture.height = 63;
  for (int y = 525; y < 525 + 63 && y < image.height; ++y) {
    for (int x = 15; x < 15 + 135 && x < image.width; ++x) {
      const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
      picture.rgb.insert(picture.rgb.end(), {p[2], p[1], p[0]});
    }
  }
  return picture;
}

enum class Banner { kShown, kNone, kErrorText };

// A program file: `image`, the banner, `tag`, and the length field holding
// the banner's length plus `lengthBeyond`.
struct BannerCase {
  const char* label;
  const char* image;
  const char* banner;  // nullptr: the Pillow JPEG
  std::string tag;
  uint32_t lengthBeyond;
  Banner expected;
};

std::string ProgramFile(const BannerCase& c, const std::string& jpeg) {
  const std::string banner = c.banner != nullptr ? std::string(c.banner) : jpeg;
  return c.image + banner + c.tag +
         LengthField(static_cast<uint32_t>(banner.size()) + c.lengthBeyond);
}

class BannerTest : public testing_support::HeadlessFixture,
                   public ::testing::WithParamInterface<BannerCase> {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    ASSERT_EQ(AfxGetApp(), &theApp);
    folder_ = testing_support::TempDir();
    jpegPath_ = folder_ + "/banner.jpg";
    if (!testing_support::MakePictureWithPillow(135, 63, "JPEG", jpegPath_)) {
      GTEST_SKIP() << "Pillow not installed";
    }
    const std::vector<uint8_t> jpeg = testing_support::ReadWholeFile(jpegPath_);
    jpeg_.assign(jpeg.begin(), jpeg.end());
  }

  // Runs the viewer on `programFile` and calls `check` once it is set up and
  // painted.
  void RunViewer(const std::string& programFile, const std::function<void(CViewerDlg&)>& check) {
    const std::string program = folder_ + "/tessary";
    std::ofstream(program, std::ios::binary) << programFile;
    headless::SetModuleFileName(program);
    CViewerDlg viewer;
    testing_support::Scenario scenario;
    scenario.Call("set up", [&] { check(viewer); }).Key("close", VK_ESCAPE);
    scenario.Run(viewer, IDCANCEL);
  }

  std::string folder_;
  std::string jpegPath_;
  std::string jpeg_;
};

TEST_P(BannerTest, ReadsTheTrailer) {
  const BannerCase& c = GetParam();
  RunViewer(ProgramFile(c, jpeg_), [&](CViewerDlg& viewer) {
    EXPECT_EQ(viewer.m_bannerShown, c.expected == Banner::kShown ? 1 : 0);
    if (c.expected != Banner::kShown) {
      EXPECT_TRUE(viewer.m_banner.IsEmpty());
      return;
    }
    ASSERT_EQ(viewer.m_banner.GetWidth(), 135);
    ASSERT_EQ(viewer.m_banner.GetHeight(), 63);
    const auto expected = testing_support::ReferenceDecode(jpegPath_);
    ASSERT_TRUE(expected.has_value());
    EXPECT_LE(testing_support::Compare(BannerCorner(viewer), *expected).maxDelta, 2);
  });
  const auto boxes = headless::TakeMessageBoxes();
  if (c.expected != Banner::kErrorText) {
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
  } else {
    ASSERT_EQ(boxes.size(), 1u) << "shown once at start-up";
    EXPECT_EQ(boxes[0].text, ErrorText(kPelornBadJpeg));
    EXPECT_EQ(boxes[0].caption, "Tessary");
  }
}

INSTANTIATE_TEST_SUITE_P(
    ProgramFiles, BannerTest,
    ::testing::Values(
        BannerCase{"Appended", kProgramImage, nullptr, "STANDALONE", 0, Banner::kShown},
        BannerCase{"NothingBeforeIt", "", nullptr, "STANDALONE", 0, Banner::kShown},
        BannerCase{"NoTrailer", kProgramImage, "", "", 0, Banner::kNone},
        BannerCase{"LowercaseTag", kProgramImage, nullptr, "standalone", 0, Banner::kNone},
        BannerCase{"ZeroByteInTag", kProgramImage, nullptr, std::string("STAND\0LONE", 10), 0,
                   Banner::kNone},
        BannerCase{"LengthOneBeyondTheFile", "", nullptr, "STANDALONE", 1, Banner::kNone},
        BannerCase{"LengthFarBeyondTheFile", kProgramImage, nullptr, "STANDALONE", 0xFFFF0000u,
                   Banner::kNone},
        BannerCase{"ShorterThanATrailer", "MZ", "", "", 0, Banner::kNone},
        BannerCase{"NotAJpeg", kProgramImage, "not a JPEG stream", "STANDALONE", 0,
                   Banner::kErrorText}),
    [](const ::testing::TestParamInfo<BannerCase>& param) { return std::string(param.param.label); });

TEST_F(BannerTest, MissingProgramFileShowsNoBanner) {
  headless::SetModuleFileName(folder_ + "/no-such-program");
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  scenario.Call("set up", [&] { EXPECT_EQ(viewer.m_bannerShown, 0); }).Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

TEST_F(BannerTest, BannerMemoryThatCannotBeHadIsReported) {
  const std::string program =
      kProgramImage + jpeg_ + "STANDALONE" + LengthField(static_cast<uint32_t>(jpeg_.size()));
  RunViewer(program, [&](CViewerDlg& viewer) {
    ASSERT_EQ(viewer.m_bannerShown, 1);
    headless::TakeMessageBoxes();
    pelorn::FailNthPlainAllocation(1);  // the banner's bytes
    viewer.ReadBanner();
    pelorn::FailNthPlainAllocation(0);
    EXPECT_EQ(viewer.m_bannerShown, 0);
    const auto boxes = headless::TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Out of memory.");
  });
}

// A length the file cannot hold is a damaged trailer: nothing is allocated
// for it, so not even a failing allocation is reported.
TEST_F(BannerTest, DamagedLengthIsNeverAllocated) {
  const std::string program = kProgramImage + jpeg_ + "STANDALONE" + LengthField(0x7FFFFFF0u);
  RunViewer(program, [&](CViewerDlg& viewer) {
    pelorn::FailNthPlainAllocation(1);
    viewer.ReadBanner();
    pelorn::FailNthPlainAllocation(0);
    EXPECT_EQ(viewer.m_bannerShown, 0);
  });
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

}  // namespace
