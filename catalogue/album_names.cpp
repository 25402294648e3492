#include "catalogue/album_names.h"

#include <cstring>
#include <string>
#include <vector>

#include "catalogue/album_line.h"
#include "catalogue/folder_scan.h"
#include "catalogue/name_matching.h"
#include "catalogue/text_encoding.h"
#include "platform/framework/afx_files.h"
#include "platform/paths.h"
#include "platform/win32.h"

namespace {

constexpr long kLargestTextFile = 0xFFFFF;

CString LastPathPart(CString entry) {
  if (entry.GetLength() > 0 && entry[entry.GetLength() - 1] == platform::kPathSeparator)
    entry = entry.Left(entry.GetLength() - 1);
  const int separator = entry.ReverseFind(platform::kPathSeparator);
  return separator >= 0 ? entry.Mid(separator + 1) : entry;
}

}  // namespace

TextFileRead ReadWholeTextFile(std::FILE* file, CString* text) {
  text->Empty();
  if (std::fseek(file, 0, SEEK_END) != 0) return TextFileRead::kFailed;
  const long length = std::ftell(file);
  if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) return TextFileRead::kFailed;
  if (length > kLargestTextFile) {
    MessageBoxA(GetActiveWindow(), "The file is too large to open.", "Tessary",
                MB_OK | MB_ICONEXCLAMATION);
    return TextFileRead::kTooLarge;
  }
  std::string bytes(static_cast<size_t>(length), '\0');
  if (std::fread(&bytes[0], 1, bytes.size(), file) != bytes.size()) return TextFileRead::kFailed;
  *text = CString(TextFromFileBytes(bytes).c_str());
  return TextFileRead::kRead;
}

CString FindCompanionFile(const CString& folder, const CString& name) {
  const CString path = WithTrailingSeparator(folder) + name;
  CString actualPath;
  return AfxFindFileAnyCase(path, actualPath) ? actualPath : path;
}

namespace {
CString& ChosenRootFolder() {
  static CString folder;
  return folder;
}
}  // namespace

void SetRootFolder(const CString& folder) { ChosenRootFolder() = folder; }

CString ProgramFolder() {
  if (!ChosenRootFolder().IsEmpty()) return ChosenRootFolder();
  char moduleFile[257] = {0};
  GetModuleFileNameA(nullptr, moduleFile, 256);
  CString path(moduleFile);
  const int separator = path.ReverseFind(platform::kPathSeparator);
  return separator >= 0 ? path.Left(separator) : path;
}

void SplitAlbumLines(const CString& text, CStringArray& lines) {
  lines.RemoveAll();
  CString rest = text;
  int lineFeed;
  while ((lineFeed = rest.Find('\n')) >= 0) {
    CString line = rest.Left(lineFeed);
    // Files written on Linux end their lines in a bare line feed: drop only
    // a carriage return, never the line's last letter.
    if (line.GetLength() > 0 && line[line.GetLength() - 1] == '\r')
      line = line.Left(line.GetLength() - 1);
    line.Trim();
    lines.Add(line);
    rest = rest.Mid(lineFeed + 1);
  }
  rest.Trim();
  if (!rest.IsEmpty()) lines.Add(rest);
}

TextFileRead ReadAlbumTxt(CStringArray& lines) {
  const CString path = FindCompanionFile(ProgramFolder(), "album.txt");
  if (!IsRegularFile(path)) return TextFileRead::kRead;  // none, or a pipe that would never end
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return TextFileRead::kRead;  // no album.txt: nothing to read
  CString text;
  const TextFileRead outcome = ReadWholeTextFile(file, &text);
  std::fclose(file);
  if (outcome != TextFileRead::kRead) return outcome;
  SplitAlbumLines(text, lines);
  return TextFileRead::kRead;
}

CString LookUpAlbumKey(const CStringArray& lines, const CString& key) {
  const std::string wanted = album_line::Lowered(key.GetString());
  for (INT_PTR i = 0; i < lines.GetSize(); ++i) {
    std::string lineKey;
    std::string value;
    if (album_line::Split(lines.GetAt(i).GetString(), &lineKey, &value) && lineKey == wanted)
      return CString(value.c_str());
  }
  return CString();
}

void ReorderAlbums(const CStringArray& lines, CStringArray& albumList) {
  if (albumList.GetSize() == 0) return;
  // Each folder's name as the Dir values are compared with it, made once.
  std::vector<std::u32string> folderNames(static_cast<size_t>(albumList.GetSize()));
  for (INT_PTR i = 1; i < albumList.GetSize(); ++i)
    folderNames[static_cast<size_t>(i)] = ComparableName(LastPathPart(albumList.GetAt(i)).GetString());
  CStringArray chosen;
  chosen.Add(albumList.GetAt(0));
  for (int n = 1;; ++n) {
    CString key;
    key.Format("Dir%d", n);
    CString value = LookUpAlbumKey(lines, key);
    if (value.IsEmpty()) break;
    const std::u32string wanted = ComparableName(value.GetString());
    for (INT_PTR i = 1; i < albumList.GetSize(); ++i) {
      if (folderNames[static_cast<size_t>(i)] == wanted) chosen.Add(albumList.GetAt(i));
    }
  }
  if (chosen.GetSize() <= 1) return;
  const CString root = albumList.GetAt(0);
  albumList.RemoveAll();
  albumList.Add(chosen.GetAt(0));
  for (INT_PTR i = 1; i < chosen.GetSize(); ++i) {
    const CString& entry = chosen.GetAt(i);
    albumList.Add(entry);
    // Only a first-level album brings its subfolders along; a chosen
    // second-level album (its entry starts with a blank) has none listed,
    // since folders three levels down are never visited.
    if (entry.GetLength() > 0 && entry[0] != ' ') AddSecondLevelAlbums(root, entry, albumList);
  }
}
