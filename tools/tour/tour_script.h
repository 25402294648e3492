// The steps tessary-tour performs: one a line in a script file, or made up
// one after another by the whole-disc walk.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tour {

enum class Action {
  kClick,         // click X Y
  kDown,          // down X Y
  kUp,            // up X Y
  kMove,          // move X Y
  kDoubleClick,   // dblclick X Y
  kRightClickList,  // rclick-list ROW
  kSelect,        // select ROW
  kTimer,         // timer: fires the due timer
  kKey,           // key enter|escape
  kNext,
  kPrev,
  kCopy,
  kExport,        // export FILTER_INDEX PATH
  kExportCancel,  // export-cancel
  kShot,          // shot NAME
  kState,
  kFullView,      // fullview: F11, into full view or out of it
  kSlideshow,     // slideshow: F5, the slideshow in full view
};

struct Step {
  Action action = Action::kState;
  std::string text;  // the step as written, single-spaced
  int x = 0;
  int y = 0;
  int row = 0;
  int filterIndex = 0;
  bool escapeKey = false;  // key escape (else enter)
  std::string path;        // export's target, shot's name
};

// One script line as a step; nullopt with `error` set when it is not one.
// Blank lines and lines starting with '#' are not steps (nullopt, no error).
std::optional<Step> ParseStep(const std::string& line, std::string* error);

// Every step of a script; false with `error` naming the line when one is bad.
bool ParseScript(const std::string& text, std::vector<Step>* steps, std::string* error);

}  // namespace tour
