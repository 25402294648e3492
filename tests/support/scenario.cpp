#include "tests/support/scenario.h"

#include <utility>

#include "platform/backend.h"
#include "platform/headless/headless.h"

namespace testing_support {
namespace {

// The screen point of a client point, or false (with a failure) when the
// window is not open when the step runs.
bool ScreenPointOf(const CWnd& window, int x, int y, POINT* point) {
  if (window.m_hWnd == nullptr || !IsWindow(window.m_hWnd)) {
    ADD_FAILURE() << "the window is not open";
    return false;
  }
  *point = POINT{x, y};
  ClientToScreen(window.m_hWnd, point);
  return true;
}

}  // namespace

Scenario::Scenario() : steps_(std::make_shared<std::vector<Step>>()) {}

Scenario& Scenario::Add(const std::string& name, std::function<void()> action) {
  size_t index = steps_->size();
  steps_->push_back({name, false});
  headless::PostCall([steps = steps_, index, action = std::move(action)] {
    Step& step = (*steps)[index];
    step.ran = true;
    SCOPED_TRACE("step \"" + step.name + "\"");
    action();
  });
  return *this;
}

Scenario& Scenario::Call(const std::string& name, std::function<void()> body) {
  return Add(name, std::move(body));
}

Scenario& Scenario::Click(const std::string& name, const CWnd& window, int x, int y) {
  return Add(name, [&window, x, y] {
    POINT point;
    if (!ScreenPointOf(window, x, y, &point)) return;
    platform::DeliverPointer(WM_LBUTTONDOWN, point, MK_LBUTTON);
    platform::DeliverPointer(WM_LBUTTONUP, point, 0);
  });
}

Scenario& Scenario::Pointer(const std::string& name, const CWnd& window, UINT message, int x,
                            int y, WPARAM keyState) {
  return Add(name, [&window, message, x, y, keyState] {
    POINT point;
    if (ScreenPointOf(window, x, y, &point)) platform::DeliverPointer(message, point, keyState);
  });
}

Scenario& Scenario::Key(const std::string& name, UINT virtualKey) {
  return Add(name, [virtualKey] {
    platform::DeliverKey(WM_KEYDOWN, virtualKey);
    platform::DeliverKey(WM_KEYUP, virtualKey);
  });
}

Scenario& Scenario::AdvanceClock(const std::string& name, DWORD milliseconds) {
  return Add(name, [milliseconds] { headless::AdvanceClock(milliseconds); });
}

Scenario& Scenario::AnswerMessageBox(const std::string& name, int answer) {
  return Add(name, [answer] { headless::QueueMessageBoxAnswer(answer); });
}

Scenario& Scenario::AnswerSaveAs(const std::string& name, const std::string& path,
                                 DWORD filterIndex) {
  return Add(name, [path, filterIndex] { headless::QueueSaveAsAnswer(path, filterIndex); });
}

Scenario& Scenario::CancelSaveAs(const std::string& name) {
  return Add(name, [] { headless::QueueSaveAsCancel(); });
}

bool Scenario::Run(CDialog& dialog, INT_PTR expectedResult) {
  INT_PTR result = dialog.DoModal();
  bool asExpected = result == expectedResult;
  if (!asExpected) {
    ADD_FAILURE() << "the dialog ended with " << result << ", expected " << expectedResult;
  }
  return ExpectEveryStepRan() && asExpected;
}

bool Scenario::ExpectEveryStepRan() const {
  for (size_t i = 0; i < steps_->size(); ++i) {
    const Step& step = (*steps_)[i];
    if (!step.ran) {
      ADD_FAILURE() << "step " << i + 1 << " of " << steps_->size() << " (\"" << step.name
                    << "\") never ran";
      return false;
    }
  }
  return true;
}

void HeadlessFixture::SetUp() { headless::Reset(); }

void HeadlessFixture::TearDown() {
  size_t pending = headless::PendingSteps();
  if (pending > 0) ADD_FAILURE() << pending << " scripted step(s) still pending: they never ran";
  headless::Reset();
}

}  // namespace testing_support
