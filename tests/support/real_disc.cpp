#include "tests/support/real_disc.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace testing_support {

namespace fs = std::filesystem;
using namespace stick;

namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// AppleDouble: magic 00 05 16 07, version 2, "Mac OS X" filler; macOS writes
// 4 KiB of them beside every file it copies to a FAT stick.
std::string AppleDoubleBytes() {
  std::string bytes("\x00\x05\x16\x07\x00\x02\x00\x00Mac OS X        ", 24);
  bytes.resize(4096, '\0');
  return bytes;
}

std::string Utf16LittleEndianWithMark(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

void Pipe(Disc& disc, const std::string& relative) {
  EXPECT_EQ(::mkfifo(disc.Path(relative).c_str(), 0644), 0) << relative;
}

// A BMP whose header claims 70000 x 70000 pixels over a few bytes of rows.
void TooLargeBmp(Disc& disc, const std::string& relative) {
  const std::string path = disc.Bmp(relative, 4, 4, 9);
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  const char side[4] = {'\x70', '\x11', '\x01', '\x00'};  // 70000, little-endian
  file.seekp(18);
  file.write(side, 4);
  file.write(side, 4);
}

}  // namespace

void BuildStick(Disc& disc) {
  disc.Text("album.txt",
            "\xEF\xBB\xBF"
            "Dir1 = " +
                kSummer + "\r\nname = " + kStickName + "\r\nDir2 = " + kCafeNfd +
                "\r\nDir3 = " + kTokyo + "\r\nDir4 = " + kPhoneBackup + "\r\n");
  disc.Text("._IMG_0001.JPG", AppleDoubleBytes());
  int seed = 1;
  for (const char* folder :
       {"$RECYCLE.BIN/S-1-5-21", "System Volume Information", "RECYCLER", "lost+found",
        ".Trashes/501", ".fseventsd", ".Spotlight-V100", ".hidden"}) {
    disc.Jpeg(std::string(folder) + "/IMG_9999.JPG", kWidth, kHeight, seed++);
  }
  fs::create_directory_symlink(".", disc.Path("again"));

  disc.Jpeg(kUnsorted + "/x.jpg", kWidth, kHeight, 10);
  fs::create_directory_symlink(kUnsorted, disc.Path(kLinked));

  disc.Jpeg(kSummer + "/" + kFirstPhoto, kWidth, kHeight, 11);
  disc.Jpeg(kSummer + "/" + kLongPhoneName, kWidth, kHeight, 12);
  disc.Text(kSummer + "/._IMG_0001.JPG", AppleDoubleBytes());
  Pipe(disc, kSummer + "/b.jpg");
  Pipe(disc, kSummer + "/title.txt");
  fs::create_directory_symlink("..", disc.Path(kSummer + "/back"));
  seed = 20;
  for (const char* day : {"Day 2", "Day 10", "Day 5", "Day 1"}) {
    disc.Jpeg(kSummer + "/" + day + "/a.jpg", kWidth, kHeight, seed++);
  }

  disc.Jpeg(kCafeNfd + "/" + kCafeNfd + " au lait.jpg", kWidth, kHeight, 30);
  disc.Jpeg(kCafeNfd + "/" + kEmojiName, kWidth, kHeight, 33);
  disc.Jpeg(kCafeNfd + "/" + kMessengerName, kWidth, kHeight, 34);

  disc.Text(kTokyo + "/title.txt", Utf16LittleEndianWithMark(u"\u6771\u4EAC 2023 \U0001F5FC"));
  disc.Jpeg(kTokyo + "/\xE5\x86\x99\xE7\x9C\x9F.jpg", kWidth, kHeight, 31);  // 写真
  disc.Jpeg(kTokyo + "/\xEC\x84\x9C\xEC\x9A\xB8.jpg", kWidth, kHeight, 35);  // 서울

  const std::string damaged = disc.Bmp(kPhoneBackup + "/" + kDamaged, 40, 30, 32);
  fs::resize_file(damaged, fs::file_size(damaged) / 2);
  fs::create_symlink("gone.jpg", disc.Path(kPhoneBackup + "/" + kNotAPicture));
  TooLargeBmp(disc, kPhoneBackup + "/" + kTooLarge);
}

}  // namespace testing_support
