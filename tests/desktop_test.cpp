// The desktop program as a user meets it: the real tessary on a virtual X
// server, started from a disc folder, driven with xdotool and watched with
// screenshots, the clipboard and the files it writes. What it shows is
// compared with the headless viewer's shots of the same steps on the same
// disc; pictures read back come from Pillow.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/desktop.h"
#include "tests/support/disc.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::XWindow;

// Every wait polls and ends as soon as the screen (or the process) is as
// expected: the bounds matter only on a loaded machine, where the program
// under Xvfb may take seconds to repaint.
constexpr int kStartMs = 20000;
constexpr int kSettleMs = 20000;
constexpr int kEndMs = 15000;

// Client rectangles of the viewer and points.
constexpr testing_support::Region kPictureArea = {204, 42, 549, 470};
constexpr testing_support::Region kAlbumList = {15, 199, 134, 276};
constexpr int kSplashPoint[2] = {500, 360};
constexpr int kNextPoint[2] = {694, 575};
constexpr int kPrevPoint[2] = {634, 572};
constexpr int kCopyPoint[2] = {213, 571};
constexpr int kExportPoint[2] = {277, 573};
constexpr int kFirstRowPoint[2] = {70, 214};

const std::string kProgram = std::string(TESSARY_BIN_DIR) + "/tessary";
// The same program with the tests' Save As answers linked in.
const std::string kTestProgram = std::string(TESSARY_BIN_DIR) + "/tessary-desktop-test";

class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(display_.Start(&error, screen_)) << error;
    out_ = testing_support::TempDir();
  }

  // Copies the real program (its test build) onto the disc and starts it there.
  XWindow StartViewer(const std::vector<std::string>& environment = {}) {
    fs::copy_file(kTestProgram, disc_.ProgramPath(), fs::copy_options::overwrite_existing);
    EXPECT_TRUE(program_.Start(disc_.ProgramPath(), environment));
    XWindow viewer = testing_support::FindWindow("Tessary", kStartMs);
    EXPECT_FALSE(viewer.id.empty()) << "no Tessary window appeared";
    return viewer;
  }

  // The headless viewer's shots of the same steps on this disc.
  void Tour(const std::vector<std::string>& script) {
    ASSERT_TRUE(testing_support::RunTour(disc_.Root(), out_, script));
  }
  std::string Shot(const std::string& name) const { return out_ + "/" + name + ".png"; }

  // Waits until the viewer on screen shows what the headless viewer's shot
  // `name` shows (inside `region`); the pixels that still differ.
  long WaitLike(const XWindow& viewer, const std::string& name,
                const testing_support::Region& region = testing_support::Region()) {
    return testing_support::WaitForScreen(viewer, Shot(name), out_ + "/desktop-" + name + ".png",
                                          kSettleMs, false, region);
  }

  // Waits until the album list on screen differs from the headless shot `name`.
  bool ListDiffersFrom(const XWindow& viewer, const std::string& name) {
    return testing_support::WaitForScreen(viewer, Shot(name), out_ + "/desktop-list.png", kSettleMs,
                                          true, kAlbumList) > 0;
  }

  void Click(const XWindow& viewer, const int* point, int button = 1) {
    ASSERT_TRUE(testing_support::ClickAt(viewer, point[0], point[1], button));
  }

  // The user ends the program with a key; it ends cleanly.
  void QuitWith(const XWindow& viewer, const std::string& key) {
    ASSERT_TRUE(testing_support::PressKeys(viewer, key));
    EXPECT_EQ(program_.WaitForExit(kEndMs), 0);
  }

  std::string screen_ = "1024x768x24";  // the Xvfb screen
  testing_support::VirtualDisplay display_;
  testing_support::Disc disc_;
  testing_support::DesktopProgram program_;
  std::string out_;
};

// The program users get never reads the tests' Save As answer; only the
// tests' own build does.
TEST(DesktopProgram, OnlyTheTestBuildReadsTheSaveAsAnswer) {
  const auto holds = [](const std::string& path, const std::string& text) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(bytes.empty()) << path;
    return bytes.find(text) != std::string::npos;
  };
  EXPECT_FALSE(holds(kProgram, "TESSARY_TEST_SAVE_AS"));
  EXPECT_TRUE(holds(kTestProgram, "TESSARY_TEST_SAVE_AS"));
}

