// The headless back end: no display, a virtual clock, a scripted user and
// recorded dialogs. See headless.h.
#include <algorithm>
#include <cstring>
#include <deque>

#include "platform/backend.h"
#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"

namespace {

constexpr int kDefaultScreenWidth = 1024;
constexpr int kDefaultScreenHeight = 768;

struct SaveAsAnswer {
  bool accept;
  std::string path;
  DWORD filterIndex;
};

class HeadlessBackend : public platform::UserBackend {
 public:
  DWORD clock = 0;
  std::deque<std::function<void()>> script;
  std::function<bool()> idle;
  int driedUp = 0;
  std::deque<int> messageBoxAnswers;
  std::vector<headless::MessageBoxShown> messageBoxes;
  std::deque<SaveAsAnswer> saveAsAnswers;
  std::vector<headless::SaveAsShown> saveAsDialogs;
  std::vector<headless::Paint> paints;
  std::vector<std::string> sounds;
  std::string midiPlaying;
  bool wavePlaying = false;
  std::vector<uint8_t> waveBytes;
  int peakWaitCursor = 0;
  bool waitCursorShown = false;
  std::vector<std::string> callLog;

  DWORD Now() override { return clock; }

  bool WaitForInput(DWORD) override {
    if (!script.empty()) {
      std::function<void()> step = std::move(script.front());
      script.pop_front();
      step();
      return true;
    }
    if (idle && idle()) return true;
    ++driedUp;
    return false;
  }

  int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                     UINT type) override {
    int answer = FirstButton(type);
    if (!messageBoxAnswers.empty()) {
      answer = messageBoxAnswers.front();
      messageBoxAnswers.pop_front();
    }
    messageBoxes.push_back({owner, caption, text, type, answer});
    return answer;
  }

  bool ShowSaveAsDialog(OPENFILENAMEA* dialog, const std::string& proposedName) override {
    headless::SaveAsShown shown;
    shown.title = dialog->lpstrTitle != nullptr ? dialog->lpstrTitle : "";
    shown.filter = FilterText(dialog->lpstrFilter);
    shown.initialFile = dialog->lpstrFile;
    shown.defaultExtension = dialog->lpstrDefExt != nullptr ? dialog->lpstrDefExt : "";
    shown.flags = dialog->Flags;
    shown.initialFilterIndex = dialog->nFilterIndex;
    shown.proposedName = proposedName;
    saveAsDialogs.push_back(shown);
    if (saveAsAnswers.empty()) return false;
    SaveAsAnswer answer = saveAsAnswers.front();
    saveAsAnswers.pop_front();
    if (!answer.accept) return false;
    return platform::FillSaveAsResult(dialog, answer.path, answer.filterIndex);
  }

  void WindowPainted(HWND window, const RECT& area) override { paints.push_back({window, area}); }

  void LogCall(const std::string& line) override {
    // A long run must not grow the log without end.
    if (callLog.size() >= 100000) callLog.erase(callLog.begin(), callLog.begin() + 50000);
    callLog.push_back(line);
  }

  void CursorChanged(HCURSOR cursor, int waitCursorCount) override {
    peakWaitCursor = std::max(peakWaitCursor, waitCursorCount);
    waitCursorShown = cursor != nullptr && cursor == LoadCursorA(nullptr, IDC_WAIT);
  }

  void MidiOpened(const std::string& path) override { sounds.push_back("midi open " + path); }
  void PlayMidiFromStart(const std::string& path) override {
    midiPlaying = path;
    sounds.push_back("midi play " + path);
  }
  void StopMidi() override {
    sounds.push_back("midi stop " + midiPlaying);
    midiPlaying.clear();
  }
  void MidiClosed(const std::string& path) override { sounds.push_back("midi close " + path); }
  void PlayWave(const uint8_t* bytes, size_t size, bool loop) override {
    wavePlaying = true;
    waveBytes.assign(bytes, bytes + size);
    sounds.push_back("wave play " + std::to_string(size) + " bytes" + (loop ? " loop" : ""));
  }
  void StopWave() override {
    wavePlaying = false;
    waveBytes.clear();
    sounds.push_back("wave stop");
  }

  static int FirstButton(UINT type) {
    switch (type & 0x0F) {
      case 2: return IDABORT;   // MB_ABORTRETRYIGNORE
      case 3:                   // MB_YESNOCANCEL
      case 4: return IDYES;     // MB_YESNO
      case 5: return IDRETRY;   // MB_RETRYCANCEL
      default: return IDOK;
    }
  }

  // A double-'\0'-ended filter list as text with '|' separators.
  static std::string FilterText(LPCSTR filter) {
    std::string text;
    if (filter == nullptr) return text;
    for (const char* part = filter; *part != '\0'; part += std::strlen(part) + 1) {
      text += part;
      text += '|';
    }
    return text + '|';
  }
};

HeadlessBackend& Backend() {
  static auto* backend = new HeadlessBackend();
  return *backend;
}

void Step(std::function<void()> step) { Backend().script.push_back(std::move(step)); }

POINT ScreenPointOf(HWND window, int x, int y) {
  POINT p = {x, y};
  ClientToScreen(window, &p);
  return p;
}

}  // namespace

platform::UserBackend& platform::TheUserBackend() { return Backend(); }

