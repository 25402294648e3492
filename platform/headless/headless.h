// The headless back end's test interface. Windows are framebuffers on a
// virtual screen (1024 x 768 unless a test sets another size) and time is a
// virtual clock that only the test moves.
//
// A test scripts what a user would do: each Post* call appends one step to
// the script. Whenever the program waits for input (its message loop has no
// message, no paint and no due timer), the next step runs: a pointer or key
// event is delivered, the clock advances, or a test function is called.
// When the script is used up the idle handler, if any, is asked for more;
// when it has nothing, the run has dried up: GetMessageA returns FALSE, so a
// modal dialog ends with -1 and Pump returns. Nothing ever waits for real
// time, so every run is deterministic.
//
// Message boxes and Save As dialogs return at once with the next queued
// answer (default: a message box's first button, a cancelled Save As) and are
// recorded with what they showed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win32.h"

namespace headless {

// Destroys every window and timer, empties the script, the answers, the
// records, the clipboard and the call log; the clock returns to 0, the
// screen to 1024 x 768 and GetModuleFileNameA to the running program.
void Reset();
void SetScreenSize(int width, int height);

// --- Time --------------------------------------------------------------------------
DWORD Now();
void AdvanceClock(DWORD milliseconds);

// --- The script -----------------------------------------------------------------------
// A pointer message at a screen point (hit-tested when the step runs).
void PostPointer(UINT message, int screenX, int screenY, WPARAM keyState = 0);
// A pointer message at a point of a window's client area, turned into a
// screen point when the step runs (so a window above it takes it, as on a
// real screen).
void PostClientPointer(HWND window, UINT message, int x, int y, WPARAM keyState = 0);
// Button down and up at one client point, in one step.
void PostClick(HWND window, int x, int y);
// Key down and up, to the window with the focus (or the active window).
void PostKey(UINT virtualKey);
void PostAdvanceClock(DWORD milliseconds);
// Runs `step` when the program next waits for input (to look at its state,
// take a screenshot, or post more).
void PostCall(std::function<void()> step);
// Asked for more when the script is used up; returns false when it has none.
void SetIdleHandler(std::function<bool()> handler);
size_t PendingSteps();
// Runs the message loop outside any modal dialog until nothing is left: no
// message, no paint, no due timer and no script step.
void Pump();
// How many times a message loop found nothing left to do.
int RunsDriedUp();

// --- Message boxes ----------------------------------------------------------------------
struct MessageBoxShown {
  HWND owner;
  std::string caption;
  std::string text;
  UINT type;
  int answer;
};
void QueueMessageBoxAnswer(int answer);
std::vector<MessageBoxShown> TakeMessageBoxes();

// --- Save As ------------------------------------------------------------------------------
struct SaveAsShown {
  std::string title;
  std::string filter;        // the '\0' separators shown as '|'
  std::string initialFile;
  std::string defaultExtension;
  DWORD flags;
  DWORD initialFilterIndex;
  std::string proposedName;  // the caller's name for what is saved
};
void QueueSaveAsAnswer(const std::string& path, DWORD filterIndex);
void QueueSaveAsCancel();
// Drops the answers no dialog has taken yet.
void ClearSaveAsAnswers();
std::vector<SaveAsShown> TakeSaveAsDialogs();

// --- Clipboard -------------------------------------------------------------------------------
// The clipboard's bitmap as pixels (B, G, R, x); false when there is none.
bool ClipboardPicture(int* width, int* height, std::vector<uint8_t>* pixels);
// Another program holds the clipboard open: OpenClipboard fails.
void HoldClipboard(bool held);

// --- Screens ----------------------------------------------------------------------------------
// A window as a user sees it (with its controls), or the whole screen (black
// where no window is), saved as a PNG.
bool SaveWindowPng(HWND window, const std::string& path);
bool SaveScreenPng(const std::string& path);
// Writes a view as an 8-bit RGB PNG through libpng. False on any failure
// (the partial file is removed).
bool SavePixelsAsPng(const platform::PixelView& view, const std::string& path);
// The screen's pixel at a point as 0x00RRGGBB.
uint32_t ScreenPixel(int x, int y);

// --- What the program did -------------------------------------------------------------------------
int WaitCursorCount();
// The highest wait-cursor count since Reset.
int PeakWaitCursorCount();
bool WaitCursorShown();
struct Paint {
  HWND window;
  RECT area;
};
std::vector<Paint> TakePaints();
// The calls the window services made since the last call (see
// platform::UserBackend::LogCall), one line each, in order.
std::vector<std::string> TakeCallLog();

// Sounds: what the multimedia services opened, started, stopped and closed,
// in order: "midi open <path>", "midi play <path>", "midi stop <path>",
// "midi close <path>", "wave play <n> bytes" (" loop" appended when looping),
// "wave stop".
void RecordSound(const std::string& event);
std::vector<std::string> TakeSounds();
// What plays now (durations are not simulated: a sound plays from its start
// until it is stopped or replaced). The MIDI file playing, "" when none.
std::string MidiPlaying();
// True while a wave sound plays, with a copy of its bytes when `bytes` is set.
bool WavePlaying(std::vector<uint8_t>* bytes = nullptr);

// --- The program's own file -----------------------------------------------------------------------
// GetModuleFileNameA answers this path (a file in a test's folder).
void SetModuleFileName(const std::string& path);

}  // namespace headless
