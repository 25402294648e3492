// The layer's own windows: creation, the z-order, placement and state,
// messages and their queue, painting, timers, focus and activation, the
// system menu, the clipboard, message boxes and the Save As dialog. This file
// and user_listbox.cpp are the Linux side of the window plumbing; a Windows
// build uses user32 and comctl32 instead.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "platform/gdi_internal.h"
#include "platform/keyboard_state.h"
#include "platform/paths.h"
#include "platform/user_internal.h"
#include "platform/win_gdi.h"
#include "platform/win_kernel.h"

namespace {

constexpr char kFolderSeparators[] = "/\\";
constexpr COLORREF kDialogFace = RGB(240, 240, 240);
constexpr UINT kMinimumTimerInterval = 10;  // USER_TIMER_MINIMUM

struct Menu {
  std::vector<platform::MenuItem> items;
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
  std::vector<std::string> callLog;
  platform::WindowForgetter forgetter = nullptr;
};

WindowSystem& System() {
  static WindowSystem* system = new WindowSystem();
  return *system;
}

Window* FromHandle(HWND window) {
  Window* w = reinterpret_cast<Window*>(window);
  return System().alive.count(w) != 0 ? w : nullptr;
}
HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }

std::string Describe(Window* w) {
  if (w == nullptr) return "(none)";
  std::string name = w->className;
  if (!w->text.empty()) name += " \"" + w->text + "\"";
  if (w->parent != nullptr) name += " #" + std::to_string(w->id);
  return name;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

RECT ClientRectOf(Window* w) { return RECT{0, 0, Width(w->rect), Height(w->rect)}; }

bool IsTopmost(Window* w) { return (w->exStyle & WS_EX_TOPMOST) != 0; }

Window* TopLevelOf(Window* w) {
  while (w != nullptr && w->parent != nullptr) w = w->parent;
  return w;
}

POINT ClientOriginOnScreen(Window* w) {
  POINT origin = {0, 0};
  for (Window* c = w; c != nullptr; c = c->parent) {
    origin.x += c->rect.left;
    origin.y += c->rect.top;
  }
  return origin;
}

void ReplaceFramebuffer(Window* w) {
  if (w->framebuffer != nullptr) DeleteObject(w->framebuffer);
  int width = std::max(1, Width(w->rect));
  int height = std::max(1, Height(w->rect));
  COLORREF fill = w->className == "LISTBOX" ? RGB(255, 255, 255) : kDialogFace;
  w->framebuffer = platform::CreateFramebuffer(width, height, fill);
}

void Notify(Window* w) { platform::TheUserBackend().WindowChanged(ToHandle(w)); }

void PlaceInZOrder(Window* w, HWND insertAfter);

// Places a top-level window in the z-order: in front of every window of its
// band (topmost windows form the front band) or right after `after`. Windows
// it owns stay directly in front of it, as Windows keeps them.
void Restack(Window* w, HWND insertAfter) {
  PlaceInZOrder(w, insertAfter);
  auto& z = System().zOrder;
  std::vector<Window*> owned;
  for (Window* other : z) {
    if (other->owner == w) owned.push_back(other);
  }
  for (Window* o : owned) {
    z.erase(std::remove(z.begin(), z.end(), o), z.end());
    z.insert(std::find(z.begin(), z.end(), w), o);
  }
}

void PlaceInZOrder(Window* w, HWND insertAfter) {
  auto& z = System().zOrder;
  z.erase(std::remove(z.begin(), z.end(), w), z.end());
  if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
  if (insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM) w->exStyle &= ~WS_EX_TOPMOST;
  if (insertAfter == HWND_BOTTOM) {
    z.push_back(w);
    return;
  }
  Window* after = (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST ||
                   insertAfter == HWND_NOTOPMOST)
                      ? nullptr
                      : FromHandle(insertAfter);
  if (after != nullptr && after->parent == nullptr) {
    auto at = std::find(z.begin(), z.end(), after);
    if (at != z.end()) {
      z.insert(at + 1, w);
      return;
    }
  }
  // Front of the band.
  auto at = z.begin();
  if (!IsTopmost(w)) {
    while (at != z.end() && IsTopmost(*at)) ++at;
  }
  z.insert(at, w);
}

void RemoveQueuedMessagesFor(Window* w) {
  auto& q = System().queue;
  q.erase(std::remove_if(q.begin(), q.end(),
                         [w](const MSG& m) { return m.hwnd == ToHandle(w); }),
          q.end());
}

void FillClient(Window* w, const RECT& area, COLORREF color) {
  platform::PixelView view = platform::BitmapPixels(w->framebuffer);
  if (view.pixels == nullptr) return;
  RECT bounds = {0, 0, view.width, view.height};
  RECT fill;
  if (!IntersectRect(&fill, &area, &bounds)) return;
  for (int y = fill.top; y < fill.bottom; ++y) {
    uint8_t* p = view.Row(y) + fill.left * 4;
    for (int x = fill.left; x < fill.right; ++x, p += 4) {
      p[0] = GetBValue(color);
      p[1] = GetGValue(color);
      p[2] = GetRValue(color);
      p[3] = 0;
    }
  }
}

HBITMAP LookupFramebuffer(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr ? w->framebuffer : nullptr;
}

Menu* DefaultSystemMenu() {
  Menu* menu = new Menu();
  menu->items = {{MF_STRING, SC_RESTORE, "&Restore"},
                 {MF_STRING, SC_MOVE, "&Move"},
                 {MF_STRING, SC_MINIMIZE, "Mi&nimize"},
                 {MF_SEPARATOR, 0, ""},
                 {MF_STRING, SC_CLOSE, "&Close\tAlt+F4"}};
  return menu;
}

bool IsSystemMenu(Menu* menu) {
  for (Window* w : System().alive) {
    if (w->systemMenu == menu) return true;
  }
  return false;
}

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

void DestroyWindowTree(Window* w, bool callProcedures) {
  WindowSystem& s = System();
  if (w->destroying) return;
  w->destroying = true;
  platform::TheUserBackend().WindowDestroyed(ToHandle(w));
  // Owned pop-ups go with their owner.
  std::vector<Window*> owned;
  for (Window* other : s.zOrder) {
    if (other->owner == w) owned.push_back(other);
  }
  for (Window* o : owned) DestroyWindowTree(o, callProcedures);
  if (s.active == w) s.active = nullptr;
  if (s.focus != nullptr && TopLevelOf(s.focus) == TopLevelOf(w) &&
      (s.focus == w || w->parent == nullptr)) {
    s.focus = nullptr;
  }
  if (callProcedures) SendMessageA(ToHandle(w), WM_DESTROY, 0, 0);
  std::vector<Window*> children = w->children;
  for (Window* c : children) DestroyWindowTree(c, callProcedures);
  if (callProcedures) {
    SendMessageA(ToHandle(w), WM_NCDESTROY, 0, 0);
  } else if (System().forgetter != nullptr) {
    System().forgetter(ToHandle(w));
  }
  s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                [w](const Timer& t) { return t.window == w; }),
                 s.timers.end());
  RemoveQueuedMessagesFor(w);
  if (w->parent != nullptr) {
    auto& siblings = w->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), w), siblings.end());
  }
  s.zOrder.erase(std::remove(s.zOrder.begin(), s.zOrder.end(), w), s.zOrder.end());
  if (w->destroyControlState != nullptr) w->destroyControlState(w->controlState);
  if (w->framebuffer != nullptr) DeleteObject(w->framebuffer);
  delete w->systemMenu;
  s.alive.erase(w);
  delete w;
}

