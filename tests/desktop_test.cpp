// The desktop program as a user meets it: the real tessary on a virtual X
// server, started from a disc folder, driven with xdotool and watched with
// screenshots, the clipboard and the files it writes. What the window shows
// is compared with a drawing of it made without the viewer's code
// (tests/tools/viewer_model.py: Pillow's decode of the skin and of the
// pictures); pictures read back come from Pillow. Each test is one program
// start that walks through steps a user takes one after another; a step that
// does not show what it should ends the walk, as the next steps build on it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/desktop.h"
#include "tests/support/disc.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Picture;
using testing_support::Region;
using testing_support::ScreenMatch;
using testing_support::XWindow;

// Every wait polls and ends as soon as the screen (or the process) is as
// expected: the bounds matter only on a loaded machine, where the program
// under Xvfb may take seconds to repaint.
constexpr int kStartMs = 20000;
constexpr int kSettleMs = 20000;
constexpr int kEndMs = 15000;

// Client rectangles of the viewer and points.
constexpr Region kAlbumList = {15, 199, 134, 276};
// From the picture area's shadow margin to the right edge: all but the album list.
constexpr Region kRightOfTheList = {164, 0, 636, 600};
// The strip under the picture with the file name and the counter.
constexpr Region kCaption = {314, 557, 286, 34};
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

  // Copies the real program (its test build) onto the disc and starts it
  // there; the test stops when no window appears.
  void StartViewer(const std::vector<std::string>& environment = {}) {
    fs::copy_file(kTestProgram, disc_.ProgramPath(), fs::copy_options::overwrite_existing);
    ASSERT_TRUE(program_.Start(disc_.ProgramPath(), environment));
    viewer_ = testing_support::FindWindow("Tessary", kStartMs);
    ASSERT_FALSE(viewer_.id.empty()) << "no Tessary window appeared";
  }

  // Waits until the window shows what the model draws from `items` (inside
  // `region`); the pixels that still stray. Each look is kept in the test's
  // folder as screen-N.png beside model-N.png.
  long Looks(const std::vector<std::string>& items, const Region& region = Region()) {
    const std::string number = std::to_string(++looks_);
    std::string key;
    for (const std::string& item : items) key += item + "\n";
    std::string& model = models_[key];
    if (model.empty()) {
      model = out_ + "/model-" + number + ".png";
      if (!testing_support::DrawViewerModel(model, items)) return -1;
    }
    lastLook_ = out_ + "/screen-" + number + ".png";
    return testing_support::WaitForScreen(viewer_, model, lastLook_, kSettleMs, ScreenMatch::kNear,
                                          region);
  }

  // The album list waits until it is (or is no longer) as in the look `shot`.
  long ListAgainst(const std::string& shot, ScreenMatch match) {
    return testing_support::WaitForScreen(viewer_, shot, out_ + "/list.png", kSettleMs, match,
                                          kAlbumList);
  }

  void Click(const int* point, int button = 1) {
    ASSERT_TRUE(testing_support::ClickAt(viewer_, point[0], point[1], button));
  }
  void Keys(const std::string& keys) { ASSERT_TRUE(testing_support::PressKeys(viewer_, keys)); }

  // The user ends the program with a key; it ends cleanly.
  void QuitWith(const std::string& key) {
    Keys(key);
    EXPECT_EQ(program_.WaitForExit(kEndMs), 0);
  }

  // Pillow's "FORMAT MODE WIDTH HEIGHT" of a file the program writes, once it
  // can read it; empty when it never could.
  static std::string Described(const std::string& path) {
    std::string described;
    for (int waited = 0; waited < kSettleMs && described.empty(); waited += 200) {
      testing_support::Pause(200);
      testing_support::RunCommand(
          std::string(testing_support::PythonWithPillow()) +
              " -c \"from PIL import Image; i = Image.open('" + path +
              "'); i.load(); print(i.format, i.mode, i.size[0], i.size[1])\" 2>/dev/null",
          &described);
    }
    return described;
  }

  // Pillow's decode of a file the program writes, once it can read it.
  static std::optional<Picture> Written(const std::string& path) {
    std::optional<Picture> read;
    for (int waited = 0; waited < kSettleMs && !read; waited += 200) {
      testing_support::Pause(200);
      read = testing_support::ReferenceDecode(path);
    }
    return read;
  }

  // The clipboard's PNG as Pillow reads it.
  std::optional<Picture> Pasted() {
    const std::string clip = out_ + "/clip-" + std::to_string(++looks_) + ".png";
    if (!testing_support::ReadClipboardPng(clip, kSettleMs)) return std::nullopt;
    return testing_support::ReferenceDecode(clip);
  }

  std::string screen_ = "1024x768x24";  // the Xvfb screen
  testing_support::VirtualDisplay display_;
  testing_support::Disc disc_;
  testing_support::DesktopProgram program_;
  XWindow viewer_;
  std::string out_;
  std::string lastLook_;
  int looks_ = 0;
  std::map<std::string, std::string> models_;  // the model drawn for each list of items
};

