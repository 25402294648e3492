// Folder scan and album.txt, on real folder trees under a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "catalogue/album_names.h"
#include "catalogue/name_matching.h"
#include "catalogue/folder_scan.h"
#include "platform/winapi/test_hooks.h"
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

// A root folder whose entries are named relative to it.
class FolderTree : public ::testing::Test {
 protected:
  void SetUp() override { root_ = testing_support::TempDir() + "/root"; fs::create_directories(root_); }
  std::string At(const std::string& relative) const { return root_ + "/" + relative; }
  std::string root_;
};

TEST_F(FolderTree, PicturesAreKnownByTheirLastFourCharacters) {
  EXPECT_TRUE(IsPictureFileName("/a/photo.JPG"));
  EXPECT_TRUE(IsPictureFileName("/a/photo.Tga"));
  EXPECT_TRUE(IsPictureFileName(".pcx"));
  EXPECT_FALSE(IsPictureFileName("/a/photo.jpeg"));
  EXPECT_FALSE(IsPictureFileName("/a/scan.tiff"));
  EXPECT_FALSE(IsPictureFileName("/a/title.txt"));
  EXPECT_FALSE(IsPictureFileName("jpg"));
}

TEST_F(FolderTree, RootWithPicturesOnly) {
  Touch(At("b.jpg"));
  Touch(At("B.jpg"));
  Touch(At("a.png"));
  Touch(At("notes.txt"));
  Touch(At("photo.jpeg"));
  CStringArray albums, pictures;
  ScanRootFolder(root_.c_str(), albums, pictures);
  EXPECT_EQ(Strings(albums), std::vector<std::string>{root_ + "/"});
  // Byte order: upper case before lower case.
  EXPECT_EQ(Strings(pictures), (std::vector<std::string>{At("B.jpg"), At("a.png"), At("b.jpg")}));
}

TEST_F(FolderTree, TwoLevelsOfAlbumsAndSkippedNames) {
  Touch(At("Zoo/one.jpg"));
  Touch(At("Zoo/Lions/two.jpg"));
  Touch(At("Zoo/Lions/Cubs/deep.jpg"));  // third level: never listed
  Touch(At("Beach/three.gif"));
  Touch(At("Setup/x.jpg"));
  Touch(At("BIN/x.jpg"));
  Touch(At("install/x.jpg"));
  Touch(At("my_SYStem/x.jpg"));
  Touch(At("Beach/old_sys/x.jpg"));
  Touch(At("Beach/Bin/x.jpg"));
  CStringArray albums, pictures;
  ScanRootFolder(root_.c_str(), albums, pictures);
  EXPECT_EQ(Strings(albums), (std::vector<std::string>{root_ + "/", At("Beach"), At("Zoo"),
                                                       " " + At("Zoo/Lions")}));
  EXPECT_TRUE(pictures.IsEmpty());

  ScanAlbumFolder(At("Zoo").c_str(), pictures);
  EXPECT_EQ(Strings(pictures), std::vector<std::string>{At("Zoo/one.jpg")}) << "no subfolders";
}

TEST_F(FolderTree, SysBelowTheRootOnly) {
  // A disc mounted under a folder whose name holds "_sys" keeps its albums.
  const std::string mounted = testing_support::TempDir() + "/photo_system";
  Touch(mounted + "/Trip/a.jpg");
  Touch(mounted + "/cache_sys/a.jpg");
  CStringArray albums, pictures;
  ScanRootFolder(mounted.c_str(), albums, pictures);
  EXPECT_EQ(Strings(albums), (std::vector<std::string>{mounted + "/", mounted + "/Trip"}));
  EXPECT_TRUE(IsSkippedFolder("/media/disc", "/media/disc/A_Sys", "A_Sys"));
  EXPECT_FALSE(IsSkippedFolder("/media/x_sys", "/media/x_sys/Trip", "Trip"));
  EXPECT_TRUE(IsSkippedFolder("/r", "/r/Binary/setup", "SETUP"));
  EXPECT_FALSE(IsSkippedFolder("/r", "/r/Binary", "Binary"));
}

