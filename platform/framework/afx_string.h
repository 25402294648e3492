// The dialog framework's string and string-array types: CString (a byte
// string of the program's code page) and CStringArray, with the operations
// the viewer uses. Memory exhaustion throws std::bad_alloc.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

class CString {
 public:
  CString() = default;
  CString(const CString&) = default;
  CString(CString&&) noexcept = default;
  CString(LPCSTR text);  // NOLINT: converts as the framework's does
  CString(const char* text, int length);
  CString(char ch, int repeat = 1);
  CString& operator=(const CString&) = default;
  CString& operator=(CString&&) noexcept = default;
  CString& operator=(LPCSTR text);
  CString& operator=(char ch);

  int GetLength() const { return static_cast<int>(m_text.size()); }
  BOOL IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  char GetAt(int index) const;
  void SetAt(int index, char ch);
  char operator[](int index) const { return GetAt(index); }
  operator LPCSTR() const { return m_text.c_str(); }  // NOLINT
  LPCSTR GetString() const { return m_text.c_str(); }

  CString& operator+=(const CString& text);
  CString& operator+=(LPCSTR text);
  CString& operator+=(char ch);
  friend CString operator+(const CString& a, const CString& b);
  friend CString operator+(const CString& a, LPCSTR b);
  friend CString operator+(LPCSTR a, const CString& b);
  friend CString operator+(const CString& a, char b);

  // Byte comparison as unsigned characters: < 0, 0, > 0.
  int Compare(LPCSTR text) const;
  int CompareNoCase(LPCSTR text) const;

  CString Left(int count) const;
  CString Right(int count) const;
  CString Mid(int first) const;
  CString Mid(int first, int count) const;
  // Index of the first match at or after `start`, or -1.
  int Find(char ch, int start = 0) const;
  int Find(LPCSTR text, int start = 0) const;
  int ReverseFind(char ch) const;

  // White space is blank, tab, CR, LF, vertical tab and form feed.
  CString& TrimLeft();
  CString& TrimRight();
  CString& Trim();
  CString& TrimLeft(char ch);
  CString& TrimRight(char ch);
  CString& MakeLower();
  CString& MakeUpper();
  int Replace(LPCSTR oldText, LPCSTR newText);
  int Delete(int index, int count = 1);

  void Format(LPCSTR format, ...);
  // String resource `id` of the program; FALSE (and empty) when there is none.
  BOOL LoadString(UINT id);

  // A writable buffer of at least minLength characters; ReleaseBuffer(-1)
  // takes the length from the terminating zero.
  LPSTR GetBuffer(int minLength);
  void ReleaseBuffer(int newLength = -1);

  const std::string& str() const { return m_text; }

 private:
  std::string m_text;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, LPCSTR b);
bool operator==(LPCSTR a, const CString& b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, LPCSTR b);
bool operator<(const CString& a, const CString& b);
bool operator>(const CString& a, const CString& b);

class CStringArray {
 public:
  INT_PTR GetSize() const { return static_cast<INT_PTR>(m_items.size()); }
  INT_PTR GetCount() const { return GetSize(); }
  INT_PTR GetUpperBound() const { return GetSize() - 1; }
  BOOL IsEmpty() const { return m_items.empty(); }
  void SetSize(INT_PTR newSize);

  // Checked: an index outside the array throws std::out_of_range rather
  // than reading past the end.
  const CString& GetAt(INT_PTR index) const;
  void SetAt(INT_PTR index, LPCSTR text);
  CString& ElementAt(INT_PTR index);
  const CString& operator[](INT_PTR index) const { return GetAt(index); }
  CString& operator[](INT_PTR index) { return ElementAt(index); }

  INT_PTR Add(LPCSTR text);
  INT_PTR Add(const CString& text);
  INT_PTR Add(CString&& text);
  void InsertAt(INT_PTR index, LPCSTR text, INT_PTR count = 1);
  void RemoveAt(INT_PTR index, INT_PTR count = 1);
  void RemoveAll() { m_items.clear(); }
  void Copy(const CStringArray& source) { m_items = source.m_items; }

 private:
  std::vector<CString> m_items;
};
