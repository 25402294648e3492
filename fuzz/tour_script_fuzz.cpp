// Fuzz target of tessary-tour's script parser. A script that parses gives
// steps whose written form parses again to the same step; a script that fails names a line that exists; ParseScript agrees
// with ParseStep line by line.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/tour/tour_script.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool SameStep(const tour::Step& a, const tour::Step& b) {
  return a.action == b.action && a.text == b.text && a.x == b.x && a.y == b.y && a.row == b.row &&
         a.filterIndex == b.filterIndex && a.escapeKey == b.escapeKey && a.path == b.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<tour::Step> steps;
  std::string error;
  const bool parsed = tour::ParseScript(text, &steps, &error);
  Check(parsed == error.empty());

  // Line by line, the same steps until the first bad line.
  std::istringstream lines(text);
  std::string line;
  size_t stepCount = 0;
  bool sawError = false;
  while (!sawError && std::getline(lines, line)) {
    std::string lineError;
    const std::optional<tour::Step> step = tour::ParseStep(line, &lineError);
    if (!lineError.empty()) {
      Check(!step.has_value());
      sawError = true;
      break;
    }
    if (!step) continue;
    Check(stepCount < steps.size() && SameStep(*step, steps[stepCount]));
    ++stepCount;
    std::string againError;
    const std::optional<tour::Step> again = tour::ParseStep(step->text, &againError);
    Check(again.has_value() && againError.empty() && SameStep(*again, *step));
  }
  Check(sawError == !parsed);
  Check(stepCount == steps.size());
  return 0;
}
