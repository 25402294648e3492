#include "tools/pack/album_name.h"

#include <algorithm>
#include <vector>

#include "catalogue/album_line.h"

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

// Whether the line is "name = ..." as the viewer's key lookup sees it.
bool IsNameLine(const std::string& line) {
  std::string key;
  std::string value;
  return album_line::Split(line, &key, &value) && key == "name";
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
