// The static and push-button controls of the dialogs ("STATIC": text or an
// icon; "BUTTON": a push button that reports BN_CLICKED to its parent). A
// Windows build has the real controls.
#include "platform/winapi/user_internal.h"

namespace platform::user {

DWORD StyleOf(HWND window) { return static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)); }

HBRUSH ControlBrush(HWND window, HDC dc, UINT message) {
  return reinterpret_cast<HBRUSH>(SendMessageA(GetParent(window), message,
                                               reinterpret_cast<WPARAM>(dc),
                                               reinterpret_cast<LPARAM>(window)));
}

void FillWith(HDC dc, const RECT& area, HBRUSH brush, COLORREF fallback) {
  if (brush != nullptr) {
    FillRect(dc, &area, brush);
    return;
  }
  HBRUSH own = CreateSolidBrush(fallback);
  FillRect(dc, &area, own);
  DeleteObject(own);
}

}  // namespace platform::user

using platform::user::ControlBrush;
using platform::user::FillWith;
using platform::user::StyleOf;

namespace platform {

LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case STM_SETICON: {
      HICON previous = reinterpret_cast<HICON>(SetWindowLongPtrA(window, GWLP_USERDATA,
                                                                 static_cast<LONG_PTR>(wParam)));
      InvalidateRect(window, nullptr, TRUE);
      return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETICON: return GetWindowLongPtrA(window, GWLP_USERDATA);
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc == nullptr) return 0;
      RECT client;
      GetClientRect(window, &client);
      FillWith(dc, client, ControlBrush(window, dc, WM_CTLCOLORSTATIC), RGB(240, 240, 240));
      if ((StyleOf(window) & 0x1F) == SS_ICON) {
        HICON icon = reinterpret_cast<HICON>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (icon != nullptr) DrawIcon(dc, 0, 0, icon);
      } else {
        char text[512];
        GetWindowTextA(window, text, static_cast<int>(sizeof text));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        DrawTextA(dc, text, -1, &client,
                  DT_LEFT | DT_WORDBREAK | ((StyleOf(window) & SS_NOPREFIX) ? DT_NOPREFIX : 0));
      }
      EndPaint(window, &paint);
      return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONUP: {
      POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT client;
      GetClientRect(window, &client);
      if (!PtInRect(&client, p)) return 0;
      [[fallthrough]];
    }
    case BM_CLICK:
      SendMessageA(GetParent(window), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), BN_CLICKED),
                   reinterpret_cast<LPARAM>(window));
      return 0;
    case WM_LBUTTONDOWN: SetFocus(window); return 0;
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcA(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      if (dc == nullptr) return 0;
      RECT client;
      GetClientRect(window, &client);
      FillWith(dc, client, nullptr, RGB(112, 112, 112));
      RECT face = client;
      InflateRect(&face, -1, -1);
      FillWith(dc, face, nullptr, RGB(225, 225, 225));
      char text[256];
      GetWindowTextA(window, text, static_cast<int>(sizeof text));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0, 0, 0));
      DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &paint);
      return 0;
    }
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace platform
