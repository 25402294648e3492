// The program's text drawn as characters (see afx_text.h).
#include "platform/framework/afx_text.h"

#include <cstring>

#ifdef _WIN32

namespace {

// Western European (Windows-1252): what a text file that is not UTF-8 was
// most likely written in. Windows names no constant for it.
constexpr UINT kWindows1252CodePage = 1252;

// `text` in UTF-16 by `codePage`; false when it is not valid there.
bool ToWide(UINT codePage, DWORD flags, LPCSTR text, std::wstring* wide) {
  const int length = static_cast<int>(std::strlen(text));
  wide->clear();
  if (length == 0) return true;
  const int needed = MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
  if (needed <= 0) return false;
  wide->resize(static_cast<size_t>(needed));
  return MultiByteToWideChar(codePage, flags, text, length, &(*wide)[0], needed) == needed;
}

}  // namespace

std::wstring AfxWideFromText(LPCSTR text) {
  std::wstring wide;
  if (text == nullptr) return wide;
  if (!ToWide(CP_UTF8, MB_ERR_INVALID_CHARS, text, &wide)) ToWide(kWindows1252CodePage, 0, text, &wide);
  return wide;
}

int AfxDrawText(HDC dc, LPCSTR text, LPRECT rect, UINT format) {
  const std::wstring wide = AfxWideFromText(text);
  return DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), rect, format);
}

BOOL AfxTextOut(HDC dc, int x, int y, LPCSTR text) {
  const std::wstring wide = AfxWideFromText(text);
  return TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

#else

int AfxDrawText(HDC dc, LPCSTR text, LPRECT rect, UINT format) {
  return DrawTextA(dc, text, -1, rect, format);
}

BOOL AfxTextOut(HDC dc, int x, int y, LPCSTR text) {
  return TextOutA(dc, x, y, text, text != nullptr ? static_cast<int>(std::strlen(text)) : 0);
}

#endif
