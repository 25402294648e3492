// The stand-alone banner: a JPEG appended to the program file, followed by
// the ten characters "STANDALONE" and the JPEG's length (32-bit, little
// endian), read while the viewer sets itself up. Program files are written
// here byte by byte; the banner JPEG is Pillow's, and its expected pixels
// Pillow's decode.
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
#include "tests/support/test_support.h"

namespace {

const char kProgramImage[] = "MZ\x90 an executable image stands here";

std::string LengthField(uint32_t length) {
  std::string field;
  for (int i = 0; i < 4; ++i) field += static_cast<char>((length >> (8 * i)) & 0xFF);
  return field;
}

// Rows of a 32-bit bitmap (blue, green, red, unused) as top-down RGB.
testing_support::Picture BannerPixels(const CWinBmp& banner) {
  testing_support::Picture picture;
  picture.width = static_cast<uint32_t>(banner.GetWidth());
  picture.height = static_cast<uint32_t>(banner.GetHeight());
  for (int32_t y = 0; y < banner.GetHeight(); ++y) {
    const uint8_t* row = banner.GetRow(y);
    for (int32_t x = 0; x < banner.GetWidth(); ++x) {
      picture.rgb.insert(picture.rgb.end(), {row[x * 4 + 2], row[x * 4 + 1], row[x * 4]});
    }
  }
  return picture;
}

enum class Banner { kShown, kNone, kErrorText };

struct BannerCase {
  const char* label;
  // The program file, given the banner JPEG's bytes.
  std::function<std::string(const std::string& jpeg)> programFile;
  Banner expected;
};

class BannerTest : public ::testing::TestWithParam<BannerCase> {
 protected:
  void SetUp() override {
    headless::Reset();
    ASSERT_EQ(AfxGetApp(), &theApp);
    folder_ = testing_support::TempDir();
    jpegPath_ = folder_ + "/banner.jpg";
    if (!testing_support::MakePictureWithPillow(135, 63, "JPEG", jpegPath_)) {
      GTEST_SKIP() << "Pillow not installed";
    }
    const std::vector<uint8_t> jpeg = testing_support::ReadWholeFile(jpegPath_);
    jpeg_.assign(jpeg.begin(), jpeg.end());
  }
  void TearDown() override {
    headless::SetModuleFileName("");
    headless::Reset();
  }

  // Runs the viewer on `programFile` and calls `check` once it is set up.
  void RunViewer(const std::string& programFile, const std::function<void(CViewerDlg&)>& check) {
    const std::string program = folder_ + "/tessary";
    std::ofstream(program, std::ios::binary) << programFile;
    headless::SetModuleFileName(program);
    CViewerDlg viewer;
    bool checked = false;
    headless::PostCall([&] {
      check(viewer);
      checked = true;
    });
    headless::PostKey(VK_ESCAPE);
    viewer.DoModal();
    EXPECT_TRUE(checked);
  }

  std::string folder_;
  std::string jpegPath_;
  std::string jpeg_;
};

TEST_P(BannerTest, ReadsTheTrailer) {
  const BannerCase& c = GetParam();
  RunViewer(c.programFile(jpeg_), [&](CViewerDlg& viewer) {
    EXPECT_EQ(viewer.m_bannerShown, c.expected == Banner::kShown ? 1 : 0);
    if (c.expected != Banner::kShown) {
      EXPECT_TRUE(viewer.m_banner.IsEmpty());
      return;
    }
    ASSERT_EQ(viewer.m_banner.GetWidth(), 135);
    ASSERT_EQ(viewer.m_banner.GetHeight(), 63);
    const auto expected = testing_support::ReferenceDecode(jpegPath_);
    ASSERT_TRUE(expected.has_value());
    EXPECT_LE(testing_support::Compare(BannerPixels(viewer.m_banner), *expected).maxDelta, 2);
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
        BannerCase{"Appended",
                   [](const std::string& jpeg) {
                     return kProgramImage + jpeg + "STANDALONE" +
                            LengthField(static_cast<uint32_t>(jpeg.size()));
                   },
                   Banner::kShown},
        BannerCase{"NothingBeforeTheBanner",
                   [](const std::string& jpeg) {
                     return jpeg + "STANDALONE" + LengthField(static_cast<uint32_t>(jpeg.size()));
                   },
                   Banner::kShown},
        BannerCase{"NoTrailer", [](const std::string&) { return std::string(kProgramImage); },
                   Banner::kNone},
        BannerCase{"LowercaseTag",
                   [](const std::string& jpeg) {
                     return kProgramImage + jpeg + "standalone" +
                            LengthField(static_cast<uint32_t>(jpeg.size()));
                   },
                   Banner::kNone},
        BannerCase{"ZeroByteInTag",
                   [](const std::string& jpeg) {
                     return kProgramImage + jpeg + std::string("STAND\0LONE", 10) +
                            LengthField(static_cast<uint32_t>(jpeg.size()));
                   },
                   Banner::kNone},
        BannerCase{"LengthOneBeyondTheFile",
                   [](const std::string& jpeg) {
                     return jpeg + "STANDALONE" + LengthField(static_cast<uint32_t>(jpeg.size() + 1));
                   },
                   Banner::kNone},
        BannerCase{"LengthFarBeyondTheFile",
                   [](const std::string& jpeg) {
                     return kProgramImage + jpeg + "STANDALONE" + LengthField(0xFFFFFFF0u);
                   },
                   Banner::kNone},
        BannerCase{"ShorterThanATrailer", [](const std::string&) { return std::string("MZ"); },
                   Banner::kNone},
        BannerCase{"NotAJpeg",
                   [](const std::string&) {
                     const std::string notJpeg(200, 'x');
                     return kProgramImage + notJpeg + "STANDALONE" +
                            LengthField(static_cast<uint32_t>(notJpeg.size()));
                   },
                   Banner::kErrorText}),
    [](const ::testing::TestParamInfo<BannerCase>& param) { return std::string(param.param.label); });

TEST_F(BannerTest, MissingProgramFileShowsNoBanner) {
  headless::SetModuleFileName(folder_ + "/no-such-program");
  CViewerDlg viewer;
  headless::PostCall([&] { EXPECT_EQ(viewer.m_bannerShown, 0); });
  headless::PostKey(VK_ESCAPE);
  viewer.DoModal();
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
