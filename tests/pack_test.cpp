// tessary-pack as a disc's author uses it: the copied program, its banner
// trailer (seen by the viewer on the headless back end through tessary-tour),
// refused banners, album.txt's name line, and its exit statuses. Banners are
// Pillow's JPEGs and the expected pixels Pillow's decode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalogue/album_names.h"
#include "tests/support/disc.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Picture;
using testing_support::Quoted;
using testing_support::ReadWholeFile;

const std::string kBin = TESSARY_BIN_DIR;
const std::string kProgram = kBin + "/tessary";

struct PackRun {
  int status = -1;
  std::string output;  // stdout and stderr
};

PackRun Pack(const std::string& arguments) {
  PackRun run;
  run.status = testing_support::RunCommand(kBin + "/tessary-pack " + arguments + " 2>&1", &run.output);
  return run;
}

// Every file below `folder` with its bytes: what "untouched" is checked against.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[entry.path().string()] = ReadWholeFile(entry.path().string());
  return files;
}

// The trailer as the file format lays it out: JPEG bytes, "STANDALONE", N (LE).
std::vector<uint8_t> Trailer(const std::vector<uint8_t>& jpeg) {
  std::vector<uint8_t> trailer = jpeg;
  const std::string tag = "STANDALONE";
  trailer.insert(trailer.end(), tag.begin(), tag.end());
  for (int i = 0; i < 4; ++i) trailer.push_back(static_cast<uint8_t>(jpeg.size() >> (8 * i)));
  return trailer;
}

Picture Crop(const Picture& picture, uint32_t left, uint32_t top, uint32_t width, uint32_t height) {
  Picture part;
  part.width = width;
  part.height = height;
  for (uint32_t y = top; y < top + height && y < picture.height; ++y) {
    const auto row = picture.rgb.begin() + (static_cast<size_t>(y) * picture.width + left) * 3;
    part.rgb.insert(part.rgb.end(), row, row + width * 3);
  }
  return part;
}

class PackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = disc_.Root();
    disc_.Jpeg("first.jpg", 64, 48, 1);
    disc_.Bmp("Album/second.bmp", 40, 30, 2);
    fs::remove(disc_.ProgramPath());  // a fresh folder of pictures
    banner_ = testing_support::TempDir() + "/banner.jpg";
    otherBanner_ = testing_support::TempDir() + "/other.jpg";
    ASSERT_TRUE(testing_support::MakePictureWithPillow(135, 63, "JPEG", banner_));
    ASSERT_TRUE(testing_support::MakePictureWithPillow(100, 40, "JPEG", otherBanner_));
  }

  // The window tessary-tour shows for the folder's program right after start.
  Picture Shot() {
    const std::string out = testing_support::TempDir();
    std::ofstream(out + "/script.txt") << "shot start\n";
    EXPECT_EQ(testing_support::RunCommand(kBin + "/tessary-tour " + Quoted(folder_) + " " + Quoted(out) + " " +
                                          Quoted(out + "/script.txt") + " >/dev/null 2>&1"),
              0);
    auto shot = testing_support::ReferenceDecode(out + "/start.png");
    EXPECT_TRUE(shot.has_value());
    return shot.value_or(Picture{});
  }

  testing_support::Disc disc_;
  std::string folder_;
  std::string banner_;
  std::string otherBanner_;
};

