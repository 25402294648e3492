// The framework's window plumbing over the layer's own windows (see
// plumbing.h). A dialog's template (described in code) becomes the layer's
// windows through CreateWindowExA; a Windows build hands the same
// description to CreateDialogIndirectParamA as an in-memory DLGTEMPLATE.
// The rest reaches the Linux services through the back-end interface only.
#include <cstdlib>

#include "platform/backend.h"
#include "platform/display_zoom.h"
#include "platform/framework/plumbing.h"
#include "platform/win32.h"

namespace {

int PixelsX(int dialogUnits) { return dialogUnits * kDialogBaseUnitX / 4; }
int PixelsY(int dialogUnits) { return dialogUnits * kDialogBaseUnitY / 8; }

HWND FirstTabStop(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
    if ((style & WS_TABSTOP) != 0 && (style & WS_VISIBLE) != 0 && (style & WS_DISABLED) == 0) {
      return child;
    }
  }
  return nullptr;
}

}  // namespace

HWND AfxCreateDialogWindow(const AfxDialogTemplate& t, HWND parent, CDialog* dialog) {
  int width = PixelsX(t.cx);
  int height = PixelsY(t.cy);
  int x = PixelsX(t.x);
  int y = PixelsY(t.y);
  if ((t.style & DS_CENTER) != 0) {
    RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (parent != nullptr && IsWindowVisible(parent)) GetWindowRect(parent, &area);
    x = (area.left + area.right - width) / 2;
    y = (area.top + area.bottom - height) / 2;
  }
  // Shown only once initialised, as the dialog manager does.
  HWND window = CreateWindowExA(t.exStyle, "#32770", t.caption, t.style & ~WS_VISIBLE, x, y,
                                width, height, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) return nullptr;
  if (!dialog->SubclassWindow(window)) {
    DestroyWindow(window);
    return nullptr;
  }
  for (int i = 0; i < t.controlCount; ++i) {
    const AfxDialogControl& c = t.controls[i];
    DWORD style = c.style | WS_CHILD;
    bool iconFromResource = (style & 0x1F) == SS_ICON && c.text != nullptr && c.text[0] == '#';
    HWND control = CreateWindowExA(
        c.exStyle, c.className, iconFromResource ? "" : c.text, style, PixelsX(c.x), PixelsY(c.y),
        PixelsX(c.cx), PixelsY(c.cy), window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), GetModuleHandleA(nullptr), nullptr);
    if (control == nullptr) continue;
    if (iconFromResource) {
      int iconId = std::atoi(c.text + 1);
      HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId));
      SendMessageA(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
  }
  HWND focus = FirstTabStop(window);
  LRESULT setFocus = SendMessageA(window, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), 0);
  if (!IsWindow(window)) return nullptr;
  if ((t.style & WS_VISIBLE) != 0) ShowWindow(window, SW_SHOWNORMAL);
  if (setFocus != 0) {
    focus = FirstTabStop(window);
    SetFocus(focus != nullptr ? focus : window);
  }
  return window;
}

void AfxPlumbingStart(int argc, char** argv) { platform::TheUserBackend().Start(argc, argv); }

int AfxPlumbingWaitCursorCount() { return platform::WaitCursorCount(); }
void AfxPlumbingSetWaitCursorCount(int count) { platform::SetWaitCursorCount(count); }

void AfxPlumbingHookFramework(void (*forgetWindow)(HWND window)) {
  platform::SetWindowForgetter(forgetWindow);
  platform::SetMessageFilter(AfxPreTranslateMessage);
}

BOOL AfxPlumbingGetSaveFileName(OPENFILENAMEA* dialog, LPCSTR proposedName) {
  return platform::GetSaveFileNameProposing(dialog, proposedName != nullptr ? proposedName : "");
}

// The layer zooms below the Windows functions: it reports the zoom as the
// screen's dots per inch over 96, and every window function already counts
// window pixels.
int AfxPlumbingDisplayZoom() {
  HDC screen = GetDC(nullptr);
  const int dotsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return platform::ScaleOfDotsPerInch(dotsPerInch);
}
int AfxPlumbingWindowZoom() { return 1; }
void AfxPlumbingMapWindowPixels(HDC, int) {}
void AfxPlumbingMapSystemPixels(HDC) {}
