// Placeholder until the software renderer lands: a device with no abilities.
#include "platform/win_gdi.h"

int GetDeviceCaps(HDC, int) { return 0; }
HDC GetDC(HWND) { return nullptr; }
int ReleaseDC(HWND, HDC) { return 0; }
int StretchDIBits(HDC, int, int, int, int, int, int, int, int, const void*, const BITMAPINFO*,
                  UINT, DWORD) {
  return 0;
}
HBITMAP CreateDIBitmap(HDC, const BITMAPINFOHEADER*, DWORD, const void*, const BITMAPINFO*,
                       UINT) {
  return nullptr;
}
HPALETTE CreatePalette(const LOGPALETTE*) { return nullptr; }
HPALETTE SelectPalette(HDC, HPALETTE, BOOL) { return nullptr; }
UINT RealizePalette(HDC) { return 0; }
BOOL DeleteObject(HGDIOBJ) { return FALSE; }
