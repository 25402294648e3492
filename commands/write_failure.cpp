#include "commands/write_failure.h"

#include "imaging/core/error_text.h"
#include "platform/win32.h"

namespace {

enum class Reason { kUnknown, kFolderMissing, kReadOnlyMedium, kNoSpace, kReadOnlyFile, kFolderName, kNoPermission };

// The folder part of a path; a root keeps its separator ("/", "C:\").
std::string FolderOf(const std::string& path) {
  const size_t separator = path.find_last_of(platform::kPathSeparator);
  if (separator == std::string::npos) return ".";
  const std::string folder = path.substr(0, separator);
  return folder.empty() || folder.back() == ':' ? path.substr(0, separator + 1) : folder;
}

bool OnReadOnlyMedium(const std::string& folder) {
  char volume[MAX_PATH];
  DWORD volumeFlags = 0;
  return GetVolumePathNameA(folder.c_str(), volume, sizeof volume) &&
         GetVolumeInformationA(volume, nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr, 0) &&
         (volumeFlags & FILE_READ_ONLY_VOLUME) != 0;
}

bool MediumFull(const std::string& folder) {
  ULARGE_INTEGER available;
  return GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) &&
         available.QuadPart == 0;
}

Reason WhyNotWritten(const std::string& path, const std::string& folder, PelornError code) {
  const DWORD folderAttributes = GetFileAttributesA(folder.c_str());
  if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
      (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return Reason::kFolderMissing;
  }
  if (OnReadOnlyMedium(folder)) return Reason::kReadOnlyMedium;
  if (MediumFull(folder)) return Reason::kNoSpace;
  // A file that was made but not filled tells nothing more.
  if (code != kPelornFileOpen) return Reason::kUnknown;
  const DWORD fileAttributes = GetFileAttributesA(path.c_str());
  if (fileAttributes != INVALID_FILE_ATTRIBUTES) {
    if ((fileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Reason::kFolderName;
    if ((fileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return Reason::kReadOnlyFile;
  }
  return Reason::kNoPermission;
}

std::string Explanation(Reason reason, const std::string& path, const std::string& folder) {
  switch (reason) {
    case Reason::kFolderMissing: return "The folder " + folder + " does not exist.";
    case Reason::kReadOnlyMedium: return "The folder " + folder + " is on a read-only medium.";
    case Reason::kNoSpace: return "No space is left on the medium of the folder " + folder + ".";
    case Reason::kReadOnlyFile: return "The file " + path + " is read-only.";
    case Reason::kFolderName: return "A folder is named " + path + ".";
    case Reason::kNoPermission:
      return "You have no permission to write in the folder " + folder + ".";
    case Reason::kUnknown: break;
  }
  return std::string();
}

}  // namespace

std::string WriteFailureText(const char* path, PelornError code) {
  std::string text = ErrorText(code);
  if (path == nullptr || (code != kPelornFileOpen && code != kPelornFileWrite)) return text;
  const std::string folder = FolderOf(path);
  const std::string explanation = Explanation(WhyNotWritten(path, folder, code), path, folder);
  if (!explanation.empty()) text += "\n" + explanation;
  return text;
}
