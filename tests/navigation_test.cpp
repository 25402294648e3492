// Pointer input and navigation over disc folders the tests build: Next and
// Prev across albums with and without title pages, the zones' pressed and
// hover states, the splash area, the hidden buttons, and what is painted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "app/viewer_app.h"
#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/backend.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

using testing_support::Disc;
using testing_support::Scenario;

// Client points inside each zone.
constexpr int kNextX = 690, kNextY = 575;
constexpr int kPrevX = 630, kPrevY = 570;
constexpr int kCloseX = 30, kCloseY = 30;

struct Expected {
  const char* action;  // "next", "prev", "start"
  int album;
  int index;
  int title;
  const char* file;   // bare name on show; "" for none
  const char* wave;   // wave playing after the step; "-" for none
  const char* midi;   // bare name of the music playing; "-" for none
};

class NavigationTest : public testing_support::DiscFixture {
 protected:
  // root: r.bmp; A: title.txt, title.mid, title.wav, a1, a2 (a1.wav beside a1);
  // B: title.wav (no title page), b1, b2, b2.mid.
  void MakeThreeAlbums() {
    disc_.Bmp("r.bmp", 40, 30, 1);
    disc_.Text("A/title.txt", "Summer\r\nat the sea");
    disc_.Midi("A/title.mid", 60);
    waves_.push_back(disc_.Wave("A/title.wav", 1));
    disc_.Bmp("A/a1.bmp", 50, 40, 2);
    waves_.push_back(disc_.Wave("A/a1.wav", 2));
    disc_.Bmp("A/a2.bmp", 60, 50, 3);
    waves_.push_back(disc_.Wave("B/title.wav", 3));
    disc_.Bmp("B/b1.bmp", 70, 60, 4);
    disc_.Bmp("B/b2.bmp", 80, 70, 5);
    disc_.Midi("B/b2.mid", 64);
  }

  void ExpectState(CViewerDlg& viewer, const Expected& e) {
    SCOPED_TRACE(e.action);
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), e.album);
    EXPECT_EQ(viewer.m_currentIndex, e.index);
    EXPECT_EQ(viewer.m_titleShown, e.title);
    if (e.index == -1 && e.title) {
      EXPECT_EQ(viewer.m_pictureBitmap, nullptr) << "the title page shows no picture";
    }
    const std::string path = viewer.m_currentPicturePath.str();
    EXPECT_EQ(path.substr(path.find_last_of('/') + 1), e.file);
    EXPECT_EQ(testing_support::WaveNowPlaying(waves_), e.wave);
    const std::string midi = headless::MidiPlaying();
    EXPECT_EQ(midi.empty() ? "-" : midi.substr(midi.find_last_of('/') + 1), e.midi);
  }

  std::vector<std::string> waves_;
};

