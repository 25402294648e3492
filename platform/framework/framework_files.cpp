// CFileFind and the companion-file lookup.
#include <cstring>

#include "platform/framework/afx_files.h"
#include "platform/paths.h"

IMPLEMENT_DYNAMIC(CFileFind, CObject)

CFileFind::~CFileFind() { Close(); }

BOOL CFileFind::FindFile(LPCSTR pattern, DWORD) {
  Close();
  CString full = pattern != nullptr ? pattern : "*.*";
  int separator = full.ReverseFind(platform::kPathSeparator);
  m_root = separator >= 0 ? full.Left(separator + 1) : CString();
  m_search = ::FindFirstFileA(full, &m_next);
  m_hasNext = m_search != INVALID_HANDLE_VALUE;
  return m_hasNext;
}

BOOL CFileFind::FindNextFile() {
  if (!m_hasNext) return FALSE;
  m_current = m_next;
  m_hasCurrent = true;
  m_hasNext = ::FindNextFileA(m_search, &m_next) != FALSE;
  return m_hasNext;
}

void CFileFind::Close() {
  if (m_search != INVALID_HANDLE_VALUE) ::FindClose(m_search);
  m_search = INVALID_HANDLE_VALUE;
  m_hasCurrent = false;
  m_hasNext = false;
}

CString CFileFind::GetFilePath() const { return m_root + GetFileName(); }
CString CFileFind::GetFileName() const { return m_hasCurrent ? CString(m_current.cFileName) : CString(); }
CString CFileFind::GetRoot() const { return m_root; }
BOOL CFileFind::IsDirectory() const {
  return m_hasCurrent && (m_current.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
BOOL CFileFind::MatchesMask(DWORD mask) const {
  return m_hasCurrent && (m_current.dwFileAttributes & mask) != 0;
}
BOOL CFileFind::IsDots() const {
  return IsDirectory() && (std::strcmp(m_current.cFileName, ".") == 0 ||
                           std::strcmp(m_current.cFileName, "..") == 0);
}

BOOL AfxFindFileAnyCase(LPCSTR path, CString& actualPath) {
  if (path == nullptr || *path == '\0') return FALSE;
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
    actualPath = path;
    return TRUE;
  }
  CString full = path;
  int separator = full.ReverseFind(platform::kPathSeparator);
  CString folder = separator >= 0 ? full.Left(separator + 1) : CString();
  CString name = full.Mid(separator + 1);
  if (name.IsEmpty()) return FALSE;
  // The name itself is the pattern: FindFirstFileA matches without regard
  // to case. Wildcards in the name are not lookups: refuse them.
  if (name.Find('*') >= 0 || name.Find('?') >= 0) return FALSE;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(folder + name, &found);
  if (search == INVALID_HANDLE_VALUE) return FALSE;
  FindClose(search);
  actualPath = folder + found.cFileName;
  return TRUE;
}
