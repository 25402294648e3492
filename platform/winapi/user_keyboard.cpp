// GetKeyState over the key state the back end records as it delivers input.
#include <array>

#include "platform/backend.h"
#include "platform/win32.h"

namespace {

constexpr size_t kVirtualKeys = 256;
// Bit 15 set: the key is down.
constexpr SHORT kKeyDown = static_cast<SHORT>(-32768);

std::array<bool, kVirtualKeys>& KeysDown() {
  static std::array<bool, kVirtualKeys> keys{};
  return keys;
}

}  // namespace

namespace platform {

void SetKeyDown(UINT virtualKey, bool down) {
  if (virtualKey < kVirtualKeys) KeysDown()[virtualKey] = down;
}

void ReleaseAllKeys() { KeysDown().fill(false); }

}  // namespace platform

SHORT GetKeyState(int virtualKey) {
  if (virtualKey < 0 || static_cast<size_t>(virtualKey) >= kVirtualKeys) return 0;
  return KeysDown()[static_cast<size_t>(virtualKey)] ? kKeyDown : 0;
}