WNDPROC ProcedureForClass(const std::string& className) {
  if (className == "#32770") return DefDlgProcA;
  if (className == "LISTBOX") return platform::ListBoxProc;
  if (className == "STATIC") return platform::StaticProc;
  if (className == "BUTTON") return platform::ButtonProc;
  return nullptr;
}

std::string UpperCase(LPCSTR text) {
  std::string upper = text != nullptr ? text : "";
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

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

void* ControlState(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr ? w->controlState : nullptr;
}
void SetControlState(HWND window, void* state, void (*destroy)(void*)) {
  Window* w = FromHandle(window);
  if (w == nullptr) return;
  w->controlState = state;
  w->destroyControlState = destroy;
}

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

std::vector<HWND> TopLevelWindowsInZOrder() {
  std::vector<HWND> handles;
  for (Window* w : System().zOrder) handles.push_back(ToHandle(w));
  return handles;
}

HBITMAP WindowFramebuffer(HWND window) { return LookupFramebuffer(window); }

WindowImage ComposeWindow(HWND window) {
  WindowImage image;
  Window* w = FromHandle(window);
  if (w == nullptr) return image;
  PixelView view = BitmapPixels(w->framebuffer);
  if (view.pixels == nullptr) return image;
  image.width = view.width;
  image.height = view.height;
  image.pixels.resize(static_cast<size_t>(view.width) * view.height * 4);
  for (int y = 0; y < view.height; ++y) {
    std::memcpy(&image.pixels[static_cast<size_t>(y) * view.width * 4], view.Row(y),
                static_cast<size_t>(view.width) * 4);
  }
  // The first child is the top of its siblings' z-order: compose it last.
  for (auto c = w->children.rbegin(); c != w->children.rend(); ++c) {
    Window* child = *c;
    if ((child->style & WS_VISIBLE) == 0) continue;
    WindowImage part = ComposeWindow(ToHandle(child));
    for (int y = 0; y < part.height; ++y) {
      int ty = child->rect.top + y;
      if (ty < 0 || ty >= image.height) continue;
      for (int x = 0; x < part.width; ++x) {
        int tx = child->rect.left + x;
        if (tx < 0 || tx >= image.width) continue;
        std::memcpy(&image.pixels[(static_cast<size_t>(ty) * image.width + tx) * 4],
                    &part.pixels[(static_cast<size_t>(y) * part.width + x) * 4], 4);
      }
    }
  }
  return image;
}

std::string WindowClassName(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr ? w->className : std::string();
}
bool WindowIsTopmost(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && IsTopmost(w);
}

std::vector<MenuItem> SystemMenuItems(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr || w->systemMenu == nullptr) return {};
  return w->systemMenu->items;
}
HICON WindowIcon(HWND window, int which) {
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  return which == ICON_BIG ? w->bigIcon : w->smallIcon;
}

