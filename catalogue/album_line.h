// One line of album.txt as "key = value": split at its first "=", which must
// stand after the line's first character; key and value trimmed of white
// space, keys compared ignoring case. The viewer's key lookup and the
// delivery tool's name line both follow this rule. Header-only so that the
// tool needs no part of the viewer's window code.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace album_line {

inline std::string Trimmed(const std::string& text) {
  const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

inline std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The lower-cased key and the value of a line; false when the line has no key.
inline bool Split(const std::string& line, std::string* lowerKey, std::string* value) {
  const std::string trimmed = Trimmed(line);
  const size_t equals = trimmed.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  *lowerKey = Lowered(Trimmed(trimmed.substr(0, equals)));
  *value = Trimmed(trimmed.substr(equals + 1));
  return true;
}

}  // namespace album_line