TEST_F(FolderTree, OddFoldersDoNotStopTheScan) {
  Touch(At("Ünïcode Ålbum/pic one.jpg"));
  Touch(At("Fine/a.jpg"));
  fs::create_symlink(At("nowhere"), At("broken.jpg"));
  fs::create_symlink(At("gone"), At("Dangling"));
  CStringArray albums, pictures;
  ScanRootFolder(root_.c_str(), albums, pictures);
  const auto names = Strings(albums);
  EXPECT_EQ(std::find(names.begin(), names.end(), At("Dangling")), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), At("Fine")), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), At("Ünïcode Ålbum")), names.end());
  ScanAlbumFolder(At("Ünïcode Ålbum").c_str(), pictures);
  EXPECT_EQ(Strings(pictures), std::vector<std::string>{At("Ünïcode Ålbum/pic one.jpg")});
  // An album folder that has vanished since the scan, or that is a file now,
  // lists no pictures (and keeps none from before).
  ScanAlbumFolder(At("Vanished").c_str(), pictures);
  EXPECT_TRUE(Strings(pictures).empty());
  ScanAlbumFolder(At("Fine").c_str(), pictures);
  ScanAlbumFolder(At("Fine/a.jpg").c_str(), pictures);
  EXPECT_TRUE(Strings(pictures).empty());
}

TEST_F(FolderTree, TwentyThousandPicturesSortQuickly) {
  const std::string big = At("Big");
  fs::create_directories(big);
  for (int i = 19999; i >= 0; --i) {
    char name[32];
    std::snprintf(name, sizeof name, "/img%05d.jpg", i);
    std::ofstream(big + name);
  }
  CStringArray pictures;
  ScanAlbumFolder(big.c_str(), pictures);
  ASSERT_EQ(pictures.GetSize(), 20000);
  for (INT_PTR i = 1; i < pictures.GetSize(); ++i)
    ASSERT_LT(pictures.GetAt(i - 1).Compare(pictures.GetAt(i)), 0) << i;
}

// The designed exchange sort, byte-wise and unsigned, is the model the
// quick sort must match: high bytes, upper before lower case, paths that end
// inside the eight bytes after their common part, duplicates, a list with
// nothing in common, and a first entry kept in place.
TEST(PathSort, MatchesTheExchangeSort) {
  std::vector<std::vector<std::string>> cases = {
      {"/d/b.jpg", "/d/B.jpg", "/d/a.jpg", "/d/\xe9t\xe9.jpg", "/d/A.jpg"},
      {"/d/p", "/d/p1", "/d/p", "/d/p12345678", "/d/p12345677x", "/d/p1234567", "/d/"},
      {"/d/x/abcdefgh1.jpg", "/d/x/abcdefgh0.jpg", "/d/x/abcdefgh.jpg", "/d/x/abcdefgh1.jpg"},
      {"zeta", "/alpha", "Beta", "beta", "\x80", "\x7f"},
  };
  // Many paths from a small alphabet: long runs of equal leading bytes, and
  // every byte of them differing somewhere.
  std::vector<std::string> many;
  unsigned seed = 7;
  for (int i = 0; i < 400; ++i) {
    std::string path = "/d/";
    seed = seed * 1103515245u + 12345u;
    for (unsigned length = (seed >> 16) % 13; length > 0; --length) {
      seed = seed * 1103515245u + 12345u;
      path += "ab\x80z"[(seed >> 16) % 4];
    }
    many.push_back(path);
  }
  cases.push_back(many);
  for (size_t c = 0; c < cases.size(); ++c) {
    for (INT_PTR first : {INT_PTR{0}, INT_PTR{1}}) {
      std::vector<std::string> model = cases[c];
      for (size_t pass = 1; pass < model.size() - first; ++pass) {
        for (size_t i = first; i + 1 < model.size(); ++i) {
          if (std::strcmp(model[i].c_str(), model[i + 1].c_str()) > 0) std::swap(model[i], model[i + 1]);
        }
      }
      CStringArray list;
      for (const std::string& path : cases[c]) list.Add(path.c_str());
      SortPathList(list, first);
      ASSERT_EQ(list.GetSize(), static_cast<INT_PTR>(model.size()));
      for (size_t i = 0; i < model.size(); ++i)
        EXPECT_STREQ(list.GetAt(static_cast<INT_PTR>(i)).GetString(), model[i].c_str())
            << "case " << c << " first " << first << " entry " << i;
    }
  }
}