TEST_F(PackTest, PackedProgramCarriesTheBannerAndShowsItAtTheCorner) {
  const auto pictures = Snapshot(folder_);
  const PackRun run = Pack(Quoted(folder_) + " --banner " + Quoted(banner_));
  ASSERT_EQ(run.status, 0) << run.output;

  std::vector<uint8_t> expected = ReadWholeFile(kProgram);
  const std::vector<uint8_t> trailer = Trailer(ReadWholeFile(banner_));
  expected.insert(expected.end(), trailer.begin(), trailer.end());
  EXPECT_EQ(ReadWholeFile(folder_ + "/tessary"), expected);
  struct stat info {};
  ASSERT_EQ(stat((folder_ + "/tessary").c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IXUSR);
  auto afterPack = Snapshot(folder_);
  afterPack.erase(folder_ + "/tessary");
  EXPECT_EQ(afterPack.erase(folder_ + "/autorun.sh"), 1u) << "no autorun.sh beside the Linux program";
  EXPECT_EQ(afterPack, pictures) << "the pictures were touched";

  const Picture shot = Shot();
  ASSERT_EQ(shot.width, 800u);
  const auto banner = testing_support::ReferenceDecode(banner_);
  ASSERT_TRUE(banner.has_value());
  EXPECT_LE(testing_support::Compare(Crop(shot, 15, 525, 135, 63), *banner).maxDelta, 4);
}

TEST_F(PackTest, WithoutBannerTheCornerShowsTheSkin) {
  ASSERT_EQ(Pack(Quoted(folder_)).status, 0);
  EXPECT_EQ(ReadWholeFile(folder_ + "/tessary"), ReadWholeFile(kProgram));
  const auto banner = testing_support::ReferenceDecode(banner_);
  ASSERT_TRUE(banner.has_value());
  EXPECT_GT(testing_support::Compare(Crop(Shot(), 15, 525, 135, 63), *banner).maxDelta, 40);
}

TEST_F(PackTest, PackingAgainReplacesTheTrailer) {
  const size_t programBytes = ReadWholeFile(kProgram).size();
  const std::vector<uint8_t> other = ReadWholeFile(otherBanner_);
  ASSERT_EQ(Pack(Quoted(folder_) + " --banner " + Quoted(banner_)).status, 0);
  ASSERT_EQ(Pack(Quoted(folder_) + " --banner " + Quoted(otherBanner_)).status, 0);
  std::vector<uint8_t> packed = ReadWholeFile(folder_ + "/tessary");
  ASSERT_EQ(packed.size(), programBytes + other.size() + 14);
  EXPECT_EQ(std::vector<uint8_t>(packed.end() - static_cast<long>(other.size() + 14), packed.end()), Trailer(other));

  // A program that already carries a trailer loses it in the copy.
  const std::string second = testing_support::TempDir();
  ASSERT_EQ(Pack(Quoted(second) + " --program " + Quoted(folder_ + "/tessary") + " --banner " + Quoted(banner_)).status, 0);
  EXPECT_EQ(ReadWholeFile(second + "/tessary").size(), programBytes + ReadWholeFile(banner_).size() + 14);
  ASSERT_EQ(Pack(Quoted(second) + " --program " + Quoted(folder_ + "/tessary")).status, 0);
  EXPECT_EQ(ReadWholeFile(second + "/tessary"), ReadWholeFile(kProgram));
}

TEST_F(PackTest, BannersThatAreNotJpegsAreRefusedAndTheFolderStaysAsItWas) {
  ASSERT_EQ(Pack(Quoted(folder_) + " --banner " + Quoted(banner_) + " --name Before").status, 0);
  const std::string bad = testing_support::TempDir();
  ASSERT_TRUE(testing_support::MakePictureWithPillow(135, 63, "PNG", bad + "/png.jpg"));
  std::vector<uint8_t> cut = ReadWholeFile(banner_);
  cut.resize(40);  // the start-of-image marker, then the file ends
  testing_support::WriteWholeFile(bad + "/cut.jpg", cut);
  testing_support::WriteWholeFile(bad + "/empty.jpg", {});
  const auto before = Snapshot(folder_);
  for (const char* name : {"png.jpg", "cut.jpg", "empty.jpg", "missing.jpg"}) {
    const PackRun run = Pack(Quoted(folder_) + " --banner " + Quoted(bad + "/" + name) + " --name After");
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.output.rfind("tessary-pack: " + bad + "/" + name + ": ", 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_EQ(Snapshot(folder_), before) << name;
  }
}

struct NameCase {
  const char* label;
  const char* before;  // nullptr: no album.txt
  const char* after;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.label; }

class PackNameTest : public PackTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(PackNameTest, NameLineIsWrittenAndTheViewerReadsIt) {
  const NameCase& c = GetParam();
  const std::string album = folder_ + "/album.txt";
  if (c.before != nullptr) std::ofstream(album, std::ios::binary) << c.before;
  const PackRun run = Pack(Quoted(folder_) + " --name 'Summer 1999'");
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<uint8_t> written = ReadWholeFile(album);
  EXPECT_EQ(std::string(written.begin(), written.end()), c.after);

  // The viewer's own reading of the file.
  const std::string text(written.begin(), written.end());
  CStringArray lines;
  SplitAlbumLines(CString(text.c_str(), static_cast<int>(text.size())), lines);
  EXPECT_EQ(LookUpAlbumKey(lines, "name").str(), "Summer 1999");
}

INSTANTIATE_TEST_SUITE_P(
    AlbumTxt, PackNameTest,
    ::testing::Values(
        NameCase{"Missing", nullptr, "name = Summer 1999\r\n"},
        NameCase{"NoNameLine", "Dir1 = Beach\r\nDir2 = Hills\r\n", "name = Summer 1999\r\nDir1 = Beach\r\nDir2 = Hills\r\n"},
        NameCase{"NameInTheMiddle", "Dir1 = Beach\r\n  NAME=Old = x \r\nDir2 = Hills",
                 "Dir1 = Beach\r\nname = Summer 1999\r\nDir2 = Hills"},
        NameCase{"LastLineWithoutEnd", "Dir1 = Beach\r\nname = Old", "Dir1 = Beach\r\nname = Summer 1999"},
        NameCase{"BareLineFeeds", "name = Old\nDir1 = Beach\n", "name = Summer 1999\nDir1 = Beach\n"},
        NameCase{"OnlyTheFirstNameLine", "name=A\r\nname=B\r\n", "name = Summer 1999\r\nname=B\r\n"},
        NameCase{"EqualsFirstIsNoKey", "=name = x\n", "name = Summer 1999\n=name = x\n"}),
    [](const ::testing::TestParamInfo<NameCase>& testCase) { return std::string(testCase.param.label); });

TEST_F(PackTest, UpperCaseAlbumFileIsUpdatedInPlace) {
  std::ofstream(folder_ + "/ALBUM.TXT", std::ios::binary) << "Dir1 = Album\r\n";
  ASSERT_EQ(Pack(Quoted(folder_) + " --name Trip").status, 0);
  EXPECT_FALSE(fs::exists(folder_ + "/album.txt"));
  const std::vector<uint8_t> written = ReadWholeFile(folder_ + "/ALBUM.TXT");
  EXPECT_EQ(std::string(written.begin(), written.end()), "name = Trip\r\nDir1 = Album\r\n");
}

TEST_F(PackTest, UsageErrorsExitWithTwoAndFailuresWithOne) {
  for (const std::string& arguments :
       {std::string(""), Quoted(folder_) + " --bogus", Quoted(folder_) + " --name",
        Quoted(folder_) + " " + Quoted(folder_), Quoted(folder_) + " --name ''",
        Quoted(folder_) + " --name \"$(printf 'two\\nlines')\""}) {
    EXPECT_EQ(Pack(arguments).status, 2) << arguments;
  }
  EXPECT_EQ(Pack(Quoted(folder_ + "/missing")).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_ + "/first.jpg")).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_) + " --program " + Quoted(folder_ + "/none")).status, 1);
  EXPECT_FALSE(fs::exists(folder_ + "/tessary"));
}


