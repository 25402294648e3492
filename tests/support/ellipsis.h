// Whether drawn text ends in an ellipsis, judged from its runs of inked
// columns, left to right.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace testing_support {

// The runs end in three small marks side by side on one line, sitting below
// the middle of the tallest run before them (on the baseline): an ellipsis.
// A mark spans at most markSpan pixels across and down (last pixel minus
// first): 3 for plain text, 4 where each mark carries a one-pixel shadow.
// Run is any type with inclusive left, top, right and bottom.
template <typename Run>
bool EndsInEllipsis(const std::vector<Run>& runs, int markSpan) {
  if (runs.size() < 4) return false;
  const Run* mark = &runs[runs.size() - 3];
  for (int i = 0; i < 3; ++i) {
    if (mark[i].right - mark[i].left > markSpan || mark[i].bottom - mark[i].top > markSpan) return false;
    if (std::abs(mark[i].bottom - mark[0].bottom) > 1) return false;
  }
  const auto tallest = std::max_element(runs.begin(), runs.end() - 3, [](const Run& a, const Run& b) {
    return a.bottom - a.top < b.bottom - b.top;
  });
  return mark[0].top > (tallest->top + tallest->bottom) / 2;
}

}  // namespace testing_support
