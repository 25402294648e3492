// Scripted runs of a dialog on the headless screen, and the fixture the
// window tests derive from.
//
// A step posted with headless::Post* that never runs takes its checks with
// it: the dialog may end early (a key that closes it comes first, the modal
// loop returns at once) and the test still passes. A Scenario names each
// step and records that it ran; Run then fails on the first step that did
// not, and on a modal result other than the one expected.
//
//   testing_support::Scenario scenario;
//   scenario.AdvanceClock("splash timer due", 500)
//       .Click("Next zone", viewer, 690, 570)
//       .Call("second picture shown", [&] { EXPECT_EQ(viewer.m_currentIndex, 1); })
//       .AnswerSaveAs("export as PNG", path, 2)
//       .Click("Export zone", viewer, 120, 570)
//       .Key("close", VK_ESCAPE);
//   scenario.Run(viewer, IDCANCEL);
//
// Each step is appended to the headless script when it is added, so steps
// keep their order with one another and with any headless::Post* call made
// in between; a step added while the dialog runs (from inside a Call) goes to
// the end of the script, as headless::Post* would. Windows are named by their
// CWnd and looked up when the step runs (a dialog has no window before
// DoModal). Points are client coordinates. Failures inside a step carry the
// step's name. Run reports its own failures (gtest, non-fatal) and returns
// whether everything went as expected, for callers that want to stop there.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/framework/afx_wnd.h"

namespace testing_support {

// DoModal's result when the script is used up before the dialog ends.
constexpr INT_PTR kScriptUsedUp = -1;

class Scenario {
 public:
  Scenario();

  // Runs `body` when the program next waits for input.
  Scenario& Call(const std::string& name, std::function<void()> body);
  // Button down and up at a client point of `window`.
  Scenario& Click(const std::string& name, const CWnd& window, int x, int y);
  // One pointer message at a client point (to see a pressed state between
  // WM_LBUTTONDOWN and WM_LBUTTONUP, or to drag out of a zone).
  Scenario& Pointer(const std::string& name, const CWnd& window, UINT message, int x, int y,
                    WPARAM keyState = 0);
  // Key down and up, to the window with the focus.
  Scenario& Key(const std::string& name, UINT virtualKey);
  // Lets time pass: a timer that comes due fires before the next step.
  Scenario& AdvanceClock(const std::string& name, DWORD milliseconds);
  // Queue the answer of the next message box / Save As dialog when the step
  // runs (so the answer belongs to the command that follows it).
  Scenario& AnswerMessageBox(const std::string& name, int answer);
  Scenario& AnswerSaveAs(const std::string& name, const std::string& path, DWORD filterIndex);
  Scenario& CancelSaveAs(const std::string& name);

  // Runs the dialog modally; checks its result and that every step ran.
  bool Run(CDialog& dialog, INT_PTR expectedResult);
  // For runs that are not one DoModal (an application's InitInstance):
  // fails naming the first step that did not run.
  bool ExpectEveryStepRan() const;

 private:
  struct Step {
    std::string name;
    bool ran = false;
  };
  Scenario& Add(const std::string& name, std::function<void()> action);

  // Shared with the posted steps, which may outlive the scenario in the script.
  std::shared_ptr<std::vector<Step>> steps_;
};

// Base of the tests that drive windows: a clean headless back end for each
// test, and a failure when a test leaves scripted steps that never ran.
class HeadlessFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

}  // namespace testing_support
