// The demo disc the build makes (build/demo-disc): every picture form, real
// files of that form (ImageMagick's identify) that the library and Pillow
// decode alike, sizes from small to larger than 3000 x 2000, albums two levels
// deep, title pages, music and sounds (Python's wave module reads the waves),
// album.txt, and the viewer packed in with its banner, as the viewer itself
// (tessary-tour) sees the disc.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue/album_names.h"
#include "imaging/core/pelorn.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Picture;
using testing_support::Quoted;
using testing_support::ReadWholeFile;

const std::string kBin = TESSARY_BIN_DIR;
const std::string kDisc = kBin + "/../demo-disc";

std::string Extension(const fs::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
  return extension;
}

bool IsPicture(const fs::path& path) {
  static const std::set<std::string> kEndings = {".jpg", ".bmp", ".png", ".gif", ".tga", ".tif", ".pcx"};
  return kEndings.count(Extension(path)) != 0;
}

struct DiscPicture {
  fs::path path;
  int level;  // 0 root, 1 album, 2 album below an album
};

class DemoDiscTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::is_directory(kDisc)) << kDisc << " is missing: build the demo_disc target";
    Walk(kDisc, 0);
  }

  void Walk(const fs::path& folder, int level) {
    std::vector<fs::directory_entry> entries{fs::directory_iterator(folder), fs::directory_iterator()};
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
      if (entry.is_directory()) {
        EXPECT_LT(level, 2) << entry.path() << " is deeper than the viewer looks";
        albums_[level + 1].push_back(entry.path());
        Walk(entry.path(), level + 1);
      } else if (IsPicture(entry.path())) {
        pictures_.push_back({entry.path(), level});
      }
    }
  }

  std::vector<DiscPicture> pictures_;
  std::map<int, std::vector<fs::path>> albums_;  // by level
};

// The library's reader for the file's ending.
Picture LibraryDecode(const fs::path& path) {
  const std::string name = path.string();
  const std::string extension = Extension(path);
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL block = nullptr;
  if (extension == ".jpg") block = ReadJpegFile(name.c_str(), &width, &height);
  if (extension == ".bmp") block = ReadBmpFile(name.c_str(), &width, &height);
  if (extension == ".png") block = ReadPngFile(name.c_str(), &width, &height);
  if (extension == ".gif") block = ReadGifFile(name.c_str(), &width, &height, nullptr);
  if (extension == ".tga") block = ReadTgaFile(name.c_str(), &width, &height);
  if (extension == ".tif") block = ReadTiffFile(name.c_str(), &width, &height);
  if (extension == ".pcx") block = ReadPcxFile(name.c_str(), &width, &height);
  EXPECT_NE(block, nullptr) << name << ": error " << GetLastImageError();
  return testing_support::TakePicture(block, width, height);
}

// Near-white pixels in a band of rows of the left half: every picture carries
// its white name and size in its bottom-left corner and nothing so white at the
// top, so a picture stored upside down shows here (both readers would agree).
size_t WhitePixels(const Picture& picture, uint32_t firstRow, uint32_t rowCount) {
  size_t count = 0;
  for (uint32_t y = firstRow; y < firstRow + rowCount && y < picture.height; ++y)
    for (uint32_t x = 0; x < picture.width / 2; ++x) {
      const uint8_t* pixel = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
      count += pixel[0] >= 242 && pixel[1] >= 242 && pixel[2] >= 242;
    }
  return count;
}

struct Identified {
  std::string format;
  uint32_t width = 0;
  uint32_t height = 0;
};

// ImageMagick's identify: the form the file really is, and its size.
Identified Identify(const fs::path& path) {
  std::string output;
  EXPECT_EQ(testing_support::RunCommand("identify -format '%m %w %h' " + Quoted(path.string()) + " 2>/dev/null",
                                        &output),
            0)
      << path;
  Identified identified;
  std::istringstream(output) >> identified.format >> identified.width >> identified.height;
  return identified;
}

TEST_F(DemoDiscTest, EveryFormIsThereAsARealFileThatBothReadersDecodeAlike) {
  const std::map<std::string, std::set<std::string>> kIdentifiedAs = {
      {".jpg", {"JPEG"}}, {".bmp", {"BMP", "BMP3"}}, {".png", {"PNG"}}, {".gif", {"GIF"}},
      {".tga", {"TGA"}},  {".tif", {"TIFF"}},        {".pcx", {"PCX"}}};
  std::set<std::string> forms;
  for (const DiscPicture& picture : pictures_) {
    const std::string name = picture.path.string();
    forms.insert(Extension(picture.path));
    const Identified identified = Identify(picture.path);
    const uint32_t width = identified.width;
    const uint32_t height = identified.height;
    EXPECT_EQ(kIdentifiedAs.at(Extension(picture.path)).count(identified.format), 1u)
        << name << " is " << identified.format;

    const Picture ours = LibraryDecode(picture.path);
    const auto reference = testing_support::ReferenceDecode(name);
    ASSERT_TRUE(reference.has_value()) << name;
    EXPECT_EQ(ours.width, width) << name;
    EXPECT_EQ(ours.height, height) << name;
    EXPECT_EQ(reference->width, width) << name;
    // Both JPEG decodes go through libjpeg, possibly with different upsampling.
    const int tolerance = Extension(picture.path) == ".jpg" ? 3 : 0;
    EXPECT_LE(testing_support::Compare(ours, *reference).maxDelta, tolerance) << name;
    const uint32_t band = std::max(8u, height / 12);
    EXPECT_GT(WhitePixels(*reference, height - band, band), 10 * WhitePixels(*reference, 0, band) + 20)
        << name << " is not upright";
  }
  EXPECT_EQ(forms, (std::set<std::string>{".jpg", ".bmp", ".png", ".gif", ".tga", ".tif", ".pcx"}));
}

