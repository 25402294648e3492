// tessary-tour as scripts outside the repository use it: its exit status, the
// state line after every step, the screenshots, the clipboard picture and
// the exports it leaves in the out folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/disc.h"
#include "tests/support/photo_reference.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Disc;

struct TourRun {
  int status = -1;
  std::vector<std::string> lines;
};

class TourTest : public testing_support::DiscFixture {
 protected:
  TourRun Tour(const std::string& script) {
    fs::create_directories(out_);
    const std::string scriptPath = out_ + "/script.txt";
    std::ofstream(scriptPath) << script;
    return RunTour("'" + disc_.Root() + "' '" + out_ + "' '" + scriptPath + "'");
  }
  TourRun RunTour(const std::string& arguments) {
    std::string output;
    TourRun run;
    run.status = testing_support::RunCommand(
        std::string(TESSARY_BIN_DIR) + "/tessary-tour " + arguments + " 2>/dev/null", &output);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) run.lines.push_back(line);
    return run;
  }

  std::string out_ = testing_support::TempDir() + "/out";
};

const std::regex kStateLine(
    R"(step \d+ [^:]+: album=-?\d+/\d+ index=-?\d+/\d+ picture=\d+x\d+ file=\S+ title=[01] )"
    R"(splash=[01] panel=[01] midi=\S+ wave=\S+ box=("[^"]*"|-) cursor=\d+ full=[01])");

TEST_F(TourTest, ScriptStepsPrintOneStateLineEach) {
  disc_.Bmp("r.bmp", 40, 30, 1);
  disc_.Text("A/title.txt", "Album A");
  disc_.Midi("A/title.mid");
  disc_.Wave("A/title.wav");
  disc_.Jpeg("A/big.jpg", 1100, 600, 2);
  const TourRun run = Tour(
      "state\nclick 500 360\ntimer\nnext\nnext\nshot picture\ncopy\n"
      "export 4 " + out_ + "/copy.bmp\nexport-cancel\nkey escape\n");
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 10u);
  for (const std::string& line : run.lines) EXPECT_TRUE(std::regex_match(line, kStateLine)) << line;
  EXPECT_EQ(run.lines[0],
            "step 1 state: album=-1/0 index=0/0 picture=0x0 file=- title=1 splash=1 panel=0 "
            "midi=- wave=- box=- cursor=0 full=0");
  EXPECT_EQ(run.lines[3],
            "step 4 next: album=1/2 index=-1/1 picture=0x0 file=r.bmp title=1 splash=0 panel=0 "
            "midi=title.mid wave=title.wav box=- cursor=0 full=0");
  EXPECT_EQ(run.lines[4],
            "step 5 next: album=1/2 index=0/1 picture=549x299 file=big.jpg title=0 splash=0 "
            "panel=0 midi=title.mid wave=- box=- cursor=0 full=0");
  EXPECT_TRUE(fs::exists(out_ + "/picture.png"));
  // Copy and export take the picture at its full size.
  auto clipboard = testing_support::ReferenceDecode(out_ + "/clipboard.png");
  ASSERT_TRUE(clipboard.has_value());
  EXPECT_EQ(clipboard->width, 1100u);
  EXPECT_EQ(clipboard->height, 600u);
  auto exported = testing_support::ReferenceDecode(out_ + "/copy.bmp");
  ASSERT_TRUE(exported.has_value());
  EXPECT_EQ(exported->width, 1100u);
  EXPECT_EQ(testing_support::Compare(*exported, *clipboard).maxDelta, 0);
}

TEST_F(TourTest, NothingToShowEndsEarlyWithTheMessage) {
  const TourRun run = Tour("click 500 360\ntimer\nnext\n");
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_NE(run.lines[1].find("box=\"There are no images or subdirectories in the path of the "
                              "Tessary\\nTessary serach only"),
            std::string::npos)
      << run.lines[1];
}