// The model's items for a picture of the disc on show: the picture at
// `relative`, its name, the counter and what stands left of it.
std::vector<std::string> Showing(const testing_support::Disc& disc, const std::string& relative,
                                 const std::string& counter, std::vector<std::string> left) {
  const std::string name = relative.substr(relative.rfind('/') + 1);
  left.insert(left.end(), {"picture=" + disc.Path(relative), "name=" + name, "counter=" + counter});
  return left;
}

// The picture as the disc holds it, compared byte for byte.
void ExpectKnownPicture(const std::optional<Picture>& read, int seed, int width, int height) {
  ASSERT_TRUE(read.has_value());
  ASSERT_EQ(read->width, static_cast<uint32_t>(width));
  ASSERT_EQ(read->height, static_cast<uint32_t>(height));
  const Picture original{static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                         testing_support::KnownPicture(seed, width, height)};
  EXPECT_EQ(testing_support::Compare(*read, original).differingBytes, 0u);
}

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

// One run through the viewer: the splash over the black backdrop; the click
// that starts the scan; Next, Prev and a double click on the buttons and the
// keys; Copy by button and by key; the albums by Up and Down, with and
// without a click on the list; an export typed into the real chooser.
TEST_F(DesktopTest, BrowsingAsAUserSeesIt) {
  disc_.Bmp("a.bmp", 300, 200, 1);
  disc_.Bmp("b.bmp", 200, 300, 2);
  disc_.Bmp("c.bmp", 250, 250, 3);
  disc_.Bmp("d.bmp", 700, 520, 3);  // larger than the picture area
  disc_.Bmp("Second/e.bmp", 200, 300, 5);
  const std::vector<std::string> rootSelected = {"rows=root:My Album|album:Second", "selected=0"};
  const std::vector<std::string> secondSelected = {"rows=root:My Album|album:Second", "selected=1"};
  const auto root = [&](const char* name, int number) {
    return Showing(disc_, name, std::to_string(number) + "/4", rootSelected);
  };
  const std::vector<std::string> second = Showing(disc_, "Second/e.bmp", "1/1", secondSelected);

  ASSERT_NO_FATAL_FAILURE(StartViewer());
  EXPECT_EQ(viewer_.width, 800);
  EXPECT_EQ(viewer_.height, 600);
  ASSERT_EQ(Looks({"splash"}), 0) << "the splash";

  // Front to back: the viewer, then directly the backdrop over the whole screen.
  std::vector<XWindow> stacked;
  for (const XWindow& window : testing_support::StackedWindows()) {
    if (window.width > 1 && window.height > 1) stacked.push_back(window);
  }
  ASSERT_GE(stacked.size(), 2u);
  EXPECT_EQ(stacked[0].id, viewer_.id);
  const XWindow& backdrop = stacked[1];
  EXPECT_EQ(backdrop.x, 0);
  EXPECT_EQ(backdrop.y, 0);
  EXPECT_EQ(backdrop.width, 1024);
  EXPECT_EQ(backdrop.height, 768);
  const std::string screen = out_ + "/screen.png";
  for (const Region& margin : {Region{0, 0, 1024, viewer_.y}, Region{0, 0, viewer_.x, 768}}) {
    EXPECT_EQ(testing_support::WaitForScreen(backdrop, "black", screen, kSettleMs, ScreenMatch::kSame,
                                             margin),
              0);
  }
  // A click on the backdrop changes nothing: it never takes input.
  ASSERT_TRUE(testing_support::ClickAt(backdrop, 20, 20));
  ASSERT_EQ(Looks({"splash"}), 0) << "the splash after a click on the backdrop";

  Click(kSplashPoint);
  ASSERT_EQ(Looks(root("a.bmp", 1)), 0) << "the first picture";
  Click(kNextPoint);
  ASSERT_EQ(Looks(root("b.bmp", 2)), 0);
  Click(kPrevPoint);
  ASSERT_EQ(Looks(root("a.bmp", 1)), 0);
  for (const char* key : {"Right", "Next", "space"}) {
    Keys(key);
    ASSERT_EQ(Looks(root("b.bmp", 2)), 0) << key;
    Keys("Left");
    ASSERT_EQ(Looks(root("a.bmp", 1)), 0) << key;
  }
  // A double click: press, release, double-click press, release; no third press.
  ASSERT_EQ(testing_support::RunCommand("xdotool mousemove " + std::to_string(viewer_.x + kNextPoint[0]) +
                                        " " + std::to_string(viewer_.y + kNextPoint[1]) +
                                        " click --repeat 2 --delay 60 1"),
            0);
  ASSERT_EQ(Looks(root("c.bmp", 3)), 0) << "two pictures on";

  // Copy puts the picture at its full size on the clipboard, not as shown.
  Keys("Right");
  ASSERT_EQ(Looks({"name=d.bmp", "counter=4/4"}, kCaption), 0);
  Click(kCopyPoint);
  ExpectKnownPicture(Pasted(), 3, 700, 520);
  // xclip stays behind to serve the text: its output goes nowhere, so the
  // command returns at once.
  ASSERT_EQ(testing_support::RunCommand("printf gone | xclip -selection clipboard >/dev/null 2>&1"), 0);
  Keys("Left Left Left");
  ASSERT_EQ(Looks(root("a.bmp", 1)), 0);
  Keys("ctrl+c");
  ExpectKnownPicture(Pasted(), 1, 300, 200);

  // Up and Down reach the album list from anywhere in the window; after a
  // click on the list they move its selection as well.
  Keys("Down");
  ASSERT_EQ(Looks(second), 0) << "Down, no click on the list";
  Keys("Up");
  ASSERT_EQ(Looks(root("a.bmp", 1)), 0) << "Up, no click on the list";
  Click(kFirstRowPoint);
  Keys("Down");
  ASSERT_EQ(Looks(second), 0) << "Down after a click on the list";
  Keys("Up");
  ASSERT_EQ(Looks(root("a.bmp", 1)), 0) << "Up after a click on the list";

  // The chooser as a user fills it: a path typed over the initial name, Enter.
  Click(kExportPoint);
  const XWindow chooser = testing_support::FindWindow("Export file as", kStartMs);
  ASSERT_FALSE(chooser.id.empty()) << "no chooser titled \"Export file as\"";
  const std::string typed = out_ + "/typed.jpg";
  ASSERT_EQ(testing_support::RunCommand("xdotool windowfocus --sync " + chooser.id +
                                        " key ctrl+a type --delay 20 '" + typed + "'"),
            0);
  ASSERT_TRUE(testing_support::PressKeys(chooser, "Return"));
  EXPECT_EQ(Described(typed), "JPEG RGB 300 200\n");
  QuitWith("Return");
}

