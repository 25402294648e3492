// Folder enumeration and attribute tests over POSIX directories, with the
// Windows meanings: the pattern's last part holds wildcards matched without
// regard to letter case, every entry (the dot entries too) gives its bare
// name and attributes.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/winapi/win_files.h"
#include "platform/winapi/win_kernel.h"

namespace {

// The folder is read as the search goes on, one directory entry at a time.
struct Search {
  std::string folder;  // with a trailing separator, or empty for the current folder
  std::string wildcard;
  DIR* listing = nullptr;
  ~Search() {
    if (listing != nullptr) closedir(listing);
  }
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

// FILE_ATTRIBUTE_DIRECTORY for a folder, 0 for a regular file, and for
// anything else (a pipe, a socket, a device) FILE_ATTRIBUTE_DEVICE, the
// Windows attribute of what is a device rather than a file: reading one may
// block for good. A dangling link stays a file, which no open will find.
DWORD KindAttribute(mode_t mode) {
  if (S_ISDIR(mode)) return FILE_ATTRIBUTE_DIRECTORY;
  if (S_ISREG(mode) || S_ISLNK(mode)) return 0;
  return FILE_ATTRIBUTE_DEVICE;
}

DWORD KindAttribute(unsigned char directoryEntryType) {
  switch (directoryEntryType) {
    case DT_DIR: return FILE_ATTRIBUTE_DIRECTORY;
    case DT_FIFO:
    case DT_SOCK:
    case DT_CHR:
    case DT_BLK: return FILE_ATTRIBUTE_DEVICE;
    default: return 0;
  }
}

DWORD AttributesOf(DWORD kindAttribute, const char* name) {
  DWORD attributes = kindAttribute;
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  }
  return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

// The attributes of a file looked at on its own: the read-only flag too.
DWORD AttributesOf(const struct stat& info, const std::string& name) {
  DWORD attributes = AttributesOf(KindAttribute(info.st_mode), name.c_str());
  if ((info.st_mode & S_IWUSR) == 0) {
    attributes = (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL)) | FILE_ATTRIBUTE_READONLY;
  }
  return attributes;
}


// Describes an entry from what the folder listing itself tells: its name
// and its kind (folder, file, or neither). Sizes, times and the read-only
// flag would take one stat per file, which makes scanning a folder of 20,000
// pictures ten times slower than listing it; the viewer asks an enumeration
// for the path, the bare name and the kind only, so they are left 0. A listing that
// cannot tell the entry's type (some file systems, symbolic links) is
// completed with stat.
bool Fill(const Search& search, const dirent& entry, LPWIN32_FIND_DATAA data) {
  DWORD kind = KindAttribute(entry.d_type);
  if (entry.d_type == DT_UNKNOWN || entry.d_type == DT_LNK) {
    struct stat info;
    const std::string path = search.folder + entry.d_name;
    if (stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) != 0) return false;
    kind = KindAttribute(info.st_mode);
  }
  const size_t n = std::strlen(entry.d_name);
  std::memset(data, 0, offsetof(WIN32_FIND_DATAA, cFileName));
  data->dwFileAttributes = AttributesOf(kind, entry.d_name);
  std::memcpy(data->cFileName, entry.d_name, n + 1);
  data->cAlternateFileName[0] = '\0';
  return true;
}

// The next entry that can be described; names longer than MAX_PATH - 1 are
// skipped rather than cut (a cut name would name another file).
bool Advance(Search* search, LPWIN32_FIND_DATAA data) {
  while (const dirent* entry = readdir(search->listing)) {
    if (std::strlen(entry->d_name) < MAX_PATH && Matches(search->wildcard.c_str(), entry->d_name) &&
        Fill(*search, *entry, data)) {
      return true;
    }
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
  search->wildcard = full.substr(cut);
  search->listing = opendir(search->folder.empty() ? "." : search->folder.c_str());
  if (search->listing == nullptr) {
    delete search;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
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