DWORD NextTimerDue() {
  DWORD next = INFINITE_WAIT;
  for (const Timer& t : System().timers) next = std::min(next, t.due);
  return next;
}
int ActiveTimerCount() { return static_cast<int>(System().timers.size()); }

HBITMAP ClipboardBitmap() {
  auto& c = System().clipboard;
  auto at = c.find(CF_BITMAP);
  return at != c.end() ? static_cast<HBITMAP>(at->second) : nullptr;
}
void SetClipboardHeldElsewhere(bool held) { System().clipboardHeldElsewhere = held; }

int WaitCursorCount() { return System().waitCursorCount; }
void SetWaitCursorCount(int count) {
  System().waitCursorCount = count;
  TheUserBackend().CursorChanged(System().cursor, count);
}

void LogCall(const std::string& line) {
  auto& log = System().callLog;
  // A long desktop session must not grow the log without end.
  if (log.size() >= 100000) log.erase(log.begin(), log.begin() + 50000);
  log.push_back(line);
}
std::vector<std::string> TakeCallLog() {
  std::vector<std::string> taken;
  taken.swap(System().callLog);
  return taken;
}

void SetWindowForgetter(WindowForgetter forgetter) { System().forgetter = forgetter; }

void ResetWindows() {
  platform::ReleaseAllKeys();
  WindowSystem& s = System();
  std::vector<Window*> tops = s.zOrder;
  for (Window* w : tops) {
    if (s.alive.count(w) != 0) DestroyWindowTree(w, false);
  }
  s.queue.clear();
  s.quitPosted = false;
  s.timers.clear();
  s.active = nullptr;
  s.focus = nullptr;
  s.waitCursorCount = 0;
  s.cursor = nullptr;
  s.clipboardOpen = false;
  s.clipboardHeldElsewhere = false;
  for (auto& entry : s.clipboard) DeleteObject(static_cast<HGDIOBJ>(entry.second));
  s.clipboard.clear();
  s.callLog.clear();
}

}  // namespace platform