// The chooser answered by the test hook, one export after another in one
// run. The filter is chosen by its index (two filters share *.png), the name
// typed without an extension. On a user's desktop the chooser opens in the
// user's Pictures folder (from the XDG user folders, never the disc the
// program was started from) proposing the picture's own name, and the filter
// chosen sets the extension (8-bit PNG: .png); a name typed with .png under
// the JPEG filter writes a PNG; the next chooser opens where the last file
// went and proposes the name again (8-bit BMP: .bmp). When the name the
// extension makes is taken, the user is asked before it is replaced.
TEST_F(DesktopTest, ExportsThroughTheChooser) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 240;
  disc_.Bmp("Holiday 1.bmp", kWidth, kHeight, 4);
  const std::string home = out_ + "/home";
  const std::string pictures = home + "/Bilder";
  const std::string elsewhere = out_ + "/elsewhere";
  fs::create_directories(pictures);
  fs::create_directories(home + "/.config");
  fs::create_directories(elsewhere);
  const std::string dirs = "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
  ASSERT_TRUE(testing_support::WriteWholeFile(home + "/.config/user-dirs.dirs",
                                              std::vector<uint8_t>(dirs.begin(), dirs.end())));
  const std::string taken = out_ + "/taken.png";
  const std::vector<uint8_t> placeholder = {'k', 'e', 'e', 'p'};
  ASSERT_TRUE(testing_support::WriteWholeFile(taken, placeholder));
  const std::string answers = "3:;1:" + elsewhere + "/typed.png;5:;2:" + out_ + "/rgb;3:" + out_ +
                              "/indexed;2:" + out_ + "/taken";
  ASSERT_NO_FATAL_FAILURE(StartViewer({"HOME=" + home, "XDG_CONFIG_HOME=" + home + "/.config",
                                       "TESSARY_TEST_SAVE_AS=" + answers}));
  Click(kSplashPoint);
  ASSERT_EQ(Looks(Showing(disc_, "Holiday 1.bmp", "1/1", {"panel"})), 0) << "the one album";

  const struct {
    std::string written;
    const char* described;
  } kExports[] = {{pictures + "/Holiday 1.png", "PNG P 320 240\n"},
                  {elsewhere + "/typed.png", "PNG RGB 320 240\n"},
                  {elsewhere + "/Holiday 1.bmp", "BMP P 320 240\n"},
                  {out_ + "/rgb.png", "PNG RGB 320 240\n"},
                  {out_ + "/indexed.png", "PNG P 320 240\n"}};
  for (const auto& expected : kExports) {
    Click(kExportPoint);
    EXPECT_EQ(Described(expected.written), expected.described) << expected.written;
  }
  ExpectKnownPicture(testing_support::ReferenceDecode(out_ + "/rgb.png"), 4, kWidth, kHeight);

  Click(kExportPoint);
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
  EXPECT_EQ(testing_support::ReadWholeFile(taken), placeholder);
  ASSERT_TRUE(testing_support::PressKeys(question, "Return"));
  EXPECT_EQ(Described(taken), "PNG RGB 320 240\n");

  std::vector<std::string> onDisc;
  for (const auto& entry : fs::directory_iterator(disc_.Root())) {
    onDisc.push_back(entry.path().filename().string());
  }
  std::sort(onDisc.begin(), onDisc.end());
  EXPECT_EQ(onDisc, (std::vector<std::string>{"Holiday 1.bmp", "tessary"})) << "nothing on the disc";
  QuitWith("Escape");
}

