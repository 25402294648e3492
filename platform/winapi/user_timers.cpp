// Timers: SetTimer and KillTimer; GetMessageA turns a due timer into
// WM_TIMER (user_messages.cpp).
#include <algorithm>

#include "platform/winapi/user_internal.h"

using namespace platform::user;

namespace platform {

DWORD NextTimerDue() {
  DWORD next = INFINITE_WAIT;
  for (const Timer& t : System().timers) next = std::min(next, t.due);
  return next;
}
int ActiveTimerCount() { return static_cast<int>(System().timers.size()); }

}  // namespace platform

// --- Timers ----------------------------------------------------------------------------------

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  WindowSystem& s = System();
  Window* w = nullptr;
  if (window != nullptr) {
    w = FromHandle(window);
    if (w == nullptr) return 0;
  }
  UINT interval = std::max(elapse, kMinimumTimerInterval);
  if (w == nullptr) id = s.nextThreadTimerId++;
  LogCall("SetTimer " + Describe(w) + " " + std::to_string(id) + " " +
          std::to_string(interval));
  DWORD due = platform::TheUserBackend().Now() + interval;
  for (Timer& t : s.timers) {
    if (t.window == w && t.id == id) {
      t = Timer{w, id, interval, due, proc};
      return w != nullptr ? (id != 0 ? id : 1) : id;
    }
  }
  s.timers.push_back(Timer{w, id, interval, due, proc});
  // A window timer with id 0 still succeeds; Windows returns a nonzero value.
  return w != nullptr ? (id != 0 ? id : 1) : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  WindowSystem& s = System();
  Window* w = window != nullptr ? FromHandle(window) : nullptr;
  auto at = std::find_if(s.timers.begin(), s.timers.end(),
                         [w, id](const Timer& t) { return t.window == w && t.id == id; });
  if (at == s.timers.end()) return FALSE;
  LogCall("KillTimer " + Describe(w) + " " + std::to_string(id));
  s.timers.erase(at);
  // A WM_TIMER already queued for it is withdrawn, as on Windows.
  s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                               [window, id](const MSG& m) {
                                 return m.message == WM_TIMER && m.hwnd == window && m.wParam == id;
                               }),
                s.queue.end());
  return TRUE;
}