TEST_F(TourTest, BadScriptsAndArgumentsAreRefusedBeforeAnythingRuns) {
  for (const char* script : {"jump 1 2\n", "click 1\n", "key space\n", "export x y\n",
                             "shot a/b\n", "state now\n"}) {
    const TourRun run = Tour(script);
    EXPECT_EQ(run.status, 2) << script;
    EXPECT_TRUE(run.lines.empty()) << script;
  }
  EXPECT_EQ(RunTour("").status, 2);
  EXPECT_EQ(RunTour("'" + disc_.Root() + "/missing' '" + out_ + "'").status, 2);
}

TEST_F(TourTest, WalkVisitsEveryPictureAndExportsEachForm) {
  disc_.Bmp("r1.bmp", 40, 30, 1);
  disc_.Bmp("A/a1.bmp", 50, 40, 2);
  disc_.Bmp("A/a2.bmp", 60, 50, 3);
  const TourRun run = RunTour("'" + disc_.Root() + "' '" + out_ + "'");
  ASSERT_EQ(run.status, 0);
  std::vector<std::string> filesSeen;
  for (const std::string& line : run.lines) {
    const size_t at = line.find(" file=");
    filesSeen.push_back(line.substr(at + 6, line.find(' ', at + 6) - at - 6));
  }
  // Next to the end, back to the start.
  const std::vector<std::string> expectedOrder = {"r1.bmp", "a1.bmp", "a2.bmp", "a1.bmp", "r1.bmp"};
  std::vector<std::string> changes;
  for (const std::string& file : filesSeen)
    if (file != "-" && (changes.empty() || changes.back() != file)) changes.push_back(file);
  EXPECT_EQ(changes, expectedOrder);
  const char* exports[] = {"1-jpeg.jpg", "2-png24.png", "3-png8.png", "4-bmp24.bmp",
                           "5-bmp8.bmp", "6-bmp4.bmp", "7-gif.gif"};
  for (const char* name : exports) {
    auto picture = testing_support::ReferenceDecode(out_ + "/export/" + name);
    ASSERT_TRUE(picture.has_value()) << name;
    EXPECT_EQ(picture->width, 40u) << name;
  }
  EXPECT_TRUE(fs::exists(out_ + "/001-state.png"));
  EXPECT_EQ(run.lines.size() + 0, static_cast<size_t>(std::distance(
                                      fs::directory_iterator(out_), fs::directory_iterator())) -
                                      2);  // every step's screenshot, the export folder, the clipboard
}

// Photos as cameras store them: the state line gives the upright fitted
// size, and the screenshot's picture area is within Lanczos quality of
// Pillow's upright decode.
TEST_F(TourTest, PhotosShowUprightAndClean) {
  struct Photo {
    const char* name;
    int width, height;  // upright, fitted
  };
  const Photo photos[] = {{"a.jpg", 549, 411}, {"b.jpg", 391, 470}, {"c.jpg", 549, 411}};
  ASSERT_TRUE(testing_support::MakePhoto("photo", 3264, 2448, 1, disc_.Path("a.jpg")));
  ASSERT_TRUE(testing_support::MakePhoto("photo", 2126, 1772, 6, disc_.Path("b.jpg")));
  fs::copy_file(testing_support::CorpusPath("jpeg", "pillow_junk_jpeg_header.jpg"), disc_.Path("c.jpg"));
  const TourRun run = Tour("click 500 360\ntimer\nshot a\nnext\nshot b\nnext\nshot c\n");
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 7u);
  for (int i = 0; i < 3; ++i) {
    const Photo& photo = photos[i];
    const std::string size = std::to_string(photo.width) + "x" + std::to_string(photo.height);
    EXPECT_NE(run.lines[size_t(2 * i + 1)].find(" picture=" + size + " file=" + photo.name),
              std::string::npos)
        << run.lines[size_t(2 * i + 1)];
    const auto screen = testing_support::ReferenceDecode(out_ + "/" + std::string(1, photo.name[0]) + ".png");
    ASSERT_TRUE(screen.has_value());
    // The picture sits centred in the area (204, 42)-(753, 512).
    const int left = 204 + 549 / 2 - photo.width / 2, top = 42 + 470 / 2 - photo.height / 2;
    testing_support::Picture shown;
    shown.width = uint32_t(photo.width);
    shown.height = uint32_t(photo.height);
    for (int y = 0; y < photo.height; ++y) {
      const auto row = screen->rgb.begin() + (long(top + y) * screen->width + left) * 3;
      shown.rgb.insert(shown.rgb.end(), row, row + photo.width * 3);
    }
    const auto reference = testing_support::UprightReference(disc_.Path(photo.name), photo.width, photo.height);
    ASSERT_TRUE(reference.has_value());
    EXPECT_GE(testing_support::Psnr(shown, *reference), 38.0) << photo.name;
  }
}

