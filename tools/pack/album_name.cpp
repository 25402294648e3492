#include "tools/pack/album_name.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace pack {

namespace {

struct Line {
  std::string text;
  std::string end;  // "\r\n", "\n" or "" (the last line)
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t feed = text.find('\n', start);
    if (feed == std::string::npos) {
      lines.push_back({text.substr(start), ""});
      break;
    }
    const bool pair = feed > start && text[feed - 1] == '\r';
    const size_t end = pair ? feed - 1 : feed;
    lines.push_back({text.substr(start, end - start), pair ? "\r\n" : "\n"});
    start = feed + 1;
  }
  return lines;
}

std::string Trimmed(const std::string& text) {
  const auto isBlank = [](unsigned char c) { return std::isspace(c) != 0; };
  const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

// Whether the line is "name = ..." as the viewer's key lookup sees it: split
// at the first "=", which must stand after the line's first character.
bool IsNameLine(const std::string& line) {
  const std::string trimmed = Trimmed(line);
  const size_t equals = trimmed.find('=');
  if (equals == std::string::npos || equals == 0) return false;
  std::string key = Trimmed(trimmed.substr(0, equals));
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key == "name";
}

}  // namespace

std::string WithAlbumName(const std::string& text, const std::string& name) {
  std::vector<Line> lines = SplitLines(text);
  const std::string nameLine = "name = " + name;
  auto named = std::find_if(lines.begin(), lines.end(),
                            [](const Line& line) { return IsNameLine(line.text); });
  if (named != lines.end()) {
    named->text = nameLine;
  } else {
    const std::string end = lines.empty() || lines.front().end.empty() ? "\r\n" : lines.front().end;
    lines.insert(lines.begin(), Line{nameLine, end});
  }
  std::string result;
  for (const Line& line : lines) result += line.text + line.end;
  return result;
}

}  // namespace pack
