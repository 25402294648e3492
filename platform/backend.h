// The interface between the Windows services written for Linux
// (platform/winapi/) and the back end that shows them (platform/headless/ or
// platform/gtk/). Exactly one back end is linked into a program and defines
// TheUserBackend(); a program that shows no windows links the no-window
// back end (winapi_nobackend). Not part of the Windows API: code above
// platform/ never includes it, and a Windows build has no such interface.
//
// The services call the back end (UserBackend); the back end calls back
// through the functions below to deliver input and read what to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The software renderer's framebuffers (PixelView, BitmapPixels,
// SetScreenSize), which a back end shows.
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/win_types.h"
#include "platform/winapi/win_user.h"

namespace platform {

// What a back end provides.
class UserBackend {
 public:
  virtual ~UserBackend() = default;
  // The program starts (AfxWinMain), with its command line.
  virtual void Start(int argc, char** argv) {}
  // The timer clock in milliseconds.
  virtual DWORD Now() = 0;
  // Called by GetMessageA when nothing is queued, painted or due. Delivers
  // input (DeliverPointer / DeliverKey / PostMessageA) or lets time pass, for
  // at most `timeoutMs` (INFINITE_WAIT: no timer pending). False when no input
  // will ever come.
  virtual bool WaitForInput(DWORD timeoutMs) = 0;
  virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption,
                             UINT type) = 0;
  // Fills dialog->lpstrFile and dialog->nFilterIndex; false when cancelled.
  // `proposedName` is the caller's name for what is saved, without folder or
  // extension ("" for none), which a chooser may show in place of a pattern
  // given as the initial file name.
  virtual bool ShowSaveAsDialog(OPENFILENAMEA* dialog, const std::string& proposedName) = 0;
  // A window was created, moved, resized, shown, hidden, restacked or had its
  // text changed; or it is about to be destroyed.
  virtual void WindowChanged(HWND window) {}
  virtual void WindowDestroyed(HWND window) {}
  // A paint of `area` (client pixels) ended.
  virtual void WindowPainted(HWND window, const RECT& area) {}
  // The clipboard was closed after a change.
  virtual void ClipboardChanged() {}
  // The cursor or the wait-cursor count changed.
  virtual void CursorChanged(HCURSOR cursor, int waitCursorCount) {}
  // The services made a call that changes what a user sees or what the
  // program owns ("SetWindowTextA Tessary", "FindResourceA BIN 142"), one
  // line each; a back end may keep them so tests can check the order of
  // set-up and tear-down.
  virtual void LogCall(const std::string& line) {}

  // Sound (win_mmsystem.h). The sequencer opened or closed a MIDI file; one
  // sequencer plays it from its start, or stops. PlaySoundA starts a wave
  // image (`size` bytes, a whole RIFF file; valid until StopWave), or stops
  // the one playing; a new wave is always preceded by StopWave for the old.
  virtual void MidiOpened(const std::string& path) {}
  virtual void PlayMidiFromStart(const std::string& path) {}
  virtual void StopMidi() {}
  virtual void MidiClosed(const std::string& path) {}
  virtual void PlayWave(const uint8_t* bytes, size_t size, bool loop) {}
  virtual void StopWave() {}
};
inline constexpr DWORD INFINITE_WAIT = 0xFFFFFFFF;

UserBackend& TheUserBackend();

// --- Delivering input (back ends) ------------------------------------------------
// A pointer message at a screen point: hit-tests the visible top-level windows
// front to back and then their visible children; a disabled window takes no
// pointer input (the message is dropped). A button press on a window that is
// not active brings it to the top and activates it first (WA_CLICKACTIVE).
// Returns the window that received the message, or nullptr.
HWND DeliverPointer(UINT message, POINT screenPoint, WPARAM keyState);
// A key message to the window with the focus (or the active window).
HWND DeliverKey(UINT message, UINT virtualKey);

// --- Reading windows (back ends and tests) -------------------------------------
// Top-level windows, front first.
std::vector<HWND> TopLevelWindowsInZOrder();
// The window's framebuffer (its client area), nullptr for none.
HBITMAP WindowFramebuffer(HWND window);
// The window as a user sees it: its framebuffer with its visible children
// composed over it. Bytes B, G, R, x, top row first, width * 4 per row.
struct WindowImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};
WindowImage ComposeWindow(HWND window);
std::string WindowClassName(HWND window);
bool WindowIsTopmost(HWND window);

// The system menu's items: command id (0 for a separator) and text.
struct MenuItem {
  UINT flags = 0;
  UINT_PTR id = 0;
  std::string text;
};
std::vector<MenuItem> SystemMenuItems(HWND window);
HICON WindowIcon(HWND window, int which);  // ICON_BIG or ICON_SMALL

// The next due time of any timer (INFINITE_WAIT when none) and the timers set.
DWORD NextTimerDue();
int ActiveTimerCount();

// The clipboard's bitmap (CF_BITMAP) or nullptr; owned by the clipboard.
HBITMAP ClipboardBitmap();

// A clipboard that another program holds open: OpenClipboard fails (tests).
void SetClipboardHeldElsewhere(bool held);

// GetSaveFileNameA, with the caller's name for what is saved handed to the
// back end (the framework's CFileDialog::ProposeName).
BOOL GetSaveFileNameProposing(OPENFILENAMEA* dialog, const std::string& proposedName);

// What CommDlgExtendedError reports for the last common dialog.
void SetCommDlgError(DWORD error);
// Writes a chosen file into the Save As dialog's buffers (lpstrFile,
// nFileOffset, nFileExtension, lpstrFileTitle) and its filter index; false
// with FNERR_BUFFERTOOSMALL when the path does not fit (the first two bytes
// of lpstrFile then hold the size needed, as comdlg32 does).
bool FillSaveAsResult(OPENFILENAMEA* dialog, const std::string& path, DWORD filterIndex);

// Destroys every window, timer and queued message and empties the clipboard
// (tests, between cases). The windows' procedures are not called (their
// objects may be gone); the framework is told through the forgetter to drop
// what it attached to them.
void ResetWindows();

// Closes every sequencer device and forgets the wave playing, without telling
// the back end (tests, between cases; multimedia.cpp).
void ResetMultimedia();

// --- The framework's window plumbing on Linux (framework/plumbing_layer.cpp) ----
// The wait-cursor count kept by the framework's DoWaitCursor; the back end
// hears of it through CursorChanged.
int WaitCursorCount();
void SetWaitCursorCount(int count);
// Told of each window ResetWindows destroys.
typedef void (*WindowForgetter)(HWND window);
void SetWindowForgetter(WindowForgetter forgetter);
// The framework's message filter (its PreTranslateMessage chain), for a back
// end that runs a message loop of its own (headless::Pump): true when the
// message was handled and must not be dispatched. FilterMessage answers false
// while no filter is installed.
typedef BOOL (*MessageFilter)(MSG* message);
void SetMessageFilter(MessageFilter filter);
bool FilterMessage(MSG* message);

// --- The monitor (MonitorFromWindow, GetMonitorInfoA) -----------------------------
// The part of the screen windows are placed in (screen pixels): the back end
// sets it from the monitor's work area; until then, and when `area` is empty
// or leaves the screen, it is the whole screen.
void SetWorkArea(const RECT& area);

// --- Keyboard state (GetKeyState) -----------------------------------------------
// Records a key as held down or released (virtual-key codes 0 to 255). Key
// messages taken from the queue record themselves; a back end also records
// the modifier keys an event carries.
void SetKeyDown(UINT virtualKey, bool down);
// Releases every key (the program lost the keyboard).
void ReleaseAllKeys();

}  // namespace platform