// A program file of `bytes` at `path`, executable.
std::string WriteProgram(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  fs::permissions(path, fs::perms::owner_all);
  return path;
}
std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST_F(PackTest, BothProgramsGoOnOneDiscWithTheirStartFiles) {
  const std::string windows = WriteProgram(testing_support::TempDir() + "/tessary.exe",
                                           {'M', 'Z', 0x90, 0, 3, 0, 0, 0});
  const PackRun run = Pack(Quoted(folder_) + " --name 'Summer 1999' --banner " + Quoted(banner_) +
                           " --program " + Quoted(kProgram) + " --program " + Quoted(windows));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::vector<uint8_t> trailer = Trailer(ReadWholeFile(banner_));
  for (const std::string name : {"tessary", "tessary.exe"}) {
    const std::vector<uint8_t> copy = ReadWholeFile(folder_ + "/" + name);
    ASSERT_GT(copy.size(), trailer.size()) << name;
    EXPECT_TRUE(std::equal(trailer.begin(), trailer.end(), copy.end() - trailer.size())) << name;
  }
  EXPECT_EQ(Text(ReadWholeFile(folder_ + "/autorun.inf")),
            "[autorun]\r\nopen=tessary.exe\r\nicon=tessary.exe,0\r\nlabel=Summer 1999\r\n"
            "action=Open the photo album\r\n");
  struct stat info {};
  ASSERT_EQ(stat((folder_ + "/autorun.sh").c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IXUSR);
  // The loader the script names is the one the program asks for (readelf's reading).
  std::string interpreter;
  ASSERT_EQ(testing_support::RunCommand(
                "readelf -l " + Quoted(kProgram) + " | sed -n 's/.*interpreter: \\(.*\\)]/\\1/p'",
                &interpreter),
            0);
  const std::string script = Text(ReadWholeFile(folder_ + "/autorun.sh"));
  EXPECT_NE(script.find("\nloader='" + interpreter.substr(0, interpreter.find('\n')) + "'\n"), std::string::npos)
      << script;
  EXPECT_EQ(testing_support::RunCommand("sh -n " + Quoted(folder_ + "/autorun.sh")), 0);
}

TEST_F(PackTest, WithoutANameTheWindowsLabelIsTheFolders) {
  const std::string windows = WriteProgram(testing_support::TempDir() + "/tessary.exe", {'M', 'Z'});
  ASSERT_EQ(Pack(Quoted(folder_ + "/") + " --program " + Quoted(windows)).status, 0);
  const std::string label = "label=" + fs::path(folder_).filename().string() + "\r\n";
  EXPECT_NE(Text(ReadWholeFile(folder_ + "/autorun.inf")).find(label), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_ + "/autorun.sh"));
}

