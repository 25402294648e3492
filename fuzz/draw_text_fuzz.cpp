// Text with arbitrary bytes, formats and rectangles: DrawTextA (prefixes,
// line and word breaks, centring, DT_CALCRECT), TextOutA with every
// alignment, GetTextExtentPoint32A, in "Arial" and the DC's default font.
//
// Input: format (4 bytes), rectangle (4 int16), text alignment (1 byte),
// then the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win32.h"
#include "platform/winapi/gdi_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 13) return 0;
  UINT format;
  std::memcpy(&format, data, 4);
  int16_t r[4];
  std::memcpy(r, data + 4, 8);
  const UINT align = data[12];
  const std::string text(reinterpret_cast<const char*>(data + 13), size - 13);

  HBITMAP framebuffer = platform::CreateFramebuffer(64, 48, RGB(255, 255, 255));
  HDC dc = platform::CreateWindowDC(framebuffer);
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_EXTRALIGHT, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, "Arial");
  for (int pass = 0; pass < 2; ++pass) {
    HGDIOBJ previous = pass == 1 ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, (format & 0x80000000u) ? OPAQUE : TRANSPARENT);
    RECT rect = {r[0], r[1], r[2], r[3]};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, format & 0xFFFF);
    RECT measure = {r[0], r[1], r[2], r[3]};
    DrawTextA(dc, text.c_str(), -1, &measure, (format & 0xFFFF) | DT_CALCRECT);
    SetTextAlign(dc, align);
    TextOutA(dc, r[0], r[1], text.data(), static_cast<int>(text.size()));
    SIZE extent;
    GetTextExtentPoint32A(dc, text.data(), static_cast<int>(text.size()), &extent);
    if (previous != nullptr) SelectObject(dc, previous);
  }
  DeleteObject(font);
  DeleteDC(dc);
  DeleteObject(framebuffer);
  return 0;
}
