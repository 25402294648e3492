// The monitor: the layer shows its windows on one screen, whose size the
// renderer reports (GetSystemMetrics) and whose work area the back end sets.
#include "platform/winapi/user_internal.h"

// The one monitor's handle: the address of an object no other handle shares.
struct HMONITOR__ {};

namespace {

HMONITOR__ theMonitor;

RECT workArea = {0, 0, 0, 0};

RECT ScreenRect() { return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }

}  // namespace

namespace platform {

void SetWorkArea(const RECT& area) { workArea = area; }

}  // namespace platform

HMONITOR MonitorFromWindow(HWND window, DWORD flags) {
  if (window != nullptr && !IsWindow(window) && flags == MONITOR_DEFAULTTONULL) return nullptr;
  return &theMonitor;
}

BOOL GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info) {
  if (monitor != &theMonitor || info == nullptr || info->cbSize < sizeof(MONITORINFO)) return FALSE;
  const RECT screen = ScreenRect();
  RECT work = {};
  // A work area the screen does not hold (none set, or the screen changed
  // size since) is the whole screen.
  if (!IntersectRect(&work, &workArea, &screen) || !EqualRect(&work, &workArea)) work = screen;
  info->rcMonitor = screen;
  info->rcWork = work;
  info->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}