namespace headless {

void Reset() {
  HeadlessBackend& b = Backend();
  platform::ResetWindows();
  b.clock = 0;
  b.script.clear();
  b.idle = nullptr;
  b.driedUp = 0;
  b.messageBoxAnswers.clear();
  b.messageBoxes.clear();
  b.saveAsAnswers.clear();
  b.saveAsDialogs.clear();
  b.paints.clear();
  b.sounds.clear();
  b.midiPlaying.clear();
  b.wavePlaying = false;
  b.waveBytes.clear();
  platform::ResetMultimedia();
  b.peakWaitCursor = 0;
  b.waitCursorShown = false;
  b.callLog.clear();
  SetScreenSize(kDefaultScreenWidth, kDefaultScreenHeight);
  platform::SetWorkArea(RECT{});
  platform::SetModuleFileNameForTests("");
}

void SetScreenSize(int width, int height) { platform::SetScreenSize(width, height); }

DWORD Now() { return Backend().clock; }
void AdvanceClock(DWORD milliseconds) { Backend().clock += milliseconds; }

void PostPointer(UINT message, int screenX, int screenY, WPARAM keyState) {
  Step([=] { platform::DeliverPointer(message, POINT{screenX, screenY}, keyState); });
}

void PostClientPointer(HWND window, UINT message, int x, int y, WPARAM keyState) {
  Step([=] {
    if (IsWindow(window)) platform::DeliverPointer(message, ScreenPointOf(window, x, y), keyState);
  });
}

void PostClick(HWND window, int x, int y) {
  Step([=] {
    if (!IsWindow(window)) return;
    POINT p = ScreenPointOf(window, x, y);
    platform::DeliverPointer(WM_LBUTTONDOWN, p, MK_LBUTTON);
    platform::DeliverPointer(WM_LBUTTONUP, p, 0);
  });
}

void PostKey(UINT virtualKey) {
  Step([=] {
    platform::DeliverKey(WM_KEYDOWN, virtualKey);
    platform::DeliverKey(WM_KEYUP, virtualKey);
  });
}

void PostAdvanceClock(DWORD milliseconds) { Step([=] { AdvanceClock(milliseconds); }); }
void PostCall(std::function<void()> step) { Step(std::move(step)); }
void SetIdleHandler(std::function<bool()> handler) { Backend().idle = std::move(handler); }
size_t PendingSteps() { return Backend().script.size(); }
int RunsDriedUp() { return Backend().driedUp; }

void Pump() {
  // A window that never validates its update region would paint for ever;
  // stop after a generous number of messages.
  for (int turns = 0; turns < 1000000; ++turns) {
    MSG message;
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      if (!platform::FilterMessage(&message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      continue;
    }
    if (!Backend().WaitForInput(platform::INFINITE_WAIT)) return;
  }
}

void QueueMessageBoxAnswer(int answer) { Backend().messageBoxAnswers.push_back(answer); }
std::vector<MessageBoxShown> TakeMessageBoxes() {
  std::vector<MessageBoxShown> taken;
  taken.swap(Backend().messageBoxes);
  return taken;
}

void QueueSaveAsAnswer(const std::string& path, DWORD filterIndex) {
  Backend().saveAsAnswers.push_back({true, path, filterIndex});
}
void QueueSaveAsCancel() { Backend().saveAsAnswers.push_back({false, "", 0}); }
void ClearSaveAsAnswers() { Backend().saveAsAnswers.clear(); }
std::vector<SaveAsShown> TakeSaveAsDialogs() {
  std::vector<SaveAsShown> taken;
  taken.swap(Backend().saveAsDialogs);
  return taken;
}

bool ClipboardPicture(int* width, int* height, std::vector<uint8_t>* pixels) {
  HBITMAP bitmap = platform::ClipboardBitmap();
  platform::PixelView view = platform::BitmapPixels(bitmap);
  if (view.pixels == nullptr) return false;
  *width = view.width;
  *height = view.height;
  pixels->resize(static_cast<size_t>(view.width) * view.height * 4);
  for (int y = 0; y < view.height; ++y) {
    std::memcpy(&(*pixels)[static_cast<size_t>(y) * view.width * 4], view.Row(y),
                static_cast<size_t>(view.width) * 4);
  }
  return true;
}

void HoldClipboard(bool held) { platform::SetClipboardHeldElsewhere(held); }

int WaitCursorCount() { return platform::WaitCursorCount(); }
int PeakWaitCursorCount() { return Backend().peakWaitCursor; }
bool WaitCursorShown() { return Backend().waitCursorShown; }

std::vector<Paint> TakePaints() {
  std::vector<Paint> taken;
  taken.swap(Backend().paints);
  return taken;
}

std::vector<std::string> TakeCallLog() {
  std::vector<std::string> taken;
  taken.swap(Backend().callLog);
  return taken;
}

void RecordSound(const std::string& event) { Backend().sounds.push_back(event); }
std::vector<std::string> TakeSounds() {
  std::vector<std::string> taken;
  taken.swap(Backend().sounds);
  return taken;
}

std::string MidiPlaying() { return Backend().midiPlaying; }

bool WavePlaying(std::vector<uint8_t>* bytes) {
  if (bytes != nullptr) *bytes = Backend().waveBytes;
  return Backend().wavePlaying;
}

void SetModuleFileName(const std::string& path) { platform::SetModuleFileNameForTests(path); }

}  // namespace headless
