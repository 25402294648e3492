// The system menu: the window's default items, the items the program appends,
// and reading them back.
#include <algorithm>
#include <cstring>

#include "platform/winapi/user_internal.h"

namespace platform::user {

Menu* DefaultSystemMenu() {
  Menu* menu = new Menu();
  menu->items = {{MF_STRING, SC_RESTORE, "&Restore"},
                 {MF_STRING, SC_MOVE, "&Move"},
                 {MF_STRING, SC_MINIMIZE, "Mi&nimize"},
                 {MF_SEPARATOR, 0, ""},
                 {MF_STRING, SC_CLOSE, "&Close\tAlt+F4"}};
  return menu;
}

}  // namespace platform::user

using namespace platform::user;

namespace {

bool IsSystemMenu(Menu* menu) {
  for (Window* w : System().alive) {
    if (w->systemMenu == menu) return true;
  }
  return false;
}

}  // namespace

namespace platform {

std::vector<MenuItem> SystemMenuItems(HWND window) {
  Window* w = FromHandle(window);
  if (w == nullptr || w->systemMenu == nullptr) return {};
  return w->systemMenu->items;
}
}  // namespace platform

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
  LogCall("AppendMenuA " + std::to_string(flags) + " " + std::to_string(idNewItem) +
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
