// The keyboard state GetKeyState answers, kept up to date by the back end
// that delivers key messages. Not part of the Windows API: code above
// platform/ never includes it.
#pragma once

#include "platform/win_types.h"

namespace platform {

// Records a key as held down or released (virtual-key codes 0 to 255).
void SetKeyDown(UINT virtualKey, bool down);
// Releases every key (the program lost the keyboard).
void ReleaseAllKeys();

}  // namespace platform
