// Window objects: the set of live windows, creation and destruction, the
// z-order of top-level windows, window longs and the control state slot.
#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/winapi/user_internal.h"

namespace platform::user {

WindowSystem& System() {
  static WindowSystem* system = new WindowSystem();
  return *system;
}

Window* FromHandle(HWND window) {
  Window* w = reinterpret_cast<Window*>(window);
  return System().alive.count(w) != 0 ? w : nullptr;
}

std::string Describe(Window* w) {
  if (w == nullptr) return "(none)";
  std::string name = w->className;
  if (!w->text.empty()) name += " \"" + w->text + "\"";
  if (w->parent != nullptr) name += " #" + std::to_string(w->id);
  return name;
}

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
  w->framebuffer = CreateFramebuffer(width, height, fill);
}

void Notify(Window* w) { TheUserBackend().WindowChanged(ToHandle(w)); }

namespace {

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

}  // namespace

// In front of every window of its band (topmost windows form the front band)
// or right after `insertAfter`. Windows it owns stay directly in front of it,
// as Windows keeps them.
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

void DestroyWindowTree(Window* w, bool callProcedures) {
  WindowSystem& s = System();
  if (w->destroying) return;
  w->destroying = true;
  TheUserBackend().WindowDestroyed(ToHandle(w));
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

}  // namespace platform::user

using namespace platform::user;

namespace {

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

std::vector<HWND> TopLevelWindowsInZOrder() {
  std::vector<HWND> handles;
  for (Window* w : System().zOrder) handles.push_back(ToHandle(w));
  return handles;
}

std::string WindowClassName(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr ? w->className : std::string();
}
bool WindowIsTopmost(HWND window) {
  Window* w = FromHandle(window);
  return w != nullptr && IsTopmost(w);
}

HICON WindowIcon(HWND window, int which) {
  Window* w = FromHandle(window);
  if (w == nullptr) return nullptr;
  return which == ICON_BIG ? w->bigIcon : w->smallIcon;
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
    SetLastError(proc == nullptr ? ERROR_CANNOT_FIND_WND_CLASS
                                 : ERROR_TLW_WITH_WSCHILD);
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
  LogCall("CreateWindowExA " + Describe(created));
  Notify(created);
  return ToHandle(created);
}

BOOL DestroyWindow(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  LogCall("DestroyWindow " + Describe(w));
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