// Without a display the program says so on one line and exits with 1: no
// display named, a display that does not answer, or only a Wayland one
// (the program needs X, through XWayland there).
class DesktopWithoutDisplay : public ::testing::TestWithParam<const char*> {};

TEST_P(DesktopWithoutDisplay, SaysSoOnOneLineAndExitsWithOne) {
  std::string output;
  const int status = testing_support::RunCommand(
      std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + GetParam() + " '" + kProgram + "' 2>&1",
      &output);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(output.rfind("tessary: no display: ", 0), 0u) << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
}

INSTANTIATE_TEST_SUITE_P(Environments, DesktopWithoutDisplay,
                         ::testing::Values("", "DISPLAY=:97531", "WAYLAND_DISPLAY=wayland-97531"));

TEST_F(DesktopTest, ViewerShowsTheSplashAboveTheBlackBackdrop) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  Tour({"shot splash"});
  const XWindow viewer = StartViewer();
  EXPECT_EQ(viewer.width, 800);
  EXPECT_EQ(viewer.height, 600);
  EXPECT_EQ(WaitLike(viewer, "splash"), 0);

  // Front to back: the viewer, then directly the backdrop over the whole screen.
  std::vector<XWindow> stacked;
  for (const XWindow& window : testing_support::StackedWindows()) {
    if (window.width > 1 && window.height > 1) stacked.push_back(window);
  }
  ASSERT_GE(stacked.size(), 2u);
  EXPECT_EQ(stacked[0].id, viewer.id);
  EXPECT_EQ(stacked[1].x, 0);
  EXPECT_EQ(stacked[1].y, 0);
  EXPECT_EQ(stacked[1].width, 1024);
  EXPECT_EQ(stacked[1].height, 768);
  const std::string screen = out_ + "/screen.png";
  EXPECT_EQ(testing_support::WaitForScreen(stacked[1], "black", screen, kSettleMs, false,
                                           {0, 0, 1024, viewer.y}),
            0);
  EXPECT_EQ(testing_support::WaitForScreen(stacked[1], "black", screen, kSettleMs, false,
                                           {0, 0, viewer.x, 768}),
            0);

  // A click on the backdrop changes nothing: it never takes input.
  ASSERT_TRUE(testing_support::ClickAt(stacked[1], 20, 20));
  EXPECT_EQ(WaitLike(viewer, "splash"), 0);
  QuitWith(viewer, "Escape");
}

TEST_F(DesktopTest, ClicksStartTheScanAndPageThroughPictures) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  disc_.Bmp("b.bmp", 200, 300, 2);
  disc_.Bmp("c.bmp", 250, 250, 3);
  disc_.Bmp("d.bmp", 150, 100, 4);
  Tour({"click 500 360", "timer", "shot first", "next", "shot second", "prev", "shot back",
        "click 694 575", "dblclick 694 575", "shot third"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  EXPECT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kNextPoint);
  EXPECT_EQ(WaitLike(viewer, "second"), 0);
  Click(viewer, kPrevPoint);
  EXPECT_EQ(WaitLike(viewer, "back"), 0);
  // A double click: press, release, double-click press, release; no third press.
  ASSERT_EQ(testing_support::RunCommand("xdotool mousemove " + std::to_string(viewer.x + kNextPoint[0]) +
                                        " " + std::to_string(viewer.y + kNextPoint[1]) +
                                        " click --repeat 2 --delay 60 1"),
            0);
  EXPECT_EQ(WaitLike(viewer, "third"), 0);
  QuitWith(viewer, "Return");
}

