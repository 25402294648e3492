// The framework's folder enumeration (CFileFind) over FindFirstFileA, and the
// companion-file lookup of a case-sensitive file system.
#pragma once

#include "platform/framework/afx_object.h"
#include "platform/framework/afx_string.h"
#include "platform/win32.h"

// As the framework's: FindFile starts a search, and each FindNextFile makes
// the next entry current, returning FALSE when that entry is the last:
//   BOOL more = finder.FindFile(pattern);
//   while (more) { more = finder.FindNextFile(); ...finder.GetFilePath()... }
class CFileFind : public CObject {
  DECLARE_DYNAMIC(CFileFind)

 public:
  CFileFind() = default;
  ~CFileFind() override;

  // `pattern` is "<folder><separator>*.*" or similar; nullptr means "*.*".
  BOOL FindFile(LPCSTR pattern = nullptr, DWORD flags = 0);
  BOOL FindNextFile();
  void Close();

  // The current entry: full path (the pattern's folder and the name), bare
  // name, the folder part, and its kind.
  CString GetFilePath() const;
  CString GetFileName() const;
  CString GetRoot() const;
  BOOL IsDirectory() const;
  BOOL IsDots() const;
  // TRUE when the current entry carries any of the FILE_ATTRIBUTE_* bits of `mask`.
  BOOL MatchesMask(DWORD mask) const;

 private:
  HANDLE m_search = INVALID_HANDLE_VALUE;
  CString m_root;
  WIN32_FIND_DATAA m_current = {};
  WIN32_FIND_DATAA m_next = {};
  bool m_hasCurrent = false;
  bool m_hasNext = false;
};

// Finds `path` as Windows would on a case-insensitive disc: the path itself
// when it exists, else the one entry of its folder whose name equals the
// path's last part without regard to letter case (the first in enumeration
// order if several do). TRUE with `actualPath` set when found.
BOOL AfxFindFileAnyCase(LPCSTR path, CString& actualPath);
