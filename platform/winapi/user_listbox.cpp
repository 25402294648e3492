// The system's list box as the dialogs use it: owner drawn with variable item
// height, strings, notifications, a vertical scroll bar, keyboard. A Windows
// build has the real control.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/winapi/user_internal.h"

namespace {

using platform::user::ControlBrush;
using platform::user::FillWith;
using platform::user::StyleOf;

constexpr int kScrollBarWidth = 17;
constexpr int kDefaultItemHeight = 16;
constexpr int kWheelLines = 3;

struct ListItem {
  std::string text;
  ULONG_PTR data = 0;
  int height = kDefaultItemHeight;
};

struct ListState {
  std::vector<ListItem> items;
  int selection = LB_ERR;
  int top = 0;
  int fixedHeight = kDefaultItemHeight;
};

void DestroyListState(void* state) { delete static_cast<ListState*>(state); }

ListState& StateOf(HWND window) {
  auto* state = static_cast<ListState*>(platform::ControlState(window));
  if (state == nullptr) {
    state = new ListState();
    platform::SetControlState(window, state, DestroyListState);
  }
  return *state;
}

int Count(const ListState& s) { return static_cast<int>(s.items.size()); }
RECT Client(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r;
}

int TotalHeight(const ListState& s) {
  int total = 0;
  for (const ListItem& item : s.items) total += item.height;
  return total;
}

bool ShowsScrollBar(HWND window, const ListState& s) {
  return (StyleOf(window) & WS_VSCROLL) != 0 && TotalHeight(s) > Client(window).bottom;
}

int ItemWidth(HWND window, const ListState& s) {
  return Client(window).right - (ShowsScrollBar(window, s) ? kScrollBarWidth : 0);
}

// The item's rectangle in client pixels; items above the top index lie above 0.
RECT ItemRect(HWND window, const ListState& s, int index) {
  int y = 0;
  if (index >= s.top) {
    for (int i = s.top; i < index; ++i) y += s.items[static_cast<size_t>(i)].height;
  } else {
    for (int i = index; i < s.top; ++i) y -= s.items[static_cast<size_t>(i)].height;
  }
  return RECT{0, y, ItemWidth(window, s), y + s.items[static_cast<size_t>(index)].height};
}

int ItemAt(HWND window, const ListState& s, POINT point) {
  if (point.x < 0 || point.x >= ItemWidth(window, s)) return LB_ERR;
  int y = 0;
  for (int i = s.top; i < Count(s); ++i) {
    int height = s.items[static_cast<size_t>(i)].height;
    if (point.y >= y && point.y < y + height) return i;
    y += height;
  }
  return LB_ERR;
}

// The largest top index that still fills the list's height.
int LastTop(HWND window, const ListState& s) {
  int room = Client(window).bottom;
  int top = Count(s);
  while (top > 0 && room - s.items[static_cast<size_t>(top - 1)].height >= 0) {
    room -= s.items[static_cast<size_t>(top - 1)].height;
    --top;
  }
  return std::min(top, std::max(0, Count(s) - 1));
}

void SetTop(HWND window, ListState& s, int top) {
  int clamped = std::max(0, std::min(top, LastTop(window, s)));
  if (clamped != s.top) {
    s.top = clamped;
    InvalidateRect(window, nullptr, TRUE);
  }
}

void EnsureVisible(HWND window, ListState& s, int index) {
  if (index < 0 || index >= Count(s)) return;
  if (index < s.top) {
    SetTop(window, s, index);
    return;
  }
  int height = Client(window).bottom;
  while (s.top < index && ItemRect(window, s, index).bottom > height) SetTop(window, s, s.top + 1);
}

void Notify(HWND window, int code) {
  if ((StyleOf(window) & LBS_NOTIFY) == 0) return;
  HWND parent = GetParent(window);
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(window), code),
               reinterpret_cast<LPARAM>(window));
}

int MeasureItem(HWND window, ListState& s, int index) {
  DWORD style = StyleOf(window);
  if ((style & (LBS_OWNERDRAWVARIABLE | LBS_OWNERDRAWFIXED)) == 0) return s.fixedHeight;
  if ((style & LBS_OWNERDRAWVARIABLE) == 0 && index > 0) return s.fixedHeight;
  MEASUREITEMSTRUCT measure = {ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(window)),
                               static_cast<UINT>(index), static_cast<UINT>(Client(window).right),
                               static_cast<UINT>(kDefaultItemHeight),
                               s.items[static_cast<size_t>(index)].data};
  SendMessageA(GetParent(window), WM_MEASUREITEM, static_cast<WPARAM>(GetDlgCtrlID(window)),
               reinterpret_cast<LPARAM>(&measure));
  int height = std::max(1, std::min(255, static_cast<int>(measure.itemHeight)));
  if ((style & LBS_OWNERDRAWVARIABLE) == 0) s.fixedHeight = height;
  return height;
}

