// Messages: sending, posting and the queue, the order in which GetMessageA
// hands them out (posted, input, paint, timers), dispatching, and the default
// window and dialog procedures.
#include <algorithm>
#include <cstring>

#include "platform/winapi/user_internal.h"

using namespace platform::user;

namespace {

// Key messages taken from the queue update the key state, so that
// GetKeyState answers for the message at hand (a back end that delivers a
// whole key sequence at once, as a test's script does, still reads right).
void NoteKeyMessage(const MSG& message) {
  const bool down = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
  const bool up = message.message == WM_KEYUP || message.message == WM_SYSKEYUP;
  if (down || up) platform::SetKeyDown(static_cast<UINT>(message.wParam), down);
}

// The next message without waiting: queued, then paint, then timers.
bool NextMessage(LPMSG message, bool remove) {
  WindowSystem& s = System();
  if (!s.queue.empty()) {
    *message = s.queue.front();
    if (remove) {
      s.queue.pop_front();
      NoteKeyMessage(*message);
    }
    return true;
  }
  if (s.quitPosted) {
    *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, 0, {0, 0}};
    if (remove) s.quitPosted = false;
    return true;
  }
  DWORD now = platform::TheUserBackend().Now();
  // Paints: top-level windows front to back, each before its children.
  std::vector<Window*> order;
  for (Window* top : s.zOrder) {
    std::vector<Window*> stack = {top};
    while (!stack.empty()) {
      Window* w = stack.back();
      stack.pop_back();
      order.push_back(w);
      for (auto c = w->children.rbegin(); c != w->children.rend(); ++c) stack.push_back(*c);
    }
  }
  for (Window* w : order) {
    bool shown = true;
    for (Window* c = w; c != nullptr; c = c->parent) shown = shown && (c->style & WS_VISIBLE);
    if (w->hasUpdate && shown) {
      *message = MSG{ToHandle(w), WM_PAINT, 0, 0, now, {0, 0}};
      return true;
    }
  }
  Timer* due = nullptr;
  for (Timer& t : s.timers) {
    if (static_cast<int32_t>(now - t.due) >= 0 && (due == nullptr || t.due < due->due)) due = &t;
  }
  if (due != nullptr) {
    *message = MSG{ToHandle(due->window), WM_TIMER, due->id,
                   reinterpret_cast<LPARAM>(due->proc), now, {0, 0}};
    // Periodic from now on: a late timer fires once, it does not catch up.
    if (remove) due->due = now + due->interval;
    return true;
  }
  return false;
}

}  // namespace

namespace platform {

void SetMessageFilter(MessageFilter filter) { System().messageFilter = filter; }
bool FilterMessage(MSG* message) {
  MessageFilter filter = System().messageFilter;
  return filter != nullptr && filter(message) != FALSE;
}

}  // namespace platform

// --- Messages --------------------------------------------------------------------------

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = FromHandle(window);
  if (w == nullptr || w->proc == nullptr) return 0;
  return w->proc(window, message, wParam, lParam);
}

LRESULT CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc != nullptr ? proc(window, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && FromHandle(window) == nullptr) {
    SetLastError(1400L);
    return FALSE;
  }
  System().queue.push_back(
      MSG{window, message, wParam, lParam, platform::TheUserBackend().Now(), {0, 0}});
  return TRUE;
}

void PostQuitMessage(int exitCode) {
  System().quitPosted = true;
  System().quitCode = exitCode;
}

BOOL PeekMessageA(LPMSG message, HWND, UINT, UINT, UINT removeFlags) {
  if (message == nullptr) return FALSE;
  return NextMessage(message, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG message, HWND, UINT, UINT) {
  if (message == nullptr) return -1;
  for (;;) {
    if (NextMessage(message, true)) return message->message == WM_QUIT ? FALSE : TRUE;
    DWORD next = platform::NextTimerDue();
    DWORD now = platform::TheUserBackend().Now();
    DWORD wait = next == platform::INFINITE_WAIT
                     ? platform::INFINITE_WAIT
                     : (static_cast<int32_t>(next - now) > 0 ? next - now : 0);
    if (!platform::TheUserBackend().WaitForInput(wait)) {
      // No input will ever come: end the loop as WM_QUIT would.
      *message = MSG{nullptr, WM_QUIT, 0, 0, now, {0, 0}};
      return FALSE;
    }
  }
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr || message->hwnd == nullptr) return 0;
  if (message->message == WM_TIMER && message->lParam != 0) {
    TIMERPROC proc = reinterpret_cast<TIMERPROC>(message->lParam);
    proc(message->hwnd, WM_TIMER, message->wParam, message->time);
    return 0;
  }
  return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL IsDialogMessageA(HWND dialog, LPMSG message) {
  Window* d = FromHandle(dialog);
  Window* target = FromHandle(message->hwnd);
  if (d == nullptr || target == nullptr || TopLevelOf(target) != d) return FALSE;
  if (message->message == WM_KEYDOWN &&
      (message->wParam == VK_RETURN || message->wParam == VK_ESCAPE)) {
    // Enter presses the default button (OK), Escape the Cancel button.
    int id = message->wParam == VK_RETURN ? IDOK : IDCANCEL;
    HWND button = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    return TRUE;
  }
  DispatchMessageA(message);
  return TRUE;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  Window* d = FromHandle(dialog);
  if (d == nullptr) return FALSE;
  d->messageResult = result;
  LogCall("EndDialog " + Describe(d) + " " + std::to_string(result));
  return TRUE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = FromHandle(window);
  if (w == nullptr) return 0;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND: {
      RECT area = w->hasUpdate ? w->update : ClientRectOf(w);
      FillClient(w, area, w->className == "LISTBOX" ? RGB(255, 255, 255) : kDialogFace);
      return 1;
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessageA(window, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(window, SW_MINIMIZE); break;
        case SC_RESTORE: ShowWindow(window, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_SETTEXT:
      w->text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
      Notify(w);
      return TRUE;
    case WM_GETTEXT: {
      if (wParam == 0 || lParam == 0) return 0;
      LPSTR buffer = reinterpret_cast<LPSTR>(lParam);
      size_t n = std::min(w->text.size(), static_cast<size_t>(wParam) - 1);
      std::memcpy(buffer, w->text.data(), n);
      buffer[n] = '\0';
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_SETICON: {
      HICON icon = reinterpret_cast<HICON>(lParam);
      LogCall(std::string("WM_SETICON ") + Describe(w) +
              (wParam == ICON_BIG ? " big" : " small"));
      HICON previous = wParam == ICON_BIG ? w->bigIcon : w->smallIcon;
      (wParam == ICON_BIG ? w->bigIcon : w->smallIcon) = icon;
      return reinterpret_cast<LRESULT>(previous);
    }
    default: return 0;
  }
}

LRESULT DefDlgProcA(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The dialog manager turns a close request into the Cancel button.
      PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
      return 0;
    case WM_INITDIALOG: return TRUE;
    default: return DefWindowProcA(dialog, message, wParam, lParam);
  }
}
