#include "catalogue/folder_scan.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
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
// `visit` gets the finder on each entry and the entry's bare name.
template <typename Visit>
void ForEachEntry(const CString& folder, Visit visit) {
  CFileFind finder;
  BOOL more = finder.FindFile(WithTrailingSeparator(folder) + "*.*");
  while (more) {
    more = finder.FindNextFile();
    if (finder.IsDots() || finder.MatchesMask(FILE_ATTRIBUTE_DEVICE)) continue;
    const CString name = finder.GetFileName();
    if (name.IsEmpty() || IsSystemEntryName(name)) continue;
    visit(finder, name);
  }
}

std::vector<FolderEntry> EnumerateFolder(const CString& folder) {
  std::vector<FolderEntry> entries;
  ForEachEntry(folder, [&entries](const CFileFind& finder, const CString& name) {
    entries.push_back({finder.GetFilePath(), name, finder.IsDirectory() != FALSE});
  });
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

// A path's place in the sort: its first eight bytes past the shared part as
// a big-endian number (zero past its end) and its place in the list.
struct PathSortKey {
  uint64_t leading;
  uint32_t position;
  const char* rest;
};

uint64_t LeadingBytes(const char* text) {
  uint64_t leading = 0;
  bool ended = false;
  for (int i = 0; i < 8; ++i) {
    const unsigned char byte = ended ? 0 : static_cast<unsigned char>(text[i]);
    ended = byte == 0;
    leading = leading << 8 | byte;
  }
  return leading;
}

// Sorts the keys by their leading bytes, stably (equal keys keep their list
// order): a least-significant-byte radix sort, one counting pass for each
// byte in which the keys differ (five for names such as p00001.jpg).
void SortByLeadingBytes(std::vector<PathSortKey>& keys) {
  uint64_t differing = 0;
  for (const PathSortKey& key : keys) differing |= key.leading ^ keys[0].leading;
  std::vector<PathSortKey> moved(keys.size());
  for (int shift = 0; shift < 64; shift += 8) {
    if (((differing >> shift) & 0xFF) == 0) continue;
    size_t starts[257] = {};
    for (const PathSortKey& key : keys) ++starts[((key.leading >> shift) & 0xFF) + 1];
    for (int byte = 0; byte < 256; ++byte) starts[byte + 1] += starts[byte];
    for (const PathSortKey& key : keys) moved[starts[(key.leading >> shift) & 0xFF]++] = key;
    keys.swap(moved);
  }
}

}  // namespace

bool IsSystemEntryName(const CString& name) {
  if (name.GetLength() == 0) return false;
  if (name[0] == '.') return true;
  // Every system name starts with one of these: most names end here.
  const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
  if (first != '$' && first != 'r' && first != 's' && first != 'l') return false;
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
  // case-sensitive. The paths of one folder share their folder part, so the
  // order is decided from the first byte where any two differ; the next
  // eight bytes, read as one big-endian number, decide almost every
  // comparison without touching the strings, and equal paths keep their
  // order as in the exchange sort.
  if (list.GetSize() - first < 2) return;
  const size_t count = static_cast<size_t>(list.GetSize() - first);
  size_t shared = std::strlen(list.GetAt(first).GetString());
  for (INT_PTR i = first + 1; i < list.GetSize() && shared > 0; ++i) {
    const char* a = list.GetAt(first).GetString();
    const char* b = list.GetAt(i).GetString();
    if (std::strncmp(a, b, shared) == 0) continue;
    size_t same = 0;
    while (same < shared && a[same] == b[same]) ++same;
    shared = same;
  }
  std::vector<PathSortKey> keys(count);
  for (size_t i = 0; i < count; ++i) {
    const char* rest = list.GetAt(first + static_cast<INT_PTR>(i)).GetString() + shared;
    keys[i] = {LeadingBytes(rest), static_cast<uint32_t>(i), rest};
  }
  SortByLeadingBytes(keys);
  // Equal leading bytes that hold the end of the path are equal paths, which
  // keep their order; longer paths with equal leading bytes are ordered by
  // the rest, stably.
  for (size_t runStart = 0; runStart < count;) {
    size_t runEnd = runStart + 1;
    while (runEnd < count && keys[runEnd].leading == keys[runStart].leading) ++runEnd;
    if (runEnd - runStart > 1 && (keys[runStart].leading & 0xFF) != 0) {
      std::stable_sort(keys.begin() + static_cast<ptrdiff_t>(runStart),
                       keys.begin() + static_cast<ptrdiff_t>(runEnd),
                       [](const PathSortKey& a, const PathSortKey& b) {
                         return std::strcmp(a.rest + 8, b.rest + 8) < 0;
                       });
    }
    runStart = runEnd;
  }
  // Entry i takes the path keys[i] names. The paths move along the cycles of
  // that permutation, swapped in place, so no second list is made.
  for (size_t start = 0; start < count; ++start) {
    size_t at = start;
    while (keys[at].position != start) {
      const size_t from = keys[at].position;
      using std::swap;
      swap(list.ElementAt(first + static_cast<INT_PTR>(at)),
           list.ElementAt(first + static_cast<INT_PTR>(from)));
      keys[at].position = static_cast<uint32_t>(at);
      at = from;
    }
    keys[at].position = static_cast<uint32_t>(at);
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
  // The name ends as the path does: the reader is found from the name.
  ForEachEntry(albumFolder, [&pictureList](const CFileFind& finder, const CString& name) {
    if (!finder.IsDirectory() && IsPictureFileName(name)) pictureList.Add(finder.GetFilePath());
  });
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