// --- Creation and destruction ----------------------------------------------------------

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE,
                     LPVOID) {
  WindowSystem& s = System();
  std::string name = UpperCase(className);
  WNDPROC proc = ProcedureForClass(name);
  Window* parentWindow = parent != nullptr ? FromHandle(parent) : nullptr;
  if (proc == nullptr || ((style & WS_CHILD) != 0 && parentWindow == nullptr)) {
    SetLastError(proc == nullptr ? 1407L /* ERROR_CANNOT_FIND_WND_CLASS */
                                 : 1406L /* ERROR_TLW_WITH_WSCHILD */);
    return nullptr;
  }
  platform::SetWindowFramebufferLookup(LookupFramebuffer);
  auto w = std::make_unique<Window>();
  w->className = name;
  w->text = windowName != nullptr ? windowName : "";
  w->style = style;
  w->exStyle = exStyle;
  w->rect = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  w->proc = proc;
  ReplaceFramebuffer(w.get());
  if (w->framebuffer == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Window* created = w.release();
  s.alive.insert(created);
  if ((style & WS_CHILD) != 0) {
    created->parent = parentWindow;
    created->id = static_cast<int>(reinterpret_cast<INT_PTR>(menu));
    parentWindow->children.push_back(created);
  } else {
    created->owner = parentWindow != nullptr ? TopLevelOf(parentWindow) : nullptr;
    Restack(created, IsTopmost(created) ? HWND_TOPMOST : HWND_TOP);
  }
  if ((style & WS_VISIBLE) != 0) InvalidateRect(ToHandle(created), nullptr, TRUE);
  platform::LogCall("CreateWindowExA " + Describe(created));
  Notify(created);
  return ToHandle(created);
}

BOOL DestroyWindow(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) {
    SetLastError(1400L /* ERROR_INVALID_WINDOW_HANDLE */);
    return FALSE;
  }
  platform::LogCall("DestroyWindow " + Describe(w));
  DestroyWindowTree(w, true);
  return TRUE;
}

BOOL IsWindow(HWND window) { return FromHandle(window) != nullptr; }

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
  Window* w = FromHandle(window);
  if (w == nullptr) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_USERDATA: return w->userData;
    case GWLP_ID: return w->id;
    case DWLP_MSGRESULT: return w->messageResult;
    default: return 0;
  }
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
  Window* w = FromHandle(window);
  if (w == nullptr) return 0;
  LONG_PTR previous = GetWindowLongPtrA(window, index);
  switch (index) {
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); break;
    case GWL_STYLE: w->style = static_cast<DWORD>(value); break;
    case GWL_EXSTYLE: w->exStyle = static_cast<DWORD>(value); break;
    case GWLP_USERDATA: w->userData = value; break;
    case GWLP_ID: w->id = static_cast<int>(value); break;
    case DWLP_MSGRESULT: w->messageResult = value; break;
    default: return 0;
  }
  return previous;
}

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
  platform::LogCall("EndDialog " + Describe(d) + " " + std::to_string(result));
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
      platform::LogCall(std::string("WM_SETICON ") + Describe(w) +
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

// --- Text, placement and state ------------------------------------------------------------

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  platform::LogCall("SetWindowTextA " + Describe(w) + " -> " + (text != nullptr ? text : ""));
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
  platform::LogCall("SetWindowPos " + Describe(w) + " after=" +
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
  platform::LogCall("MoveWindow " + Describe(w) + " " + std::to_string(x) + "," +
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
  platform::LogCall("ShowWindow " + Describe(w) + " " + std::to_string(command));
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
  platform::LogCall("EnableWindow " + Describe(w) + " " + std::to_string(enable ? 1 : 0));
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
  SetLastError(1421L /* ERROR_CONTROL_ID_NOT_FOUND */);
  return nullptr;
}

int GetDlgCtrlID(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && w->parent != nullptr ? w->id : 0;
}

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

// --- Painting -----------------------------------------------------------------------------

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  RECT client = ClientRectOf(w);
  RECT area = client;
  if (rect != nullptr && !IntersectRect(&area, rect, &client)) return TRUE;
  if (w->hasUpdate) {
    UnionRect(&w->update, &w->update, &area);
  } else {
    w->update = area;
    w->hasUpdate = !IsRectEmpty(&area);
  }
  w->updateErase = w->updateErase || erase;
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  RECT covered;
  // The update region is kept as its bounding box: a rectangle validates it
  // only when it covers the whole box.
  if (rect == nullptr || (UnionRect(&covered, rect, &w->update) && EqualRect(&covered, rect))) {
    w->hasUpdate = false;
    w->updateErase = false;
    SetRectEmpty(&w->update);
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND window, LPRECT rect, BOOL) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  if (rect != nullptr) {
    if (w->hasUpdate) {
      *rect = w->update;
    } else {
      SetRectEmpty(rect);
    }
  }
  return w->hasUpdate ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) return FALSE;
  if (w->hasUpdate && IsWindowVisible(window)) SendMessageA(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  Window* w = FromHandle(window);
  if (w == nullptr || paint == nullptr) return nullptr;
  std::memset(paint, 0, sizeof *paint);
  if (w->hasUpdate) paint->rcPaint = w->update;
  paint->hdc = platform::CreateWindowDC(w->framebuffer, &paint->rcPaint);
  bool erase = w->updateErase;
  w->updateErase = false;
  if (erase && paint->hdc != nullptr) {
    // fErase tells the paint handler that the background was left for it.
    paint->fErase = SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0) == 0;
  }
  w->hasUpdate = false;
  SetRectEmpty(&w->update);
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  // The paint DC came from CreateWindowDC, not GetDC: it is deleted.
  if (paint->hdc != nullptr) DeleteDC(paint->hdc);
  if (FromHandle(window) != nullptr) {
    platform::TheUserBackend().WindowPainted(window, paint->rcPaint);
  }
  return TRUE;
}

