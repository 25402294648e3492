#include "tools/tour/tour_script.h"

#include <cstdlib>
#include <sstream>

namespace tour {

namespace {

struct Verb {
  const char* name;
  Action action;
  int numbers;  // integer arguments that follow
};

const Verb kVerbs[] = {
    {"click", Action::kClick, 2},  {"down", Action::kDown, 2},
    {"up", Action::kUp, 2},        {"move", Action::kMove, 2},
    {"dblclick", Action::kDoubleClick, 2}, {"rclick-list", Action::kRightClickList, 1},
    {"select", Action::kSelect, 1}, {"timer", Action::kTimer, 0},
    {"key", Action::kKey, 0},      {"next", Action::kNext, 0},
    {"prev", Action::kPrev, 0},    {"copy", Action::kCopy, 0},
    {"export", Action::kExport, 1}, {"export-cancel", Action::kExportCancel, 0},
    {"shot", Action::kShot, 0},    {"state", Action::kState, 0},
    {"fullview", Action::kFullView, 0}, {"slideshow", Action::kSlideshow, 0},
};

bool ParseInt(const std::string& word, int* value) {
  if (word.empty()) return false;
  char* end = nullptr;
  const long parsed = std::strtol(word.c_str(), &end, 10);
  if (*end != '\0' || parsed < -1000000 || parsed > 1000000) return false;
  *value = static_cast<int>(parsed);
  return true;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

}  // namespace

std::optional<Step> ParseStep(const std::string& line, std::string* error) {
  error->clear();
  const std::string trimmed = Trimmed(line);
  if (trimmed.empty() || trimmed[0] == '#') return std::nullopt;

  std::istringstream words(trimmed);
  std::string name;
  words >> name;
  const Verb* verb = nullptr;
  for (const Verb& candidate : kVerbs) {
    if (name == candidate.name) verb = &candidate;
  }
  if (verb == nullptr) {
    *error = "unknown step \"" + name + "\"";
    return std::nullopt;
  }

  Step step;
  step.action = verb->action;
  int numbers[2] = {0, 0};
  for (int i = 0; i < verb->numbers; ++i) {
    std::string word;
    words >> word;
    if (!ParseInt(word, &numbers[i])) {
      *error = std::string(verb->name) + ": a whole number expected, not \"" + word + "\"";
      return std::nullopt;
    }
  }
  std::string rest;
  std::getline(words, rest);
  rest = Trimmed(rest);

  switch (step.action) {
    case Action::kRightClickList:
    case Action::kSelect: step.row = numbers[0]; break;
    case Action::kExport: step.filterIndex = numbers[0]; step.path = rest; break;
    case Action::kShot: step.path = rest; break;
    case Action::kKey:
      if (rest != "enter" && rest != "escape") {
        *error = "key: enter or escape expected";
        return std::nullopt;
      }
      step.escapeKey = rest == "escape";
      break;
    default:
      step.x = numbers[0];
      step.y = numbers[1];
      break;
  }
  const bool takesText = step.action == Action::kExport || step.action == Action::kShot ||
                         step.action == Action::kKey;
  if (takesText && rest.empty()) {
    *error = std::string(verb->name) + ": argument missing";
    return std::nullopt;
  }
  if (!takesText && !rest.empty()) {
    *error = std::string(verb->name) + ": unexpected \"" + rest + "\"";
    return std::nullopt;
  }
  if (step.action == Action::kShot && rest.find('/') != std::string::npos) {
    *error = "shot: a bare name expected";
    return std::nullopt;
  }

  std::ostringstream text;
  text << verb->name;
  for (int i = 0; i < verb->numbers; ++i) text << ' ' << numbers[i];
  if (!rest.empty()) text << ' ' << rest;
  step.text = text.str();
  return step;
}

bool ParseScript(const std::string& text, std::vector<Step>* steps, std::string* error) {
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    std::string lineError;
    std::optional<Step> step = ParseStep(line, &lineError);
    if (!lineError.empty()) {
      *error = "line " + std::to_string(lineNumber) + ": " + lineError;
      return false;
    }
    if (step) steps->push_back(*step);
  }
  return true;
}

}  // namespace tour