// The part of a state line that says where browsing is and what shows.
std::string Place(const std::string& line) {
  const size_t from = line.find("album=");
  const size_t to = line.find(" title=");
  return from == std::string::npos || to == std::string::npos ? line : line.substr(from, to - from);
}
bool EndsWith(const std::string& line, const std::string& end) {
  return line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0;
}

// The screen is 1024 x 768: a 16:9 photo fills its width, 1024 x 576, with
// black bands of 96 rows above and below.
TEST_F(TourTest, FullViewFitsThePictureToTheScreen) {
  ASSERT_TRUE(testing_support::MakePhoto("photo", 1600, 900, 1, disc_.Path("a.jpg")));
  // In, out and in again: the second time covers the screen as the first.
  const TourRun run = Tour("click 500 360\ntimer\ndblclick 478 277\nfullview\nfullview\nshot full\n");
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 6u);
  EXPECT_TRUE(EndsWith(run.lines[1], " full=0")) << run.lines[1];
  EXPECT_TRUE(EndsWith(run.lines[2], " full=1")) << run.lines[2];
  EXPECT_TRUE(EndsWith(run.lines[3], " full=0")) << run.lines[3];
  EXPECT_TRUE(EndsWith(run.lines[5], " full=1")) << run.lines[5];
  const auto screen = testing_support::ReferenceDecode(out_ + "/full.png");
  ASSERT_TRUE(screen.has_value());
  ASSERT_EQ(screen->width, 1024u);
  ASSERT_EQ(screen->height, 768u);
  for (int band : {0, 95, 672, 767}) {
    const auto row = screen->rgb.begin() + long(band) * 1024 * 3;
    EXPECT_TRUE(std::all_of(row, row + 1024 * 3, [](uint8_t v) { return v == 0; })) << band;
  }
  testing_support::Picture shown;
  shown.width = 1024;
  shown.height = 576;
  shown.rgb.assign(screen->rgb.begin() + 96L * 1024 * 3, screen->rgb.begin() + 672L * 1024 * 3);
  const auto reference = testing_support::UprightReference(disc_.Path("a.jpg"), 1024, 576);
  ASSERT_TRUE(reference.has_value());
  EXPECT_GE(testing_support::Psnr(shown, *reference), 34.0);
}

// A picture that cannot be shown says why in full view too, white on black.
TEST_F(TourTest, FullViewSaysWhyAPictureCannotBeShown) {
  disc_.Bmp("a.bmp", 40, 30, 1);
  disc_.Text("b.jpg", "not a picture inside");
  const TourRun run = Tour("click 500 360\ntimer\nnext\nfullview\nshot bad\n");
  ASSERT_EQ(run.status, 0);
  const auto screen = testing_support::ReferenceDecode(out_ + "/bad.png");
  ASSERT_TRUE(screen.has_value());
  size_t white = 0;
  for (size_t i = 0; i + 2 < screen->rgb.size(); i += 3) {
    white += screen->rgb[i] == 255 && screen->rgb[i + 1] == 255 && screen->rgb[i + 2] == 255;
  }
  EXPECT_GT(white, 100u);
}