// While the scan and the loading of a large picture run, the pointer shows
// the system's busy cursor; once the picture is up, fitted into the picture
// area, the cursor it had before. Then a list longer than its box scrolls by
// the wheel and by its scroll bar.
TEST_F(DesktopTest, BusyCursorThenTheAlbumListScrolls) {
  ASSERT_TRUE(testing_support::MakePictureWithPillow(3000, 2200, "JPEG", disc_.Path("big.jpg")));
  for (int album = 1; album <= 12; ++album) {
    disc_.Bmp("Album" + std::to_string(100 + album) + "/p.bmp", 40, 30, album);
  }
  ASSERT_NO_FATAL_FAILURE(StartViewer());
  // The pointer rests where it will click.
  ASSERT_EQ(testing_support::RunCommand("xdotool mousemove " + std::to_string(viewer_.x + kSplashPoint[0]) +
                                        " " + std::to_string(viewer_.y + kSplashPoint[1])),
            0);
  const std::string record = out_ + "/cursor.txt";
  ASSERT_EQ(testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " '" +
                                        TESSARY_SOURCE_DIR + "/tests/tools/cursor_watch.py' 6 '" +
                                        record + "' >/dev/null 2>&1 &"),
            0);
  testing_support::Pause(300);
  Click(kSplashPoint);
  ASSERT_EQ(Looks(Showing(disc_, "big.jpg", "1/1", {}), kRightOfTheList), 0) << "the fitted picture";
  const std::string shown = lastLook_;
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

  const int inList[2] = {60, 300};
  Click(inList, 5);  // wheel down
  EXPECT_GT(ListAgainst(shown, ScreenMatch::kDiffers), 0);
  Click(inList, 4);  // wheel up
  EXPECT_EQ(ListAgainst(shown, ScreenMatch::kSame), 0);
  const int scrollBarX = kAlbumList.left + kAlbumList.width - 8;
  const int scrollBarLow[2] = {scrollBarX, kAlbumList.top + 250};
  const int scrollBarHigh[2] = {scrollBarX, kAlbumList.top + 20};
  Click(scrollBarLow);
  EXPECT_GT(ListAgainst(shown, ScreenMatch::kDiffers), 0);
  Click(scrollBarHigh);
  EXPECT_EQ(ListAgainst(shown, ScreenMatch::kSame), 0);
  QuitWith("Escape");
}

