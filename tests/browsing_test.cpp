// The start of browsing: the one-shot timer after the splash click scans the
// program's folder tree, applies album.txt, fills the album list and shows
// the root album, or ends the program when there is nothing to show.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/viewer_app.h"
#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/winapi/resources_internal.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

void Touch(const std::string& path, const std::string& content = "x") {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> Strings(const CStringArray& list) {
  std::vector<std::string> out;
  for (INT_PTR i = 0; i < list.GetSize(); ++i) out.push_back(list.GetAt(i).str());
  return out;
}

const char kNothingToShow[] =
    "There are no images or subdirectories in the path of the Tessary\n"
    "Tessary serach only image files in the same directory or subdirectories up to 2 levels.";

class BrowsingTest : public testing_support::HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    platform::ClearResourceOverridesForTests();
    root_ = testing_support::TempDir() + "/disc";
    fs::create_directories(root_);
    Touch(root_ + "/tessary");
    headless::SetModuleFileName(root_ + "/tessary");
  }
  void TearDown() override {
    headless::SetModuleFileName("");
    HeadlessFixture::TearDown();
  }

  // Starts timer 1 as the splash click would and lets it come due.
  static void StartScan(testing_support::Scenario& scenario, CViewerDlg& viewer) {
    scenario.Call("splash click starts timer 1", [&viewer] { viewer.SetTimer(1, 500, nullptr); })
        .AdvanceClock("timer 1 due", 500);
  }

  // Runs the viewer through the scan, lets `check` look at the window, then
  // closes it with Escape; every step must have run.
  static void Browse(CViewerDlg& viewer, const std::function<void()>& check) {
    testing_support::Scenario scenario;
    StartScan(scenario, viewer);
    scenario.Call("browsing shown", check).Key("Escape closes the viewer", VK_ESCAPE);
    scenario.Run(viewer, IDCANCEL);
  }

  std::string root_;
};

TEST_F(BrowsingTest, RootWithPicturesOnlyShowsTheSidePanel) {
  Touch(root_ + "/b.jpg");
  Touch(root_ + "/a.jpg");
  CViewerDlg viewer;
  Browse(viewer, [&] {
    EXPECT_EQ(Strings(viewer.m_albumList), std::vector<std::string>{root_ + "/"});
    EXPECT_EQ(Strings(viewer.m_pictureList),
              (std::vector<std::string>{root_ + "/a.jpg", root_ + "/b.jpg"}));
    EXPECT_EQ(viewer.m_currentIndex, 0);
    EXPECT_EQ(viewer.m_albumFolder.str(), root_ + "/");
    EXPECT_EQ(viewer.m_sidePanelShown, 1);
    EXPECT_EQ(viewer.m_sidePanel.GetWidth(), 166);
    EXPECT_FALSE(viewer.m_albumListBox.IsWindowVisible());
  });
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

TEST_F(BrowsingTest, AlbumsWithoutRootPicturesShowTheList) {
  Touch(root_ + "/Beach/a.jpg");
  Touch(root_ + "/Alps/a.jpg");
  Touch(root_ + "/Alps/Glacier/a.jpg");
  Touch(root_ + "/album.txt", "name = Summer 1999\nDir1 = Beach\nDir2 = Alps\n");
  CViewerDlg viewer;
  Browse(viewer, [&] {
    EXPECT_EQ(Strings(viewer.m_albumList),
              (std::vector<std::string>{root_ + "/", root_ + "/Beach", root_ + "/Alps",
                                        " " + root_ + "/Alps/Glacier"}));
    EXPECT_EQ(viewer.m_albumListBox.GetCount(), 4);
    // The root holds no pictures: it is passed over to the first album.
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 1);
    EXPECT_EQ(viewer.m_albumFolder.str(), root_ + "/Beach");
    EXPECT_EQ(viewer.m_albumListBox.m_rootLabel.str(), "Summer 1999");
    EXPECT_TRUE(viewer.m_albumListBox.IsWindowVisible());
    EXPECT_EQ(viewer.m_sidePanelShown, 0);
  });
  EXPECT_TRUE(headless::TakeMessageBoxes().empty());
}

TEST_F(BrowsingTest, NothingToShowEndsTheProgramWithAMessage) {
  Touch(root_ + "/readme.txt");
  fs::create_directories(root_ + "/Setup");  // skipped: not an album
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  StartScan(scenario, viewer);
  // The message box's OK closes the viewer.
  scenario.Run(viewer, IDOK);
  const auto boxes = headless::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, kNothingToShow);
  EXPECT_EQ(boxes[0].caption, "Tessary");
  EXPECT_EQ(boxes[0].type & 0xF, static_cast<UINT>(MB_OK));
}

TEST_F(BrowsingTest, TheTimerFiresOnce) {
  Touch(root_ + "/a.jpg");
  CViewerDlg viewer;
  int scans = 0;
  Browse(viewer, [&] {
    Touch(root_ + "/b.jpg");  // a second firing would pick this up
    scans = static_cast<int>(viewer.m_pictureList.GetSize());
    headless::AdvanceClock(5000);
  });
  EXPECT_EQ(scans, 1);
  EXPECT_EQ(viewer.m_pictureList.GetSize(), 1);
}

TEST_F(BrowsingTest, OversizeAlbumTxtIsRefusedAndBrowsingGoesOn) {
  Touch(root_ + "/a.jpg");
  Touch(root_ + "/album.txt", std::string(2 * 1024 * 1024, 'x'));
  CViewerDlg viewer;
  Browse(viewer, [&] {
    EXPECT_TRUE(viewer.m_albumTextLines.IsEmpty());
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 1);
  });
  const auto boxes = headless::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "The file is too large to open.");
}

}  // namespace
