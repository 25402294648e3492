// The headless back end itself: the script and its order, the virtual clock,
// the screen and screenshots, module file pointing, sounds and resets.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/framework/afx_wnd.h"
#include "platform/headless/headless.h"
#include "platform/winapi/gdi_internal.h"
#include "tests/support/test_support.h"

namespace {

// A top-level window that records the messages it gets and fills its client
// area with one colour when painted.
class Recorder : public CWnd {
 public:
  std::vector<UINT> messages;
  COLORREF color = RGB(200, 30, 40);

  BOOL Make(int x, int y, int width, int height, HWND parent = nullptr, DWORD style = 0) {
    DWORD styles = style != 0 ? style : (WS_POPUP | WS_VISIBLE);
    HWND window = CreateWindowExA(0, "#32770", "recorder", styles, x, y, width, height, parent,
                                  nullptr, nullptr, nullptr);
    return window != nullptr && SubclassWindow(window);
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_NCDESTROY && message != WM_DESTROY) messages.push_back(message);
    return CWnd::WindowProc(message, wParam, lParam);
  }
  void OnPaint() override {
    CPaintDC dc(this);
    HBRUSH brush = CreateSolidBrush(color);
    RECT client;
    GetClientRect(&client);
    FillRect(dc.GetSafeHdc(), &client, brush);
    DeleteObject(brush);
  }
  BOOL OnEraseBkgnd(CDC*) override { return TRUE; }
};

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override { headless::Reset(); }
  void TearDown() override { headless::Reset(); }
};

size_t Count(const std::vector<UINT>& messages, UINT message) {
  return static_cast<size_t>(std::count(messages.begin(), messages.end(), message));
}