TEST_F(DesktopTest, ArrowKeysMoveTheAlbumSelection) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  disc_.Bmp("Second/b.bmp", 200, 300, 2);
  Tour({"click 500 360", "timer", "shot first", "select 1", "shot second-album"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  EXPECT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kFirstRowPoint);
  ASSERT_TRUE(testing_support::PressKeys(viewer, "Down"));
  EXPECT_EQ(WaitLike(viewer, "second-album", kPictureArea), 0);
  ASSERT_TRUE(testing_support::PressKeys(viewer, "Up"));
  EXPECT_EQ(WaitLike(viewer, "first", kPictureArea), 0);
  QuitWith(viewer, "Escape");
}

// Up and Down reach the album list from anywhere in the window: no click on
// the list first.
TEST_F(DesktopTest, UpAndDownChangeTheAlbumWithoutAClickOnTheList) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  disc_.Bmp("Second/b.bmp", 200, 300, 2);
  Tour({"click 500 360", "timer", "shot first", "select 1", "shot second-album"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  EXPECT_EQ(WaitLike(viewer, "first"), 0);
  ASSERT_TRUE(testing_support::PressKeys(viewer, "Down"));
  EXPECT_EQ(WaitLike(viewer, "second-album", kPictureArea), 0);
  ASSERT_TRUE(testing_support::PressKeys(viewer, "Up"));
  EXPECT_EQ(WaitLike(viewer, "first", kPictureArea), 0);
  QuitWith(viewer, "Escape");
}

// The viewer's own keys (Next, Prev, Copy) are the application's: this runs
// once the viewer maps them.
TEST_F(DesktopTest, NavigationAndCopyKeys) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  disc_.Bmp("b.bmp", 200, 300, 2);
  Tour({"click 500 360", "timer", "shot first", "next", "shot second"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  EXPECT_EQ(WaitLike(viewer, "first"), 0);
  for (const char* key : {"Right", "Next", "space"}) {
    ASSERT_TRUE(testing_support::PressKeys(viewer, key));
    EXPECT_EQ(WaitLike(viewer, "second"), 0) << key;
    ASSERT_TRUE(testing_support::PressKeys(viewer, "Left"));
    EXPECT_EQ(WaitLike(viewer, "first"), 0) << key;
  }
  ASSERT_TRUE(testing_support::PressKeys(viewer, "ctrl+c"));
  const std::string clip = out_ + "/clip.png";
  ASSERT_TRUE(testing_support::ReadClipboardPng(clip, kSettleMs));
  QuitWith(viewer, "Escape");
}

TEST_F(DesktopTest, WheelAndScrollBarScrollTheAlbumList) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  for (int album = 1; album <= 12; ++album) {
    disc_.Bmp("Album" + std::to_string(100 + album) + "/p.bmp", 40, 30, album);
  }
  Tour({"click 500 360", "timer", "shot first"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  const int inList[2] = {60, 300};
  Click(viewer, inList, 5);  // wheel down
  EXPECT_TRUE(ListDiffersFrom(viewer, "first"));
  Click(viewer, inList, 4);  // wheel up
  EXPECT_EQ(WaitLike(viewer, "first", kAlbumList), 0);

  const int scrollBarX = kAlbumList.left + kAlbumList.width - 8;
  const int scrollBarLow[2] = {scrollBarX, kAlbumList.top + 250};
  const int scrollBarHigh[2] = {scrollBarX, kAlbumList.top + 20};
  Click(viewer, scrollBarLow);
  EXPECT_TRUE(ListDiffersFrom(viewer, "first"));
  Click(viewer, scrollBarHigh);
  EXPECT_EQ(WaitLike(viewer, "first", kAlbumList), 0);
  QuitWith(viewer, "Escape");
}

TEST_F(DesktopTest, CopyPutsThePictureAtFullSizeOnTheClipboard) {
  constexpr int kWidth = 700;
  constexpr int kHeight = 520;
  disc_.Bmp("a.bmp", kWidth, kHeight, 3);
  Tour({"click 500 360", "timer", "shot first"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kCopyPoint);
  const std::string clip = out_ + "/clip.png";
  ASSERT_TRUE(testing_support::ReadClipboardPng(clip, kSettleMs));
  std::optional<testing_support::Picture> pasted = testing_support::ReferenceDecode(clip);
  ASSERT_TRUE(pasted.has_value());
  EXPECT_EQ(pasted->width, static_cast<uint32_t>(kWidth));
  EXPECT_EQ(pasted->height, static_cast<uint32_t>(kHeight));
  testing_support::Picture original{kWidth, kHeight, testing_support::KnownPicture(3, kWidth, kHeight)};
  EXPECT_EQ(testing_support::Compare(*pasted, original).differingBytes, 0u);
  QuitWith(viewer, "Escape");
}

// While the scan and the loading of a large picture run, the pointer shows
// the system's busy cursor; once the picture is up, the cursor it had before.
TEST_F(DesktopTest, BusyCursorWhileThePictureLoads) {
  disc_.Jpeg("big.jpg", 3000, 2200, 7);
  Tour({"click 500 360", "timer", "shot first"});
  const XWindow viewer = StartViewer();
  // The pointer rests where it will click.
  ASSERT_EQ(testing_support::RunCommand("xdotool mousemove " + std::to_string(viewer.x + kSplashPoint[0]) +
                                        " " + std::to_string(viewer.y + kSplashPoint[1])),
            0);
  const std::string record = out_ + "/cursor.txt";
  ASSERT_EQ(testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " '" +
                                        TESSARY_SOURCE_DIR + "/tests/tools/cursor_watch.py' 6 '" +
                                        record + "' >/dev/null 2>&1 &"),
            0);
  testing_support::Pause(300);
  Click(viewer, kSplashPoint);
  EXPECT_EQ(WaitLike(viewer, "first"), 0);
  std::vector<uint8_t> line;
  for (int waited = 0; waited < 2 * kSettleMs && line.empty(); waited += 200) {
    testing_support::Pause(200);
    line = testing_support::ReadWholeFile(record);
  }
  unsigned long first = 0;
  unsigned long last = 0;
  int changed = 0;
  ASSERT_EQ(std::sscanf(std::string(line.begin(), line.end()).c_str(), "%lu %lu %d", &first, &last,
                        &changed),
            3);
  EXPECT_EQ(changed, 1) << "the cursor never changed";
  EXPECT_EQ(last, first) << "the busy cursor stayed";
  QuitWith(viewer, "Escape");
}

// The message that the disc holds nothing: a dialog of the viewer with the
// program's caption; once answered, the program ends.
TEST_F(DesktopTest, NothingToShowIsAMessageBoxOverTheViewer) {
  disc_.Text("notes.txt", "no pictures here");
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  const XWindow message = testing_support::FindWindow("Tessary", kStartMs, viewer.id);
  ASSERT_FALSE(message.id.empty()) << "no message box appeared";
  EXPECT_LT(message.width, viewer.width);
  EXPECT_NE(testing_support::WindowProperty(message, "WM_TRANSIENT_FOR").find(viewer.id),
            std::string::npos);
  EXPECT_NE(testing_support::WindowProperty(message, "_NET_WM_WINDOW_TYPE").find("DIALOG"),
            std::string::npos);
  ASSERT_TRUE(testing_support::PressKeys(message, "Return"));
  EXPECT_EQ(program_.WaitForExit(kEndMs), 0);
}

// The chooser answered by the test hook: the filter chosen by its index (two
// filters share *.png), the name typed without an extension.
struct ExportCase {
  int filterIndex;
  const char* mode;  // Pillow's mode of the written file
};

void PrintTo(const ExportCase& exportCase, std::ostream* out) {
  *out << "filter " << exportCase.filterIndex << ", " << exportCase.mode;
}

class DesktopExportTest : public DesktopTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(DesktopExportTest, WritesTheChosenFormThroughTheFileChooser) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 240;
  disc_.Bmp("a.bmp", kWidth, kHeight, 4);
  Tour({"click 500 360", "timer", "shot first"});
  const std::string target = out_ + "/exported";
  const XWindow viewer = StartViewer(
      {"TESSARY_TEST_SAVE_AS=" + std::to_string(GetParam().filterIndex) + ":" + target});
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kExportPoint);
  const std::string written = target + ".png";
  std::string described;
  for (int waited = 0; waited < kSettleMs && described.empty(); waited += 200) {
    testing_support::Pause(200);
    testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) +
                                    " -c \"from PIL import Image; i = Image.open('" + written +
                                    "'); i.load(); print(i.mode, i.size[0], i.size[1])\" 2>/dev/null",
                                &described);
  }
  EXPECT_EQ(described, std::string(GetParam().mode) + " 320 240\n");
  if (std::string(GetParam().mode) == "RGB") {
    std::optional<testing_support::Picture> read = testing_support::ReferenceDecode(written);
    ASSERT_TRUE(read.has_value());
    testing_support::Picture original{kWidth, kHeight, testing_support::KnownPicture(4, kWidth, kHeight)};
    EXPECT_EQ(testing_support::Compare(*read, original).differingBytes, 0u);
  }
  QuitWith(viewer, "Escape");
}

