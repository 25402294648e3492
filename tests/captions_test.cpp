// The viewer's own texts drawn as people name their files: a long file name
// stays inside its place on the caption line (the counter and the buttons
// around it keep the skin's pixels), a title longer than its rectangle ends
// with an ellipsis on its last whole line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "platform/backend.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Scenario;

// Our JPEG decoding of the skin against Pillow's.
constexpr int kDecodeTolerance = 6;
// Pixels further than this from the skin are ink.
constexpr int kInkThreshold = 40;

// The caption line and the boxes that must keep the skin's own pixels.
constexpr int kCaptionTop = 565;
constexpr int kCounterLeft = 550;
const RECT kCopyZone = {193, 558, 233, 585};
const RECT kExportZone = {252, 560, 303, 587};
const RECT kPrevZone = {607, 550, 661, 595};
const RECT kTitleRect = {360, 130, 630, 400};

std::optional<testing_support::Picture> Background() {
  return testing_support::ReferenceDecode(std::string(TESSARY_SOURCE_DIR) +
                                          "/resources/skin/142_background.jpg");
}

// The window as a user sees it, composed once for many reads.
class Snapshot {
 public:
  explicit Snapshot(CWnd& viewer) : image_(platform::ComposeWindow(viewer.m_hWnd)) {}
  uint32_t At(int x, int y) const {
    const uint8_t* p = &image_.pixels[(static_cast<size_t>(y) * image_.width + x) * 4];
    return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
  }

 private:
  platform::WindowImage image_;
};

int Distance(uint32_t shown, const testing_support::Picture& skin, int x, int y) {
  const uint8_t* p = &skin.rgb[(static_cast<size_t>(y) * skin.width + x) * 3];
  int largest = 0;
  for (int c = 0; c < 3; ++c) {
    largest = std::max(largest, std::abs(static_cast<int>(shown >> (16 - 8 * c) & 0xFF) - p[c]));
  }
  return largest;
}

// The largest difference between the window and the skin inside `box`.
int DifferenceFromSkin(const Snapshot& shot, const testing_support::Picture& skin,
                       const RECT& box) {
  int largest = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x)
      largest = std::max(largest, Distance(shot.At(x, y), skin, x, y));
  return largest;
}

struct InkRun {
  int left = 0, right = 0, top = 0, bottom = 0;
};

// Runs of inked columns, left to right, inside `box`.
std::vector<InkRun> InkRuns(const Snapshot& shot, const testing_support::Picture& skin,
                            const RECT& box) {
  std::vector<InkRun> runs;
  bool inRun = false;
  for (int x = box.left; x < box.right; ++x) {
    int top = -1, bottom = -1;
    for (int y = box.top; y < box.bottom; ++y) {
      if (Distance(shot.At(x, y), skin, x, y) <= kInkThreshold) continue;
      if (top < 0) top = y;
      bottom = y;
    }
    if (top < 0) {
      inRun = false;
    } else if (inRun) {
      runs.back().right = x;
      runs.back().top = std::min(runs.back().top, top);
      runs.back().bottom = std::max(runs.back().bottom, bottom);
    } else {
      runs.push_back(InkRun{x, x, top, bottom});
      inRun = true;
    }
  }
  return runs;
}

// The ink ends in three small marks on the baseline: an ellipsis.
bool EndsInEllipsis(const std::vector<InkRun>& runs) {
  if (runs.size() < 4) return false;
  const InkRun* dot = &runs[runs.size() - 3];
  for (int i = 0; i < 3; ++i) {
    if (dot[i].right - dot[i].left > 3 || dot[i].bottom - dot[i].top > 3) return false;
    if (std::abs(dot[i].bottom - dot[0].bottom) > 1) return false;
  }
  // The dots sit on the baseline, below the middle of the letters before them.
  const auto tallest =
      std::max_element(runs.begin(), runs.end() - 3, [](const InkRun& a, const InkRun& b) {
        return a.bottom - a.top < b.bottom - b.top;
      });
  return dot[0].top > (tallest->top + tallest->bottom) / 2;
}

class CaptionsTest : public testing_support::DiscFixture {};

