// The cursor and the wait-cursor count, which the back end shows.
#include "platform/winapi/user_internal.h"

using namespace platform::user;

namespace platform {

int WaitCursorCount() { return System().waitCursorCount; }
void SetWaitCursorCount(int count) {
  System().waitCursorCount = count;
  TheUserBackend().CursorChanged(System().cursor, count);
}

}  // namespace platform

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