// --- album.txt -----------------------------------------------------------------

TEST(AlbumNames, LinesKeysAndValues) {
  CStringArray lines;
  SplitAlbumLines("  name = Summer = 1999  \r\n\r\nDIR1=Beach\r\n=orphan\r\nno key here\r\n dir2 = Mountains ", lines);
  EXPECT_EQ(Strings(lines), (std::vector<std::string>{"name = Summer = 1999", "", "DIR1=Beach",
                                                      "=orphan", "no key here", "dir2 = Mountains"}));
  EXPECT_EQ(LookUpAlbumKey(lines, "NAME").str(), "Summer = 1999") << "a value may hold '='";
  EXPECT_EQ(LookUpAlbumKey(lines, "Dir1").str(), "Beach");
  EXPECT_EQ(LookUpAlbumKey(lines, "dir2").str(), "Mountains");
  EXPECT_EQ(LookUpAlbumKey(lines, "").str(), "") << "'=orphan' has no key";
  EXPECT_EQ(LookUpAlbumKey(lines, "Dir3").str(), "");
}

TEST(AlbumNames, BareLineFeedsKeepEveryLetter) {
  CStringArray crlf, lf;
  SplitAlbumLines("name = Trip\r\nDir1 = Beach\r\n", crlf);
  SplitAlbumLines("name = Trip\nDir1 = Beach\n", lf);
  EXPECT_EQ(Strings(crlf), Strings(lf));
  EXPECT_EQ(LookUpAlbumKey(lf, "name").str(), "Trip");
}

TEST_F(FolderTree, DirKeysChooseAndOrderAlbums) {
  Touch(At("Beach/a.jpg"));
  Touch(At("Beach/Sunset/a.jpg"));
  Touch(At("Mountains/a.jpg"));
  Touch(At("City/a.jpg"));
  Touch(At("City/Night/a.jpg"));
  CStringArray albums, pictures, lines;
  ScanRootFolder(root_.c_str(), albums, pictures);
  ASSERT_EQ(albums.GetSize(), 6);

  CStringArray reordered;
  reordered.Copy(albums);
  SplitAlbumLines("Dir1 = mountains\r\nDir2 = BEACH\r\nDir3 = Night\r\nDir5 = City\r\n", lines);
  ReorderAlbums(lines, reordered);
  EXPECT_EQ(Strings(reordered),
            (std::vector<std::string>{root_ + "/", At("Mountains"), At("Beach"),
                                      " " + At("Beach/Sunset"), " " + At("City/Night")}))
      << "Dir4 is missing, so Dir5 is never read; unnamed albums are left out";

  CStringArray unchanged;
  unchanged.Copy(albums);
  SplitAlbumLines("Dir2 = Beach\r\n", lines);  // no Dir1: no reordering at all
  ReorderAlbums(lines, unchanged);
  EXPECT_EQ(Strings(unchanged), Strings(albums));
  SplitAlbumLines("Dir1 = Nowhere\r\n", lines);  // names no folder
  ReorderAlbums(lines, unchanged);
  EXPECT_EQ(Strings(unchanged), Strings(albums));
}

struct NameSpellings {
  const char* albumTxtValue;
  const char* folderName;
  bool same;
};