// --- Rectangles ------------------------------------------------------------------------------

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
  if (rect == nullptr) return FALSE;
  *rect = RECT{left, top, right, bottom};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT rect) { return SetRect(rect, 0, 0, 0, 0); }
BOOL CopyRect(LPRECT destination, const RECT* source) {
  if (destination == nullptr || source == nullptr) return FALSE;
  *destination = *source;
  return TRUE;
}
BOOL IsRectEmpty(const RECT* rect) {
  return rect == nullptr || rect->right <= rect->left || rect->bottom <= rect->top;
}
BOOL PtInRect(const RECT* rect, POINT point) {
  return rect != nullptr && point.x >= rect->left && point.x < rect->right &&
         point.y >= rect->top && point.y < rect->bottom;
}
BOOL OffsetRect(LPRECT rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  rect->left += dx;
  rect->right += dx;
  rect->top += dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL InflateRect(LPRECT rect, int dx, int dy) {
  if (rect == nullptr) return FALSE;
  rect->left -= dx;
  rect->right += dx;
  rect->top -= dy;
  rect->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(LPRECT destination, const RECT* a, const RECT* b) {
  if (destination == nullptr || a == nullptr || b == nullptr) return FALSE;
  RECT r = {std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
            std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(destination);
    return FALSE;
  }
  *destination = r;
  return TRUE;
}
BOOL UnionRect(LPRECT destination, const RECT* a, const RECT* b) {
  if (destination == nullptr || a == nullptr || b == nullptr) return FALSE;
  if (IsRectEmpty(a)) {
    *destination = *b;
  } else if (IsRectEmpty(b)) {
    *destination = *a;
  } else {
    *destination = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                        std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
  }
  return !IsRectEmpty(destination);
}
BOOL EqualRect(const RECT* a, const RECT* b) {
  return a != nullptr && b != nullptr && a->left == b->left && a->top == b->top &&
         a->right == b->right && a->bottom == b->bottom;
}

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
  platform::LogCall("SetTimer " + Describe(w) + " " + std::to_string(id) + " " +
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
  platform::LogCall("KillTimer " + Describe(w) + " " + std::to_string(id));
  s.timers.erase(at);
  // A WM_TIMER already queued for it is withdrawn, as on Windows.
  s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                               [window, id](const MSG& m) {
                                 return m.message == WM_TIMER && m.hwnd == window && m.wParam == id;
                               }),
                s.queue.end());
  return TRUE;
}

// --- Metrics -------------------------------------------------------------------------------

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
      HDC screen = GetDC(nullptr);
      int value = GetDeviceCaps(screen, index == SM_CXSCREEN ? HORZRES : VERTRES);
      ReleaseDC(nullptr, screen);
      return value;
    }
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
  }
}

// --- Menus -----------------------------------------------------------------------------------

