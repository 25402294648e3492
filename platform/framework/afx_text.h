// Drawing the program's own text: file and folder names, album.txt and
// title.txt. Inside the program such text is UTF-8 on both systems (what
// the file system gives under the UTF-8 code page, and what editors save),
// except for a text file written in an older code page, which is read as
// Windows-1252.
//
// Windows' GDI turns the text of its "A" functions into characters by the
// system's ANSI code page, never the program's UTF-8 one, so on Windows
// these convert the text to UTF-16 and draw it through the "W" functions.
// The Linux layer's "A" functions follow the same UTF-8-or-Windows-1252
// rule themselves.
#pragma once

#include <string>

#include "platform/win32.h"

// DrawTextA of the whole of `text` (zero-terminated).
int AfxDrawText(HDC dc, LPCSTR text, LPRECT rect, UINT format);
// TextOutA of the whole of `text` (zero-terminated).
BOOL AfxTextOut(HDC dc, int x, int y, LPCSTR text);

#ifdef _WIN32
// `text` in UTF-16: read as UTF-8 when it is valid UTF-8, otherwise as
// Windows-1252.
std::wstring AfxWideFromText(LPCSTR text);
#endif