TEST_F(HeadlessTest, ScriptStepsRunInOrderOnlyWhenTheProgramWaits) {
  Recorder window;
  ASSERT_TRUE(window.Make(10, 10, 50, 50));
  std::vector<std::string> order;
  headless::PostCall([&] {
    order.push_back("first");
    // Paints come before the next step: the window has painted by now.
    EXPECT_EQ(Count(window.messages, WM_PAINT), 1u);
    window.PostMessage(WM_USER + 1);
  });
  headless::PostCall([&] {
    // A message posted by the previous step was handled before this one.
    EXPECT_EQ(Count(window.messages, WM_USER + 1), 1u);
    order.push_back("second");
  });
  EXPECT_EQ(headless::PendingSteps(), 2u);
  EXPECT_TRUE(order.empty());  // nothing runs until the program waits
  headless::Pump();
  EXPECT_EQ(order, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(headless::PendingSteps(), 0u);
  EXPECT_EQ(headless::RunsDriedUp(), 1);
}

TEST_F(HeadlessTest, IdleHandlerIsAskedWhenTheScriptIsUsedUp) {
  Recorder window;
  ASSERT_TRUE(window.Make(0, 0, 20, 20));
  int asked = 0;
  headless::SetIdleHandler([&] {
    ++asked;
    if (asked > 3) return false;
    headless::PostClick(window.m_hWnd, 5, 5);
    return true;
  });
  headless::Pump();
  EXPECT_EQ(asked, 4);
  EXPECT_EQ(Count(window.messages, WM_LBUTTONDOWN), 3u);
  EXPECT_EQ(Count(window.messages, WM_LBUTTONUP), 3u);
}

TEST_F(HeadlessTest, TheClockMovesOnlyWhenTheTestMovesIt) {
  Recorder window;
  ASSERT_TRUE(window.Make(0, 0, 20, 20));
  window.SetTimer(5, 1000);
  headless::Pump();
  EXPECT_EQ(headless::Now(), 0u);
  EXPECT_EQ(Count(window.messages, WM_TIMER), 0u);
  EXPECT_EQ(platform::NextTimerDue(), 1000u);
  headless::AdvanceClock(1000);
  headless::Pump();
  EXPECT_EQ(Count(window.messages, WM_TIMER), 1u);
  EXPECT_EQ(platform::NextTimerDue(), 2000u);
  headless::PostAdvanceClock(999);
  headless::PostCall([&] { EXPECT_EQ(Count(window.messages, WM_TIMER), 1u); });
  headless::PostAdvanceClock(1);
  headless::PostCall([&] { EXPECT_EQ(Count(window.messages, WM_TIMER), 2u); });
  headless::Pump();
  EXPECT_EQ(headless::Now(), 2000u);
}

TEST_F(HeadlessTest, PointerEventsLandOnWhatIsOnTopAtThatPoint) {
  Recorder below, above;
  ASSERT_TRUE(below.Make(0, 0, 100, 100));
  ASSERT_TRUE(above.Make(50, 50, 100, 100));
  // A client point of the lower window that the upper one covers.
  headless::PostClientPointer(below.m_hWnd, WM_MOUSEMOVE, 60, 60);
  headless::PostClientPointer(below.m_hWnd, WM_MOUSEMOVE, 10, 10);
  headless::PostPointer(WM_MOUSEMOVE, 500, 500);  // nobody there
  headless::Pump();
  EXPECT_EQ(Count(below.messages, WM_MOUSEMOVE), 1u);
  EXPECT_EQ(Count(above.messages, WM_MOUSEMOVE), 1u);
  // Keys go to the focus.
  SetFocus(below.m_hWnd);
  headless::PostKey(VK_DOWN);
  headless::Pump();
  EXPECT_EQ(Count(below.messages, WM_KEYDOWN), 1u);
  EXPECT_EQ(Count(below.messages, WM_KEYUP), 1u);
  EXPECT_EQ(Count(above.messages, WM_KEYDOWN), 0u);
}

TEST_F(HeadlessTest, ScreenSizeAndScreenshots) {
  headless::SetScreenSize(320, 200);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 320);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 200);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 320);
  ReleaseDC(nullptr, screen);
  Recorder red, blue;
  ASSERT_TRUE(red.Make(10, 10, 100, 100));
  blue.color = RGB(20, 40, 220);
  ASSERT_TRUE(blue.Make(60, 60, 100, 100));
  headless::Pump();
  EXPECT_EQ(headless::ScreenPixel(20, 20), 0xC81E28u);   // red alone
  EXPECT_EQ(headless::ScreenPixel(80, 80), 0x1428DCu);   // blue covers red
  EXPECT_EQ(headless::ScreenPixel(300, 190), 0u);        // no window: black
  SetWindowPos(red.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(headless::ScreenPixel(80, 80), 0xC81E28u);
  std::string path = testing_support::TempDir() + "/screen.png";
  ASSERT_TRUE(headless::SaveScreenPng(path));
  auto decoded = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->width, 320u);
  ASSERT_EQ(decoded->height, 200u);
  size_t at = (static_cast<size_t>(150) * 320 + 150) * 3;  // blue only
  EXPECT_EQ(decoded->rgb[at], 20);
  EXPECT_EQ(decoded->rgb[at + 1], 40);
  EXPECT_EQ(decoded->rgb[at + 2], 220);
  ShowWindow(blue.m_hWnd, SW_HIDE);
  EXPECT_EQ(headless::ScreenPixel(150, 150), 0u);
}

TEST_F(HeadlessTest, WindowScreenshotsShowTheirControls) {
  Recorder dialog;
  ASSERT_TRUE(dialog.Make(0, 0, 120, 80));
  HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_HASSTRINGS, 10, 10, 50,
                              40, dialog.m_hWnd, reinterpret_cast<HMENU>(3), nullptr, nullptr);
  HWND hidden = CreateWindowExA(0, "BUTTON", "hidden", WS_CHILD, 70, 10, 40, 20, dialog.m_hWnd,
                                reinterpret_cast<HMENU>(4), nullptr, nullptr);
  ASSERT_NE(list, nullptr);
  ASSERT_NE(hidden, nullptr);
  headless::Pump();
  std::string path = testing_support::TempDir() + "/window.png";
  ASSERT_TRUE(headless::SaveWindowPng(dialog.m_hWnd, path));
  auto decoded = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->width, 120u);
  auto pixel = [&](int x, int y) {
    size_t at = (static_cast<size_t>(y) * decoded->width + x) * 3;
    return RGB(decoded->rgb[at], decoded->rgb[at + 1], decoded->rgb[at + 2]);
  };
  EXPECT_EQ(pixel(5, 5), RGB(200, 30, 40));      // the dialog's own paint
  EXPECT_EQ(pixel(30, 30), RGB(255, 255, 255));  // the list box over it
  EXPECT_EQ(pixel(90, 20), RGB(200, 30, 40));    // a hidden control is not shown
}

