// Fuzz target of the text files beside the pictures: the input is read as a
// whole text file (title.txt and album.txt share the reader), split into
// album.txt's lines, looked up by key and applied to an album list.
// Checked against a plain model of the same rules: the text ends at the
// first zero byte; one line per line feed, plus the trimmed rest when it is
// not empty; every line trimmed; a key's value is that of the first line
// whose text before its first "=" (not the first character) matches; the
// reordered list keeps the root first and holds only albums it had.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/album_names.h"
#include "fuzz/fuzz_support.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsWhiteSpace(char ch) { return std::strchr(" \t\r\n\v\f", ch) != nullptr && ch != '\0'; }

std::string Trimmed(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsWhiteSpace(text[first])) ++first;
  while (last > first && IsWhiteSpace(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string ModelLookUp(const std::vector<std::string>& lines, const std::string& key) {
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0) continue;
    if (Lower(Trimmed(line.substr(0, equals))) == Lower(key)) return Trimmed(line.substr(equals + 1));
  }
  return "";
}

// An album list as the folder scan makes it, of folders that do not exist
// (so that no second-level album is found on disk).
const char* const kAlbums[] = {
    "/nonexistent/disc",
    "/nonexistent/disc/Beach",
    " /nonexistent/disc/Beach/Day 1",
    "/nonexistent/disc/Mountains",
    "/nonexistent/disc/beach",
    " /nonexistent/disc/beach/Mountains",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  std::FILE* file = std::fopen(input.path(), "rb");
  if (file == nullptr) __builtin_trap();
  CString text;
  const TextFileRead outcome = ReadWholeTextFile(file, &text);
  std::fclose(file);
  constexpr size_t kLargestTextFile = 0xFFFFF;
  Check(outcome == (size > kLargestTextFile ? TextFileRead::kTooLarge : TextFileRead::kRead));
  if (outcome != TextFileRead::kRead) return 0;
  // A UTF-16 file is converted (the text_file target checks that); a UTF-8
  // mark is dropped; otherwise the text is the bytes up to the first zero.
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) return 0;
  const std::string unmarked = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : bytes;
  const std::string modelText = unmarked.substr(0, unmarked.find('\0'));
  Check(std::string(text.GetString(), static_cast<size_t>(text.GetLength())) == modelText);

  CStringArray lines;
  SplitAlbumLines(text, lines);
  std::vector<std::string> modelLines;
  size_t start = 0;
  for (size_t at; (at = modelText.find('\n', start)) != std::string::npos; start = at + 1) {
    std::string line = modelText.substr(start, at - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    modelLines.push_back(Trimmed(line));
  }
  if (!Trimmed(modelText.substr(start)).empty()) modelLines.push_back(Trimmed(modelText.substr(start)));
  Check(lines.GetSize() == static_cast<INT_PTR>(modelLines.size()));
  for (size_t i = 0; i < modelLines.size(); ++i) Check(modelLines[i] == lines.GetAt(static_cast<INT_PTR>(i)).GetString());

  std::vector<std::string> keys = {"name", "NAME", "Dir1", "dir2"};
  if (!modelLines.empty()) keys.push_back(modelLines[0].substr(0, modelLines[0].find('=')));
  for (const std::string& key : keys)
    Check(ModelLookUp(modelLines, key) == LookUpAlbumKey(lines, key.c_str()).GetString());

  CStringArray albums;
  for (const char* album : kAlbums) albums.Add(album);
  ReorderAlbums(lines, albums);
  Check(albums.GetSize() >= 1 && std::strcmp(albums.GetAt(0), kAlbums[0]) == 0);
  for (INT_PTR i = 0; i < albums.GetSize(); ++i) {
    Check(std::any_of(std::begin(kAlbums), std::end(kAlbums),
                      [&](const char* album) { return std::strcmp(albums.GetAt(i), album) == 0; }));
  }
  if (ModelLookUp(modelLines, "Dir1").empty()) Check(albums.GetSize() == static_cast<INT_PTR>(std::size(kAlbums)));
  return 0;
}