// `text` as one shell word, whatever it holds.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

// autorun.sh runs a stand-in program (echo, which prints the root folder it is
// given) whose name and folder need quoting, with and without its exec bit.
TEST_F(PackTest, AutorunStartsTheProgramFromItsOwnFolder) {
  const std::string odd = testing_support::TempDir() + "/Fotos på 'disk' $HOME";
  fs::create_directories(odd);
  const std::string program = testing_support::TempDir() + "/it's echo";
  fs::copy_file("/bin/echo", program, fs::copy_options::overwrite_existing);
  ASSERT_EQ(Pack(ShellWord(odd) + " --program " + ShellWord(program)).status, 0);
  for (const bool executable : {true, false}) {
    SCOPED_TRACE(executable ? "exec bit" : "no exec bit");
    fs::permissions(odd + "/it's echo", fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    executable ? fs::perm_options::add : fs::perm_options::remove);
    std::string output;
    // Started from elsewhere, by a relative path.
    EXPECT_EQ(testing_support::RunCommand("cd / && sh " + ShellWord("." + odd + "/autorun.sh"), &output), 0);
    EXPECT_EQ(output, fs::canonical(odd).string() + "\n");
  }
  fs::remove(odd + "/it's echo");
  std::string output;
  EXPECT_EQ(testing_support::RunCommand("sh " + ShellWord(odd + "/autorun.sh") + " 2>&1", &output), 1);
  EXPECT_EQ(output.rfind("autorun.sh: the program ", 0), 0u) << output;
  EXPECT_NE(output.find("is missing"), std::string::npos) << output;
}

TEST_F(PackTest, SoundFontsAreCheckedAndCarried) {
  const std::string font = testing_support::TempDir() + "/small.sf2";
  const std::vector<uint8_t> fontBytes = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 's', 'f', 'b', 'k'};
  WriteProgram(font, fontBytes);
  const std::string notAFont = testing_support::TempDir() + "/tone.sf2";
  WriteProgram(notAFont, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
  const auto before = Snapshot(folder_);
  EXPECT_EQ(Pack(Quoted(folder_) + " --soundfont " + Quoted(notAFont)).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_) + " --soundfont " + Quoted(folder_ + "/none.sf2")).status, 1);
  EXPECT_EQ(Snapshot(folder_), before);
  ASSERT_EQ(Pack(Quoted(folder_) + " --soundfont " + Quoted(font)).status, 0);
  EXPECT_EQ(ReadWholeFile(folder_ + "/tessary.sf2"), fontBytes);
}

TEST_F(PackTest, ProgramsMustBeLinuxOrWindowsOnesOfEachKindOnce) {
  const std::string text = WriteProgram(testing_support::TempDir() + "/viewer", {'#', '!', '/'});
  const std::string other = testing_support::TempDir() + "/other";
  fs::copy_file(kProgram, other, fs::copy_options::overwrite_existing);
  const std::string p = " --program ";
  EXPECT_EQ(Pack(Quoted(folder_) + p + Quoted(text)).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_) + p + Quoted(kProgram) + p + Quoted(other)).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_) + p + Quoted(kProgram) + p + Quoted(kProgram)).status, 1);
  EXPECT_EQ(Pack(Quoted(folder_) + p + "a" + p + "b" + p + "c").status, 2);
  EXPECT_FALSE(fs::exists(folder_ + "/tessary"));
  EXPECT_FALSE(fs::exists(folder_ + "/autorun.sh"));
}

}  // namespace
