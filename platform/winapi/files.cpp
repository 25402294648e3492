// Folder enumeration and attribute tests over POSIX directories, with the
// Windows meanings: the pattern's last part holds wildcards matched without
// regard to letter case, every entry (the dot entries too) gives its bare
// name and attributes.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/winapi/win_files.h"
#include "platform/winapi/win_kernel.h"

namespace {

struct Search {
  std::string folder;  // with a trailing separator, or empty for the current folder
  std::vector<std::string> names;
  size_t next = 0;
};

bool IsSeparator(char c) { return c == platform::kPathSeparator; }

// Windows wildcards: * any run, ? one character; without regard to case.
// "*.*" matches every name, with or without a dot, as on Windows.
bool Matches(const char* pattern, const char* name) {
  if (std::strcmp(pattern, "*.*") == 0 || std::strcmp(pattern, "*") == 0) return true;
  if (*pattern == '\0') return *name == '\0';
  if (*pattern == '*') {
    for (const char* n = name;; ++n) {
      if (Matches(pattern + 1, n)) return true;
      if (*n == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                             std::tolower(static_cast<unsigned char>(*name))) {
    return false;
  }
  return Matches(pattern + 1, name + 1);
}

DWORD AttributesOf(const struct stat& info, const std::string& name) {
  DWORD attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((info.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") {
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  }
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

void UnixTimeToFileTime(time_t seconds, FILETIME* time) {
  // 100-nanosecond intervals since 1601-01-01.
  uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
  time->dwLowDateTime = static_cast<DWORD>(ticks);
  time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

bool Fill(const Search& search, const std::string& name, LPWIN32_FIND_DATAA data) {
  struct stat info;
  std::string path = search.folder + name;
  if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return false;
  std::memset(data, 0, sizeof *data);
  data->dwFileAttributes = AttributesOf(info, name);
  uint64_t size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  UnixTimeToFileTime(info.st_mtime, &data->ftLastWriteTime);
  UnixTimeToFileTime(info.st_atime, &data->ftLastAccessTime);
  UnixTimeToFileTime(info.st_ctime, &data->ftCreationTime);
  size_t n = std::min(name.size(), static_cast<size_t>(MAX_PATH - 1));
  std::memcpy(data->cFileName, name.data(), n);
  data->cFileName[n] = '\0';
  return true;
}

// The next entry that can be described; names longer than MAX_PATH - 1 are
// skipped rather than cut (a cut name would name another file).
bool Advance(Search* search, LPWIN32_FIND_DATAA data) {
  while (search->next < search->names.size()) {
    const std::string& name = search->names[search->next++];
    if (name.size() < MAX_PATH && Fill(*search, name, data)) return true;
  }
  return false;
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (pattern == nullptr || data == nullptr || *pattern == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string full = pattern;
  size_t cut = full.size();
  while (cut > 0 && !IsSeparator(full[cut - 1])) --cut;
  auto search = new Search();
  search->folder = full.substr(0, cut);
  std::string wildcard = full.substr(cut);
  DIR* folder = opendir(search->folder.empty() ? "." : search->folder.c_str());
  if (folder == nullptr) {
    delete search;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  while (struct dirent* entry = readdir(folder)) {
    if (Matches(wildcard.c_str(), entry->d_name)) search->names.emplace_back(entry->d_name);
  }
  closedir(folder);
  if (!Advance(search, data)) {
    delete search;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return static_cast<HANDLE>(search);
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || data == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!Advance(static_cast<Search*>(handle), data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete static_cast<Search*>(handle);
  return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path) {
  if (path == nullptr || *path == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_FILE_ATTRIBUTES;
  }
  std::string unixPath = path;
  struct stat info;
  if (stat(unixPath.c_str(), &info) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  size_t slash = unixPath.find_last_of(platform::kPathSeparator);
  return AttributesOf(info, slash == std::string::npos ? unixPath : unixPath.substr(slash + 1));
}
