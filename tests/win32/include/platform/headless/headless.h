// The message boxes of platform/headless/headless.h for the Windows build:
// MessageBoxA is recorded and answered IDOK instead of shown
// (tests/win32/test_hooks.cpp). Only what the imaging library's tests use.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

namespace headless {

struct MessageBoxShown {
  HWND owner;
  std::string caption;
  std::string text;
  UINT type;
  int answer;
};
// The boxes asked for since the last call, then cleared.
std::vector<MessageBoxShown> TakeMessageBoxes();

}  // namespace headless
