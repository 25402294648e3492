// The GTK 3 back end: GTK windows show the layer's framebuffers, their events
// become messages, dialogs are GTK's own, the clipboard is the desktop's and
// sound goes to the SDL2_mixer player.
#include <glib.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gtk/gtk_internal.h"
#include "platform/gtk/sdl_sound.h"

namespace platform::gtk {
namespace {

void AtProgramEnd() {
  StoreClipboard();
  SdlSound::Instance().Shutdown();
}

class GtkBackend : public UserBackend {
 public:
  void Start(int argc, char** argv) override {
    std::string reason;
    if (!OpenDisplay(argc, argv, &reason)) {
      std::fprintf(stderr, "tessary: no display: %s\n", reason.c_str());
      std::exit(1);
    }
    std::atexit(AtProgramEnd);
  }

  DWORD Now() override { return static_cast<DWORD>(g_get_monotonic_time() / 1000); }

  bool WaitForInput(DWORD timeoutMs) override {
    WaitForInputOrTimeout(timeoutMs);
    return true;
  }

  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override {
    return RunMessageBox(owner, text, caption, type);
  }

  bool ShowSaveAsDialog(OPENFILENAMEA* dialog, const std::string& proposedName) override {
    return RunSaveAsDialog(dialog, proposedName);
  }

  void WindowChanged(HWND window) override { SyncWindow(window); }
  void WindowDestroyed(HWND window) override { ForgetWindow(window); }
  void WindowPainted(HWND window, const RECT&) override { RedrawWindow(window); }
  void ClipboardChanged() override { PublishClipboard(); }

  void CursorChanged(HCURSOR cursor, int waitCursorCount) override {
    SetBusyCursor(waitCursorCount > 0 || (cursor != nullptr && cursor == LoadCursorA(nullptr, IDC_WAIT)));
  }

  void PlayMidiFromStart(const std::string& path) override {
    SdlSound::Instance().PlayMidiFromStart(path);
  }
  void StopMidi() override { SdlSound::Instance().StopMidi(); }
  void PlayWave(const uint8_t* bytes, size_t size, bool loop) override {
    SdlSound::Instance().PlayWave(bytes, size, loop);
  }
  void StopWave() override { SdlSound::Instance().StopWave(); }
};

}  // namespace
}  // namespace platform::gtk

platform::UserBackend& platform::TheUserBackend() {
  static auto* backend = new platform::gtk::GtkBackend();
  return *backend;
}