INSTANTIATE_TEST_SUITE_P(PngForms, DesktopExportTest,
                         ::testing::Values(ExportCase{2, "RGB"}, ExportCase{3, "P"}),
                         [](const ::testing::TestParamInfo<ExportCase>& param) {
                           return "Filter" + std::to_string(param.param.filterIndex);
                         });

// A name typed without an extension names the file with the filter's
// extension: when that one exists, the user is asked before it is replaced.
TEST_F(DesktopTest, ExportAsksBeforeReplacingTheFileTheExtensionNames) {
  disc_.Bmp("a.bmp", 320, 240, 6);
  Tour({"click 500 360", "timer", "shot first"});
  const std::string existing = out_ + "/exported.png";
  const std::vector<uint8_t> placeholder = {'k', 'e', 'e', 'p'};
  ASSERT_TRUE(testing_support::WriteWholeFile(existing, placeholder));
  const XWindow viewer = StartViewer({"TESSARY_TEST_SAVE_AS=2:" + out_ + "/exported"});
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kExportPoint);
  const XWindow chooser = testing_support::FindWindow("Export file as", kStartMs);
  ASSERT_FALSE(chooser.id.empty());
  XWindow question;
  for (int waited = 0; waited < kSettleMs && question.id.empty(); waited += 200) {
    testing_support::Pause(200);
    for (const XWindow& window : testing_support::StackedWindows()) {
      if (testing_support::WindowProperty(window, "WM_TRANSIENT_FOR").find(chooser.id) !=
          std::string::npos) {
        question = window;
      }
    }
  }
  ASSERT_FALSE(question.id.empty()) << "no question over the chooser";
  EXPECT_EQ(testing_support::ReadWholeFile(existing), placeholder);
  ASSERT_TRUE(testing_support::PressKeys(question, "Return"));
  std::optional<testing_support::Picture> read;
  for (int waited = 0; waited < kSettleMs && !read; waited += 200) {
    testing_support::Pause(200);
    read = testing_support::ReferenceDecode(existing);
  }
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->width, 320u);
  QuitWith(viewer, "Escape");
}

