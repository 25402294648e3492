// The characters of the program's text. Inside the program text is UTF-8 on
// both systems, except a text file written in an older code page, which is
// read as Windows-1252: a string that is not valid UTF-8 is taken as that.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The code points of valid UTF-8 (shortest forms, no surrogates); false,
// with `points` undefined, for anything else.
inline bool DecodeUtf8(const std::string& text, std::u32string* points) {
  points->clear();
  for (size_t i = 0; i < text.size();) {
    const uint8_t lead = static_cast<uint8_t>(text[i]);
    int extra;
    uint32_t point;
    if (lead < 0x80) {
      extra = 0, point = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, point = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, point = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, point = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= text.size()) return false;  // cut short
    for (int k = 1; k <= extra; ++k) {
      const uint8_t next = static_cast<uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (point < kMinimum[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    points->push_back(point);
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

// The characters of `text`: its UTF-8, or else its bytes as Windows-1252
// (the five bytes 1252 leaves unassigned become U+FFFD).
inline std::u32string TextCodePoints(const std::string& text) {
  // Windows-1252 for the bytes 0x80 to 0x9F (0: unassigned).
  static const uint16_t kCp1252High[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::u32string points;
  if (DecodeUtf8(text, &points)) return points;
  points.clear();
  for (char ch : text) {
    const uint8_t byte = static_cast<uint8_t>(ch);
    const bool high = byte >= 0x80 && byte < 0xA0;
    points.push_back(!high ? byte : kCp1252High[byte - 0x80] != 0 ? kCp1252High[byte - 0x80] : 0xFFFD);
  }
  return points;
}

}  // namespace platform