LRESULT Insert(HWND window, ListState& s, int index, LPARAM text) {
  if (index < 0 || index > Count(s)) index = Count(s);
  ListItem item;
  item.text = text != 0 ? reinterpret_cast<LPCSTR>(text) : "";
  s.items.insert(s.items.begin() + index, item);
  if (s.selection >= index) ++s.selection;
  s.items[static_cast<size_t>(index)].height = MeasureItem(window, s, index);
  InvalidateRect(window, nullptr, TRUE);
  return index;
}

void Select(HWND window, ListState& s, int index, bool notify) {
  index = std::max(0, std::min(index, Count(s) - 1));
  if (Count(s) == 0) return;
  bool changed = index != s.selection;
  s.selection = index;
  EnsureVisible(window, s, index);
  InvalidateRect(window, nullptr, TRUE);
  if (changed && notify) Notify(window, LBN_SELCHANGE);
}

void PaintScrollBar(HWND window, HDC dc, const ListState& s) {
  RECT client = Client(window);
  RECT track = {client.right - kScrollBarWidth, 0, client.right, client.bottom};
  FillWith(dc, track, nullptr, RGB(230, 230, 230));
  int total = std::max(1, TotalHeight(s));
  int above = 0;
  for (int i = 0; i < s.top; ++i) above += s.items[static_cast<size_t>(i)].height;
  int length = std::max(8, static_cast<int>(static_cast<int64_t>(client.bottom) * client.bottom / total));
  int start = static_cast<int>(static_cast<int64_t>(above) * client.bottom / total);
  RECT thumb = {track.left + 2, start, track.right - 2, std::min(client.bottom, start + length)};
  FillWith(dc, thumb, nullptr, RGB(160, 160, 160));
}

void Paint(HWND window, ListState& s) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc == nullptr) return;
  RECT client = Client(window);
  HBRUSH background = ControlBrush(window, dc, WM_CTLCOLORLISTBOX);
  FillWith(dc, client, background, RGB(255, 255, 255));
  DWORD style = StyleOf(window);
  bool ownerDrawn = (style & (LBS_OWNERDRAWVARIABLE | LBS_OWNERDRAWFIXED)) != 0;
  bool focused = GetFocus() == window;
  for (int i = s.top; i < Count(s); ++i) {
    RECT item = ItemRect(window, s, i);
    if (item.top >= client.bottom) break;
    UINT state = (i == s.selection ? ODS_SELECTED : 0) | (focused && i == s.selection ? ODS_FOCUS : 0);
    if (ownerDrawn) {
      DRAWITEMSTRUCT draw = {ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(window)),
                             static_cast<UINT>(i), ODA_DRAWENTIRE, state, window, dc, item,
                             s.items[static_cast<size_t>(i)].data};
      SendMessageA(GetParent(window), WM_DRAWITEM, static_cast<WPARAM>(GetDlgCtrlID(window)),
                   reinterpret_cast<LPARAM>(&draw));
    } else {
      if (i == s.selection) FillWith(dc, item, nullptr, RGB(0, 120, 215));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, i == s.selection ? RGB(255, 255, 255) : RGB(0, 0, 0));
      RECT text = item;
      text.left += 2;
      DrawTextA(dc, s.items[static_cast<size_t>(i)].text.c_str(), -1, &text,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
  }
  if (ownerDrawn && s.items.empty() && focused) {
    // An empty owner-drawn list is asked to draw its focus with item -1.
    DRAWITEMSTRUCT draw = {ODT_LISTBOX, static_cast<UINT>(GetDlgCtrlID(window)),
                           static_cast<UINT>(-1), ODA_FOCUS, ODS_FOCUS, window, dc,
                           RECT{0, 0, client.right, kDefaultItemHeight}, 0};
    SendMessageA(GetParent(window), WM_DRAWITEM, static_cast<WPARAM>(GetDlgCtrlID(window)),
                 reinterpret_cast<LPARAM>(&draw));
  }
  if (ShowsScrollBar(window, s)) PaintScrollBar(window, dc, s);
  EndPaint(window, &paint);
}

void Scroll(HWND window, ListState& s, WORD code, WORD position) {
  int page = 1;
  for (int i = s.top, y = 0; i < Count(s); ++i) {
    y += s.items[static_cast<size_t>(i)].height;
    if (y > Client(window).bottom) break;
    page = std::max(1, i - s.top + 1);
  }
  switch (code) {
    case SB_LINEUP: SetTop(window, s, s.top - 1); break;
    case SB_LINEDOWN: SetTop(window, s, s.top + 1); break;
    case SB_PAGEUP: SetTop(window, s, s.top - page); break;
    case SB_PAGEDOWN: SetTop(window, s, s.top + page); break;
    case SB_TOP: SetTop(window, s, 0); break;
    case SB_BOTTOM: SetTop(window, s, Count(s)); break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: SetTop(window, s, position); break;
    default: break;
  }
}