HMENU GetSystemMenu(HWND window, BOOL revert) {
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  if (revert) {
    delete w->systemMenu;
    w->systemMenu = nullptr;
    return nullptr;
  }
  if (w->systemMenu == nullptr) w->systemMenu = DefaultSystemMenu();
  return reinterpret_cast<HMENU>(w->systemMenu);
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idNewItem, LPCSTR text) {
  Menu* m = reinterpret_cast<Menu*>(menu);
  if (m == nullptr || !IsSystemMenu(m)) return FALSE;
  std::string label = (flags & MF_SEPARATOR) == 0 && text != nullptr ? text : "";
  platform::LogCall("AppendMenuA " + std::to_string(flags) + " " + std::to_string(idNewItem) +
                    " " + label);
  m->items.push_back(platform::MenuItem{flags, (flags & MF_SEPARATOR) != 0 ? 0 : idNewItem, label});
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  Menu* m = reinterpret_cast<Menu*>(menu);
  return m != nullptr && IsSystemMenu(m) ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  Menu* m = reinterpret_cast<Menu*>(menu);
  if (m == nullptr || !IsSystemMenu(m) || position < 0 ||
      position >= static_cast<int>(m->items.size())) {
    return static_cast<UINT>(-1);
  }
  return static_cast<UINT>(m->items[static_cast<size_t>(position)].id);
}

int GetMenuStringA(HMENU menu, UINT item, LPSTR text, int maxCount, UINT flags) {
  Menu* m = reinterpret_cast<Menu*>(menu);
  if (m == nullptr || !IsSystemMenu(m)) return 0;
  const platform::MenuItem* found = nullptr;
  if ((flags & MF_BYPOSITION) != 0) {
    if (item < m->items.size()) found = &m->items[item];
  } else {
    for (const auto& entry : m->items) {
      if ((entry.flags & MF_SEPARATOR) == 0 && entry.id == item) found = &entry;
    }
  }
  if (found == nullptr) return 0;
  if (text == nullptr || maxCount <= 0) return static_cast<int>(found->text.size());
  size_t n = std::min(found->text.size(), static_cast<size_t>(maxCount) - 1);
  std::memcpy(text, found->text.data(), n);
  text[n] = '\0';
  return static_cast<int>(n);
}

// --- Cursors ---------------------------------------------------------------------------------

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  // The system's cursors only: one object per identifier.
  static char arrow, wait;
  if (instance != nullptr) return nullptr;
  if (name == IDC_ARROW) return reinterpret_cast<HCURSOR>(&arrow);
  if (name == IDC_WAIT) return reinterpret_cast<HCURSOR>(&wait);
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  WindowSystem& s = System();
  HCURSOR previous = s.cursor;
  s.cursor = cursor;
  if (previous != cursor) platform::TheUserBackend().CursorChanged(cursor, s.waitCursorCount);
  return previous;
}

HCURSOR GetCursor() { return System().cursor; }

// --- Message boxes and the Save As dialog ---------------------------------------------------

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string shownText = text != nullptr ? text : "";
  std::string shownCaption = caption != nullptr ? caption : "Error";
  platform::LogCall("MessageBoxA " + shownCaption + ": " + shownText);
  return platform::TheUserBackend().ShowMessageBox(owner, shownText, shownCaption, type);
}

namespace {

// A concrete extension from a pattern such as "*.png" or a default-extension
// text such as "png" or "*.jpg": the part after the last dot, or the whole
// text without one; empty when it holds a wildcard ("*.*", "*").
std::string ConcreteExtension(const std::string& pattern) {
  const size_t dot = pattern.find_last_of('.');
  std::string extension = dot == std::string::npos ? pattern : pattern.substr(dot + 1);
  if (extension.find_first_of("*?") != std::string::npos) return std::string();
  return extension;
}

// The first pattern of the selected filter (counted from 1), or empty.
std::string SelectedFilterPattern(const OPENFILENAMEA* dialog) {
  if (dialog->lpstrFilter == nullptr || dialog->nFilterIndex == 0) return std::string();
  const char* label = dialog->lpstrFilter;
  for (DWORD index = 1; *label != '\0'; ++index) {
    const char* patterns = label + std::strlen(label) + 1;
    if (*patterns == '\0') break;
    if (index == dialog->nFilterIndex) return std::string(patterns, std::strcspn(patterns, ";"));
    label = patterns + std::strlen(patterns) + 1;
  }
  return std::string();
}

// The save dialog's default-extension rule: when the caller gives a default
// extension and the returned name has none, the selected filter's extension
// is appended, or the default extension's own when the filter names none.
bool AppendDefaultExtension(OPENFILENAMEA* dialog) {
  if (dialog->lpstrDefExt == nullptr) return true;
  const std::string path = dialog->lpstrFile;
  const size_t nameStart = std::min<size_t>(dialog->nFileOffset, path.size());
  if (path.find('.', nameStart) != std::string::npos || nameStart == path.size()) return true;
  std::string extension = ConcreteExtension(SelectedFilterPattern(dialog));
  if (extension.empty()) extension = ConcreteExtension(dialog->lpstrDefExt);
  if (extension.empty()) return true;
  return platform::FillSaveAsResult(dialog, path + "." + extension, dialog->nFilterIndex);
}

}  // namespace