TEST_F(NavigationTest, NextAndPrevWalkPicturesTitlePagesAndAlbums) {
  MakeThreeAlbums();
  const Expected walk[] = {
      {"start", 0, 0, 0, "r.bmp", "-", "-"},
      // A's title page; the last picture's name stays, undrawn.
      {"next", 1, -1, 1, "r.bmp", "title.wav", "title.mid"},
      {"next", 1, 0, 0, "a1.bmp", "a1.wav", "title.mid"},
      {"next", 1, 1, 0, "a2.bmp", "-", "title.mid"},     // Next stopped a1.wav
      {"next", 2, 0, 0, "b1.bmp", "title.wav", "title.mid"},  // B: no title page
      {"next", 2, 1, 0, "b2.bmp", "-", "b2.mid"},
      {"next", 2, 1, 0, "b2.bmp", "-", "b2.mid"},        // last of the last: no change
      {"prev", 2, 0, 0, "b1.bmp", "-", "b2.mid"},
      // Into A going back: its title.wav is not played, its last picture shown.
      {"prev", 1, 1, 0, "a2.bmp", "-", "title.mid"},
      {"prev", 1, 0, 0, "a1.bmp", "a1.wav", "title.mid"},
      {"prev", 1, -1, 1, "a1.bmp", "title.wav", "title.mid"},  // title page again
      {"prev", 0, 0, 0, "r.bmp", "-", "title.mid"},
      // The root has no title page: Prev shows its first picture and stays.
      {"prev", 0, 0, 0, "r.bmp", "-", "title.mid"},
  };
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  for (const Expected& step : walk) {
    const std::string name = std::string(step.action) + " to " + std::to_string(step.album) + "/" +
                             std::to_string(step.index);
    if (std::string(step.action) == "next") scenario.Click(name, viewer, kNextX, kNextY);
    if (std::string(step.action) == "prev") scenario.Click(name, viewer, kPrevX, kPrevY);
    scenario.Call("check " + name, [this, &viewer, step] { ExpectState(viewer, step); });
  }
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, HiddenButtonsAndListSelectionReachTheSameOperations) {
  MakeThreeAlbums();
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  auto command = [&viewer](int id, int code = BN_CLICKED) {
    CWnd* control = viewer.GetDlgItem(id);
    viewer.SendMessage(WM_COMMAND, MAKEWPARAM(id, code),
                       reinterpret_cast<LPARAM>(control != nullptr ? control->m_hWnd : nullptr));
  };
  scenario.Call("Next button", [&] {
    command(IDC_NEXT);
    ExpectState(viewer, {"next button", 1, -1, 1, "r.bmp", "title.wav", "title.mid"});
  });
  scenario.Call("Prev button", [&] {
    command(IDC_PREV);
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    EXPECT_EQ(viewer.m_currentIndex, 0);
  });
  scenario.Call("select album B", [&] {
    viewer.m_albumListBox.SetCurSel(2);
    command(IDC_ALBUM_LIST, LBN_SELCHANGE);
    ExpectState(viewer, {"select", 2, 0, 0, "b1.bmp", "title.wav", "title.mid"});
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, PressedZoneReleasedOutsideRunsNoCommand) {
  MakeThreeAlbums();
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  uint32_t unpressed = 0;
  scenario.Call("look before", [&] { unpressed = testing_support::WindowPixel(viewer, 680, 570); });
  scenario.Pointer("press Next", viewer, WM_LBUTTONDOWN, kNextX, kNextY, MK_LBUTTON);
  scenario.Call("Next looks pressed", [&] {
    EXPECT_EQ(viewer.m_nextPressedFlag, 1);
    // The pressed image (skin 156) is drawn at (669, 552).
    const uint32_t shown = testing_support::WindowPixel(viewer, 680, 570);
    EXPECT_NE(shown, unpressed);
  });
  scenario.Pointer("release outside", viewer, WM_LBUTTONUP, 400, 300);
  scenario.Call("nothing ran", [&] {
    EXPECT_EQ(viewer.m_nextPressedFlag, 0);
    EXPECT_EQ(viewer.m_currentIndex, 0);
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    EXPECT_EQ(testing_support::WindowPixel(viewer, 680, 570), unpressed);
  });
  // A release inside a zone runs its command wherever the press was.
  scenario.Pointer("press elsewhere", viewer, WM_LBUTTONDOWN, 400, 300, MK_LBUTTON);
  scenario.Pointer("release on Next", viewer, WM_LBUTTONUP, kNextX, kNextY);
  scenario.Call("Next ran", [&] { EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 1); });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, DoubleClickOnNextRunsItTwice) {
  MakeThreeAlbums();
  disc_.Bmp("r2.bmp", 40, 30, 6);
  disc_.Bmp("r3.bmp", 40, 30, 7);
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Click("click", viewer, kNextX, kNextY);
  scenario.Pointer("second press as double-click", viewer, WM_LBUTTONDBLCLK, kNextX, kNextY,
                   MK_LBUTTON);
  scenario.Pointer("second release", viewer, WM_LBUTTONUP, kNextX, kNextY);
  scenario.Call("two steps on", [&] { EXPECT_EQ(viewer.m_currentIndex, 2); });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, PrevOnTheFirstTitlePageNeitherLooksPressedNorLeaves) {
  disc_.Text("title.txt", "Welcome");
  disc_.Bmp("r1.bmp", 40, 30, 1);
  disc_.Bmp("r2.bmp", 40, 30, 2);
  disc_.Bmp("A/a.bmp", 40, 30, 3);
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("root title page", [&] {
    EXPECT_EQ(viewer.m_currentIndex, -1);
    EXPECT_EQ(viewer.m_titleShown, 1);
  });
  scenario.Pointer("press Prev", viewer, WM_LBUTTONDOWN, kPrevX, kPrevY, MK_LBUTTON);
  scenario.Call("not pressed", [&] { EXPECT_EQ(viewer.m_prevPressedFlag, 0); });
  scenario.Pointer("release Prev", viewer, WM_LBUTTONUP, kPrevX, kPrevY);
  scenario.Call("the title page stays, the counter reads 0", [&] {
    EXPECT_EQ(viewer.m_currentIndex, -1);
    EXPECT_EQ(viewer.m_titleShown, 1);
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, SplashClickStartsTheScanOnlyInsideItsArea) {
  disc_.Bmp("r.bmp", 40, 30, 1);
  CViewerDlg viewer;
  Scenario scenario;
  scenario.Click("click on the splash outside the area", viewer, 295, 210);
  scenario.AdvanceClock("wait", 1000);
  scenario.Call("still the splash", [&] {
    EXPECT_EQ(viewer.m_splashShown, 1);
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 0);
  });
  scenario.Click("click inside", viewer, 300, 300);
  scenario.Call("splash gone, scan not yet", [&] {
    EXPECT_EQ(viewer.m_splashShown, 0);
    EXPECT_EQ(viewer.m_titleText.str(), "Searching Directories...");
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 0);
  });
  scenario.AdvanceClock("almost half a second", 499);
  scenario.Call("not yet", [&] { EXPECT_EQ(viewer.m_pictureList.GetSize(), 0); });
  scenario.AdvanceClock("half a second", 1);
  scenario.Call("scanned and shown", [&] {
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 1);
    EXPECT_EQ(viewer.m_pictureWidth, 40);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(NavigationTest, CloseZoneHighlightsUnderThePointerAndEndsTheViewer) {
  disc_.Bmp("r.bmp", 40, 30, 1);
  CViewerDlg viewer;
  Scenario scenario;
  uint32_t plain = 0;
  scenario.Call("look", [&] { plain = testing_support::WindowPixel(viewer, 20, 20); });
  scenario.Pointer("over Close", viewer, WM_MOUSEMOVE, kCloseX, kCloseY);
  scenario.Call("highlighted", [&] {
    EXPECT_EQ(viewer.m_closeHover, 1);
    EXPECT_NE(testing_support::WindowPixel(viewer, 20, 20), plain);
  });
  scenario.Pointer("away", viewer, WM_MOUSEMOVE, 100, 100);
  scenario.Call("plain again", [&] {
    EXPECT_EQ(viewer.m_closeHover, 0);
    EXPECT_EQ(testing_support::WindowPixel(viewer, 20, 20), plain);
  });
  scenario.Click("Close", viewer, kCloseX, kCloseY);
  scenario.Run(viewer, IDOK);
}

// The picture at its place, its shadow, and text where the file name and
// the counter go, on a picture whose pixels the test made.
TEST_F(NavigationTest, PaintsThePictureCentredWithShadowNameAndCounter) {
  const int width = 301, height = 201;
  disc_.Bmp("photo.bmp", width, height, 3);
  disc_.Bmp("second.bmp", 20, 20, 4);
  CViewerDlg viewer;
  Scenario scenario;
  uint32_t emptyName = 0, emptyCounter = 0;
  scenario.Call("before browsing", [&] {
    // Caption places before anything is written there.
    emptyName = testing_support::WindowPixel(viewer, 420, 572);
    emptyCounter = testing_support::WindowPixel(viewer, 556, 572);
  });
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("painted", [&] {
    const int left = 478 - width / 2, top = 277 - height / 2;
    for (auto [x, y] : {std::pair{0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1},
                        {width / 2, height / 3}}) {
      uint8_t rgb[3];
      testing_support::KnownPixel(3, x, y, rgb);
      const uint32_t expected = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
      EXPECT_EQ(testing_support::WindowPixel(viewer, left + x, top + y), expected) << x << "," << y;
    }
    // The shadow strips are the skin's shadow images, as Pillow decodes them:
    // the bottom one from its left end, the right one upward from its
    // second-to-last row.
    const std::string skins = std::string(TESSARY_SOURCE_DIR) + "/resources/skin/";
    auto bottomSkin = testing_support::ReferenceDecode(skins + "154_shadow_bottom.jpg");
    auto rightSkin = testing_support::ReferenceDecode(skins + "153_shadow_right.jpg");
    ASSERT_TRUE(bottomSkin && rightSkin);
    auto near = [](uint32_t shown, const testing_support::Picture& skin, int x, int y) {
      const uint8_t* p = &skin.rgb[(size_t(y) * skin.width + x) * 3];
      for (int c = 0; c < 3; ++c) {
        const int channel = int(shown >> (16 - 8 * c)) & 0xFF;
        if (std::abs(channel - p[c]) > 2) return false;
      }
      return true;
    };
    for (int x : {0, width / 2, width - 12}) {  // the corner covers the last pixels
      EXPECT_TRUE(near(testing_support::WindowPixel(viewer, left + 4 + x, top + height + 1),
                       *bottomSkin, x, 1)) << "bottom shadow at " << x;
    }
    for (int r : {0, height / 2, height - 10}) {
      EXPECT_TRUE(near(testing_support::WindowPixel(viewer, left + width + 2, top + 3 + r),
                       *rightSkin, 2, 483 - r)) << "right shadow row " << r;
    }
    // Some pixel of each caption line changed colour: text was drawn there.
    int nameInk = 0, counterInk = 0;
    for (int x = 400; x < 476; ++x)
      for (int y = 565; y < 580; ++y) nameInk += testing_support::WindowPixel(viewer, x, y) != emptyName;
    for (int x = 550; x < 580; ++x)
      for (int y = 565; y < 580; ++y)
        counterInk += testing_support::WindowPixel(viewer, x, y) != emptyCounter;
    EXPECT_GT(nameInk, 20);
    EXPECT_GT(counterInk, 10);
    EXPECT_EQ(viewer.m_pictureWidth, width);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

}  // namespace

namespace {

// Damaged pictures show an empty picture area, say nothing, and browsing goes
// on; an album whose folder has gone since the scan shows empty.
TEST_F(NavigationTest, DamagedPicturesAndVanishedAlbumsShowNothingAndBrowsingGoesOn) {
  disc_.Bmp("a-good.bmp", 40, 30, 1);
  disc_.Text("b-empty.jpg", "");
  disc_.Text("c-text.png", "this is not a picture");
  const std::string whole = disc_.Jpeg("d-truncated.jpg", 300, 200, 2);
  fs::resize_file(whole, fs::file_size(whole) / 2);
  // A GIF header that declares 65535 x 65535 pixels and holds almost nothing.
  static const char kHugeGif[] =
      "GIF89a\x90\x01\x4b\x01\x00\x00\x00"           // a 400 x 331 screen
      ",\x00\x00\x00\x00\xff\xff\xff\xff\x00"         // an image of 65535 x 65535
      "\x02\x02\x44\x01\x00;";                      // two bytes of codes, the end
  disc_.Text("e-huge.gif", std::string(kHugeGif, sizeof kHugeGif - 1));
  disc_.Bmp("f-good.bmp", 50, 40, 3);
  disc_.Bmp("Gone/g.bmp", 20, 20, 4);
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  // libjpeg hands back what a truncated file holds, the rest grey.
  const int expectedWidths[] = {0, 0, 300, 0, 50};
  for (int i = 0; i < 5; ++i) {
    scenario.Click("next " + std::to_string(i + 1), viewer, kNextX, kNextY);
    scenario.Call("check " + std::to_string(i + 1), [&, i] {
      EXPECT_EQ(viewer.m_currentIndex, i + 1);
      EXPECT_EQ(viewer.m_pictureWidth, expectedWidths[i]);
      EXPECT_EQ(viewer.m_pictureBitmap == nullptr, expectedWidths[i] == 0);
      EXPECT_EQ(headless::WaitCursorCount(), 0);
    });
  }
  scenario.Call("the album's folder goes away", [&] { fs::remove_all(disc_.Path("Gone")); });
  scenario.Click("next into it", viewer, kNextX, kNextY);
  scenario.Call("empty album", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 1);
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 0);
    EXPECT_EQ(viewer.m_pictureBitmap, nullptr);
  });
  scenario.Click("prev out of it", viewer, kPrevX, kPrevY);
  scenario.Call("back on the last root picture", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    EXPECT_EQ(viewer.m_pictureWidth, 50);
    EXPECT_TRUE(headless::TakeMessageBoxes().empty());
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

}  // namespace

namespace {

struct KeyCase {
  const char* name;
  UINT key;
  bool control;
  int album;  // after the key, from the root's first of two pictures
  int index;
  bool about;     // the About box opened
  bool copied;    // the clipboard holds the picture
  bool exported;  // the Save As dialog was shown
  bool fullView;  // pressed in full view
  bool fullAfter;  // full view still shown after the key
};

class KeyTest : public NavigationTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyTest, KeysReachTheHiddenButtonsOperations) {
  const KeyCase& key = GetParam();
  disc_.Bmp("r1.bmp", 40, 30, 1);
  disc_.Bmp("r2.bmp", 40, 30, 2);
  disc_.Bmp("A/a.bmp", 40, 30, 3);
  CViewerDlg viewer;
  theApp.m_pMainWnd = &viewer;  // the About box's owner
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("first the second picture", [&] { viewer.Next(); });
  if (key.fullView) scenario.Call("full view", [&] { viewer.EnterFullView(); });
  bool aboutOpened = false;
  if (key.exported) scenario.CancelSaveAs("cancel the Save As dialog");
  scenario.Call(std::string("press ") + key.name, [&] {
    if (key.control) platform::DeliverKey(WM_KEYDOWN, VK_CONTROL);
    platform::DeliverKey(WM_KEYDOWN, key.key);
    platform::DeliverKey(WM_KEYUP, key.key);
    if (key.control) platform::DeliverKey(WM_KEYUP, VK_CONTROL);
  });
  if (key.about) {
    // Inside the About box's own loop: note it, then close it.
    scenario.Call("inside the About box",
                  [&] { aboutOpened = GetActiveWindow() != viewer.m_hWnd; });
    scenario.Key("close the About box", VK_ESCAPE);
  }
  scenario.Call("check", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), key.album);
    EXPECT_EQ(viewer.m_currentIndex, key.index);
    EXPECT_EQ(aboutOpened, key.about);
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    EXPECT_EQ(headless::ClipboardPicture(&width, &height, &pixels), key.copied);
    EXPECT_EQ(headless::TakeSaveAsDialogs().size(), key.exported ? 1u : 0u);
    EXPECT_EQ(viewer.FullViewShown(), key.fullAfter);
    viewer.LeaveFullView();
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
  theApp.m_pMainWnd = nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, KeyTest,
    ::testing::Values(KeyCase{"Right", VK_RIGHT, false, 1, 0, false, false, false, false, false},
                      KeyCase{"PageDown", VK_NEXT, false, 1, 0, false, false, false, false, false},
                      KeyCase{"Space", VK_SPACE, false, 1, 0, false, false, false, false, false},
                      KeyCase{"Left", VK_LEFT, false, 0, 0, false, false, false, false, false},
                      KeyCase{"PageUp", VK_PRIOR, false, 0, 0, false, false, false, false, false},
                      KeyCase{"BackSpace", VK_BACK, false, 0, 0, false, false, false, false, false},
                      KeyCase{"CtrlC", 'C', true, 0, 1, false, true, false, false, false},
                      KeyCase{"C", 'C', false, 0, 1, false, false, false, false, false},
                      KeyCase{"CtrlS", 'S', true, 0, 1, false, false, true, false, false},
                      KeyCase{"F1", VK_F1, false, 0, 1, true, false, false, false, false},
                      // Full view pages as the window does, and F11 or Escape
                      // leave it on the page it shows.
                      KeyCase{"FullViewRight", VK_RIGHT, false, 1, 0, false, false, false, true, true},
                      KeyCase{"FullViewPageDown", VK_NEXT, false, 1, 0, false, false, false, true, true},
                      KeyCase{"FullViewSpace", VK_SPACE, false, 1, 0, false, false, false, true, true},
                      KeyCase{"FullViewLeft", VK_LEFT, false, 0, 0, false, false, false, true, true},
                      KeyCase{"FullViewPageUp", VK_PRIOR, false, 0, 0, false, false, false, true, true},
                      KeyCase{"FullViewBackSpace", VK_BACK, false, 0, 0, false, false, false, true, true},
                      KeyCase{"FullViewF11", VK_F11, false, 0, 1, false, false, false, true, false},
                      KeyCase{"FullViewEscape", VK_ESCAPE, false, 0, 1, false, false, false, true, false}),
    [](const ::testing::TestParamInfo<KeyCase>& param) { return std::string(param.param.name); });

TEST_F(NavigationTest, RightClickOutsideTheListOpensTheAboutBox) {
  disc_.Bmp("r1.bmp", 40, 30, 1);
  CViewerDlg viewer;
  theApp.m_pMainWnd = &viewer;  // the About box's owner
  Scenario scenario;
  bool aboutOpened = false;
  scenario.Pointer("right press", viewer, WM_RBUTTONDOWN, 400, 300, MK_RBUTTON);
  scenario.Call("inside the About box", [&] { aboutOpened = GetActiveWindow() != viewer.m_hWnd; });
  scenario.Key("close the About box", VK_ESCAPE);
  scenario.Call("opened", [&] {
    EXPECT_TRUE(aboutOpened);
    EXPECT_EQ(GetActiveWindow(), viewer.m_hWnd);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
  theApp.m_pMainWnd = nullptr;
}

}  // namespace
