// The picture commands of the viewer window on the headless screen: loading
// the current picture fitted to the picture area, copying it to the clipboard
// at full size, and exporting it in the seven forms of the Save As filters.
//
// Pictures are written by Pillow; expected pixels come from Pillow's decode of
// the same file turned upright by its EXIF orientation and, for shrunk
// pictures, from Pillow's Lanczos reduction of it (PSNR). Exported files are read back by Pillow
// (tests/tools/describe_picture.py), with bit depth and palette size taken
// from the files' own headers.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/viewer_app.h"
#include "app/viewer_dlg.h"
#include "imaging/core/owners.h"
#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/disc.h"
#include "tests/support/photo_reference.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testing_support::Picture;

namespace {

std::string Tool(const std::string& name) {
  return std::string(TESSARY_SOURCE_DIR) + "/tests/tools/" + name;
}

bool HavePillow() {
  return testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) +
                                     " -c 'import PIL' 2>/dev/null") == 0;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// What Pillow reads in a written file.
struct Described {
  std::string format;
  int width = 0, height = 0, bits = 0, paletteEntries = 0, transparent = 0;
  Picture picture;
};

std::optional<Described> Describe(const std::string& path) {
  std::string output;
  const std::string command = std::string(testing_support::PythonWithPillow()) + " '" +
                              Tool("describe_picture.py") + "' '" + path + "' 2>/dev/null";
  if (testing_support::RunCommand(command, &output) != 0) return std::nullopt;
  const size_t newline = output.find('\n');
  if (newline == std::string::npos) return std::nullopt;
  Described described;
  char format[16] = {};
  if (std::sscanf(output.c_str(), "%15s %d %d %d %d %d", format, &described.width,
                  &described.height, &described.bits, &described.paletteEntries,
                  &described.transparent) != 6) {
    return std::nullopt;
  }
  described.format = format;
  described.picture.width = static_cast<uint32_t>(described.width);
  described.picture.height = static_cast<uint32_t>(described.height);
  described.picture.rgb.assign(output.begin() + static_cast<long>(newline) + 1, output.end());
  return described;
}

double MeanDelta(const Picture& a, const Picture& b) {
  if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 255.0;
  double total = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) total += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
  return total / static_cast<double>(a.rgb.size());
}

Picture PictureOnShow(const CViewerDlg& viewer) {
  Picture shown;
  shown.width = static_cast<uint32_t>(viewer.m_pictureWidth);
  shown.height = static_cast<uint32_t>(viewer.m_pictureHeight);
  if (viewer.m_pictureBitmap != nullptr) {
    shown.rgb.assign(viewer.m_pictureBitmap,
                     viewer.m_pictureBitmap + static_cast<size_t>(shown.width) * shown.height * 3);
  }
  return shown;
}

// The clipboard's bitmap as RGB, or nothing.
std::optional<Picture> ClipboardAsRgb() {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;
  if (!headless::ClipboardPicture(&width, &height, &bgrx)) return std::nullopt;
  Picture picture;
  picture.width = static_cast<uint32_t>(width);
  picture.height = static_cast<uint32_t>(height);
  picture.rgb.resize(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    picture.rgb[i * 3] = bgrx[i * 4 + 2];
    picture.rgb[i * 3 + 1] = bgrx[i * 4 + 1];
    picture.rgb[i * 3 + 2] = bgrx[i * 4];
  }
  return picture;
}

// Places a small bitmap on the clipboard as another program would.
void PutPreviousClipboardPicture() {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HDC screen = GetDC(nullptr);
  SetClipboardData(CF_BITMAP, CreateCompatibleBitmap(screen, 2, 3));
  ReleaseDC(nullptr, screen);
  CloseClipboard();
}

class PictureCommandsTest : public testing_support::DiscFixture {
 protected:
  void SetUp() override {
    DiscFixture::SetUp();
    ASSERT_EQ(AfxGetApp(), &theApp);
    if (!HavePillow()) GTEST_SKIP() << "Pillow not installed";
    folder_ = disc_.Root();
  }
  void TearDown() override {
    headless::HoldClipboard(false);
    DiscFixture::TearDown();
  }

  std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }

  // Writes a picture with Pillow, unless the name is a folder pattern.
  std::string MakePicture(const std::string& name, int width, int height, const std::string& format) {
    const std::string path = PathOf(name);
    if (name != "*.*" && !fs::exists(path)) {
      EXPECT_TRUE(testing_support::MakePictureWithPillow(static_cast<uint32_t>(width),
                                                         static_cast<uint32_t>(height), format, path))
          << path;
    }
    return path;
  }

  // Runs the viewer and, once it is set up and waiting, gives it `pictures`
  // and the current index and calls `step`; then closes it.
  void InViewer(const std::vector<std::string>& pictures, int index,
                const std::function<void(CViewerDlg&)>& step) {
    CViewerDlg viewer;
    testing_support::Scenario scenario;
    scenario
        .Call("commands run",
              [&] {
                for (const std::string& path : pictures) viewer.m_pictureList.Add(path.c_str());
                viewer.m_currentIndex = index;
                step(viewer);
              })
        .Key("close", VK_ESCAPE);
    scenario.Run(viewer, IDCANCEL);
  }

  std::string folder_;
};

