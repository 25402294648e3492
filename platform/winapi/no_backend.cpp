// The no-window back end, for programs that use the Windows services but
// show nothing (the pelorn command-line tool): link winapi_nobackend in place
// of a back end. Windows are still framebuffers; a message loop ends at once
// (no input will ever come), and a message box or Save As dialog cannot be
// shown: a message box's caption and text go to stderr instead and
// MessageBoxA fails (0, no button was chosen); GetSaveFileNameA reports a
// cancel.
#include <chrono>
#include <cstdio>

#include "platform/backend.h"

namespace {

class NoWindowBackend : public platform::UserBackend {
 public:
  DWORD Now() override {
    auto elapsed = std::chrono::steady_clock::now() - start_;
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
  }
  bool WaitForInput(DWORD) override { return false; }
  int ShowMessageBox(HWND, const std::string& text, const std::string& caption, UINT) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return 0;
  }
  bool ShowSaveAsDialog(OPENFILENAMEA*, const std::string&) override { return false; }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

platform::UserBackend& platform::TheUserBackend() {
  static auto* backend = new NoWindowBackend();
  return *backend;
}
