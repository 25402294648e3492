// The program's optional root folder argument: how it is read, and a viewer
// started with it browsing that folder instead of the program's own.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/root_argument.h"
#include "app/viewer_dlg.h"
#include "catalogue/album_names.h"
#include "platform/headless/headless.h"
#include "platform/winapi/resources_internal.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Current() { return fs::current_path().string(); }

TEST(RootFolderArgument, IsTheFirstNonOptionMadeAbsolute) {
  const struct {
    std::vector<const char*> arguments;  // after the program's name
    std::string expected;
  } cases[] = {
      {{}, ""},
      {{"--sync", "-x"}, ""},
      {{"/media/disc"}, "/media/disc"},
      {{"/media/disc/"}, "/media/disc"},
      {{"/media/My Photos//2024/./"}, "/media/My Photos/2024"},
      {{"/media/Fotos Ærø"}, "/media/Fotos Ærø"},
      {{"--sync", "/media/a", "/media/b"}, "/media/a"},
      {{"disc"}, Current() + "/disc"},
      {{"."}, Current()},
      {{"/"}, "/"},
      {{""}, ""},
  };
  for (const auto& [arguments, expected] : cases) {
    std::vector<const char*> argv = {"tessary"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    SCOPED_TRACE(argv.size() > 1 ? argv[1] : "(none)");
    EXPECT_EQ(RootFolderArgument(static_cast<int>(argv.size()), argv.data()).str(), expected);
  }
}

class RootFolderTest : public testing_support::HeadlessFixture {
 protected:
  void SetUp() override {
    HeadlessFixture::SetUp();
    platform::ClearResourceOverridesForTests();
    program_ = testing_support::TempDir() + "/cache";
    disc_ = testing_support::TempDir() + "/disc with spaces";
    fs::create_directories(program_);
    fs::create_directories(disc_ + "/Beach");
    std::ofstream(program_ + "/tessary") << "x";
    std::ofstream(program_ + "/cache.jpg") << "x";
    std::ofstream(disc_ + "/Beach/a.jpg") << "x";
    std::ofstream(disc_ + "/album.txt") << "name = From the disc\n";
    headless::SetModuleFileName(program_ + "/tessary");
  }
  void TearDown() override {
    SetRootFolder(CString());
    headless::SetModuleFileName("");
    HeadlessFixture::TearDown();
  }

  // Scans as the splash click's timer does and hands the viewer to `check`.
  static void Browse(CViewerDlg& viewer, const std::function<void()>& check, INT_PTR result) {
    testing_support::Scenario scenario;
    scenario.Call("splash click", [&viewer] { viewer.SetTimer(1, 500, nullptr); })
        .AdvanceClock("timer 1 due", 500)
        .Call("browsing shown", check)
        .Key("Escape", VK_ESCAPE);
    scenario.Run(viewer, result);
  }

  std::string program_;
  std::string disc_;
};

TEST_F(RootFolderTest, TheNamedFolderIsTheRootAlbum) {
  SetRootFolder(CString(disc_.c_str()));
  CViewerDlg viewer;
  Browse(
      viewer,
      [&] {
        ASSERT_EQ(viewer.m_albumList.GetSize(), 2);
        EXPECT_EQ(viewer.m_albumList.GetAt(0).str(), disc_ + "/");
        EXPECT_EQ(viewer.m_albumList.GetAt(1).str(), disc_ + "/Beach");
        // album.txt is read from the root album, not beside the program.
        EXPECT_EQ(viewer.m_albumListBox.m_rootLabel.str(), "From the disc");
      },
      IDCANCEL);
}

TEST_F(RootFolderTest, WithoutItTheProgramsFolderIsTheRoot) {
  CViewerDlg viewer;
  Browse(
      viewer, [&] { EXPECT_EQ(viewer.m_albumList.GetAt(0).str(), program_ + "/"); }, IDCANCEL);
}

TEST_F(RootFolderTest, AMissingFolderHasNothingToShow) {
  SetRootFolder(CString((disc_ + "/gone").c_str()));
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  scenario.Call("splash click", [&viewer] { viewer.SetTimer(1, 500, nullptr); })
      .AdvanceClock("timer 1 due", 500);
  scenario.Run(viewer, IDOK);  // the message box's OK closes the viewer
  const auto boxes = headless::TakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind("There are no images", 0), 0u);
}

}  // namespace
