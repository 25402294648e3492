// The no-window back end (winapi_nobackend), linked alone with the services:
// what a program that shows nothing sees of windows, message boxes, the Save
// As dialog and the message loop.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/win32.h"

namespace {

TEST(NoBackend, MessageBoxGoesToStderrAndNoButtonIsChosen) {
  testing::internal::CaptureStderr();
  int answer = MessageBoxA(nullptr, "Corrupt JPEG data", "JPEG Error", MB_OK | MB_ICONERROR);
  std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(written, "JPEG Error: Corrupt JPEG data\n");
}

TEST(NoBackend, SaveAsIsCancelledWithoutAnError) {
  char file[MAX_PATH] = "picture";
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  EXPECT_FALSE(GetSaveFileNameA(&dialog));
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_STREQ(file, "picture");
}

TEST(NoBackend, MessageLoopEndsOnceNothingIsLeftAndWindowsStillPaint) {
  HWND window = CreateWindowExA(0, "#32770", "hidden", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PostMessageA(window, WM_USER, 7, 0));
  MSG message;
  ASSERT_TRUE(GetMessageA(&message, nullptr, 0, 0));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(message.wParam, 7u);
  ASSERT_TRUE(GetMessageA(&message, nullptr, 0, 0));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&message);
  // No input will ever come: the loop ends as WM_QUIT would end it.
  EXPECT_FALSE(GetMessageA(&message, nullptr, 0, 0));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_NE(platform::WindowFramebuffer(window), nullptr);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST(NoBackend, TimerClockRunsOnRealTime) {
  DWORD start = platform::TheUserBackend().Now();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(platform::TheUserBackend().Now() - start, 15u);
}

}  // namespace
