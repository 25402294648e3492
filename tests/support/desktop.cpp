#include "tests/support/desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "tests/support/test_support.h"

namespace testing_support {

namespace {

constexpr int kPollMs = 100;

// xwininfo's geometry of one window.
bool DescribeWindow(const std::string& id, XWindow* window) {
  std::string output;
  if (RunCommand("xwininfo -id " + id + " 2>/dev/null", &output) != 0) return false;
  window->id = id;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    int value = 0;
    char hexId[32] = "";
    if (std::sscanf(line.c_str(), "xwininfo: Window id: %31s", hexId) == 1) window->id = hexId;
    if (std::sscanf(line.c_str(), "  Absolute upper-left X: %d", &value) == 1) window->x = value;
    if (std::sscanf(line.c_str(), "  Absolute upper-left Y: %d", &value) == 1) window->y = value;
    if (std::sscanf(line.c_str(), "  Width: %d", &value) == 1) window->width = value;
    if (std::sscanf(line.c_str(), "  Height: %d", &value) == 1) window->height = value;
    if (line.find("Map State: IsViewable") != std::string::npos) window->viewable = true;
  }
  return true;
}

}  // namespace

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

VirtualDisplay::~VirtualDisplay() {
  if (group_ > 0) {
    kill(-group_, SIGTERM);
    waitpid(group_, nullptr, 0);
  }
}

bool VirtualDisplay::Start(std::string* error, const std::string& screen) {
  if (RunCommand("command -v Xvfb >/dev/null 2>&1") != 0) {
    *error = "Xvfb is not installed (tools/install-deps.sh installs it)";
    return false;
  }
  // With -displayfd the server takes a free display number itself and writes
  // it once it accepts connections, so tests starting together never share
  // a number and never connect before the server is up.
  int channel[2];
  if (pipe(channel) != 0) {
    *error = "pipe failed";
    return false;
  }
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    *error = "fork failed";
    return false;
  }
  if (child == 0) {
    setsid();
    close(channel[0]);
    const int quiet = open("/dev/null", O_WRONLY);
    dup2(quiet, STDOUT_FILENO);
    dup2(quiet, STDERR_FILENO);
    const std::string fd = std::to_string(channel[1]);
    // -noreset: what a test sets on the root window (X resources) stays
    // when its last client leaves, until the program connects.
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-noreset",
           "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(channel[1]);
  group_ = child;
  std::string number;
  pollfd readable{channel[0], POLLIN, 0};
  for (int waited = 0; waited < 15000 && number.find('\n') == std::string::npos; waited += kPollMs) {
    if (poll(&readable, 1, kPollMs) <= 0) continue;
    char buffer[16];
    const ssize_t got = read(channel[0], buffer, sizeof buffer);
    if (got <= 0) break;
    number.append(buffer, static_cast<size_t>(got));
  }
  close(channel[0]);
  if (number.find('\n') == std::string::npos) {
    *error = "Xvfb did not start";
    return false;
  }
  number.erase(number.find('\n'));
  setenv("DISPLAY", (":" + number).c_str(), 1);
  unsetenv("XAUTHORITY");
  unsetenv("WAYLAND_DISPLAY");
  // A client must get in before the program is started on it.
  for (int waited = 0; waited < 10000; waited += kPollMs) {
    if (RunCommand("xdpyinfo >/dev/null 2>&1") == 0) return true;
    Pause(kPollMs);
  }
  *error = "Xvfb on :" + number + " takes no connection";
  return false;
}