void KeyDown(HWND window, ListState& s, WPARAM key) {
  if (s.items.empty()) return;
  int current = s.selection < 0 ? -1 : s.selection;
  int page = std::max(1, Client(window).bottom / std::max(1, s.items.front().height));
  int target = current;
  switch (key) {
    case VK_UP: target = current - 1; break;
    case VK_DOWN: target = current + 1; break;
    case VK_PRIOR: target = current - page; break;
    case VK_NEXT: target = current + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = Count(s) - 1; break;
    default: return;
  }
  Select(window, s, target, true);
}

}  // namespace

namespace platform {

LRESULT CALLBACK ListBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  ListState& s = StateOf(window);
  int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  auto valid = [&s](int i) { return i >= 0 && i < Count(s); };
  switch (message) {
    case LB_ADDSTRING: return Insert(window, s, -1, lParam);
    case LB_INSERTSTRING: return Insert(window, s, index, lParam);
    case LB_DELETESTRING:
      if (!valid(index)) return LB_ERR;
      s.items.erase(s.items.begin() + index);
      if (s.selection == index) s.selection = LB_ERR;
      else if (s.selection > index) --s.selection;
      SetTop(window, s, s.top);
      InvalidateRect(window, nullptr, TRUE);
      return Count(s);
    case LB_RESETCONTENT:
      s.items.clear();
      s.selection = LB_ERR;
      s.top = 0;
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case LB_SETCURSEL:
      if (!valid(index)) {
        // -1 or an index outside the list removes the selection.
        if (s.selection != LB_ERR) InvalidateRect(window, nullptr, TRUE);
        s.selection = LB_ERR;
        return LB_ERR;
      }
      Select(window, s, index, false);
      return index;
    case LB_GETCURSEL: return s.selection;
    case LB_GETCOUNT: return Count(s);
    case LB_GETTEXTLEN:
      return valid(index) ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].text.size())
                          : LB_ERR;
    case LB_GETTEXT: {
      if (!valid(index) || lParam == 0) return LB_ERR;
      const std::string& text = s.items[static_cast<size_t>(index)].text;
      // The caller's buffer holds LB_GETTEXTLEN + 1 characters, as on Windows.
      std::copy(text.begin(), text.end(), reinterpret_cast<char*>(lParam));
      reinterpret_cast<char*>(lParam)[text.size()] = '\0';
      return static_cast<LRESULT>(text.size());
    }
    case LB_GETTOPINDEX: return s.top;
    case LB_SETTOPINDEX:
      if (!valid(index)) return LB_ERR;
      SetTop(window, s, index);
      return 0;
    case LB_GETITEMRECT: {
      if (!valid(index) || lParam == 0) return LB_ERR;
      *reinterpret_cast<RECT*>(lParam) = ItemRect(window, s, index);
      return 0;
    }
    case LB_GETITEMDATA:
      return valid(index) ? static_cast<LRESULT>(s.items[static_cast<size_t>(index)].data) : LB_ERR;
    case LB_SETITEMDATA:
      if (!valid(index)) return LB_ERR;
      s.items[static_cast<size_t>(index)].data = static_cast<ULONG_PTR>(lParam);
      return 0;
    case LB_GETITEMHEIGHT:
      if (Count(s) == 0) return s.fixedHeight;
      return valid(index) ? s.items[static_cast<size_t>(index)].height : LB_ERR;
    case LB_SETITEMHEIGHT: {
      int height = static_cast<int>(LOWORD(lParam));
      if (height <= 0 || height > 255) return LB_ERR;
      if ((StyleOf(window) & LBS_OWNERDRAWVARIABLE) != 0) {
        if (!valid(index)) return LB_ERR;
        s.items[static_cast<size_t>(index)].height = height;
      } else {
        s.fixedHeight = height;
        for (ListItem& item : s.items) item.height = height;
      }
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    }
    case LB_ITEMFROMPOINT: {
      POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      int hit = ItemAt(window, s, p);
      return hit == LB_ERR ? MAKELONG(std::max(0, Count(s) - 1), 1) : MAKELONG(hit, 0);
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(window);
      POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      RECT client = Client(window);
      if (ShowsScrollBar(window, s) && p.x >= client.right - kScrollBarWidth) {
        Scroll(window, s, p.y < client.bottom / 2 ? SB_PAGEUP : SB_PAGEDOWN, 0);
        return 0;
      }
      int hit = ItemAt(window, s, p);
      if (hit != LB_ERR) Select(window, s, hit, true);
      if (hit != LB_ERR && message == WM_LBUTTONDBLCLK) Notify(window, LBN_DBLCLK);
      return 0;
    }
    case WM_KEYDOWN: KeyDown(window, s, wParam); return 0;
    case WM_VSCROLL: Scroll(window, s, LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: {
      int delta = static_cast<SHORT>(HIWORD(wParam));
      SetTop(window, s, s.top - (delta / 120) * kWheelLines);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(window, nullptr, TRUE);
      Notify(window, message == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
      return 0;
    case WM_SIZE: SetTop(window, s, s.top); return 0;
    case WM_ERASEBKGND: return 1;  // the paint fills with the parent's brush
    case WM_PAINT: Paint(window, s); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace platform
