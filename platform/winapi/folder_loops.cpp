// Folder loops on POSIX file systems: a folder's identity is its device and
// inode number, which a link or a bind mount shares with its target.
#include "platform/folder_loops.h"

#include <sys/stat.h>

#include <string>

#include "platform/paths.h"

namespace {

bool SameFolder(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

namespace platform {

bool IsFolderLoop(const char* folder) {
  if (folder == nullptr) return false;
  std::string path = folder;
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  struct stat target;
  if (stat(path.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return false;
  // Each folder the path runs through, from its parent up to the top ("/").
  for (size_t cut = path.find_last_of(kPathSeparator); cut != std::string::npos;
       cut = cut == 0 ? std::string::npos : path.find_last_of(kPathSeparator, cut - 1)) {
    const std::string ancestor = cut == 0 ? std::string(1, kPathSeparator) : path.substr(0, cut);
    struct stat identity;
    if (stat(ancestor.c_str(), &identity) == 0 && SameFolder(identity, target)) return true;
  }
  return false;
}

}  // namespace platform
