// The clipboard: one bitmap (CF_BITMAP), opened, emptied, set and closed as
// on Windows; the back end hears of each change when it is closed.
#include "platform/winapi/user_internal.h"

using namespace platform::user;

namespace platform {

HBITMAP ClipboardBitmap() {
  auto& c = System().clipboard;
  auto at = c.find(CF_BITMAP);
  return at != c.end() ? static_cast<HBITMAP>(at->second) : nullptr;
}
void SetClipboardHeldElsewhere(bool held) { System().clipboardHeldElsewhere = held; }

}  // namespace platform

// --- Clipboard -------------------------------------------------------------------------------

BOOL OpenClipboard(HWND) {
  WindowSystem& s = System();
  if (s.clipboardOpen || s.clipboardHeldElsewhere) {
    SetLastError(ERROR_ACCESS_DENIED);
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
  LogCall("EmptyClipboard");
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
  LogCall("SetClipboardData " + std::to_string(format));
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