// The message that the disc holds nothing: a dialog of the viewer with the
// program's caption; once answered, the program ends.
TEST_F(DesktopTest, NothingToShowIsAMessageBoxOverTheViewer) {
  disc_.Text("notes.txt", "no pictures here");
  ASSERT_NO_FATAL_FAILURE(StartViewer());
  Click(kSplashPoint);
  const XWindow message = testing_support::FindWindow("Tessary", kStartMs, viewer_.id);
  ASSERT_FALSE(message.id.empty()) << "no message box appeared";
  EXPECT_LT(message.width, viewer_.width);
  EXPECT_NE(testing_support::WindowProperty(message, "WM_TRANSIENT_FOR").find(viewer_.id),
            std::string::npos);
  EXPECT_NE(testing_support::WindowProperty(message, "_NET_WM_WINDOW_TYPE").find("DIALOG"),
            std::string::npos);
  ASSERT_TRUE(testing_support::PressKeys(message, "Return"));
  EXPECT_EQ(program_.WaitForExit(kEndMs), 0);
}

// The same program on a 3840 x 2160 screen whose desktop scales by 2.
class DesktopBigScreenTest : public DesktopTest {
 protected:
  DesktopBigScreenTest() { screen_ = "3840x2160x24"; }

  // Pillow makes the disc's pictures and what the window must show: a
  // one-pixel checkerboard and a plain picture, each 1098 x 940 (the picture
  // area at twice its size), pasted at the area's device corner (408, 84);
  // and the model's splash enlarged pixel for pixel.
  void MakePictures() {
    ASSERT_TRUE(testing_support::DrawViewerModel(out_ + "/splash.png", {"splash"}));
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
  void ClickDesign(const int* point) {
    ASSERT_TRUE(testing_support::ClickAt(viewer_, point[0] * 2, point[1] * 2));
  }

  long Shows(const std::string& name, ScreenMatch match, const Region& region = Region()) {
    return testing_support::WaitForScreen(viewer_, out_ + "/" + name + ".png",
                                          out_ + "/desktop-" + name + ".png", kSettleMs, match, region);
  }
};

// Twice the size, the skin enlarged pixel for pixel, photo pixels on device
// pixels, and clicks at twice a zone's design point reach the zone.
TEST_F(DesktopBigScreenTest, GdkScaleTwoZoomsTheWholeWindow) {
  MakePictures();
  StartViewer({"GDK_SCALE=2"});
  EXPECT_EQ(viewer_.width, 1600);
  EXPECT_EQ(viewer_.height, 1200);
  EXPECT_EQ(Shows("splash2x", ScreenMatch::kNear), 0);
  const std::vector<XWindow> stacked = testing_support::StackedWindows();
  ASSERT_GE(stacked.size(), 2u);
  EXPECT_EQ(stacked[1].width, 3840);
  EXPECT_EQ(stacked[1].height, 2160);
  const Region pictureOnScreen = {408, 84, 1098, 940};
  ClickDesign(kSplashPoint);
  EXPECT_EQ(Shows("board", ScreenMatch::kSame, pictureOnScreen), 0);
  ClickDesign(kNextPoint);
  EXPECT_EQ(Shows("plain", ScreenMatch::kSame, pictureOnScreen), 0);
  QuitWith("Escape");
}

struct DpiCase {
  int dotsPerInch;  // the desktop's font resolution (Xft.dpi)
  int windowWidth;
  int windowHeight;
};

class DesktopBigScreenDpiTest : public DesktopBigScreenTest, public ::testing::WithParamInterface<DpiCase> {};

// A desktop that does not scale but sets a fine font resolution in its X
// resources (what xrdb loads from ~/.Xresources).
TEST_P(DesktopBigScreenDpiTest, UnscaledDesktopZoomsFromItsDpi) {
  const std::string tool = std::string(TESSARY_SOURCE_DIR) + "/tests/tools/x_resources.py";
  const std::string resources = "Xft.dpi:\t" + std::to_string(GetParam().dotsPerInch) + "\n";
  ASSERT_EQ(testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " " +
                                        testing_support::Quoted(tool) + " " +
                                        testing_support::Quoted(resources)),
            0);
  StartViewer();
  EXPECT_EQ(viewer_.width, GetParam().windowWidth);
  EXPECT_EQ(viewer_.height, GetParam().windowHeight);
  QuitWith("Escape");
}

INSTANTIATE_TEST_SUITE_P(Resolutions, DesktopBigScreenDpiTest,
                         ::testing::Values(DpiCase{144, 1600, 1200}, DpiCase{143, 800, 600},
                                           DpiCase{96, 800, 600}),
                         [](const ::testing::TestParamInfo<DpiCase>& resolution) {
                           return "Dpi" + std::to_string(resolution.param.dotsPerInch);
                         });

}  // namespace