// Paging in full view is Next's and Prev's: the same places, albums crossed,
// the title page shown white on black; Escape returns to the window there.
TEST_F(TourTest, FullViewPagesAsTheWindowDoes) {
  disc_.Bmp("r.bmp", 40, 30, 1);
  disc_.Text("A/title.txt", "Album A");
  disc_.Bmp("A/x.bmp", 64, 48, 2);
  const std::string paging = "next\nshot title\nnext\nprev\nprev\nnext\nnext\n";
  const TourRun window = Tour("click 500 360\ntimer\n" + paging);
  const TourRun full = Tour("click 500 360\ntimer\nfullview\n" + paging + "key escape\n");
  ASSERT_EQ(window.status, 0);
  ASSERT_EQ(full.status, 0);
  ASSERT_EQ(full.lines.size(), window.lines.size() + 2);
  for (size_t i = 2; i < window.lines.size(); ++i) {
    EXPECT_EQ(Place(full.lines[i + 1]), Place(window.lines[i])) << full.lines[i + 1];
    EXPECT_TRUE(EndsWith(full.lines[i + 1], " full=1")) << full.lines[i + 1];
  }
  EXPECT_EQ(Place(full.lines.back()), "album=1/2 index=0/1 picture=64x48 file=x.bmp");
  EXPECT_TRUE(EndsWith(full.lines.back(), " full=0"));
  const auto title = testing_support::ReferenceDecode(out_ + "/title.png");
  ASSERT_TRUE(title.has_value());
  ASSERT_EQ(title->width, 1024u);
  size_t white = 0, other = 0;
  for (size_t i = 0; i < title->rgb.size(); i += 3) {
    const uint8_t r = title->rgb[i], g = title->rgb[i + 1], b = title->rgb[i + 2];
    if (r == 255 && g == 255 && b == 255) ++white;
    if (r != g || g != b) ++other;
  }
  EXPECT_GT(white, 200u);  // large letters
  EXPECT_EQ(other, 0u);    // nothing but grey levels of white on black
}

// Each timer step turns one page, across the album; the last page ends the
// show; a key stops it where it is.
TEST_F(TourTest, SlideshowTurnsPagesOnItsTimerAndStops) {
  disc_.Bmp("r1.bmp", 40, 30, 1);
  disc_.Bmp("r2.bmp", 40, 30, 2);
  disc_.Text("A/title.txt", "Album A");
  disc_.Bmp("A/x.bmp", 64, 48, 3);
  const TourRun show = Tour("click 500 360\ntimer\nslideshow\ntimer\ntimer\ntimer\ntimer\nkey escape\n");
  ASSERT_EQ(show.status, 0);
  ASSERT_EQ(show.lines.size(), 8u);
  const char* places[] = {"album=0/2 index=0/2 picture=40x30 file=r1.bmp",
                          "album=0/2 index=1/2 picture=40x30 file=r2.bmp",
                          "album=1/2 index=-1/1 picture=0x0 file=r2.bmp",
                          "album=1/2 index=0/1 picture=64x48 file=x.bmp",
                          "album=1/2 index=0/1 picture=64x48 file=x.bmp"};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Place(show.lines[i + 2]), places[i]) << show.lines[i + 2];
    EXPECT_TRUE(EndsWith(show.lines[i + 2], " full=1"));
  }
  EXPECT_TRUE(EndsWith(show.lines[7], " full=0"));

  const TourRun stopped = Tour("click 500 360\ntimer\nslideshow\ntimer\nkey enter\ntimer\n");
  ASSERT_EQ(stopped.status, 0);
  ASSERT_EQ(stopped.lines.size(), 6u);
  EXPECT_EQ(Place(stopped.lines[5]), "album=0/2 index=1/2 picture=40x30 file=r2.bmp");
  EXPECT_TRUE(EndsWith(stopped.lines[5], " full=1"));
}

}  // namespace