BOOL GetSaveFileNameA(LPOPENFILENAMEA dialog) {
  WindowSystem& s = System();
  s.commDlgError = 0;
  if (dialog == nullptr || dialog->lpstrFile == nullptr || dialog->nMaxFile == 0) {
    s.commDlgError = 0x0001; /* CDERR_STRUCTSIZE */
    return FALSE;
  }
  platform::LogCall(std::string("GetSaveFileNameA ") +
                    (dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : ""));
  if (!platform::TheUserBackend().ShowSaveAsDialog(dialog)) return FALSE;
  return AppendDefaultExtension(dialog) ? TRUE : FALSE;
}

DWORD CommDlgExtendedError() { return System().commDlgError; }

namespace platform {
void SetCommDlgError(DWORD error) { System().commDlgError = error; }
}  // namespace platform

// --- Clipboard -------------------------------------------------------------------------------

BOOL OpenClipboard(HWND) {
  WindowSystem& s = System();
  if (s.clipboardOpen || s.clipboardHeldElsewhere) {
    SetLastError(5L /* ERROR_ACCESS_DENIED */);
    return FALSE;
  }
  s.clipboardOpen = true;
  s.clipboardChanged = false;
  return TRUE;
}

BOOL EmptyClipboard() {
  WindowSystem& s = System();
  if (!s.clipboardOpen) return FALSE;
  for (auto& entry : s.clipboard) DeleteObject(static_cast<HGDIOBJ>(entry.second));
  s.clipboard.clear();
  s.clipboardChanged = true;
  platform::LogCall("EmptyClipboard");
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
  WindowSystem& s = System();
  if (!s.clipboardOpen || format != CF_BITMAP || data == nullptr) {
    // Only screen bitmaps are carried; nothing in the program places other forms.
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto at = s.clipboard.find(format);
  if (at != s.clipboard.end() && at->second != data) DeleteObject(static_cast<HGDIOBJ>(at->second));
  s.clipboard[format] = data;
  s.clipboardChanged = true;
  platform::LogCall("SetClipboardData " + std::to_string(format));
  return data;
}

HANDLE GetClipboardData(UINT format) {
  WindowSystem& s = System();
  if (!s.clipboardOpen) return nullptr;
  auto at = s.clipboard.find(format);
  return at != s.clipboard.end() ? at->second : nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) { return System().clipboard.count(format) != 0; }

BOOL CloseClipboard() {
  WindowSystem& s = System();
  if (!s.clipboardOpen) return FALSE;
  s.clipboardOpen = false;
  if (s.clipboardChanged) platform::TheUserBackend().ClipboardChanged();
  s.clipboardChanged = false;
  return TRUE;
}

namespace platform {
bool FillSaveAsResult(OPENFILENAMEA* dialog, const std::string& path, DWORD filterIndex) {
  if (path.size() + 1 > dialog->nMaxFile) {
    SetCommDlgError(FNERR_BUFFERTOOSMALL);
    if (dialog->nMaxFile >= 2) {
      WORD needed = static_cast<WORD>(std::min<size_t>(path.size() + 1, 0xFFFF));
      std::memcpy(dialog->lpstrFile, &needed, sizeof needed);
    }
    return false;
  }
  std::memcpy(dialog->lpstrFile, path.c_str(), path.size() + 1);
  size_t slash = path.find_last_of(kFolderSeparators);
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.find_last_of('.');
  dialog->nFileOffset = static_cast<WORD>(nameStart);
  dialog->nFileExtension =
      static_cast<WORD>(dot != std::string::npos && dot >= nameStart ? dot + 1 : path.size());
  if (dialog->lpstrFileTitle != nullptr && dialog->nMaxFileTitle > 0) {
    std::string title = path.substr(nameStart);
    size_t n = std::min(title.size(), static_cast<size_t>(dialog->nMaxFileTitle) - 1);
    std::memcpy(dialog->lpstrFileTitle, title.data(), n);
    dialog->lpstrFileTitle[n] = '\0';
  }
  dialog->nFilterIndex = filterIndex;
  return true;
}
}  // namespace platform
