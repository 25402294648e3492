// Volumes over the mount table: a volume is a mount (a bind mount included,
// for it can be read-only on its own), its root the mount point.
#include <limits.h>
#include <mntent.h>
#include <stdlib.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/winapi/win_files.h"
#include "platform/winapi/win_kernel.h"

namespace {

struct Mount {
  std::string point;  // without a trailing separator, "/" for the root
  std::string type;
};

bool Contains(const std::string& point, const std::string& path) {
  if (point == "/") return true;
  return path.compare(0, point.size(), point) == 0 &&
         (path.size() == point.size() || path[point.size()] == '/');
}

// The mount holding an absolute, resolved path: the last listed of the
// longest mount points containing it (a later mount over the same point
// hides the earlier one).
Mount MountHolding(const std::string& path) {
  Mount found{"/", ""};
  std::FILE* table = setmntent("/proc/self/mounts", "r");
  if (table == nullptr) return found;
  size_t longest = 0;
  struct mntent entry;
  char strings[4096];
  while (getmntent_r(table, &entry, strings, sizeof strings) != nullptr) {
    const std::string point = entry.mnt_dir;
    if (!Contains(point, path) || point.size() < longest) continue;
    longest = point.size();
    found = {point, entry.mnt_type};
  }
  endmntent(table);
  return found;
}

// The path resolved, of its longest part that exists (a relative path's
// parts are under the current folder); false when none does.
bool ResolveExistingPart(std::string part, std::string* resolved) {
  char buffer[PATH_MAX];
  for (;;) {
    if (realpath(part.empty() ? "." : part.c_str(), buffer) != nullptr) {
      *resolved = buffer;
      return true;
    }
    if (part.empty() || part == "/") return false;
    const size_t slash = part.find_last_of('/');
    part = slash == std::string::npos ? std::string() : part.substr(0, slash == 0 ? 1 : slash);
  }
}

std::string WithSeparator(const std::string& folder) {
  return folder.back() == '/' ? folder : folder + "/";
}

bool CopyOut(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr) return true;
  if (text.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return true;
}

}  // namespace

BOOL GetVolumePathNameA(LPCSTR path, LPSTR volumePath, DWORD volumePathLength) {
  if (path == nullptr || volumePath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string resolved;
  if (!ResolveExistingPart(path, &resolved)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return CopyOut(WithSeparator(MountHolding(resolved).point), volumePath, volumePathLength)
             ? TRUE
             : FALSE;
}

BOOL GetVolumeInformationA(LPCSTR rootPath, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maximumComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  if (rootPath == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  char resolved[PATH_MAX];
  if (realpath(rootPath, resolved) == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const Mount mount = MountHolding(resolved);
  struct statvfs facts;
  if (mount.point != resolved || statvfs(resolved, &facts) != 0) {
    SetLastError(mount.point != resolved ? ERROR_DIR_NOT_ROOT : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (!CopyOut("", volumeName, volumeNameSize) ||
      !CopyOut(mount.type, fileSystemName, fileSystemNameSize)) {
    return FALSE;
  }
  if (serialNumber != nullptr) *serialNumber = static_cast<DWORD>(facts.f_fsid);
  if (maximumComponentLength != nullptr) {
    *maximumComponentLength = static_cast<DWORD>(facts.f_namemax);
  }
  if (fileSystemFlags != nullptr) {
    *fileSystemFlags = (facts.f_flag & ST_RDONLY) != 0 ? FILE_READ_ONLY_VOLUME : 0;
  }
  return TRUE;
}

BOOL GetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
  struct statvfs facts;
  if (path == nullptr || statvfs(path, &facts) != 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  const ULONGLONG unit = facts.f_frsize != 0 ? facts.f_frsize : facts.f_bsize;
  if (freeBytesAvailableToCaller != nullptr) freeBytesAvailableToCaller->QuadPart = facts.f_bavail * unit;
  if (totalNumberOfBytes != nullptr) totalNumberOfBytes->QuadPart = facts.f_blocks * unit;
  if (totalNumberOfFreeBytes != nullptr) totalNumberOfFreeBytes->QuadPart = facts.f_bfree * unit;
  return TRUE;
}
