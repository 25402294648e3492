// The desktop program under a virtual X server: an Xvfb display for a
// test, the real tessary started from a disc folder, and what a user would
// do and see there (xdotool clicks and keys, screenshots with ImageMagick's
// import, the clipboard through xclip).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testing_support {

// An Xvfb server on a free display number, of 1024 x 768 x 24 unless told
// another screen ("3840x2160x24"); DISPLAY of this process points at it
// while it lives.
class VirtualDisplay {
 public:
  VirtualDisplay() = default;
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  // False with the reason when the server did not come up.
  bool Start(std::string* error, const std::string& screen = "1024x768x24");

 private:
  pid_t group_ = 0;
};

// The real program, started at `programPath` from the root folder (so
// that it finds its disc through its own file name, not the working
// folder), with the sound muted (SDL's dummy driver) and settings kept in memory. Extra
// environment entries are "NAME=VALUE".
class DesktopProgram {
 public:
  DesktopProgram() = default;
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;
  bool Start(const std::string& programPath, const std::vector<std::string>& environment = {});
  // The exit status, or -1 when it did not end within `timeoutMs` (it is
  // then killed), ended by a signal or was never started.
  int WaitForExit(int timeoutMs);
  bool Running();

 private:
  pid_t pid_ = 0;
  int exitStatus_ = -1;
};

// A top-level X window as xwininfo reports it.
struct XWindow {
  std::string id;  // hex, as xdotool and xwininfo take it
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool viewable = false;
};

// The visible window named `name`, other than `except` (waits up to
// `timeoutMs`); id empty when none.
XWindow FindWindow(const std::string& name, int timeoutMs, const std::string& except = "");
// A window property as xprop prints it ("WM_TRANSIENT_FOR(WINDOW): window id # 0x200007").
std::string WindowProperty(const XWindow& window, const std::string& property);
// The mapped top-level windows, front first.
std::vector<XWindow> StackedWindows();

// xdotool: a click of `button` (1 left, 3 right, 4 / 5 wheel) at a point of
// the window, keys ("Right", "ctrl+c"), each waited for.
bool ClickAt(const XWindow& window, int x, int y, int button = 1);
bool PressKeys(const XWindow& window, const std::string& keys);

// A rectangle of a window in its own pixels; all zero: the whole window.
struct Region {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// What a wait on the screen waits for: no pixel differing from the
// reference, at least one, or every pixel near the reference (within a
// pixel's position and a few levels: a reference drawn by another hand).
enum class ScreenMatch { kSame, kDiffers, kNear };

// Looks at the window's area of the screen (Pillow's ImageGrab) every 50 ms
// until it matches `reference` (a PNG of the window, or "black") inside the
// region as `match` asks, for up to `timeoutMs`. Returns the pixels that
// kept it from matching in the last look (-1 when the screen could not be
// read); the last look is saved at `shotPath`.
long WaitForScreen(const XWindow& window, const std::string& reference,
                   const std::string& shotPath, int timeoutMs,
                   ScreenMatch match = ScreenMatch::kSame, const Region& region = Region());

// Draws what the viewer window should show (tests/tools/viewer_model.py, from
// the skin JPEGs and the pictures as Pillow decodes them) into `path`.
bool DrawViewerModel(const std::string& path, const std::vector<std::string>& items);

// The clipboard's PNG form, written to `path` (waits up to `timeoutMs` for
// the clipboard to hold one).
bool ReadClipboardPng(const std::string& path, int timeoutMs);

// Sleeps for a short moment between polls.
void Pause(int milliseconds);

}  // namespace testing_support