// The chooser as a user fills it: a path typed over the initial name, Enter.
TEST_F(DesktopTest, ExportTypedIntoTheRealChooser) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 240;
  disc_.Bmp("a.bmp", kWidth, kHeight, 5);
  Tour({"click 500 360", "timer", "shot first"});
  const XWindow viewer = StartViewer();
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  Click(viewer, kExportPoint);
  const XWindow chooser = testing_support::FindWindow("Export file as", kStartMs);
  ASSERT_FALSE(chooser.id.empty()) << "no chooser titled \"Export file as\"";
  const std::string target = out_ + "/typed.jpg";
  ASSERT_EQ(testing_support::RunCommand("xdotool windowfocus --sync " + chooser.id +
                                        " key ctrl+a type --delay 20 '" + target + "'"),
            0);
  ASSERT_TRUE(testing_support::PressKeys(chooser, "Return"));
  std::optional<testing_support::Picture> read;
  for (int waited = 0; waited < kSettleMs && !read; waited += 200) {
    testing_support::Pause(200);
    read = testing_support::ReferenceDecode(target);
  }
  ASSERT_TRUE(read.has_value()) << target;
  EXPECT_EQ(read->width, static_cast<uint32_t>(kWidth));
  EXPECT_EQ(read->height, static_cast<uint32_t>(kHeight));
  QuitWith(viewer, "Escape");
}