TEST_F(DemoDiscTest, SizesRangeFromUnscaledToLargerThan3000x2000AndAlbumsGoTwoLevelsDeep) {
  std::set<std::pair<uint32_t, uint32_t>> sizes;
  bool large = false;
  bool fitsUnscaled = false;
  bool portrait = false;
  for (const DiscPicture& picture : pictures_) {
    const Identified size = Identify(picture.path);
    sizes.insert({size.width, size.height});
    large |= size.width > 3000 && size.height > 2000;
    fitsUnscaled |= size.width <= 549 && size.height <= 470;  // the picture area
    portrait |= size.height > size.width;
  }
  EXPECT_TRUE(large);
  EXPECT_TRUE(fitsUnscaled);
  EXPECT_TRUE(portrait);
  EXPECT_GE(sizes.size(), 6u);

  std::map<int, std::set<fs::path>> foldersWithPictures;
  for (const DiscPicture& picture : pictures_) foldersWithPictures[picture.level].insert(picture.path.parent_path());
  EXPECT_EQ(foldersWithPictures[0].size(), 1u);
  EXPECT_GE(foldersWithPictures[1].size(), 2u);
  EXPECT_GE(foldersWithPictures[2].size(), 1u);
}

// A standard MIDI file of format 0: "MThd", length 6, format 0, one track;
// one "MTrk" chunk filling the rest and ending with the end-of-track event.
void ExpectFormat0Midi(const fs::path& path) {
  const std::vector<uint8_t> midi = ReadWholeFile(path.string());
  ASSERT_GE(midi.size(), 26u) << path;
  auto be32 = [&midi](size_t at) {
    return uint32_t(midi[at]) << 24 | uint32_t(midi[at + 1]) << 16 | uint32_t(midi[at + 2]) << 8 | midi[at + 3];
  };
  EXPECT_EQ(std::string(midi.begin(), midi.begin() + 4), "MThd") << path;
  EXPECT_EQ(be32(4), 6u) << path;
  EXPECT_EQ(midi[8] << 8 | midi[9], 0) << path << ": format";
  EXPECT_EQ(midi[10] << 8 | midi[11], 1) << path << ": tracks";
  EXPECT_EQ(std::string(midi.begin() + 14, midi.begin() + 18), "MTrk") << path;
  EXPECT_EQ(be32(18), midi.size() - 22) << path;
  EXPECT_EQ(std::vector<uint8_t>(midi.end() - 3, midi.end()), (std::vector<uint8_t>{0xFF, 0x2F, 0x00})) << path;
}

// Python's wave module: channels, rate and frames, or empty when it refuses.
std::string WaveFacts(const fs::path& path) {
  std::string facts;
  const std::string script = "import sys,wave; w=wave.open(sys.argv[1]); "
                             "print(w.getnchannels(), w.getframerate(), w.getnframes())";
  testing_support::RunCommand(std::string(testing_support::PythonWithPillow()) + " -c '" + script + "' " +
                                  Quoted(path.string()) + " 2>/dev/null",
                              &facts);
  return facts;
}

TEST_F(DemoDiscTest, TitlePagesMusicAndSoundsAreThere) {
  for (const char* name : {"title.txt", "title.mid", "title.wav"}) EXPECT_TRUE(fs::is_regular_file(kDisc + "/" + name)) << name;
  int titlePages = fs::exists(kDisc + "/title.txt") ? 1 : 0;
  for (const auto& level : albums_)
    for (const fs::path& album : level.second) titlePages += fs::exists(album / "title.txt") ? 1 : 0;
  EXPECT_GE(titlePages, 3);

  int picturesWithMusic = 0;
  int picturesWithSound = 0;
  for (const DiscPicture& picture : pictures_) {
    fs::path music = picture.path;
    fs::path sound = picture.path;
    if (fs::exists(music.replace_extension(".mid"))) {
      ++picturesWithMusic;
      ExpectFormat0Midi(music);
    }
    if (fs::exists(sound.replace_extension(".wav"))) {
      ++picturesWithSound;
      EXPECT_FALSE(WaveFacts(sound).empty()) << sound;
    }
  }
  EXPECT_GE(picturesWithMusic, 1);
  EXPECT_GE(picturesWithSound, 1);
  ExpectFormat0Midi(kDisc + "/title.mid");

  unsigned channels = 0, rate = 0, frames = 0;
  ASSERT_EQ(std::sscanf(WaveFacts(kDisc + "/title.wav").c_str(), "%u %u %u", &channels, &rate, &frames), 3);
  EXPECT_GE(channels, 1u);
  EXPECT_GT(frames, rate / 5) << "shorter than a fifth of a second";
  EXPECT_LT(frames, rate * 5) << "longer than five seconds";
}

