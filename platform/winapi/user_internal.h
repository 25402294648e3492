// The layer's own windows, shared by the files of the USER service
// (winapi/user_*.cpp) and its controls. Not part of the Windows API: nothing
// outside platform/winapi/ includes it; back ends use platform/backend.h.
//
// A window is a framebuffer with a window procedure. Top-level windows sit in
// one z-order list (front first; topmost windows ahead of the rest); child
// windows (controls) have framebuffers of their own, composed over their
// parent when a back end shows or saves the window, so a parent's paint never
// covers its controls (as with WS_CLIPCHILDREN).
//
// Messages: SendMessageA calls the procedure at once; posted messages and
// input wait in one queue; GetMessageA returns, in order, posted messages,
// input the back end delivers, WM_PAINT for windows with an update region
// (its bounding box), then WM_TIMER for due timers, as Windows does. When
// there is nothing at all the back end is asked to wait for input; a back
// end that will never have any (a headless run whose script is used up) makes
// GetMessageA return FALSE as if WM_QUIT had been posted.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/win_gdi.h"
#include "platform/winapi/win_kernel.h"
#include "platform/winapi/win_types.h"
#include "platform/winapi/win_user.h"

namespace platform::user {

constexpr COLORREF kDialogFace = RGB(240, 240, 240);
constexpr UINT kMinimumTimerInterval = 10;  // USER_TIMER_MINIMUM

struct Menu {
  std::vector<MenuItem> items;
};

struct Window {
  std::string className;
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect = {0, 0, 0, 0};  // screen pixels for top-level windows, parent client for children
  Window* parent = nullptr;  // children only
  Window* owner = nullptr;   // top-level windows only
  std::vector<Window*> children;
  int id = 0;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  LONG_PTR messageResult = 0;
  HBITMAP framebuffer = nullptr;
  bool hasUpdate = false;
  bool updateErase = false;
  RECT update = {0, 0, 0, 0};
  bool iconic = false;
  Menu* systemMenu = nullptr;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  void* controlState = nullptr;
  void (*destroyControlState)(void*) = nullptr;
  bool destroying = false;
};

struct Timer {
  Window* window;
  UINT_PTR id;
  UINT interval;
  DWORD due;
  TIMERPROC proc;
};

struct WindowSystem {
  std::set<Window*> alive;
  std::vector<Window*> zOrder;  // top-level windows, front first
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  UINT_PTR nextThreadTimerId = 1;
  Window* active = nullptr;
  Window* focus = nullptr;
  HCURSOR cursor = nullptr;
  int waitCursorCount = 0;
  // clipboard
  bool clipboardOpen = false;
  bool clipboardChanged = false;
  bool clipboardHeldElsewhere = false;
  std::map<UINT, HANDLE> clipboard;
  DWORD commDlgError = 0;
  WindowForgetter forgetter = nullptr;
  MessageFilter messageFilter = nullptr;
};

// --- Window objects (user_window_objects.cpp) ----------------------------------------
WindowSystem& System();
// The live window behind a handle, or nullptr.
Window* FromHandle(HWND window);
inline HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }
// "CLASS "text" #id", for the call log.
std::string Describe(Window* w);
inline int Width(const RECT& r) { return r.right - r.left; }
inline int Height(const RECT& r) { return r.bottom - r.top; }
inline RECT ClientRectOf(Window* w) { return RECT{0, 0, Width(w->rect), Height(w->rect)}; }
inline bool IsTopmost(Window* w) { return (w->exStyle & WS_EX_TOPMOST) != 0; }
Window* TopLevelOf(Window* w);
POINT ClientOriginOnScreen(Window* w);
// A new framebuffer of the window's size, filled with its class's background.
void ReplaceFramebuffer(Window* w);
// Tells the back end that the window changed.
void Notify(Window* w);
// Places a top-level window in the z-order (see user_window_objects.cpp).
void Restack(Window* w, HWND insertAfter);
// Destroys a window, the windows it owns and its children; the procedures
// hear WM_DESTROY and WM_NCDESTROY unless `callProcedures` is false.
void DestroyWindowTree(Window* w, bool callProcedures);

// --- Input and activation (user_input.cpp) --------------------------------------------
void Activate(Window* w, WORD how);
Window* HitTest(POINT screen, bool* disabled);

// --- Painting (user_painting.cpp) ------------------------------------------------------
void FillClient(Window* w, const RECT& area, COLORREF color);
HBITMAP LookupFramebuffer(HWND window);

// --- System menu (user_menus.cpp) -------------------------------------------------------
Menu* DefaultSystemMenu();

// --- Controls (user_controls.cpp) ----------------------------------------------------
DWORD StyleOf(HWND window);
// The brush the parent answers to WM_CTLCOLOR* for a control's paint.
HBRUSH ControlBrush(HWND window, HDC dc, UINT message);
// Fills with `brush`, or with `fallback` when the parent gave none.
void FillWith(HDC dc, const RECT& area, HBRUSH brush, COLORREF fallback);

// Records a call in the back end's call log.
inline void LogCall(const std::string& line) { TheUserBackend().LogCall(line); }

}  // namespace platform::user

namespace platform {

// The system's own list box procedure ("LISTBOX" class; user_listbox.cpp).
LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The static and button controls of the dialogs ("STATIC", "BUTTON";
// user_controls.cpp).
LRESULT CALLBACK StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK ButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Control state slot of a window (the list box keeps its items here).
void* ControlState(HWND window);
void SetControlState(HWND window, void* state, void (*destroy)(void*));

}  // namespace platform