// ---------------------------------------------------------------------------
// Picture loading

struct LoadCase {
  const char* label;
  const char* fileName;
  const char* format;
  int width, height;
  int index;
  bool loads;
  int shownWidth, shownHeight;
};

class LoadPictureTest : public PictureCommandsTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadPictureTest, ShowsThePictureFittedToTheArea) {
  const LoadCase& c = GetParam();
  const std::string path = MakePicture(c.fileName, c.width, c.height, c.format);
  InViewer({path}, c.index, [&](CViewerDlg& viewer) {
    // A picture already on show, and a title page's text.
    auto* previous = static_cast<uint8_t*>(std::malloc(3));
    viewer.m_pictureBitmap = previous;
    viewer.m_pictureWidth = viewer.m_pictureHeight = 1;
    viewer.m_currentPicturePath = "previous";
    viewer.m_titleShown = 1;
    viewer.m_titleText = "Title";
    const int waitBefore = headless::WaitCursorCount();
    const int peakBefore = headless::PeakWaitCursorCount();

    EXPECT_EQ(viewer.LoadPicture() != FALSE, c.loads);

    EXPECT_EQ(headless::WaitCursorCount(), waitBefore);
    EXPECT_TRUE(headless::TakeMessageBoxes().empty());
    if (c.index < 0) {
      EXPECT_EQ(headless::PeakWaitCursorCount(), peakBefore) << "returns before the wait cursor";
      EXPECT_EQ(viewer.m_pictureBitmap, previous) << "nothing changes";
      EXPECT_EQ(viewer.m_currentPicturePath.str(), "previous");
      EXPECT_EQ(viewer.m_titleShown, 1);
      return;
    }
    EXPECT_GT(headless::PeakWaitCursorCount(), waitBefore);
    EXPECT_EQ(viewer.m_currentPicturePath.str(), c.fileName == std::string("*.*") ? "" : path);
    if (!c.loads) {
      EXPECT_EQ(viewer.m_pictureBitmap, nullptr);
      EXPECT_EQ(viewer.m_pictureWidth, 0);
      EXPECT_EQ(viewer.m_pictureHeight, 0);
      return;
    }
    EXPECT_EQ(viewer.m_titleShown, 0);
    EXPECT_TRUE(viewer.m_titleText.IsEmpty());
    ASSERT_EQ(viewer.m_pictureWidth, c.shownWidth);
    ASSERT_EQ(viewer.m_pictureHeight, c.shownHeight);
    const bool copied = c.shownWidth == c.width && c.shownHeight == c.height;
    if (copied) {
      const std::optional<testing_support::Picture> expected = testing_support::ReferenceDecode(path);
      ASSERT_TRUE(expected.has_value()) << path;
      const auto difference = testing_support::Compare(PictureOnShow(viewer), *expected);
      EXPECT_LE(difference.maxDelta, 2) << difference.differingBytes << " bytes differ";
    } else {
      // Reduced with every source pixel counted: as close to Lanczos as a photo needs.
      const auto expected = testing_support::UprightReference(path, c.shownWidth, c.shownHeight);
      ASSERT_TRUE(expected.has_value()) << path;
      EXPECT_GE(testing_support::Psnr(PictureOnShow(viewer), *expected), 38.0);
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, LoadPictureTest,
    ::testing::Values(
        LoadCase{"Wide", "wide.png", "PNG", 1000, 500, 0, true, 549, 274},
        LoadCase{"Vga", "vga.png", "PNG", 640, 480, 0, true, 549, 411},
        LoadCase{"Tall", "tall.png", "PNG", 500, 1000, 0, true, 235, 470},
        LoadCase{"AreaWide", "strip.bmp", "BMP", 549, 100, 0, true, 549, 100},
        LoadCase{"JustSmaller", "small.png", "PNG", 548, 469, 0, true, 548, 469},
        LoadCase{"ThinStrip", "line.png", "PNG", 10000, 1, 0, true, 549, 1},
        LoadCase{"MixedCaseJpg", "photo.Jpg", "JPEG", 640, 480, 0, true, 549, 411},
        LoadCase{"TiffBlock", "scan.TIF", "TIFF", 600, 400, 0, true, 549, 365},
        LoadCase{"Gif", "anim.gif", "GIF", 300, 200, 0, true, 300, 200},
        LoadCase{"Tga", "pic.tga", "TGA", 700, 100, 0, true, 549, 78},
        LoadCase{"Pcx", "pic.pcx", "PCX", 120, 90, 0, true, 120, 90},
        LoadCase{"FourLetterJpeg", "photo.jpeg", "JPEG", 640, 480, 0, false, 0, 0},
        LoadCase{"FolderPattern", "*.*", "", 0, 0, 0, false, 0, 0},
        LoadCase{"TitlePage", "title.png", "PNG", 64, 64, -1, false, 0, 0}),
    [](const ::testing::TestParamInfo<LoadCase>& param) { return std::string(param.param.label); });

// The picture's music and sound start before it is decoded, so a picture that
// fails to decode still plays them; the music comes first.
TEST_F(PictureCommandsTest, LoadingPlaysMusicThenSound) {
  const std::string good = MakePicture("photo.png", 64, 48, "PNG");
  const std::string broken = PathOf("broken.png");
  WriteBytes(broken, "not a picture");
  const struct {
    std::string picture;
    bool loads;
  } cases[] = {{good, true}, {broken, false}};
  for (const auto& c : cases) {
    const std::string stem = c.picture.substr(0, c.picture.size() - 4);
    disc_.Midi(stem.substr(folder_.size() + 1) + ".mid");
    disc_.Wave(stem.substr(folder_.size() + 1) + ".wav");
    InViewer({c.picture}, 0, [&](CViewerDlg& viewer) {
      headless::TakeSounds();
      EXPECT_EQ(viewer.LoadPicture() != FALSE, c.loads);
      const std::vector<std::string> sounds = headless::TakeSounds();
      const auto music = std::find(sounds.begin(), sounds.end(), "midi play " + stem + ".mid");
      const auto sound = std::find_if(sounds.begin(), sounds.end(), [](const std::string& event) {
        return event.rfind("wave play", 0) == 0;
      });
      EXPECT_NE(music, sounds.end()) << c.picture;
      EXPECT_NE(sound, sounds.end()) << c.picture;
      EXPECT_LT(music - sounds.begin(), sound - sounds.begin()) << c.picture;
    });
  }
}

// Every allocation of a load failing in turn: the load either succeeds or
// fails with no picture, and nothing is left locked, allocated or counted.
TEST_F(PictureCommandsTest, LoadingSurvivesEachAllocationFailing) {
  const std::string scaled = MakePicture("big.png", 800, 600, "PNG");
  const std::string copied = MakePicture("small.png", 200, 100, "PNG");
  InViewer({scaled, copied}, 0, [&](CViewerDlg& viewer) {
    for (int index = 0; index < 2; ++index) {
      viewer.m_currentIndex = index;
      int failures = 0;
      for (int n = 1; n <= 12; ++n) {
        const int waitBefore = headless::WaitCursorCount();
        const int64_t blocksBefore = platform::LiveGlobalBlocks();
        pelorn::FailNthPlainAllocation(n);
        const BOOL loaded = viewer.LoadPicture();
        pelorn::FailNthPlainAllocation(0);
        platform::FailNthGlobalAlloc(0);
        EXPECT_EQ(headless::WaitCursorCount(), waitBefore) << n;
        EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << n;
        if (loaded) {
          EXPECT_NE(viewer.m_pictureBitmap, nullptr);
          EXPECT_EQ(viewer.m_pictureWidth, index == 0 ? 549 : 200);
        } else {
          ++failures;
          EXPECT_EQ(viewer.m_pictureBitmap, nullptr) << n;
          EXPECT_EQ(viewer.m_pictureWidth, 0) << n;
        }
      }
      EXPECT_GT(failures, 0) << "the picture's own buffer is among the allocations";
      platform::FailNthGlobalAlloc(1);  // the reader's block
      EXPECT_FALSE(viewer.LoadPicture());
      platform::FailNthGlobalAlloc(0);
      EXPECT_EQ(viewer.m_pictureBitmap, nullptr);
    }
    EXPECT_TRUE(headless::TakeMessageBoxes().empty()) << "loading failures are silent";
  });
}

// ---------------------------------------------------------------------------
// A disc of damaged pictures, a folder pattern and indices outside the list:
// every command fails quietly on each, with no dialog and no message.

std::string LittleEndian(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

TEST_F(PictureCommandsTest, DamagedPicturesFailQuietly) {
  const std::vector<uint8_t> png = testing_support::ReadWholeFile(MakePicture("good.png", 64, 48, "PNG"));
  const std::vector<uint8_t> jpeg = testing_support::ReadWholeFile(MakePicture("good.jpg", 64, 48, "JPEG"));
  const std::string pngBytes(png.begin(), png.end());
  const std::string jpegBytes(jpeg.begin(), jpeg.end());
  // BITMAPFILEHEADER and BITMAPINFOHEADER of a 70000 x 70000 24-bit picture, no rows.
  const std::string hugeBmp = "BM" + LittleEndian(54, 4) + LittleEndian(0, 4) + LittleEndian(54, 4) +
                              LittleEndian(40, 4) + LittleEndian(70000, 4) + LittleEndian(70000, 4) +
                              LittleEndian(1, 2) + LittleEndian(24, 2) + std::string(24, '\0');
  // An uncompressed true-colour TGA header of 65535 x 65535, no pixels.
  const std::string hugeTga = std::string("\0\0\2", 3) + std::string(9, '\0') +
                              LittleEndian(65535, 2) + LittleEndian(65535, 2) + "\x18\x20";
  // A PCX header of 65535 x 65535 at 8 bits, three planes, no data.
  std::string hugePcx = std::string("\x0A\x05\x01\x08", 4) + LittleEndian(0, 4) +
                        LittleEndian(65534, 2) + LittleEndian(65534, 2);
  hugePcx += std::string(65 - hugePcx.size(), '\0') + "\x03" + LittleEndian(65535, 2);
  hugePcx += std::string(128 - hugePcx.size(), '\0');
  const struct {
    const char* name;
    std::string bytes;
  } damaged[] = {
      {"cut.jpg", jpegBytes.substr(0, 100)},
      {"cut.png", pngBytes.substr(0, pngBytes.size() / 2)},
      {"png-inside.jpg", pngBytes},
      {"jpeg-inside.bmp", jpegBytes},
      {"text.gif", "GIF is just a word here"},
      {"empty.bmp", ""},
      {"empty.jpg", ""},
      {"empty.png", ""},
      {"empty.gif", ""},
      {"empty.tif", ""},
      {"empty.tga", ""},
      {"empty.pcx", ""},
      {"huge.bmp", hugeBmp},
      {"huge.tga", hugeTga},
      {"huge.pcx", hugePcx},
      {"jpeg-inside.tif", jpegBytes},
  };
  std::vector<std::string> paths = {PathOf("*.*")};
  for (const auto& file : damaged) {
    paths.push_back(PathOf(std::string("damaged-") + file.name));
    WriteBytes(paths.back(), file.bytes);
  }
  InViewer(paths, 0, [&](CViewerDlg& viewer) {
    PutPreviousClipboardPicture();
    const int waitBefore = headless::WaitCursorCount();
    // From the title page (-1) to one past the last entry.
    for (int i = -1; i <= static_cast<int>(paths.size()); ++i) {
      viewer.m_currentIndex = i;
      const std::string path =
          i < 0 || i == static_cast<int>(paths.size()) ? "index " + std::to_string(i) : paths[i];
      ::ValidateRect(viewer.m_hWnd, nullptr);
      EXPECT_FALSE(viewer.LoadPicture()) << path;
      EXPECT_EQ(viewer.m_pictureBitmap, nullptr) << path;
      // The previous picture must not stay on the screen.
      RECT update = {};
      const bool inRange = i >= 0 && i < static_cast<int>(paths.size());
      EXPECT_EQ(::GetUpdateRect(viewer.m_hWnd, &update, FALSE) != FALSE, inRange) << path;
      if (inRange) {
        // The whole picture area with its shadow is painted again.
        RECT covered = {};
        ::UnionRect(&covered, &update, &viewer.m_pictureArea);
        EXPECT_TRUE(::EqualRect(&covered, &update)) << path << ": the update region leaves part of the picture area";
        EXPECT_GE(update.right, viewer.m_pictureArea.right + 10) << path << ": the shadow stays";
      }
      headless::QueueSaveAsAnswer(PathOf("never.jpg"), 1);
      viewer.Copy();
      viewer.Export();
      EXPECT_EQ(headless::WaitCursorCount(), waitBefore) << path;
      EXPECT_TRUE(headless::TakeSaveAsDialogs().empty()) << "no dialog for " << path;
    }
    EXPECT_TRUE(headless::TakeMessageBoxes().empty());
    const auto clipboard = ClipboardAsRgb();
    ASSERT_TRUE(clipboard.has_value());
    EXPECT_EQ(clipboard->width, 2u) << "the previous clipboard picture stays";
  });
  EXPECT_FALSE(fs::exists(PathOf("never.jpg")));
}

// ---------------------------------------------------------------------------
// Clipboard copy

struct CopyCase {
  const char* label;
  const char* fileName;
  int width, height;
  int index;
  bool clipboardHeld;
  bool copies;
};

class CopyTest : public PictureCommandsTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(CopyTest, PlacesTheFullSizePicture) {
  const CopyCase& c = GetParam();
  const std::string path = MakePicture(c.fileName, c.width, c.height, "JPEG");
  if (c.fileName == std::string("text.jpg")) WriteBytes(path, "not a picture");
  InViewer({path}, c.index, [&](CViewerDlg& viewer) {
    PutPreviousClipboardPicture();
    headless::HoldClipboard(c.clipboardHeld);
    const int waitBefore = headless::WaitCursorCount();
    const int64_t blocksBefore = platform::LiveGlobalBlocks();
    viewer.Copy();
    headless::HoldClipboard(false);
    EXPECT_EQ(headless::WaitCursorCount(), waitBefore);
    EXPECT_EQ(headless::PeakWaitCursorCount() > waitBefore, c.index >= 0);
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << "the decoded block is released";
    EXPECT_TRUE(headless::TakeMessageBoxes().empty());
  });
  const std::optional<testing_support::Picture> clipboard = ClipboardAsRgb();
  ASSERT_TRUE(clipboard.has_value());
  if (!c.copies) {
    EXPECT_EQ(clipboard->width, 2u) << "previous contents kept";
    EXPECT_EQ(clipboard->height, 3u);
    return;
  }
  ASSERT_EQ(clipboard->width, static_cast<uint32_t>(c.width));
  ASSERT_EQ(clipboard->height, static_cast<uint32_t>(c.height));
  const auto expected = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(expected.has_value());
  EXPECT_LE(testing_support::Compare(*clipboard, *expected).maxDelta, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Clipboard, CopyTest,
    ::testing::Values(CopyCase{"FullSize", "big.jpg", 3000, 2000, 0, false, true},
                      CopyCase{"HeldByAnotherProgram", "held.jpg", 300, 200, 0, true, false},
                      CopyCase{"TitlePage", "title.jpg", 30, 20, -1, false, false},
                      CopyCase{"FolderPattern", "*.*", 0, 0, 0, false, false},
                      CopyCase{"Undecodable", "text.jpg", 30, 20, 0, false, false}),
    [](const ::testing::TestParamInfo<CopyCase>& param) { return std::string(param.param.label); });

// ---------------------------------------------------------------------------
// Export

const char kExportFilter[] =
    "JPG File (*.jpg)|*.jpg|24-Bit PNG File (*.png)|*.png|8-bit PNG File (*.png)|*.png|"
    "24-bit BMP (*.bmp)|*.bmp|8-bit BMP (*.bmp)|*.bmp|4-bit BMP (*.bmp)|*.bmp| Non LZW gif|*.gif||";

struct ExportCase {
  const char* label;
  const char* typedName;   // nullptr: the user cancels
  DWORD filterIndex;
  const char* writtenName;  // nullptr: nothing is written
  const char* format;       // as Pillow names it
  int bits, paletteEntries;
  int maxDelta;             // -1: lossy or reduced, judged by the mean
  double meanDelta;
  const char* errorText;    // the message box, if any; "<disc>" stands for the disc's folder
  int sourceWidth = 400, sourceHeight = 300;
};

class ExportTest : public PictureCommandsTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(ExportTest, WritesTheChosenForm) {
  const ExportCase& c = GetParam();
  const std::string source =
      MakePicture("source-" + std::to_string(c.sourceWidth) + ".png", c.sourceWidth, c.sourceHeight, "PNG");
  InViewer({source}, 0, [&](CViewerDlg& viewer) {
    ASSERT_TRUE(viewer.LoadPicture());
    if (c.typedName != nullptr) {
      headless::QueueSaveAsAnswer(PathOf(c.typedName), c.filterIndex);
    } else {
      headless::QueueSaveAsCancel();
    }
    const uint8_t* shown = viewer.m_pictureBitmap;
    const int waitBefore = headless::WaitCursorCount();
    viewer.Export();
    EXPECT_EQ(headless::WaitCursorCount(), waitBefore);
    if (c.typedName != nullptr) {
      EXPECT_GE(headless::PeakWaitCursorCount(), waitBefore + 2) << "shown again for the writing";
    }
    EXPECT_EQ(viewer.m_pictureBitmap, shown) << "the picture on show is untouched";

    const auto dialogs = headless::TakeSaveAsDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].title, "Export file as");
    EXPECT_EQ(dialogs[0].filter, kExportFilter);
    EXPECT_EQ(dialogs[0].initialFile, "*.jpg");
    EXPECT_EQ(dialogs[0].defaultExtension, "*.jpg");
    EXPECT_EQ(dialogs[0].flags & (OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT),
              static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
    EXPECT_EQ(dialogs[0].initialFilterIndex, 1u);
    EXPECT_EQ(dialogs[0].proposedName, "source-" + std::to_string(c.sourceWidth));

    const auto boxes = headless::TakeMessageBoxes();
    if (c.errorText == nullptr) {
      EXPECT_TRUE(boxes.empty());
    } else {
      ASSERT_EQ(boxes.size(), 1u);
      std::string expected = c.errorText;
      const size_t disc = expected.find("<disc>");
      if (disc != std::string::npos) expected.replace(disc, 6, folder_);
      EXPECT_EQ(boxes[0].text, expected);
      EXPECT_EQ(boxes[0].caption, "Tessary");
      EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
    }
  });

  std::vector<std::string> written;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    const std::string name = entry.path().filename().string();
    if (name != "tessary" && name.rfind("source-", 0) != 0) written.push_back(name);
  }
  if (c.writtenName == nullptr) {
    EXPECT_TRUE(written.empty()) << written.front();
    return;
  }
  ASSERT_EQ(written, std::vector<std::string>{c.writtenName});
  const std::optional<Described> file = Describe(PathOf(c.writtenName));
  ASSERT_TRUE(file.has_value()) << "a peer cannot read " << c.writtenName;
  EXPECT_EQ(file->format, c.format);
  EXPECT_EQ(file->width, c.sourceWidth) << "written at full size";
  EXPECT_EQ(file->height, c.sourceHeight);
  EXPECT_EQ(file->bits, c.bits);
  EXPECT_EQ(file->paletteEntries, c.paletteEntries);
  EXPECT_EQ(file->transparent, 0);
  const auto expected = testing_support::ReferenceDecode(source);
  ASSERT_TRUE(expected.has_value());
  if (c.maxDelta >= 0) {
    EXPECT_LE(testing_support::Compare(file->picture, *expected).maxDelta, c.maxDelta);
  }
  EXPECT_LE(MeanDelta(file->picture, *expected), c.meanDelta);
}

// Means: JPEG at quality 85 of a smooth picture stays within a level or two
// on average; 256 colours with error diffusion within a few levels; 16
// colours dither visibly but still follow the picture (a picture of garbled
// indices is off by tens of levels).
INSTANTIATE_TEST_SUITE_P(
    Forms, ExportTest,
    ::testing::Values(
        ExportCase{"Jpeg", "out.jpg", 1, "out.jpg", "JPEG", 24, 0, -1, 2.0, nullptr},
        ExportCase{"Png24", "out.png", 2, "out.png", "PNG", 24, 0, 0, 0.0, nullptr},
        ExportCase{"Png8", "out8.png", 3, "out8.png", "PNG", 8, 256, -1, 6.0, nullptr},
        ExportCase{"Bmp24", "out.bmp", 4, "out.bmp", "BMP", 24, 0, 0, 0.0, nullptr},
        ExportCase{"Bmp8", "out8.bmp", 5, "out8.bmp", "BMP", 8, 256, -1, 6.0, nullptr},
        ExportCase{"Bmp4", "out4.bmp", 6, "out4.bmp", "BMP", 4, 16, -1, 24.0, nullptr},
        ExportCase{"Gif", "out.gif", 7, "out.gif", "GIF", 8, 256, -1, 6.0, nullptr},
        // The typed extension decides; the filter picks among one extension's forms.
        ExportCase{"TypedBmpWithJpegFilter", "typed.bmp", 1, "typed.bmp", "BMP", 24, 0, 0, 0.0,
                   nullptr},
        ExportCase{"TypedPngWithJpegFilter", "typed.png", 1, "typed.png", "PNG", 24, 0, 0, 0.0,
                   nullptr},
        ExportCase{"TypedPngWithPng8Filter", "typed.PNG", 3, "typed.PNG", "PNG", 8, 256, -1, 6.0,
                   nullptr},
        ExportCase{"TypedBmpWithBmp4Filter", "typed.bmp", 6, "typed.bmp", "BMP", 4, 16, -1, 24.0,
                   nullptr},
        ExportCase{"TypedBmpWithGifFilter", "typed.bmp", 7, "typed.bmp", "BMP", 24, 0, 0, 0.0,
                   nullptr},
        ExportCase{"TypedJpegWithPngFilter", "typed.jpeg", 2, "typed.jpeg", "JPEG", 24, 0, -1, 2.0,
                   nullptr},
        ExportCase{"TypedGifWithBmpFilter", "typed.gif", 5, "typed.gif", "GIF", 8, 256, -1, 6.0,
                   nullptr},
        ExportCase{"OtherExtensionFollowsFilter", "typed.pic", 2, "typed.pic", "PNG", 24, 0, 0, 0.0,
                   nullptr},
        ExportCase{"UnknownFilterWritesJpeg", "nine.jpg", 9, "nine.jpg", "JPEG", 24, 0, -1, 2.0,
                   nullptr},
        ExportCase{"BareNameGetsPng", "bare", 2, "bare.png", "PNG", 24, 0, 0, 0.0, nullptr},
        ExportCase{"BareNameGetsGif", "bare", 7, "bare.gif", "GIF", 8, 256, -1, 6.0, nullptr},
        ExportCase{"ShownReducedWrittenFull", "full.bmp", 4, "full.bmp", "BMP", 24, 0, 0, 0.0,
                   nullptr, 2000, 1500},
        ExportCase{"Cancelled", nullptr, 1, nullptr, "", 0, 0, 0, 0.0, nullptr},
        ExportCase{"FolderMissing", "no-such-folder/out.jpg", 1, nullptr, "", 0, 0, 0, 0.0,
                   "Error on file open\nThe folder <disc>/no-such-folder does not exist."},
        ExportCase{"FileWhereFolderExpected", "source-400.png/out.bmp", 4, nullptr, "", 0, 0, 0,
                   0.0, "Error on file open\nThe folder <disc>/source-400.png does not exist."}),
    [](const ::testing::TestParamInfo<ExportCase>& param) { return std::string(param.param.label); });

// Media that refuse the file: one mounted read-only, one too small for the
// picture. The kernel's refusal is the truth the message must name. Needs a
// mount namespace of its own (root with CAP_SYS_ADMIN); skipped elsewhere.
TEST_F(PictureCommandsTest, ExportNamesTheFolderAndWhyTheMediumRefused) {
  if (unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    GTEST_SKIP() << "no mount namespace of our own: " << std::strerror(errno);
  }
  const std::string readOnly = PathOf("read-only"), small = PathOf("small");
  fs::create_directory(readOnly);
  fs::create_directory(small);
  ASSERT_EQ(mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=64k"), 0);
  ASSERT_EQ(mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k"), 0);
  const std::string source = MakePicture("source.png", 400, 300, "PNG");
  const struct {
    std::string typed;
    DWORD filterIndex;
    std::string text;
  } cases[] = {
      {readOnly + "/out.jpg", 1,
       "Error on file open\nThe folder " + readOnly + " is on a read-only medium."},
      {small + "/out.bmp", 4,  // 360 000 bytes of pixels
       "Error on file write\nNo space is left on the medium of the folder " + small + "."},
  };
  InViewer({source}, 0, [&](CViewerDlg& viewer) {
    for (const auto& c : cases) {
      headless::QueueSaveAsAnswer(c.typed, c.filterIndex);
      viewer.Export();
      EXPECT_EQ(headless::TakeSaveAsDialogs().size(), 1u);
      const auto boxes = headless::TakeMessageBoxes();
      ASSERT_EQ(boxes.size(), 1u) << c.typed;
      EXPECT_EQ(boxes[0].text, c.text);
    }
  });
  umount2(readOnly.c_str(), MNT_DETACH);
  umount2(small.c_str(), MNT_DETACH);
}

// Each allocation of an 8-bit export failing in turn: the failure is either
// silent (the picture could not be decoded, so no dialog) or the library's
// out-of-memory text; the cursor and the global blocks come back every time.
TEST_F(PictureCommandsTest, ExportSurvivesEachAllocationFailing) {
  const std::string source = MakePicture("source.png", 120, 90, "PNG");
  InViewer({source}, 0, [&](CViewerDlg& viewer) {
    int outOfMemoryBoxes = 0;
    // An answer stays queued until a dialog takes it.
    std::string queuedTarget;
    for (int n = 1; n <= 16; ++n) {
      if (queuedTarget.empty()) {
        queuedTarget = PathOf("try" + std::to_string(n) + ".bmp");
        headless::QueueSaveAsAnswer(queuedTarget, 5);
      }
      const int waitBefore = headless::WaitCursorCount();
      const int64_t blocksBefore = platform::LiveGlobalBlocks();
      pelorn::FailNthPlainAllocation(n);
      viewer.Export();
      pelorn::FailNthPlainAllocation(0);
      EXPECT_EQ(headless::WaitCursorCount(), waitBefore) << n;
      EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << n;
      const bool dialogShown = !headless::TakeSaveAsDialogs().empty();
      const auto boxes = headless::TakeMessageBoxes();
      if (!boxes.empty()) {
        ASSERT_EQ(boxes.size(), 1u) << n;
        EXPECT_TRUE(dialogShown) << n;
        EXPECT_EQ(boxes[0].text, "Error : out of memory") << n;
        ++outOfMemoryBoxes;
      } else if (dialogShown) {
        EXPECT_TRUE(fs::exists(queuedTarget)) << n;
      }
      if (dialogShown) queuedTarget.clear();
    }
    EXPECT_GT(outOfMemoryBoxes, 0) << "the index buffer is among the allocations";
  });
}

// ---------------------------------------------------------------------------
// The Save As dialog's default extension, as Export relies on it.

TEST(SaveAsDefaultExtension, BareNamesGetTheSelectedFiltersExtension) {
  headless::Reset();
  struct Case {
    const char* typed;
    DWORD filterIndex;
    const char* filter;  // '|'-separated, as the framework takes it
    const char* defaultExtension;
    const char* returned;  // nullptr: the dialog fails (buffer too small)
    const char* extension;  // where nFileExtension points
    size_t bufferSize;
  };
  const char* exportFilter = kExportFilter;
  const Case cases[] = {
      {"/d/bare", 1, exportFilter, "*.jpg", "/d/bare.jpg", "jpg", MAX_PATH},
      {"/d/bare", 3, exportFilter, "*.jpg", "/d/bare.png", "png", MAX_PATH},
      {"/d/bare", 6, exportFilter, "*.jpg", "/d/bare.bmp", "bmp", MAX_PATH},
      {"/d/bare", 7, exportFilter, "*.jpg", "/d/bare.gif", "gif", MAX_PATH},
      {"/d/typed.bmp", 1, exportFilter, "*.jpg", "/d/typed.bmp", "bmp", MAX_PATH},
      {"/d.v2/bare", 2, exportFilter, "*.jpg", "/d.v2/bare.png", "png", MAX_PATH},
      {"/d/bare", 1, "All files (*.*)|*.*||", "txt", "/d/bare.txt", "txt", MAX_PATH},
      {"/d/bare", 1, exportFilter, nullptr, "/d/bare", "", MAX_PATH},
      {"/d/bare", 2, exportFilter, "*.jpg", nullptr, "", 10},
  };
  for (const Case& c : cases) {
    std::string filter = c.filter;
    for (char& ch : filter) {
      if (ch == '|') ch = '\0';
    }
    std::vector<char> file(c.bufferSize, '\0');
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrDefExt = c.defaultExtension;
    headless::QueueSaveAsAnswer(c.typed, c.filterIndex);
    const BOOL accepted = GetSaveFileNameA(&dialog);
    if (c.returned == nullptr) {
      EXPECT_FALSE(accepted) << c.typed;
      EXPECT_EQ(CommDlgExtendedError(), static_cast<DWORD>(FNERR_BUFFERTOOSMALL));
      continue;
    }
    ASSERT_TRUE(accepted) << c.typed;
    EXPECT_STREQ(file.data(), c.returned) << c.typed << " with filter " << c.filterIndex;
    EXPECT_STREQ(file.data() + dialog.nFileExtension, c.extension) << c.typed;
  }
  headless::Reset();
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// EXIF orientation: a picture of four coloured quarters, stored 1200 x 600
// and tagged 1-8, stands upright on screen, on the clipboard and in an
// export. Each is checked at its four corners against Pillow's upright decode.

class OrientationTest : public PictureCommandsTest, public ::testing::WithParamInterface<int> {};

// The colours a quarter of the way in from each corner agree within what
// JPEG and reduction leave of flat quarters.
void ExpectSameCorners(const Picture& ours, const Picture& upright, const std::string& where) {
  ASSERT_EQ(ours.width, upright.width) << where;
  ASSERT_EQ(ours.height, upright.height) << where;
  for (int corner = 0; corner < 4; ++corner) {
    const size_t x = corner % 2 ? ours.width - 1 - ours.width / 8 : ours.width / 8;
    const size_t y = corner / 2 ? ours.height - 1 - ours.height / 8 : ours.height / 8;
    for (int k = 0; k < 3; ++k) {
      const size_t at = (y * ours.width + x) * 3 + size_t(k);
      EXPECT_NEAR(ours.rgb[at], upright.rgb[at], 40) << where << " corner " << corner;
    }
  }
}

TEST_P(OrientationTest, StandsUprightOnScreenOnTheClipboardAndInExports) {
  const int orientation = GetParam();
  const bool swaps = orientation >= 5;
  const std::string path = PathOf("tagged" + std::to_string(orientation) + ".jpg");
  ASSERT_TRUE(testing_support::MakePhoto("quadrants", 1200, 600, orientation, path));
  const std::string exported = PathOf("upright" + std::to_string(orientation) + ".bmp");
  InViewer({path}, 0, [&](CViewerDlg& viewer) {
    ASSERT_TRUE(viewer.LoadPicture());
    const int shownWidth = swaps ? 235 : 549, shownHeight = swaps ? 470 : 274;
    const auto fitted = testing_support::UprightReference(path, shownWidth, shownHeight);
    ASSERT_TRUE(fitted.has_value());
    ExpectSameCorners(PictureOnShow(viewer), *fitted, "on screen");

    const auto upright = testing_support::UprightReference(path);
    ASSERT_TRUE(upright.has_value());
    ASSERT_EQ(upright->width, swaps ? 600u : 1200u);
    viewer.Copy();
    const std::optional<Picture> clipboard = ClipboardAsRgb();
    ASSERT_TRUE(clipboard.has_value());
    ExpectSameCorners(*clipboard, *upright, "on the clipboard");

    headless::QueueSaveAsAnswer(exported, 4);  // 24-bit BMP
    viewer.Export();
    const std::optional<Described> file = Describe(exported);
    ASSERT_TRUE(file.has_value());
    ExpectSameCorners(file->picture, *upright, "exported");
  });
}

INSTANTIATE_TEST_SUITE_P(EightOrientations, OrientationTest, ::testing::Range(1, 9));

}  // namespace
