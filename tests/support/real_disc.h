// "A stick as people have it": a USB stick that has been in a Windows PC and
// a Mac, with phone photos, names in many languages and text files saved by
// Notepad. Built into a Disc, with the names tests look for.
//
//   tessary, album.txt          UTF-8 with a byte-order mark, CR LF; its first
//                               line is "Dir1 = Summer 2024"; names the root
//                               kStickName and lists Dir1..Dir4 below
//   ._IMG_0001.JPG              AppleDouble side file (not a picture)
//   $RECYCLE.BIN/ System Volume Information/ RECYCLER/ lost+found/
//   .Trashes/ .fseventsd/ .Spotlight-V100/ .hidden/
//                               system and hidden folders, each holding a JPEG
//   again -> .                  a link loop: the root itself
//   Linked -> Unsorted          a link that is not a loop: an album
//   Unsorted/                   an album album.txt does not name
//   Summer 2024/                Dir1: IMG_0001.JPG and a long phone name
//                               (kLongPhoneName), ._IMG_0001.JPG, pipes named
//                               b.jpg and title.txt, a loop "back -> ..", and
//                               the second-level albums Day 2, Day 10, Day 5,
//                               Day 1 (made in that order), a JPEG each
//   Cafe + U+0301 (kCafeNfd)    Dir2, named in decomposed form as macOS does;
//                               JPEGs with an NFD, an emoji and a messenger
//                               name (kEmojiName, kMessengerName)
//   kTokyo (CJK)                Dir3: a UTF-16 (little-endian) title.txt
//                               holding kTokyoTitle, a Japanese- and a
//                               Korean-named JPEG
//   Phone backup/               Dir4: pictures that cannot be shown, in list
//                               order: a link to nothing (not a picture), a
//                               BMP declaring 70000 x 70000 pixels (too
//                               large), a cut-short BMP (damaged file)
//
// Every JPEG is KnownPicture(seed) at 64 x 48; the seeds are below.
#pragma once

#include <string>

#include "tests/support/disc.h"

namespace testing_support {
namespace stick {

inline const std::string kStickName = "Our Stick";
inline const std::string kSummer = "Summer 2024";
inline const std::string kFirstPhoto = "IMG_0001.JPG";                      // in kSummer, seed 11
inline const std::string kLongPhoneName = "PXL_20240612_093512345.MP.jpg";  // in kSummer, seed 12
inline const std::string kCafeNfd = "Cafe\xCC\x81";
// In kCafeNfd, beside "<kCafeNfd> au lait.jpg" (seed 30): seeds 33 and 34.
inline const std::string kEmojiName = "\xF0\x9F\x8E\x89 party.jpg";
inline const std::string kMessengerName = "Screenshot_20240612-093512_WhatsApp Messenger.jpg";
inline const std::string kTokyo = "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE6\x97\x85";
inline const std::string kTokyoTitle =
    "\xE6\x9D\xB1\xE4\xBA\xAC 2023 \xF0\x9F\x97\xBC";  // with an emoji outside the BMP
inline const std::string kPhoneBackup = "Phone backup";
inline const std::string kDamaged = "scan_0001.bmp";  // in kPhoneBackup
inline const std::string kNotAPicture = "lost.jpg";   // in kPhoneBackup
inline const std::string kTooLarge = "panorama.bmp";  // in kPhoneBackup
inline const std::string kUnsorted = "Unsorted";
inline const std::string kLinked = "Linked";

}  // namespace stick

// Writes the stick into `disc` (which already holds the program file).
void BuildStick(Disc& disc);

}  // namespace testing_support
