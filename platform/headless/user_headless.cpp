// Headless back end (placeholder): message boxes are recorded and answered OK.
#include "platform/win_user.h"

int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
HWND GetActiveWindow() { return nullptr; }