TEST_F(HeadlessTest, ModuleFileNamePointsWhereTheTestSays) {
  headless::SetModuleFileName("/discs/summer/tessary.exe");
  char path[MAX_PATH];
  EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), 25u);
  EXPECT_STREQ(path, "/discs/summer/tessary.exe");
  headless::Reset();
  GetModuleFileNameA(nullptr, path, sizeof path);
  EXPECT_STRNE(path, "/discs/summer/tessary.exe");
}

TEST_F(HeadlessTest, SoundsAndCallLogAreRecordedInOrder) {
  headless::RecordSound("midi play /a/title.mid");
  headless::RecordSound("wave stop");
  EXPECT_EQ(headless::TakeSounds(),
            (std::vector<std::string>{"midi play /a/title.mid", "wave stop"}));
  EXPECT_TRUE(headless::TakeSounds().empty());
  headless::TakeCallLog();
  Recorder window;
  ASSERT_TRUE(window.Make(0, 0, 10, 10));
  window.SetWindowText("Tessary");
  window.SetTimer(1, 500);
  std::vector<std::string> log = headless::TakeCallLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0], "CreateWindowExA #32770 \"recorder\"");
  EXPECT_EQ(log[1], "SetWindowTextA #32770 \"recorder\" -> Tessary");
  EXPECT_EQ(log[2], "SetTimer #32770 \"Tessary\" 1 500");
}

TEST_F(HeadlessTest, ResetDestroysWindowsWithoutCallingThemAndClearsEverything) {
  auto* orphan = new Recorder();
  ASSERT_TRUE(orphan->Make(0, 0, 10, 10));
  HWND window = orphan->m_hWnd;
  orphan->Detach();  // as if its object were already gone
  delete orphan;
  headless::QueueMessageBoxAnswer(IDNO);
  headless::QueueSaveAsAnswer("/x", 2);
  headless::PostKey(VK_RETURN);
  headless::AdvanceClock(77);
  headless::Reset();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_TRUE(platform::TopLevelWindowsInZOrder().empty());
  EXPECT_EQ(headless::PendingSteps(), 0u);
  EXPECT_EQ(headless::Now(), 0u);
  EXPECT_EQ(MessageBoxA(nullptr, "?", "?", MB_YESNO), IDYES);
  OPENFILENAMEA dialog = {};
  char file[MAX_PATH] = "";
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  EXPECT_FALSE(GetSaveFileNameA(&dialog));
}

}  // namespace

namespace {

TEST_F(HeadlessTest, ResetMakesTheFrameworkForgetWindowsItHadAttached) {
  auto* object = new Recorder();
  ASSERT_TRUE(object->Make(0, 0, 10, 10));
  HWND window = object->m_hWnd;
  EXPECT_EQ(CWnd::FromHandlePermanent(window), object);
  headless::Reset();
  EXPECT_EQ(CWnd::FromHandlePermanent(window), nullptr);
  object->Detach();  // nothing left to detach; the object may go
  delete object;
  // Windows made afterwards (even at the same address) start afresh.
  for (int i = 0; i < 20; ++i) {
    HWND fresh = CreateWindowExA(0, "#32770", "", WS_POPUP, 0, 0, 5, 5, nullptr, nullptr, nullptr,
                                 nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(fresh), nullptr);
    SendMessageA(fresh, WM_PAINT, 0, 0);
    DestroyWindow(fresh);
  }
}

}  // namespace
