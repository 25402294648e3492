// Folder loops on Windows: a folder's identity is its volume serial number
// and file index, which a junction or a directory link shares with its target.
#include <windows.h>

#include <string>

#include "platform/folder_loops.h"
#include "platform/paths.h"

namespace {

// The identity of a folder, opened for its attributes only (a folder opens
// only with FILE_FLAG_BACKUP_SEMANTICS); false when it cannot be opened.
bool FolderIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION* identity) {
  HANDLE handle =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const BOOL known = GetFileInformationByHandle(handle, identity);
  CloseHandle(handle);
  return known != FALSE;
}

bool SameFolder(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

namespace platform {

bool IsFolderLoop(const char* folder) {
  if (folder == nullptr) return false;
  std::string path = folder;
  while (path.size() > 3 && path.back() == kPathSeparator) path.pop_back();
  BY_HANDLE_FILE_INFORMATION target;
  if (!FolderIdentity(path, &target) || (target.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return false;
  }
  // Each folder the path runs through, from its parent up to the drive's
  // top ("C:\", which needs its separator to name a folder).
  for (size_t cut = path.find_last_of(kPathSeparator); cut != std::string::npos && cut > 0;
       cut = path.find_last_of(kPathSeparator, cut - 1)) {
    std::string ancestor = path.substr(0, cut);
    if (ancestor.back() == ':') ancestor += kPathSeparator;
    BY_HANDLE_FILE_INFORMATION identity;
    if (FolderIdentity(ancestor, &identity) && SameFolder(identity, target)) return true;
  }
  return false;
}

}  // namespace platform