// The chooser on a user's desktop, three exports in one run: it opens in the
// user's Pictures folder (from the XDG user folders, never the disc the
// program was started from) proposing the picture's own name, and the filter
// chosen sets the extension (8-bit PNG: .png); a name typed with .png under
// the JPEG filter writes a PNG; the next chooser opens where the last file
// went and proposes the name again (8-bit BMP: .bmp).
TEST_F(DesktopTest, ExportChooserProposesThePicturesNameInPicturesThenTheLastFolder) {
  disc_.Bmp("Holiday 1.bmp", 320, 240, 4);
  Tour({"click 500 360", "timer", "shot first"});
  const std::string home = out_ + "/home";
  const std::string pictures = home + "/Bilder";
  const std::string elsewhere = out_ + "/elsewhere";
  fs::create_directories(pictures);
  fs::create_directories(home + "/.config");
  fs::create_directories(elsewhere);
  const std::string dirs = "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
  ASSERT_TRUE(testing_support::WriteWholeFile(home + "/.config/user-dirs.dirs",
                                              std::vector<uint8_t>(dirs.begin(), dirs.end())));
  const XWindow viewer =
      StartViewer({"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                   "TESSARY_TEST_SAVE_AS=3:;1:" + elsewhere + "/typed.png;5:"});
  Click(viewer, kSplashPoint);
  ASSERT_EQ(WaitLike(viewer, "first"), 0);
  const struct {
    std::string written;
    const char* described;  // Pillow's format, mode and size
  } kExports[] = {{pictures + "/Holiday 1.png", "PNG P 320 240\n"},
                  {elsewhere + "/typed.png", "PNG RGB 320 240\n"},
                  {elsewhere + "/Holiday 1.bmp", "BMP P 320 240\n"}};
  for (const auto& expected : kExports) {
    Click(viewer, kExportPoint);
    std::string described;
    for (int waited = 0; waited < kSettleMs && described.empty(); waited += 200) {
      testing_support::Pause(200);
      testing_support::RunCommand(
          std::string(testing_support::PythonWithPillow()) +
              " -c \"from PIL import Image; i = Image.open('" + expected.written +
              "'); i.load(); print(i.format, i.mode, i.size[0], i.size[1])\" 2>/dev/null",
          &described);
    }
    EXPECT_EQ(described, expected.described) << expected.written;
  }
  std::vector<std::string> onDisc;
  for (const auto& entry : fs::directory_iterator(disc_.Root())) {
    onDisc.push_back(entry.path().filename().string());
  }
  std::sort(onDisc.begin(), onDisc.end());
  EXPECT_EQ(onDisc, (std::vector<std::string>{"Holiday 1.bmp", "tessary"})) << "nothing on the disc";
  QuitWith(viewer, "Escape");
}

}  // namespace

// The same program on a 3840 x 2160 screen whose desktop scales by 2.
class BigScreenTest : public DesktopTest {
 protected:
  BigScreenTest() { screen_ = "3840x2160x24"; }

  // Pillow makes the disc's pictures and what the window must show: a
  // one-pixel checkerboard and a plain picture, each 1098 x 940 (the picture
  // area at twice its size), pasted at the area's device corner (408, 84);
  // and the headless splash shot enlarged pixel for pixel.
  void MakePictures() {
    const std::string script = out_ + "/big_screen.py";
    std::ofstream(script) << "import sys\n"
                             "from PIL import Image\n"
                             "out, disc = sys.argv[1], sys.argv[2]\n"
                             "w, h = 1098, 940\n"
                             "board = Image.new('L', (w, h))\n"
                             "board.putdata([255 * ((x + y) % 2)\n"
                             "               for y in range(h) for x in range(w)])\n"
                             "board = board.convert('RGB')\n"
                             "board.save(disc + '/a.png')\n"
                             "plain = Image.new('RGB', (w, h), (40, 120, 200))\n"
                             "plain.save(disc + '/b.png')\n"
                             "for name, picture in (('board', board), ('plain', plain)):\n"
                             "    window = Image.new('RGB', (1600, 1200))\n"
                             "    window.paste(picture, (408, 84))\n"
                             "    window.save(out + '/' + name + '.png')\n"
                             "splash = Image.open(out + '/splash.png').convert('RGB')\n"
                             "splash = splash.resize((1600, 1200), Image.NEAREST)\n"
                             "splash.save(out + '/splash2x.png')\n";
    ASSERT_EQ(testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " " +
                                          testing_support::Quoted(script) + " " +
                                          testing_support::Quoted(out_) + " " +
                                          testing_support::Quoted(disc_.Root())),
              0);
  }

  // A click at a point of the design, where the zoomed window shows it.
  void ClickDesign(const XWindow& viewer, const int* point) {
    ASSERT_TRUE(testing_support::ClickAt(viewer, point[0] * 2, point[1] * 2));
  }
};