TEST_F(CaptionsTest, LongFileNamesStayClearOfTheCounterAndTheButtons) {
  const auto skin = Background();
  ASSERT_TRUE(skin) << "Pillow decodes the background skin";
  // One picture an album, so the counter reads 1/1 for each name.
  const struct {
    const char* folder;
    const char* name;
    bool cut;
  } rows[] = {{"A", "short.bmp", false},
              {"B", "PXL_20240612_093512345.MP.bmp", true},
              {"C", "WhatsApp Image 2024-06-12 at 09.35.12 (1) - Copy.bmp", true}};
  for (const auto& row : rows) disc_.Bmp(std::string(row.folder) + "/" + row.name, 40, 30, 1);
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  // Beside the name line: the counter's box and what lies right of it.
  const RECT counterSide = {kCounterLeft - 6, kCaptionTop - 5, 720, 600};
  std::vector<uint32_t> counterSideOfShortName;
  for (const auto& row : rows) {
    scenario.Call(row.name, [&, row] {
      ASSERT_NE(viewer.m_currentPicturePath.str().find(row.name), std::string::npos);
      const Snapshot shot(viewer);
      for (const RECT& zone : {kCopyZone, kExportZone, kPrevZone}) {
        EXPECT_LE(DifferenceFromSkin(shot, *skin, zone), kDecodeTolerance)
            << "zone at " << zone.left;
      }
      const RECT leftOfName = {kExportZone.right, kCaptionTop - 5, 330, 600};
      EXPECT_LE(DifferenceFromSkin(shot, *skin, leftOfName), kDecodeTolerance);
      std::vector<uint32_t> counterSidePixels;
      for (int y = counterSide.top; y < counterSide.bottom; ++y)
        for (int x = counterSide.left; x < counterSide.right; ++x)
          counterSidePixels.push_back(shot.At(x, y));
      if (counterSideOfShortName.empty()) {
        counterSideOfShortName = counterSidePixels;
      } else {
        EXPECT_TRUE(counterSidePixels == counterSideOfShortName) << "name ink beside the counter";
      }
      const RECT nameLine = {330, kCaptionTop, kCounterLeft - 6, 590};
      const std::vector<InkRun> runs = InkRuns(shot, *skin, nameLine);
      ASSERT_FALSE(runs.empty());
      EXPECT_EQ(EndsInEllipsis(runs), row.cut);

    });
    scenario.Click("Next", viewer, 690, 575);
  }
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

TEST_F(CaptionsTest, ATitleLongerThanItsRectangleEndsWithAnEllipsis) {
  const auto skin = Background();
  ASSERT_TRUE(skin);
  std::string text;
  for (int i = 0; i < 60; ++i) text += "summer by the lake with friends ";
  disc_.Text("title.txt", text);
  disc_.Bmp("a.bmp", 40, 30, 1);
  CViewerDlg viewer;
  Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("title on show", [&] {
    ASSERT_TRUE(viewer.m_titleShown);
    const Snapshot shot(viewer);
    // The last line with ink, found from the bottom of the rectangle.
    RECT row = {kTitleRect.left, 0, kTitleRect.right, 0};
    int lastInkRow = -1;
    for (int y = kTitleRect.bottom - 1; y >= kTitleRect.top && lastInkRow < 0; --y) {
      row.top = y, row.bottom = y + 1;
      if (!InkRuns(shot, *skin, row).empty()) lastInkRow = y;
    }
    ASSERT_GT(lastInkRow, kTitleRect.top + (kTitleRect.bottom - kTitleRect.top) / 2);
    // The lowest ink is at most a descender below the baseline: the dots
    // and the lower part of the letters lie in the ten rows above it.
    const RECT lastLine = {kTitleRect.left, lastInkRow - 10, kTitleRect.right, lastInkRow + 1};
    const std::vector<InkRun> runs = InkRuns(shot, *skin, lastLine);
    EXPECT_TRUE(EndsInEllipsis(runs));
    ASSERT_FALSE(runs.empty());
    EXPECT_LT(runs.back().right, kTitleRect.right);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

}  // namespace