// Rows by Unicode's canonical equivalence (checked with Python's
// unicodedata.normalize("NFC", ...)) and Windows-1252's table.
TEST(AlbumNames, OneNameInEverySpellingPicksTheSameFolder) {
  const NameSpellings rows[] = {
      {"Caf\xC3\xA9", "Cafe\xCC\x81", true},                      // macOS writes "e" + U+0301
      {"Caf\xE9", "Caf\xC3\xA9", true},                            // album.txt in Windows-1252
      {"\xE2\x80\x9CQ\xE2\x80\x9D", "\x93Q\x94", true},           // 1252 quotes 0x93/0x94
      {"\xED\x95\x9C", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", true},  // Hangul jamo
      {"\xE3\x81\x8C", "\xE3\x81\x8B\xE3\x82\x99", true},          // kana + voicing mark
      {"\xC7\x9F", "a\xCC\x88\xCC\x84", true},                   // two marks in turn
      {"CAF\xC3\x89", "caf\xC3\xA9", true},
      {"Cafe", "Caf\xC3\xA9", false},
      {"\xED\x95\x98", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", false},
  };
  for (const NameSpellings& row : rows) {
    EXPECT_EQ(ComparableName(row.albumTxtValue) == ComparableName(row.folderName), row.same)
        << row.albumTxtValue << " / " << row.folderName;
  }
}

TEST_F(FolderTree, ADecomposedFolderNameIsChosenByItsComposedName) {
  Touch(At("Cafe\xCC\x81/a.jpg"));
  Touch(At("Beach/a.jpg"));
  CStringArray albums, pictures, lines;
  ScanRootFolder(root_.c_str(), albums, pictures);
  SplitAlbumLines("Dir1 = Caf\xC3\xA9\r\n", lines);
  ReorderAlbums(lines, albums);
  EXPECT_EQ(Strings(albums), (std::vector<std::string>{root_ + "/", At("Cafe\xCC\x81")}));
}

TEST_F(FolderTree, AlbumTxtBesideTheProgramWhateverItsCase) {
  Touch(At("tessary"));
  Touch(At("ALBUM.TXT"), "name = Holiday\nDir1 = Beach\n");
  platform::SetModuleFileNameForTests(At("tessary"));
  CStringArray lines;
  EXPECT_EQ(ReadAlbumTxt(lines), TextFileRead::kRead);
  platform::SetModuleFileNameForTests("");
  EXPECT_EQ(LookUpAlbumKey(lines, "name").str(), "Holiday");
  EXPECT_EQ(LookUpAlbumKey(lines, "dir1").str(), "Beach");
}

TEST_F(FolderTree, NoAlbumTxtLeavesTheListEmpty) {
  Touch(At("tessary"));
  platform::SetModuleFileNameForTests(At("tessary"));
  CStringArray lines;
  EXPECT_EQ(ReadAlbumTxt(lines), TextFileRead::kRead);
  platform::SetModuleFileNameForTests("");
  EXPECT_TRUE(lines.IsEmpty());
}

TEST_F(FolderTree, WholeTextFileStopsAtZeroAndRefusesLargeFiles) {
  Touch(At("zero.txt"), std::string("before\0after", 12));
  std::FILE* file = std::fopen(At("zero.txt").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  CString text;
  EXPECT_EQ(ReadWholeTextFile(file, &text), TextFileRead::kRead);
  std::fclose(file);
  EXPECT_EQ(text.str(), "before");

  Touch(At("album.txt"), std::string(2 * 1024 * 1024, 'a'));
  Touch(At("tessary"));
  platform::SetModuleFileNameForTests(At("tessary"));
  CStringArray lines;
  EXPECT_EQ(ReadAlbumTxt(lines), TextFileRead::kTooLarge);
  platform::SetModuleFileNameForTests("");
  EXPECT_TRUE(lines.IsEmpty());

  Touch(At("limit.txt"), std::string(0xFFFFF, 'b'));
  file = std::fopen(At("limit.txt").c_str(), "rb");
  EXPECT_EQ(ReadWholeTextFile(file, &text), TextFileRead::kRead) << "exactly 0xFFFFF bytes is fine";
  std::fclose(file);
  EXPECT_EQ(text.GetLength(), 0xFFFFF);
}

}  // namespace
