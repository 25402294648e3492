// The viewer on a stick as people have it (tests/support/real_disc.h): what
// the scan lists and in what order, text files as editors save them, pictures
// that cannot be shown, and Up and Down from anywhere in the window.
#include "tests/support/real_disc.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "catalogue/album_names.h"
#include "catalogue/folder_scan.h"
#include "catalogue/text_encoding.h"
#include "platform/backend.h"
#include "platform/folder_loops.h"
#include "platform/headless/headless.h"
#include "tests/support/disc.h"

namespace {

using testing_support::Scenario;
namespace stick = testing_support::stick;

std::vector<std::string> Strings(const CStringArray& list) {
  std::vector<std::string> out;
  for (INT_PTR i = 0; i < list.GetSize(); ++i) out.push_back(list.GetAt(i).str());
  return out;
}

bool Holds(const std::vector<std::string>& list, const std::string& entry) {
  return std::find(list.begin(), list.end(), entry) != list.end();
}

// Byte order, as std::string compares: the scan's order by another hand.
bool SortedByBytes(std::vector<std::string> list) {
  return std::is_sorted(list.begin(), list.end());
}

class RealDiscTest : public testing_support::DiscFixture {
 protected:
  void SetUp() override {
    DiscFixture::SetUp();
    testing_support::BuildStick(disc_);
    // A pipe opened to read blocks until a writer comes: fail, do not hang.
    ::alarm(120);
  }
  void TearDown() override {
    ::alarm(0);
    DiscFixture::TearDown();
  }
  std::string At(const std::string& relative) const { return disc_.Path(relative); }
};

// --- The scan -------------------------------------------------------------------

struct ScanRow {
  const char* entry;  // relative to the root; second-level albums carry the blank
  bool listed;
};

TEST_F(RealDiscTest, TheScanListsOnlyTheAuthorsAlbumsInNameOrder) {
  CStringArray albums, pictures;
  ScanRootFolder(disc_.Root().c_str(), albums, pictures);
  const std::vector<std::string> listed = Strings(albums);
  const ScanRow rows[] = {{"$RECYCLE.BIN", false},
                          {"System Volume Information", false},
                          {"RECYCLER", false},
                          {"lost+found", false},
                          {".Trashes", false},
                          {".fseventsd", false},
                          {".Spotlight-V100", false},
                          {".hidden", false},
                          {"again", false},
                          {" Summer 2024/back", false},  // loops back to the root
                          {"Summer 2024", true},
                          {" Summer 2024/Day 1", true},
                          {" Summer 2024/Day 10", true},
                          {" Summer 2024/Day 2", true},
                          {" Summer 2024/Day 5", true},
                          {"Unsorted", true},
                          {"Linked", true},  // a link, but no loop
                          {"Phone backup", true}};
  for (const ScanRow& row : rows) {
    const std::string entry = row.entry[0] == ' ' ? " " + At(row.entry + 1) : At(row.entry);
    EXPECT_EQ(Holds(listed, entry), row.listed) << row.entry;
  }
  EXPECT_TRUE(Holds(listed, At(stick::kCafeNfd)));
  EXPECT_TRUE(Holds(listed, At(stick::kTokyo)));
  EXPECT_EQ(listed.size(), 11u);
  EXPECT_TRUE(pictures.IsEmpty()) << "the root's ._IMG_0001.JPG is not a picture";

  // First level in byte order; each album's second level right after it, in
  // byte order too (the file system gave them in another).
  std::vector<std::string> firstLevel, days;
  for (size_t i = 1; i < listed.size(); ++i)
    (listed[i][0] == ' ' ? days : firstLevel).push_back(listed[i]);
  EXPECT_TRUE(SortedByBytes(firstLevel));
  EXPECT_EQ(days, (std::vector<std::string>{
                      " " + At("Summer 2024/Day 1"), " " + At("Summer 2024/Day 10"),
                      " " + At("Summer 2024/Day 2"), " " + At("Summer 2024/Day 5")}));
  const auto summer = std::find(listed.begin(), listed.end(), At(stick::kSummer));
  ASSERT_NE(summer, listed.end());
  EXPECT_EQ(*(summer + 1), days.front());
}

TEST_F(RealDiscTest, AnAlbumListsItsRegularPicturesOnly) {
  CStringArray pictures;
  ScanAlbumFolder(At(stick::kSummer).c_str(), pictures);
  // No pipe b.jpg, no AppleDouble ._IMG_0001.JPG.
  EXPECT_EQ(Strings(pictures),
            (std::vector<std::string>{At("Summer 2024/" + stick::kFirstPhoto),
                                      At("Summer 2024/" + stick::kLongPhoneName)}));
  ScanAlbumFolder(At(stick::kPhoneBackup).c_str(), pictures);
  EXPECT_EQ(pictures.GetSize(), 3) << "pictures that cannot be shown still have their place";
}

TEST_F(RealDiscTest, SystemNamesAnyCaseAndLoopsByIdentity) {
  for (const char* name : {"$Recycle.Bin", "recycler", "SYSTEM VOLUME INFORMATION", "Lost+Found",
                           "._IMG_0001.JPG", ".DS_Store"})
    EXPECT_TRUE(IsSystemEntryName(name)) << name;
  for (const char* name : {"Recycled photos", "lost", "IMG_0001.JPG", "System"})
    EXPECT_FALSE(IsSystemEntryName(name)) << name;
  EXPECT_TRUE(platform::IsFolderLoop(At("again").c_str()));
  EXPECT_TRUE(platform::IsFolderLoop(At("Summer 2024/back/").c_str()));
  EXPECT_FALSE(platform::IsFolderLoop(At(stick::kLinked).c_str()));
  EXPECT_FALSE(platform::IsFolderLoop(At(stick::kSummer).c_str()));
  EXPECT_FALSE(IsRegularFile(At("Summer 2024/b.jpg").c_str())) << "a pipe";
  EXPECT_FALSE(IsRegularFile(At(stick::kSummer).c_str()));
  EXPECT_TRUE(IsRegularFile(At("album.txt").c_str()));
}

// --- Text files -----------------------------------------------------------------

// UTF-16 bytes of UTF-8 text by glibc's iconv, a converter of its own.
std::string Iconv(const std::string& text, const char* to) {
  iconv_t converter = iconv_open(to, "UTF-8");
  std::string out(text.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* outAt = &out[0];
  size_t outLeft = out.size();
  EXPECT_NE(iconv(converter, &in, &inLeft, &outAt, &outLeft), static_cast<size_t>(-1));
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

TEST(TextEncoding, MarksAreReadAndOtherBytesKept) {
  const std::string text = stick::kTokyoTitle + " Caf\xC3\xA9\r\nline two";
  struct Row {
    const char* name;
    std::string bytes;
    std::string expected;
  } rows[] = {
      {"UTF-8 with mark", "\xEF\xBB\xBF" + text, text},
      {"UTF-8 without mark", text, text},
      {"UTF-16LE", "\xFF\xFE" + Iconv(text, "UTF-16LE"), text},
      {"UTF-16BE", "\xFE\xFF" + Iconv(text, "UTF-16BE"), text},
      {"UTF-16LE, odd last byte", "\xFF\xFE" + Iconv("ab", "UTF-16LE") + "c", "ab"},
      {"UTF-16LE, lone surrogate",
       std::string("\xFF\xFE"
                   "a\0\x00\xD8"
                   "b\0",
                   8),
       "a\xEF\xBF\xBD"
       "b"},
      {"UTF-16LE, zero ends",
       std::string("\xFF\xFE"
                   "a\0\0\0b\0",
                   8),
       "a"},
      {"Windows-1252 kept", "Caf\xE9 \x80", "Caf\xE9 \x80"},
      {"zero ends", std::string("ab\0cd", 5), "ab"},
      {"mark only", "\xEF\xBB\xBF", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(TextFromFileBytes(row.bytes), row.expected) << row.name;
}

TEST_F(RealDiscTest, AlbumTxtWithAMarkKeepsItsFirstLine) {
  CStringArray lines;
  ASSERT_EQ(ReadAlbumTxt(lines), TextFileRead::kRead);
  EXPECT_EQ(LookUpAlbumKey(lines, "Dir1").str(), stick::kSummer);
  EXPECT_EQ(LookUpAlbumKey(lines, "name").str(), stick::kStickName);
}

// --- The viewer on the stick --------------------------------------------------------

// Pixels of the window's framebuffer that differ from the skin's background
// image, in a rectangle: the ink drawn over the skin there.
int InkIn(CViewerDlg& viewer, const RECT& box) {
  const platform::WindowImage image = platform::ComposeWindow(viewer.m_hWnd);
  const CWinBmp& skin = viewer.m_background;
  const int bytesPerPixel = skin.GetBitsPerPixel() / 8;
  int ink = 0;
  for (int y = box.top; y < box.bottom; ++y) {
    const uint8_t* skinRow = skin.GetRow(y);
    for (int x = box.left; x < box.right; ++x) {
      const uint8_t* shown = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
      const uint8_t* under = skinRow + x * bytesPerPixel;
      if (shown[0] != under[0] || shown[1] != under[1] || shown[2] != under[2]) ++ink;
    }
  }
  return ink;
}

const char* BareName(const CString& path) {
  const char* text = path;
  const char* slash = std::strrchr(text, '/');
  return slash != nullptr ? slash + 1 : text;
}

TEST_F(RealDiscTest, TheViewerStartsOnTheFirstRealPhoto) {
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("first photo", [&] {
    EXPECT_EQ(
        Strings(viewer.m_albumList),
        (std::vector<std::string>{At(""), At(stick::kSummer), " " + At("Summer 2024/Day 1"),
                                  " " + At("Summer 2024/Day 10"), " " + At("Summer 2024/Day 2"),
                                  " " + At("Summer 2024/Day 5"), At(stick::kCafeNfd),
                                  At(stick::kTokyo), At(stick::kPhoneBackup)}))
        << "album.txt's Dir keys, its mark notwithstanding";
    EXPECT_EQ(viewer.m_albumListBox.m_rootLabel.str(), stick::kStickName);
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 1);
    EXPECT_EQ(viewer.m_currentIndex, 0);
    EXPECT_STREQ(BareName(viewer.m_currentPicturePath), stick::kFirstPhoto.c_str());
    EXPECT_EQ(viewer.m_pictureWidth, 64) << "the photo is on show";
    EXPECT_EQ(viewer.m_titleShown, 0) << "the pipe named title.txt is no title page";
    EXPECT_EQ(viewer.m_pictureList.GetSize(), 2);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(RealDiscTest, AUtf16TitlePageReadsAsWritten) {
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("select the CJK album", [&] {
    viewer.m_albumListBox.SetCurSel(7);
    viewer.SelectAlbum();
    EXPECT_EQ(viewer.m_titleShown, 1);
    EXPECT_EQ(viewer.m_titleText.str(), stick::kTokyoTitle);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

struct FailureRow {
  const std::string* name;
  const char* line;
};

TEST_F(RealDiscTest, APictureThatCannotBeShownSaysWhyInItsPlace) {
  const FailureRow rows[] = {
      {&stick::kNotAPicture, "This picture cannot be shown: not a picture"},
      {&stick::kTooLarge, "This picture cannot be shown: too large"},
      {&stick::kDamaged, "This picture cannot be shown: damaged file"},
  };
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  const RECT messageBand = {204, 267, 753, 287};  // the middle line of the picture area
  const RECT aboveMessage = {204, 42, 753, 262};
  const RECT nameLine = {300, 565, 540, 580};
  const RECT counter = {550, 565, 600, 580};
  std::vector<int> inks;
  scenario.Call("select the phone backup", [&] {
    viewer.m_albumListBox.SetCurSel(8);
    viewer.SelectAlbum();
  });
  for (int i = 0; i < 3; ++i) {
    scenario.Call(std::string("picture ") + std::to_string(i + 1), [&, i] {
      const FailureRow& row = rows[i];
      EXPECT_EQ(viewer.m_currentIndex, i);
      EXPECT_EQ(viewer.m_pictureList.GetSize(), 3);
      EXPECT_STREQ(BareName(viewer.m_currentPicturePath), row.name->c_str());
      EXPECT_EQ(viewer.m_pictureFailure.str(), row.line);
      EXPECT_EQ(viewer.m_pictureBitmap, nullptr);
      EXPECT_GT(InkIn(viewer, messageBand), 200) << row.line;
      EXPECT_EQ(InkIn(viewer, aboveMessage), 0) << "one line, nothing else in the area";
      EXPECT_GT(InkIn(viewer, nameLine), 50) << "the name line";
      EXPECT_GT(InkIn(viewer, counter), 20) << "the counter";
      inks.push_back(InkIn(viewer, messageBand));
      viewer.Next();  // paging goes on: no message box stops it
    });
  }
  scenario.Call("no message box", [&] {
    EXPECT_TRUE(headless::TakeMessageBoxes().empty());
    ASSERT_EQ(inks.size(), 3u);
    EXPECT_NE(inks[0], inks[2]) << "each reason has its own words";
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

struct KeyRow {
  const char* name;
  bool focusInList;
  UINT key;
  int album;  // the selection after the key, from album 3 (Day 10)
};

class AlbumKeyTest : public RealDiscTest, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(AlbumKeyTest, UpAndDownChangeTheAlbumFromAnywhere) {
  const KeyRow& row = GetParam();
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  HWND focus = nullptr;
  scenario.Call("album 3, focus", [&] {
    viewer.m_albumListBox.SetCurSel(3);
    viewer.SelectAlbum();
    if (row.focusInList) {
      viewer.m_albumListBox.SetFocus();
    } else {
      viewer.SetFocus();
    }
    focus = ::GetFocus();
    EXPECT_EQ(focus == viewer.m_albumListBox.m_hWnd, row.focusInList);
  });
  scenario.Key(row.name, row.key);
  scenario.Call("album changed once", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), row.album);
    CString folder = viewer.m_albumList.GetAt(row.album);
    folder.TrimLeft();
    EXPECT_EQ(viewer.m_albumFolder.str(), folder.str())
        << "the album is selected, not only its row";
    EXPECT_EQ(::GetFocus(), focus) << "the focus stays where it was";
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(Keys, AlbumKeyTest,
                         ::testing::Values(KeyRow{"DownInTheWindow", false, VK_DOWN, 4},
                                           KeyRow{"UpInTheWindow", false, VK_UP, 2},
                                           KeyRow{"DownInTheList", true, VK_DOWN, 4},
                                           KeyRow{"UpInTheList", true, VK_UP, 2}),
                         [](const ::testing::TestParamInfo<KeyRow>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
