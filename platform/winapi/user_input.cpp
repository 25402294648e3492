// Activation, the focus and delivering input: a pointer event goes to the
// window under it, a key to the window with the focus.
#include "platform/winapi/user_internal.h"

namespace platform::user {

void Activate(Window* w, WORD how) {
  WindowSystem& s = System();
  w = TopLevelOf(w);
  if (w == s.active) return;
  Window* previous = s.active;
  s.active = w;
  if (previous != nullptr) {
    SendMessageA(ToHandle(previous), WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, previous->iconic),
                 reinterpret_cast<LPARAM>(ToHandle(w)));
  }
  if (w != nullptr && FromHandle(ToHandle(w)) != nullptr) {
    SendMessageA(ToHandle(w), WM_ACTIVATE, MAKEWPARAM(how, w->iconic),
                 reinterpret_cast<LPARAM>(ToHandle(previous)));
    if (s.focus == nullptr || TopLevelOf(s.focus) != w) SetFocus(ToHandle(w));
  }
}

// Front-to-back hit test; hidden windows are transparent, disabled ones stop
// the search (they take no pointer input).
Window* HitTest(POINT screen, bool* disabled) {
  *disabled = false;
  for (Window* top : System().zOrder) {
    if ((top->style & WS_VISIBLE) == 0 || !PtInRect(&top->rect, screen)) continue;
    if ((top->style & WS_DISABLED) != 0) {
      *disabled = true;
      return top;
    }
    Window* hit = top;
    for (bool descended = true; descended;) {
      descended = false;
      POINT origin = ClientOriginOnScreen(hit);
      POINT local = {screen.x - origin.x, screen.y - origin.y};
      for (Window* child : hit->children) {
        if ((child->style & WS_VISIBLE) == 0 || (child->style & WS_DISABLED) != 0) continue;
        if (PtInRect(&child->rect, local)) {
          hit = child;
          descended = true;
          break;
        }
      }
    }
    return hit;
  }
  return nullptr;
}

}  // namespace platform::user

using namespace platform::user;

namespace platform {

HWND DeliverPointer(UINT message, POINT screenPoint, WPARAM keyState) {
  bool disabled = false;
  Window* target = HitTest(screenPoint, &disabled);
  if (target == nullptr || disabled) return nullptr;
  bool press = message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN ||
               message == WM_LBUTTONDBLCLK;
  Window* top = TopLevelOf(target);
  if (press && System().active != top) {
    Restack(top, HWND_TOP);
    Notify(top);
    Activate(top, WA_CLICKACTIVE);
    if (FromHandle(ToHandle(target)) == nullptr) return nullptr;
  }
  POINT origin = ClientOriginOnScreen(target);
  MSG m = {ToHandle(target), message, keyState,
           MAKELPARAM(screenPoint.x - origin.x, screenPoint.y - origin.y),
           TheUserBackend().Now(), screenPoint};
  System().queue.push_back(m);
  return ToHandle(target);
}

HWND DeliverKey(UINT message, UINT virtualKey) {
  WindowSystem& s = System();
  Window* target = s.focus != nullptr ? s.focus : s.active;
  if (target == nullptr) return nullptr;
  s.queue.push_back(MSG{ToHandle(target), message, virtualKey, 1, TheUserBackend().Now(), {0, 0}});
  return ToHandle(target);
}

}  // namespace platform

HWND SetFocus(HWND window) {
  WindowSystem& s = System();
  Window* previous = s.focus;
  Window* w = window != nullptr ? FromHandle(window) : nullptr;
  if (window != nullptr && w == nullptr) return nullptr;
  if (w == previous) return ToHandle(previous);
  s.focus = w;
  if (previous != nullptr) SendMessageA(ToHandle(previous), WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (w != nullptr) {
    if (TopLevelOf(w) != s.active) Activate(w, WA_ACTIVE);
    if (s.focus == w) SendMessageA(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(ToHandle(previous)), 0);
  }
  return ToHandle(previous);
}

HWND GetFocus() { return ToHandle(System().focus); }
HWND GetActiveWindow() { return ToHandle(System().active); }

HWND SetActiveWindow(HWND window) {
  Window* previous = System().active;
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  Activate(w, WA_ACTIVE);
  return ToHandle(previous);
}

HWND GetForegroundWindow() { return GetActiveWindow(); }

BOOL SetForegroundWindow(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  Restack(TopLevelOf(w), HWND_TOP);
  Notify(TopLevelOf(w));
  Activate(w, WA_ACTIVE);
  return TRUE;
}

HWND WindowFromPoint(POINT point) {
  bool disabled = false;
  return ToHandle(HitTest(point, &disabled));
}
