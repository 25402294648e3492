// CString and CStringArray.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "platform/framework/afx_string.h"
#include "platform/win32.h"

namespace {
bool IsWhiteSpace(char ch) {
  return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '\v' || ch == '\f';
}
int ClampCount(int value, int limit) { return value < 0 ? 0 : (value > limit ? limit : value); }
}  // namespace

CString::CString(LPCSTR text) : m_text(text != nullptr ? text : "") {}
CString::CString(const char* text, int length)
    : m_text(text != nullptr && length > 0 ? std::string(text, static_cast<size_t>(length))
                                           : std::string()) {}
CString::CString(char ch, int repeat) : m_text(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}

CString& CString::operator=(LPCSTR text) {
  m_text = text != nullptr ? text : "";
  return *this;
}
CString& CString::operator=(char ch) {
  m_text.assign(1, ch);
  return *this;
}

char CString::GetAt(int index) const {
  if (index < 0 || index >= GetLength()) throw std::out_of_range("CString::GetAt");
  return m_text[static_cast<size_t>(index)];
}
void CString::SetAt(int index, char ch) {
  if (index < 0 || index >= GetLength()) throw std::out_of_range("CString::SetAt");
  m_text[static_cast<size_t>(index)] = ch;
}

CString& CString::operator+=(const CString& text) {
  m_text += text.m_text;
  return *this;
}
CString& CString::operator+=(LPCSTR text) {
  if (text != nullptr) m_text += text;
  return *this;
}
CString& CString::operator+=(char ch) {
  m_text += ch;
  return *this;
}
// The joined text is allocated once, at its full length: the folder scan
// builds a path this way for every entry.
CString operator+(const CString& a, const CString& b) {
  CString result;
  result.m_text.reserve(a.m_text.size() + b.m_text.size());
  result.m_text.append(a.m_text).append(b.m_text);
  return result;
}
CString operator+(const CString& a, LPCSTR b) {
  if (b == nullptr) return a;
  const size_t length = std::strlen(b);
  CString result;
  result.m_text.reserve(a.m_text.size() + length);
  result.m_text.append(a.m_text).append(b, length);
  return result;
}
CString operator+(LPCSTR a, const CString& b) {
  CString result(a);
  result += b;
  return result;
}
CString operator+(const CString& a, char b) {
  CString result(a);
  result += b;
  return result;
}

int CString::Compare(LPCSTR text) const {
  return std::strcmp(m_text.c_str(), text != nullptr ? text : "");  // strcmp compares unsigned
}
int CString::CompareNoCase(LPCSTR text) const {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(m_text.c_str());
  const unsigned char* b = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
  for (;; ++a, ++b) {
    int ca = std::tolower(*a);
    int cb = std::tolower(*b);
    if (ca != cb || ca == 0) return ca - cb;
  }
}

