// Where Prev, Next and the album list lead, asked of the navigation model
// alone (no window): walks over disc layouts, each step's position and what
// the window is told to do, in order; the pages the model predicts for Next
// and Prev checked against where the steps then land; the title step.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "catalogue/album_names.h"
#include "catalogue/folder_scan.h"
#include "catalogue/navigation_model.h"
#include "platform/headless/headless.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"

namespace {

using Kind = NavigationEffect::Kind;

struct WalkStep {
  const char* action;  // "start", "next", "prev", "select N"
  int album;           // after the step
  int index;
  // What the window is told, in order: stop, enter:N, clear, music:REL,
  // sound:REL, title:TEXT, load:REL (paths relative to the disc).
  const char* plan;
};

struct Layout {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // path, "bmp" or text content
  std::vector<WalkStep> walk;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.name; }

class NavigationModelTest : public testing_support::DiscFixture,
                            public ::testing::WithParamInterface<Layout> {
 protected:
  void Build(const Layout& layout) {
    for (const auto& [path, content] : layout.files) {
      if (content == "bmp") {
        disc_.Bmp(path, 8, 8);
      } else if (content == "folder") {
        disc_.Folder(path);
      } else {
        disc_.Text(path, content);
      }
    }
    ScanRootFolder(disc_.Root().c_str(), model_.Albums(), model_.Pictures());
  }

  std::string Relative(const CString& path) const {
    const std::string full = path.str();
    const std::string root = disc_.Root() + "/";
    return full.rfind(root, 0) == 0 ? full.substr(root.size()) : full;
  }

  std::string Describe(const NavigationPlan& plan) const {
    std::string out;
    for (const NavigationEffect& effect : plan) {
      if (!out.empty()) out += ' ';
      switch (effect.kind) {
        case Kind::kStopWave: out += "stop"; break;
        case Kind::kEnterAlbum: out += "enter:" + std::to_string(effect.album); break;
        case Kind::kClearPicture: out += "clear"; break;
        case Kind::kPlayMusicFor: out += "music:" + Relative(effect.path); break;
        case Kind::kPlaySoundFor: out += "sound:" + Relative(effect.path); break;
        case Kind::kShowTitle: out += "title:" + effect.text.str(); break;
        case Kind::kLoadPicture: out += "load:" + Relative(effect.path); break;
      }
    }
    return out;
  }

  NavigationPlan Perform(const std::string& action) {
    if (action == "start") return model_.Start(disc_.Root().c_str());
    if (action == "next") return model_.Next();
    if (action == "prev") return model_.Prev();
    return model_.SelectAlbum(std::stoi(action.substr(7)));
  }

  // The page predicted before a step must be where the step lands.
  void ExpectLandedOn(const NavigationPage& predicted, int albumBefore, int indexBefore,
                      const NavigationPlan& plan) {
    if (predicted.kind == NavigationPage::Kind::kNone) {
      EXPECT_EQ(model_.Album(), albumBefore);
      EXPECT_EQ(model_.Index(), indexBefore);
      for (const NavigationEffect& effect : plan) EXPECT_EQ(effect.kind, Kind::kStopWave);
      return;
    }
    EXPECT_EQ(model_.Album(), predicted.album);
    EXPECT_EQ(model_.Index(), predicted.index);
    const bool onPicture = model_.Index() >= 0 && model_.Index() < model_.Pictures().GetSize();
    EXPECT_EQ(predicted.kind == NavigationPage::Kind::kPicture, onPicture);
    EXPECT_EQ(predicted.kind == NavigationPage::Kind::kTitle, model_.Index() == -1 &&
                                                                  !plan.empty() &&
                                                                  plan.back().kind == Kind::kShowTitle);
    if (onPicture) {
      EXPECT_EQ(predicted.picture.str(), model_.Pictures().GetAt(model_.Index()).str());
      ASSERT_FALSE(plan.empty());
      EXPECT_EQ(plan.back().kind, Kind::kLoadPicture) << "the picture landed on is loaded last";
      EXPECT_EQ(plan.back().path.str(), predicted.picture.str());
    }
  }

  NavigationModel model_;
};

TEST_P(NavigationModelTest, WalksAsDesigned) {
  const Layout& layout = GetParam();
  Build(layout);
  for (const WalkStep& step : layout.walk) {
    SCOPED_TRACE(step.action + std::string(" to ") + std::to_string(step.album) + "/" +
                 std::to_string(step.index));
    const std::string action = step.action;
    const NavigationPage after = model_.PageAfter();
    const NavigationPage before = model_.PageBefore();
    const int albumBefore = model_.Album();
    const int indexBefore = model_.Index();
    const NavigationPlan plan = Perform(action);
    EXPECT_EQ(Describe(plan), step.plan);
    EXPECT_EQ(model_.Album(), step.album);
    EXPECT_EQ(model_.Index(), step.index);
    if (action == "next") ExpectLandedOn(after, albumBefore, indexBefore, plan);
    if (action == "prev") ExpectLandedOn(before, albumBefore, indexBefore, plan);
  }
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

const Layout kLayouts[] = {
    {"ThreeAlbums",
     {{"r.bmp", "bmp"}, {"A/title.txt", "Summer"}, {"A/a1.bmp", "bmp"}, {"A/a2.bmp", "bmp"},
      {"B/b1.bmp", "bmp"}, {"B/b2.bmp", "bmp"}},
     {{"start", 0, 0, "music:title.mid sound:title.wav load:r.bmp load:r.bmp"},
      {"next", 1, -1, "stop stop enter:1 music:A/title.mid sound:A/title.wav title:Summer"},
      {"next", 1, 0, "stop load:A/a1.bmp"},
      {"next", 1, 1, "stop load:A/a2.bmp"},
      // B has no title page: its first picture.
      {"next", 2, 0, "stop stop enter:2 music:B/title.mid sound:B/title.wav load:B/b1.bmp"},
      {"next", 2, 1, "stop load:B/b2.bmp"},
      {"next", 2, 1, "stop"},  // the last picture of the last album: no change
      {"prev", 2, 0, "stop load:B/b1.bmp"},
      // B's title step shows its first picture again; then A going back: no
      // title.wav, no title page, its last picture.
      {"prev", 1, 1,
       "stop music:B/title.mid sound:B/title.wav load:B/b1.bmp stop enter:1 music:A/title.mid "
       "title:Summer load:A/a2.bmp"},
      {"prev", 1, 0, "stop load:A/a1.bmp"},
      {"prev", 1, -1, "stop music:A/title.mid sound:A/title.wav title:Summer"},
      {"prev", 0, 0, "stop stop enter:0 music:title.mid load:r.bmp"},
      // The root has no title page: its first picture again, and there it stays.
      {"prev", 0, 0, "stop music:title.mid sound:title.wav load:r.bmp"},
      {"select 2", 2, 0, "stop enter:2 music:B/title.mid sound:B/title.wav load:B/b1.bmp"},
      {"select 1", 1, -1, "stop enter:1 music:A/title.mid sound:A/title.wav title:Summer"},
      {"select 9", 1, -1, ""}}},
    {"RootWithoutPictures",
     {{"A/a1.bmp", "bmp"}, {"A/a2.bmp", "bmp"}, {"B/b1.bmp", "bmp"}},
     {{"start", 0, 0, "music:title.mid sound:title.wav"},
      // Browsing passes the empty root over.
      {"next", 1, 0, "stop stop enter:1 music:A/title.mid sound:A/title.wav load:A/a1.bmp"},
      {"next", 1, 1, "stop load:A/a2.bmp"},
      {"prev", 1, 0, "stop load:A/a1.bmp"},
      // The start of the first album shown: the title step, and no going back
      // into the root (which would pass over to this album's last picture).
      {"prev", 1, 0, "stop music:A/title.mid sound:A/title.wav load:A/a1.bmp"},
      {"prev", 1, 0, "stop music:A/title.mid sound:A/title.wav load:A/a1.bmp"},
      {"next", 1, 1, "stop load:A/a2.bmp"},
      {"next", 2, 0, "stop stop enter:2 music:B/title.mid sound:B/title.wav load:B/b1.bmp"},
      {"prev", 1, 1,
       "stop music:B/title.mid sound:B/title.wav load:B/b1.bmp stop enter:1 music:A/title.mid "
       "load:A/a2.bmp"},
      // Choosing the root in the list passes it over too.
      {"select 0", 1, 0,
       "stop enter:0 clear music:title.mid sound:title.wav stop stop enter:1 music:A/title.mid "
       "sound:A/title.wav load:A/a1.bmp"}}},
    {"RootTitlePage",
     {{"title.txt", "Welcome"}, {"r1.bmp", "bmp"}, {"r2.bmp", "bmp"}, {"A/a.bmp", "bmp"}},
     {{"start", 0, -1, "music:title.mid sound:title.wav title:Welcome"},
      // Prev on the first album's title page changes nothing.
      {"prev", 0, -1, "stop"},
      {"next", 0, 0, "stop load:r1.bmp"},
      {"prev", 0, -1, "stop music:title.mid sound:title.wav title:Welcome"},
      {"next", 0, 0, "stop load:r1.bmp"},
      {"next", 0, 1, "stop load:r2.bmp"},
      {"next", 1, 0, "stop stop enter:1 music:A/title.mid sound:A/title.wav load:A/a.bmp"},
      // Going back into the root: its title page is shown on the way (no
      // title.wav), then its last picture.
      {"prev", 0, 1,
       "stop music:A/title.mid sound:A/title.wav load:A/a.bmp stop enter:0 music:title.mid "
       "title:Welcome load:r2.bmp"}}},
    {"RootPassedOverFirstAlbumTitled",
     {{"A/title.txt", "Alps"}, {"A/a1.bmp", "bmp"}, {"B/b1.bmp", "bmp"}},
     {{"start", 0, 0, "music:title.mid sound:title.wav"},
      {"next", 1, -1, "stop stop enter:1 music:A/title.mid sound:A/title.wav title:Alps"},
      {"prev", 1, -1, "stop"},
      {"next", 1, 0, "stop load:A/a1.bmp"},
      {"prev", 1, -1, "stop music:A/title.mid sound:A/title.wav title:Alps"},
      {"prev", 1, -1, "stop"}}},
    {"EmptyAlbumBetween",
     {{"r1.bmp", "bmp"}, {"E", "folder"}, {"F/f1.bmp", "bmp"}},
     {{"start", 0, 0, "music:title.mid sound:title.wav load:r1.bmp load:r1.bmp"},
      {"next", 1, 0, "stop stop enter:1 clear music:E/title.mid sound:E/title.wav"},
      {"next", 2, 0, "stop stop enter:2 music:F/title.mid sound:F/title.wav load:F/f1.bmp"},
      // Into the empty album going back: nothing to show, the index -1.
      {"prev", 1, -1,
       "stop music:F/title.mid sound:F/title.wav load:F/f1.bmp stop enter:1 clear "
       "music:E/title.mid"},
      {"prev", 0, 0, "stop stop enter:0 music:title.mid load:r1.bmp"}}},
};

INSTANTIATE_TEST_SUITE_P(Layouts, NavigationModelTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& layout) {
                           return std::string(layout.param.name);
                         });

// Prev looks pressed wherever it leads somewhere: not on the first shown
// album's title page.
TEST_F(NavigationModelTest, PrevLeadsNowhereOnlyOnTheFirstTitlePage) {
  disc_.Text("A/title.txt", "A");
  disc_.Bmp("A/a.bmp", 8, 8);
  disc_.Text("B/title.txt", "B");
  disc_.Bmp("B/b.bmp", 8, 8);
  ScanRootFolder(disc_.Root().c_str(), model_.Albums(), model_.Pictures());
  model_.Start(disc_.Root().c_str());
  EXPECT_TRUE(model_.PrevLeadsAnywhere()) << "the empty root's index 0";
  model_.Next();  // the root passed over: A's title page
  EXPECT_FALSE(model_.PrevLeadsAnywhere());
  model_.Next();
  EXPECT_TRUE(model_.PrevLeadsAnywhere());
  model_.Next();  // B's title page
  EXPECT_TRUE(model_.PrevLeadsAnywhere());
  // With the side panel the root is never passed over.
  model_.SetSidePanelShown(true);
  model_.SelectAlbum(1);
  EXPECT_TRUE(model_.PrevLeadsAnywhere());
}

// --- The title step ------------------------------------------------------------------

struct TitleCase {
  const char* name;          // also the album's folder
  const char* titleTxtName;  // nullptr: no title text file
  std::string titleText;
  bool goingBack;
  const char* plan;          // as above, with TEXT for the title's text
  int expectedIndex;         // the index starts at 5
  bool expectTooLarge;       // "The file is too large to open."
};

const std::string kLongestTitle(0xFFFFF, 'a');
const std::string kTooLongTitle(0x100000, 'a');

const TitleCase kTitleCases[] = {
    {"TitlePage", "title.txt", "Summer 1999\r\nat the beach", false,
     "music:D/title.mid sound:D/title.wav title:TEXT", -1, false},
    {"GoingBackOntoATitlePage", "title.txt", "Winter", true, "music:D/title.mid title:TEXT", -1,
     false},
    {"UpperCaseTitleFile", "TITLE.TXT", "Spring", false,
     "music:D/title.mid sound:D/title.wav title:TEXT", -1, false},
    {"LongestTitle", "title.txt", kLongestTitle, false,
     "music:D/title.mid sound:D/title.wav title:TEXT", -1, false},
    {"NoTitlePage", nullptr, "", false, "music:D/title.mid sound:D/title.wav load:D/a.jpg", 0,
     false},
    {"GoingBackWithoutATitlePage", nullptr, "", true, "music:D/title.mid", 5, false},
    {"TitleTooLarge", "title.txt", kTooLongTitle, false,
     "music:D/title.mid sound:D/title.wav load:D/a.jpg", 0, true},
};

class TitleStepTest : public NavigationModelTest {};

TEST_F(TitleStepTest, ShowsTheTitleTextOrTheFirstPicture) {
  for (const TitleCase& c : kTitleCases) {
    SCOPED_TRACE(c.name);
    const std::string folder = std::string(c.name) + "/D";
    disc_.Text(folder + "/a.jpg", "not decoded here");
    if (c.titleTxtName != nullptr) disc_.Text(folder + "/" + c.titleTxtName, c.titleText);
    ScanRootFolder(disc_.Root().c_str(), model_.Albums(), model_.Pictures());
    model_.AlbumFolder() = disc_.Path(folder).c_str();
    ScanAlbumFolder(model_.AlbumFolder(), model_.Pictures());
    model_.Index() = 5;
    std::string expected = c.plan;
    const size_t text = expected.find("TEXT");
    if (text != std::string::npos) expected.replace(text, 4, c.titleText);
    std::string described = Describe(model_.ShowTitle(c.goingBack));
    const std::string prefix = std::string(c.name) + "/";
    for (size_t at; (at = described.find(prefix)) != std::string::npos;) described.erase(at, prefix.size());
    EXPECT_TRUE(described == expected) << described.substr(0, 200);
    EXPECT_EQ(model_.Index(), c.expectedIndex);
    EXPECT_EQ(HasTitlePage(disc_.Path(folder).c_str()), c.titleTxtName != nullptr && !c.expectTooLarge);
    const auto boxes = headless::TakeMessageBoxes();
    ASSERT_EQ(boxes.size(), c.expectTooLarge ? 1u : 0u);
    if (c.expectTooLarge) {
      EXPECT_EQ(boxes[0].text, "The file is too large to open.");
    }
  }
}

}  // namespace
