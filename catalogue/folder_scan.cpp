#include "catalogue/folder_scan.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/core/reader_table.h"
#include "platform/folder_loops.h"
#include "platform/framework/afx_files.h"
#include "platform/framework/afx_wnd.h"
#include "platform/paths.h"

namespace {

struct FolderEntry {
  CString fullPath;
  CString name;
  bool isFolder;
};

// Lists one folder through the framework's find-first/find-next. Empty
// names, the dot entries, what is not the author's and what is neither a
// file nor a folder are left out; an unreadable or missing folder gives
// nothing.
std::vector<FolderEntry> EnumerateFolder(const CString& folder) {
  std::vector<FolderEntry> entries;
  CFileFind finder;
  BOOL more = finder.FindFile(WithTrailingSeparator(folder) + "*.*");
  while (more) {
    more = finder.FindNextFile();
    const CString name = finder.GetFileName();
    if (finder.IsDots() || name.IsEmpty() || IsSystemEntryName(name)) continue;
    if (finder.MatchesMask(FILE_ATTRIBUTE_DEVICE)) continue;
    entries.push_back({finder.GetFilePath(), name, finder.IsDirectory() != FALSE});
  }
  return entries;
}

bool EqualsNoCase(const CString& text, const char* word) { return text.CompareNoCase(word) == 0; }

// A folder that becomes an album: not skipped by name, and no loop back to
// a folder above it (which would list that folder again).
bool IsAlbumFolder(const CString& rootFolder, const FolderEntry& entry) {
  return entry.isFolder && !IsSkippedFolder(rootFolder, entry.fullPath, entry.name) &&
         !platform::IsFolderLoop(entry.fullPath);
}

// Folders that Windows, macOS and Linux keep on removable media for
// themselves (macOS's own start with a dot and are passed over as such).
constexpr const char* kSystemFolderNames[] = {"$RECYCLE.BIN", "RECYCLER",
                                              "System Volume Information", "lost+found"};

}  // namespace

bool IsSystemEntryName(const CString& name) {
  if (name.GetLength() > 0 && name[0] == '.') return true;
  for (const char* systemName : kSystemFolderNames) {
    if (EqualsNoCase(name, systemName)) return true;
  }
  return false;
}

bool IsRegularFile(const CString& path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

// The pictures listed are exactly the files a reader will open.
bool IsPictureFileName(const CString& path) { return FindPictureReader(path.GetString()) != nullptr; }

bool IsSkippedFolder(const CString& rootFolder, const CString& fullPath, const CString& name) {
  if (EqualsNoCase(name, "bin") || EqualsNoCase(name, "setup") || EqualsNoCase(name, "install"))
    return true;
  // Only the part below the root counts: a disc mounted under a folder such
  // as /media/photo_system must not lose every album.
  const CString root = WithTrailingSeparator(rootFolder);
  CString below = fullPath;
  if (fullPath.GetLength() >= root.GetLength() && fullPath.Left(root.GetLength()) == root)
    below = fullPath.Mid(root.GetLength());
  below.MakeLower();
  return below.Find("_sys") >= 0;
}

CString WithTrailingSeparator(const CString& path) {
  if (path.GetLength() > 0 && path[path.GetLength() - 1] == platform::kPathSeparator) return path;
  return path + platform::kPathSeparator;
}

void SortPathList(CStringArray& list, INT_PTR first) {
  // Any sort giving the exchange sort's order will do: byte-wise, unsigned,
  // case-sensitive. A stable O(n log n) sort keeps 20,000 files quick, and
  // since the paths of one folder share their folder part, comparing from
  // the first byte where any two differ gives the same order for less work.
  if (list.GetSize() - first < 2) return;
  std::vector<CString> sorted;
  sorted.reserve(static_cast<size_t>(list.GetSize() - first));
  for (INT_PTR i = first; i < list.GetSize(); ++i) sorted.push_back(std::move(list.ElementAt(i)));
  size_t shared = std::strlen(sorted.front().GetString());
  for (const CString& path : sorted) {
    const char* a = sorted.front().GetString();
    const char* b = path.GetString();
    size_t same = 0;
    while (same < shared && a[same] == b[same]) ++same;
    shared = same;
  }
  std::stable_sort(sorted.begin(), sorted.end(), [shared](const CString& a, const CString& b) {
    return std::strcmp(a.GetString() + shared, b.GetString() + shared) < 0;
  });
  for (size_t i = 0; i < sorted.size(); ++i) {
    list.ElementAt(first + static_cast<INT_PTR>(i)) = std::move(sorted[i]);
  }
}

void ScanRootFolder(const CString& rootFolder, CStringArray& albumList, CStringArray& pictureList) {
  CWaitCursor wait;
  albumList.RemoveAll();
  pictureList.RemoveAll();

  const CString root = WithTrailingSeparator(rootFolder);
  CStringArray folders;
  folders.Add(root);
  for (const FolderEntry& entry : EnumerateFolder(root)) {
    if (entry.isFolder) {
      if (IsAlbumFolder(root, entry)) folders.Add(entry.fullPath);
    } else if (IsPictureFileName(entry.fullPath)) {
      pictureList.Add(entry.fullPath);
    }
  }
  SortPathList(pictureList);
  SortPathList(folders, 1);

  albumList.RemoveAll();
  albumList.Add(folders.GetAt(0));
  for (INT_PTR i = 1; i < folders.GetSize(); ++i) {
    albumList.Add(folders.GetAt(i));
    AddSecondLevelAlbums(root, folders.GetAt(i), albumList);
  }
}

void ScanAlbumFolder(const CString& albumFolder, CStringArray& pictureList) {
  CWaitCursor wait;
  pictureList.RemoveAll();
  for (const FolderEntry& entry : EnumerateFolder(albumFolder)) {
    if (!entry.isFolder && IsPictureFileName(entry.fullPath)) pictureList.Add(entry.fullPath);
  }
  SortPathList(pictureList);
}

bool AddSecondLevelAlbums(const CString& rootFolder, const CString& firstLevelAlbum,
                          CStringArray& albumList) {
  CStringArray folders;
  for (const FolderEntry& entry : EnumerateFolder(firstLevelAlbum)) {
    if (IsAlbumFolder(rootFolder, entry)) folders.Add(entry.fullPath);
  }
  // Media such as ext4 enumerate in hash order, not by name.
  SortPathList(folders);
  for (INT_PTR i = 0; i < folders.GetSize(); ++i) albumList.Add(CString(" ") + folders.GetAt(i));
  return folders.GetSize() > 0;
}