CString CString::Left(int count) const {
  return CString(m_text.c_str(), ClampCount(count, GetLength()));
}
CString CString::Right(int count) const {
  int n = ClampCount(count, GetLength());
  return CString(m_text.c_str() + (GetLength() - n), n);
}
CString CString::Mid(int first) const { return Mid(first, GetLength()); }
CString CString::Mid(int first, int count) const {
  int start = ClampCount(first, GetLength());
  int n = ClampCount(count, GetLength() - start);
  return CString(m_text.c_str() + start, n);
}
int CString::Find(char ch, int start) const {
  if (start < 0 || start >= GetLength()) return -1;
  size_t at = m_text.find(ch, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}
int CString::Find(LPCSTR text, int start) const {
  if (text == nullptr || start < 0 || start > GetLength()) return -1;
  size_t at = m_text.find(text, static_cast<size_t>(start));
  return at == std::string::npos ? -1 : static_cast<int>(at);
}
int CString::ReverseFind(char ch) const {
  size_t at = m_text.rfind(ch);
  return at == std::string::npos ? -1 : static_cast<int>(at);
}

CString& CString::TrimLeft() {
  size_t n = 0;
  while (n < m_text.size() && IsWhiteSpace(m_text[n])) ++n;
  m_text.erase(0, n);
  return *this;
}
CString& CString::TrimRight() {
  size_t n = m_text.size();
  while (n > 0 && IsWhiteSpace(m_text[n - 1])) --n;
  m_text.erase(n);
  return *this;
}
CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::TrimLeft(char ch) {
  size_t n = 0;
  while (n < m_text.size() && m_text[n] == ch) ++n;
  m_text.erase(0, n);
  return *this;
}
CString& CString::TrimRight(char ch) {
  size_t n = m_text.size();
  while (n > 0 && m_text[n - 1] == ch) --n;
  m_text.erase(n);
  return *this;
}
CString& CString::MakeLower() {
  for (char& c : m_text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return *this;
}
CString& CString::MakeUpper() {
  for (char& c : m_text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return *this;
}
int CString::Replace(LPCSTR oldText, LPCSTR newText) {
  if (oldText == nullptr || *oldText == '\0') return 0;
  std::string replacement = newText != nullptr ? newText : "";
  size_t oldLength = std::strlen(oldText);
  int count = 0;
  for (size_t at = m_text.find(oldText); at != std::string::npos;
       at = m_text.find(oldText, at + replacement.size())) {
    m_text.replace(at, oldLength, replacement);
    ++count;
  }
  return count;
}
int CString::Delete(int index, int count) {
  if (index >= 0 && index < GetLength() && count > 0) {
    m_text.erase(static_cast<size_t>(index), static_cast<size_t>(count));
  }
  return GetLength();
}

void CString::Format(LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) {
    va_end(args);
    m_text.clear();
    return;
  }
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  va_end(args);
  text.resize(static_cast<size_t>(length));
  m_text.swap(text);
}

BOOL CString::LoadString(UINT id) {
  char buffer[1024];
  int length = ::LoadStringA(GetModuleHandleA(nullptr), id, buffer, static_cast<int>(sizeof buffer));
  m_text.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  return length > 0;
}

LPSTR CString::GetBuffer(int minLength) {
  size_t wanted = minLength > 0 ? static_cast<size_t>(minLength) : 0;
  if (m_text.size() < wanted) m_text.resize(wanted, '\0');
  m_text.reserve(m_text.size() + 1);
  return &m_text[0];
}
void CString::ReleaseBuffer(int newLength) {
  size_t length = newLength < 0 ? std::strlen(m_text.c_str()) : static_cast<size_t>(newLength);
  if (length < m_text.size()) m_text.resize(length);
}

bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
bool operator==(const CString& a, LPCSTR b) { return a.Compare(b) == 0; }
bool operator==(LPCSTR a, const CString& b) { return b.Compare(a) == 0; }
bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, LPCSTR b) { return !(a == b); }
bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }

// --- CStringArray ---------------------------------------------------------------------

void CStringArray::SetSize(INT_PTR newSize) {
  m_items.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
}
const CString& CStringArray::GetAt(INT_PTR index) const {
  if (index < 0 || index >= GetSize()) throw std::out_of_range("CStringArray::GetAt");
  return m_items[static_cast<size_t>(index)];
}
CString& CStringArray::ElementAt(INT_PTR index) {
  if (index < 0 || index >= GetSize()) throw std::out_of_range("CStringArray::ElementAt");
  return m_items[static_cast<size_t>(index)];
}
void CStringArray::SetAt(INT_PTR index, LPCSTR text) { ElementAt(index) = text; }
INT_PTR CStringArray::Add(LPCSTR text) {
  m_items.emplace_back(text);
  return GetSize() - 1;
}
INT_PTR CStringArray::Add(const CString& text) {
  m_items.push_back(text);
  return GetSize() - 1;
}
INT_PTR CStringArray::Add(CString&& text) {
  m_items.push_back(std::move(text));
  return GetSize() - 1;
}
void CStringArray::InsertAt(INT_PTR index, LPCSTR text, INT_PTR count) {
  if (index < 0 || count <= 0) return;
  // As the framework does, inserting past the end grows the array first.
  if (index > GetSize()) SetSize(index);
  m_items.insert(m_items.begin() + index, static_cast<size_t>(count), CString(text));
}
void CStringArray::RemoveAt(INT_PTR index, INT_PTR count) {
  if (index < 0 || count <= 0 || index + count > GetSize()) {
    throw std::out_of_range("CStringArray::RemoveAt");
  }
  m_items.erase(m_items.begin() + index, m_items.begin() + index + count);
}