// Twice the size, the skin enlarged pixel for pixel, photo pixels on device
// pixels, and clicks at twice a zone's design point reach the zone.
TEST_F(BigScreenTest, GdkScaleTwoZoomsTheWholeWindow) {
  Tour({"shot splash"});
  MakePictures();
  const XWindow viewer = StartViewer({"GDK_SCALE=2"});
  EXPECT_EQ(viewer.width, 1600);
  EXPECT_EQ(viewer.height, 1200);
  EXPECT_EQ(testing_support::WaitForScreen(viewer, Shot("splash2x"), out_ + "/desktop-splash.png",
                                           kSettleMs),
            0);
  const std::vector<XWindow> stacked = testing_support::StackedWindows();
  ASSERT_GE(stacked.size(), 2u);
  EXPECT_EQ(stacked[1].width, 3840);
  EXPECT_EQ(stacked[1].height, 2160);
  const testing_support::Region pictureOnScreen = {408, 84, 1098, 940};
  ClickDesign(viewer, kSplashPoint);
  EXPECT_EQ(testing_support::WaitForScreen(viewer, Shot("board"), out_ + "/desktop-board.png",
                                           kSettleMs, false, pictureOnScreen),
            0);
  ClickDesign(viewer, kNextPoint);
  EXPECT_EQ(testing_support::WaitForScreen(viewer, Shot("plain"), out_ + "/desktop-plain.png",
                                           kSettleMs, false, pictureOnScreen),
            0);
  QuitWith(viewer, "Escape");
}

struct DpiCase {
  int dotsPerInch;  // the desktop's font resolution (Xft.dpi)
  int windowWidth;
  int windowHeight;
};

class BigScreenDpiTest : public BigScreenTest, public ::testing::WithParamInterface<DpiCase> {};

// A desktop that does not scale but sets a fine font resolution in its X
// resources (what xrdb loads from ~/.Xresources).
TEST_P(BigScreenDpiTest, UnscaledDesktopZoomsFromItsDpi) {
  const std::string tool = std::string(TESSARY_SOURCE_DIR) + "/tests/tools/x_resources.py";
  const std::string resources = "Xft.dpi:\t" + std::to_string(GetParam().dotsPerInch) + "\n";
  ASSERT_EQ(testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " " +
                                        testing_support::Quoted(tool) + " " +
                                        testing_support::Quoted(resources)),
            0);
  const XWindow viewer = StartViewer();
  EXPECT_EQ(viewer.width, GetParam().windowWidth);
  EXPECT_EQ(viewer.height, GetParam().windowHeight);
  QuitWith(viewer, "Escape");
}

INSTANTIATE_TEST_SUITE_P(Resolutions, BigScreenDpiTest,
                         ::testing::Values(DpiCase{144, 1600, 1200}, DpiCase{143, 800, 600},
                                           DpiCase{96, 800, 600}),
                         [](const ::testing::TestParamInfo<DpiCase>& resolution) {
                           return "Dpi" + std::to_string(resolution.param.dotsPerInch);
                         });