DesktopProgram::~DesktopProgram() {
  if (Running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool DesktopProgram::Start(const std::string& programPath,
                           const std::vector<std::string>& environment) {
  exitStatus_ = -1;
  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    if (chdir("/") != 0) _exit(127);
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    for (const std::string& entry : environment) putenv(strdup(entry.c_str()));
    execl(programPath.c_str(), programPath.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return true;
}

bool DesktopProgram::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  pid_ = 0;
  exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

int DesktopProgram::WaitForExit(int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += kPollMs) {
    if (!Running()) return exitStatus_;
    Pause(kPollMs);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = 0;
  return -1;
}

std::string WindowProperty(const XWindow& window, const std::string& property) {
  std::string output;
  RunCommand("xprop -id " + window.id + " " + property + " 2>/dev/null", &output);
  return output;
}

XWindow FindWindow(const std::string& name, int timeoutMs, const std::string& except) {
  for (int waited = 0; waited <= timeoutMs; waited += kPollMs) {
    std::string output;
    RunCommand("xdotool search --onlyvisible --name " + Quoted("^" + name + "$") + " 2>/dev/null",
               &output);
    std::istringstream ids(output);
    std::string id;
    while (ids >> id) {
      XWindow window;
      if (DescribeWindow(id, &window) && window.viewable && window.id != except) return window;
    }
    Pause(kPollMs);
  }
  return XWindow();
}

std::vector<XWindow> StackedWindows() {
  // xwininfo lists the root's children front first.
  std::string output;
  RunCommand("xwininfo -root -children 2>/dev/null", &output);
  std::vector<XWindow> windows;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    char id[32] = "";
    if (std::sscanf(line.c_str(), " %31[0-9a-fx]", id) != 1 || std::string(id).rfind("0x", 0) != 0) {
      continue;
    }
    XWindow window;
    if (DescribeWindow(id, &window) && window.viewable) windows.push_back(window);
  }
  return windows;
}

bool ClickAt(const XWindow& window, int x, int y, int button) {
  // The X server takes the move and the click in order; --sync would wait
  // for ever when the pointer is already there.
  const std::string command = "xdotool mousemove " + std::to_string(window.x + x) + " " +
                              std::to_string(window.y + y) + " click " + std::to_string(button);
  return RunCommand(command + " 2>/dev/null") == 0;
}

bool PressKeys(const XWindow& window, const std::string& keys) {
  return RunCommand("xdotool windowfocus --sync " + window.id + " key --delay 50 " + keys +
                    " 2>/dev/null") == 0;
}

long WaitForScreen(const XWindow& window, const std::string& reference,
                   const std::string& shotPath, int timeoutMs, ScreenMatch match,
                   const Region& region) {
  // Levels a pixel may stray beyond its neighbours' range in a near match:
  // another rasteriser's anti-aliasing and another filter's rounding.
  constexpr int kNearLevels = 16;
  std::string command = std::string(PythonWithPillow()) + " " +
                        Quoted(std::string(TESSARY_SOURCE_DIR) + "/tests/tools/screen_wait.py");
  for (int value : {window.x, window.y, window.width, window.height}) {
    command += " " + std::to_string(value);
  }
  command += " " + Quoted(reference) + " " + Quoted(shotPath) + " " + std::to_string(timeoutMs) +
             (match == ScreenMatch::kDiffers ? " differs"
              : match == ScreenMatch::kNear  ? " near:" + std::to_string(kNearLevels)
                                             : " same");
  if (region.width > 0 && region.height > 0) {
    for (int value : {region.left, region.top, region.width, region.height}) {
      command += " " + std::to_string(value);
    }
  }
  std::string output;
  const int status = RunCommand(command + " 2>/dev/null", &output);
  if (status != 0 && status != 1) return -1;
  char* end = nullptr;
  const long count = std::strtol(output.c_str(), &end, 10);
  return end == output.c_str() ? -1 : count;
}

bool ReadClipboardPng(const std::string& path, int timeoutMs) {
  for (int waited = 0; waited <= timeoutMs; waited += kPollMs) {
    if (RunCommand("xclip -selection clipboard -t image/png -o > " + Quoted(path) +
                   " 2>/dev/null") == 0 &&
        ReadWholeFile(path).size() > 8) {
      return true;
    }
    Pause(kPollMs);
  }
  return false;
}

bool DrawViewerModel(const std::string& path, const std::vector<std::string>& items) {
  std::string command = std::string(PythonWithPillow()) + " " +
                        Quoted(std::string(TESSARY_SOURCE_DIR) + "/tests/tools/viewer_model.py") +
                        " " + Quoted(path);
  for (const std::string& item : items) command += " " + Quoted(item);
  return RunCommand(command + " 2>/dev/null") == 0;
}

}  // namespace testing_support