TEST_F(DemoDiscTest, AlbumTxtNamesTheRootAndTheViewerListsTheAlbumsInItsOrder) {
  const std::vector<uint8_t> bytes = ReadWholeFile(kDisc + "/album.txt");
  const std::string text(bytes.begin(), bytes.end());
  ASSERT_FALSE(text.empty());
  // Every line ends in CR LF, as a disc for Windows has it.
  for (size_t feed = text.find('\n'); feed != std::string::npos; feed = text.find('\n', feed + 1))
    EXPECT_TRUE(feed > 0 && text[feed - 1] == '\r') << "a bare line feed at " << feed;

  CStringArray lines;
  SplitAlbumLines(CString(text.c_str(), static_cast<int>(text.size())), lines);
  EXPECT_FALSE(LookUpAlbumKey(lines, "name").str().empty());
  const std::string first = LookUpAlbumKey(lines, "Dir1").str();
  ASSERT_TRUE(fs::is_directory(kDisc + "/" + first)) << first;
  ASSERT_TRUE(fs::is_directory(kDisc + "/" + LookUpAlbumKey(lines, "Dir2").str()));

  // The viewer: every folder listed, the root's title page with its music and
  // sound, and album 1 the folder Dir1 names (its title page, then its first picture).
  const std::string out = testing_support::TempDir();
  std::ofstream(out + "/script.txt") << "click 500 360\ntimer\nselect 1\nnext\n";
  std::string output;
  ASSERT_EQ(testing_support::RunCommand(kBin + "/tessary-tour " + Quoted(kDisc) + " " + Quoted(out) + " " +
                                            Quoted(out + "/script.txt") + " 2>/dev/null",
                                        &output),
            0);
  std::vector<std::string> steps;
  std::istringstream stream(output);
  for (std::string line; std::getline(stream, line);) steps.push_back(line);
  ASSERT_EQ(steps.size(), 4u) << output;
  const size_t albumCount = 1 + albums_[1].size() + albums_[2].size();
  EXPECT_NE(steps[1].find("album=0/" + std::to_string(albumCount) + " "), std::string::npos) << steps[1];
  EXPECT_NE(steps[1].find("title=1 "), std::string::npos) << steps[1];
  EXPECT_NE(steps[1].find("midi=title.mid wave=title.wav "), std::string::npos) << steps[1];

  std::vector<std::string> firstAlbumPictures;
  for (const DiscPicture& picture : pictures_)
    if (picture.path.parent_path().filename() == first) firstAlbumPictures.push_back(picture.path.string());
  ASSERT_FALSE(firstAlbumPictures.empty());
  std::sort(firstAlbumPictures.begin(), firstAlbumPictures.end());  // byte order, as the scan sorts
  const std::string firstName = fs::path(firstAlbumPictures.front()).filename().string();
  EXPECT_NE(steps[3].find("album=1/"), std::string::npos) << steps[3];
  EXPECT_NE(steps[3].find("index=0/" + std::to_string(firstAlbumPictures.size()) + " "), std::string::npos)
      << steps[3];
  EXPECT_NE(steps[3].find(" file=" + firstName + " "), std::string::npos) << steps[3];
}

TEST_F(DemoDiscTest, ProgramIsTheBuiltViewerWithABanner) {
  const std::string program = kDisc + "/tessary";
  struct stat info {};
  ASSERT_EQ(stat(program.c_str(), &info), 0);
  EXPECT_TRUE(info.st_mode & S_IXUSR);
  const std::vector<uint8_t> packed = ReadWholeFile(program);
  const std::vector<uint8_t> built = ReadWholeFile(kBin + "/tessary");
  ASSERT_GT(packed.size(), built.size() + 14);
  EXPECT_TRUE(std::equal(built.begin(), built.end(), packed.begin()));
  EXPECT_EQ(std::string(packed.end() - 14, packed.end() - 4), "STANDALONE");
  const size_t bannerBytes = packed[packed.size() - 4] | packed[packed.size() - 3] << 8 |
                             packed[packed.size() - 2] << 16 | size_t(packed[packed.size() - 1]) << 24;
  EXPECT_EQ(packed.size(), built.size() + bannerBytes + 14);

  const std::string banner = testing_support::TempDir() + "/banner.jpg";
  testing_support::WriteWholeFile(banner, std::vector<uint8_t>(packed.begin() + static_cast<long>(built.size()),
                                                               packed.end() - 14));
  const auto decoded = testing_support::ReferenceDecode(banner);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->width, 135u);
  EXPECT_EQ(decoded->height, 63u);
}

}  // namespace
