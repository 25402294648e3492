// Window text, placement, visibility, enabling, coordinates and the window
// tree (parent, siblings, dialog items).
#include <algorithm>
#include <cstdio>

#include "platform/winapi/user_internal.h"

using namespace platform::user;

// --- Text, placement and state ------------------------------------------------------------

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  LogCall("SetWindowTextA " + Describe(w) + " -> " + (text != nullptr ? text : ""));
  return SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (text == nullptr || maxCount <= 0) return 0;
  return static_cast<int>(
      SendMessageA(window, WM_GETTEXT, static_cast<WPARAM>(maxCount), reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthA(HWND window) {
  return static_cast<int>(SendMessageA(window, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  LogCall("SetWindowPos " + Describe(w) + " after=" +
          std::to_string(reinterpret_cast<INT_PTR>(insertAfter)) + " " +
          std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(cx) +
          "x" + std::to_string(cy) + " flags=0x" + [flags] {
            char hex[16];
                      std::snprintf(hex, sizeof hex, "%X", flags);
                      return std::string(hex);
                    }());
  RECT rect = w->rect;
  if ((flags & SWP_NOMOVE) == 0) OffsetRect(&rect, x - rect.left, y - rect.top);
  if ((flags & SWP_NOSIZE) == 0) {
    rect.right = rect.left + std::max(0, cx);
    rect.bottom = rect.top + std::max(0, cy);
  }
  bool resized = Width(rect) != Width(w->rect) || Height(rect) != Height(w->rect);
  w->rect = rect;
  if (resized) {
    ReplaceFramebuffer(w);
    w->hasUpdate = false;
    InvalidateRect(window, nullptr, TRUE);
    SendMessageA(window, WM_SIZE, 0, MAKELPARAM(Width(rect), Height(rect)));
  }
  if ((flags & SWP_NOZORDER) == 0 && w->parent == nullptr) Restack(w, insertAfter);
  if ((flags & SWP_SHOWWINDOW) != 0 && (w->style & WS_VISIBLE) == 0) {
    w->style |= WS_VISIBLE;
    InvalidateRect(window, nullptr, TRUE);
  }
  if ((flags & SWP_HIDEWINDOW) != 0) w->style &= ~WS_VISIBLE;
  if ((flags & SWP_FRAMECHANGED) != 0 && (w->style & WS_VISIBLE) != 0 &&
      (flags & SWP_NOREDRAW) == 0) {
    InvalidateRect(window, nullptr, TRUE);
  }
  Notify(w);
  if ((flags & SWP_NOACTIVATE) == 0 && w->parent == nullptr && (w->style & WS_VISIBLE) != 0) {
    Activate(w, WA_ACTIVE);
  }
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  LogCall("MoveWindow " + Describe(w) + " " + std::to_string(x) + "," +
          std::to_string(y) + " " + std::to_string(width) + "x" +
          std::to_string(height));
  RECT old = w->rect;
  BOOL moved = SetWindowPos(window, nullptr, x, y, width, height,
                            SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
  if (repaint) {
    InvalidateRect(window, nullptr, TRUE);
    // The uncovered part of the parent is repainted too.
    if (w->parent != nullptr) InvalidateRect(ToHandle(w->parent), &old, TRUE);
  }
  return moved;
}

BOOL ShowWindow(HWND window, int command) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  BOOL wasVisible = (w->style & WS_VISIBLE) != 0;
  LogCall("ShowWindow " + Describe(w) + " " + std::to_string(command));
  switch (command) {
    case SW_HIDE:
      w->style &= ~WS_VISIBLE;
      if (w->parent != nullptr) InvalidateRect(ToHandle(w->parent), &w->rect, TRUE);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      w->iconic = true;
      w->style |= WS_VISIBLE;
      break;
    case SW_RESTORE:
      w->iconic = false;
      w->style |= WS_VISIBLE;
      break;
    default:
      w->style |= WS_VISIBLE;
      break;
  }
  if (!wasVisible && (w->style & WS_VISIBLE) != 0) {
    SendMessageA(window, WM_SHOWWINDOW, TRUE, 0);
    InvalidateRect(window, nullptr, TRUE);
  }
  Notify(w);
  bool activates = command == SW_SHOW || command == SW_SHOWNORMAL || command == SW_RESTORE;
  if (activates && w->parent == nullptr) Activate(w, WA_ACTIVE);
  if (command == SW_HIDE && System().active == w) System().active = nullptr;
  return wasVisible;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) != 0;
  LogCall("EnableWindow " + Describe(w) + " " + std::to_string(enable ? 1 : 0));
  if (enable) {
    w->style &= ~WS_DISABLED;
  } else {
    w->style |= WS_DISABLED;
    if (System().focus == w) System().focus = nullptr;
  }
  if (wasDisabled != !enable) SendMessageA(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && (w->style & WS_DISABLED) == 0;
}

BOOL IsWindowVisible(HWND window) {
  Window* w = FromHandle(window);
  for (; w != nullptr; w = w->parent) {
    if ((w->style & WS_VISIBLE) == 0) return FALSE;
  }
  return FromHandle(window) != nullptr;
}

BOOL IsIconic(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && w->iconic;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  Window* w = FromHandle(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  *rect = ClientRectOf(w);
  return TRUE;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  Window* w = FromHandle(window);
  if (w == nullptr || rect == nullptr) return FALSE;
  POINT origin = ClientOriginOnScreen(w);
  *rect = RECT{origin.x, origin.y, origin.x + Width(w->rect), origin.y + Height(w->rect)};
  return TRUE;
}

BOOL ClientToScreen(HWND window, LPPOINT point) {
  Window* w = FromHandle(window);
  if (w == nullptr || point == nullptr) return FALSE;
  POINT origin = ClientOriginOnScreen(w);
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

BOOL ScreenToClient(HWND window, LPPOINT point) {
  Window* w = FromHandle(window);
  if (w == nullptr || point == nullptr) return FALSE;
  POINT origin = ClientOriginOnScreen(w);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

HWND GetParent(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  // As on Windows, a pop-up's "parent" is its owner.
  return ToHandle(w->parent != nullptr ? w->parent : w->owner);
}

HWND GetWindow(HWND window, UINT command) {
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  if (command == GW_OWNER) return ToHandle(w->owner);
  if (command == GW_CHILD) return w->children.empty() ? nullptr : ToHandle(w->children.front());
  const std::vector<Window*>& siblings = w->parent != nullptr ? w->parent->children
                                                              : System().zOrder;
  auto at = std::find(siblings.begin(), siblings.end(), w);
  switch (command) {
    case GW_HWNDFIRST: return ToHandle(siblings.front());
    case GW_HWNDLAST: return ToHandle(siblings.back());
    case GW_HWNDNEXT: return at + 1 < siblings.end() ? ToHandle(*(at + 1)) : nullptr;
    case GW_HWNDPREV: return at > siblings.begin() ? ToHandle(*(at - 1)) : nullptr;
    default: return nullptr;
  }
}

HWND GetDesktopWindow() { return nullptr; }

HWND GetDlgItem(HWND dialog, int controlId) {
  Window* d = FromHandle(dialog);
  if (d == nullptr) return nullptr;
  for (Window* c : d->children) {
    if (c->id == controlId) return ToHandle(c);
  }
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && w->parent != nullptr ? w->id : 0;
}
