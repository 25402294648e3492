// The album list drawn on the headless back end: each row's skin image
// (checked against Pillow's decoding of the same resource), where its label
// is written and in which colours, which label it shows, and right clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/backend.h"
#include "resources/resource_ids.h"
#include "tests/support/disc.h"
#include "tests/support/ellipsis.h"
#include "tests/support/scenario.h"
#include "tests/support/test_support.h"

namespace {

constexpr int kRowWidth = 134;
constexpr int kRowHeight = 31;
// Rows of the text rectangle: the bottom is raised by 3 pixels, and the
// shadow drawn one pixel lower is clipped to its own rectangle.
constexpr int kInkRows = kRowHeight - 2;
// Our JPEG decoding against Pillow's.
constexpr int kDecodeTolerance = 6;
// Two skin images are told apart by a larger difference.
constexpr int kDistinctImages = 2 * kDecodeTolerance;
// Pixels further from the row image than this are ink (the light shadow
// stands only a little above the light grey row).
constexpr int kInkThreshold = 10;

struct Rgb {
  int r = 0, g = 0, b = 0;
};
int Distance(Rgb a, Rgb b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}
const Rgb kBlack{0, 0, 0};
const Rgb kLightGrey{0xC0, 0xC0, 0xC0};

// Pillow's decoding of one "BIN" skin resource of the program.
std::optional<testing_support::Picture> ReferenceSkin(int id) {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), "BIN");
  if (resource == nullptr) return std::nullopt;
  const auto* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, resource)));
  const std::vector<uint8_t> jpeg(bytes, bytes + SizeofResource(nullptr, resource));
  const std::string path = testing_support::TempDir() + "/skin_" + std::to_string(id) + ".jpg";
  if (!testing_support::WriteWholeFile(path, jpeg)) return std::nullopt;
  return testing_support::ReferenceDecode(path);
}

Rgb ReferencePixel(const testing_support::Picture& picture, int x, int y) {
  const uint8_t* p = &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
  return Rgb{p[0], p[1], p[2]};
}

// One drawn row of the list box, read from its window image.
class Row {
 public:
  Row(const platform::WindowImage& list, int index) : list_(list), top_(index * kRowHeight) {}
  Rgb At(int x, int y) const {
    const uint8_t* p = &list_.pixels[(static_cast<size_t>(top_ + y) * list_.width + x) * 4];
    return Rgb{p[2], p[1], p[0]};
  }

 private:
  const platform::WindowImage& list_;
  int top_;
};

// Where the row differs from its skin image: the label and its shadow.
struct Ink {
  int left = kRowWidth, right = -1, top = kRowHeight, bottom = -1;
  int count = 0;
  // Mean position of the pixels nearest each text colour, as sums.
  double blackX = 0, blackY = 0, greyX = 0, greyY = 0;
  int blackCount = 0, greyCount = 0;
  int Width() const { return right - left + 1; }
};

Ink FindInk(const Row& row, const testing_support::Picture& image) {
  Ink ink;
  for (int y = 0; y < kRowHeight; ++y) {
    for (int x = 0; x < kRowWidth; ++x) {
      const Rgb drawn = row.At(x, y);
      if (Distance(drawn, ReferencePixel(image, x, y)) <= kInkThreshold) continue;
      ++ink.count;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
      if (Distance(drawn, kBlack) <= 8) {
        ink.blackX += x, ink.blackY += y, ++ink.blackCount;
      } else if (Distance(drawn, kLightGrey) <= 8) {
        ink.greyX += x, ink.greyY += y, ++ink.greyCount;
      }
    }
  }
  return ink;
}

// The largest difference from the skin image outside `label`.
int DifferenceOutside(const Row& row, const testing_support::Picture& image, const RECT& label) {
  int largest = 0;
  for (int y = 0; y < kRowHeight; ++y) {
    for (int x = 0; x < kRowWidth; ++x) {
      if (x >= label.left && x < label.right && y >= label.top && y < label.bottom) continue;
      largest = std::max(largest, Distance(row.At(x, y), ReferencePixel(image, x, y)));
    }
  }
  return largest;
}

// The list's font: Arial, 12-pixel characters, extra-light, Swiss.
HFONT CreateListFont() {
  return CreateFontA(-12, 0, 0, 0, FW_EXTRALIGHT, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, "Arial");
}

// The width of a label in the list's font.
int LabelWidth(const std::string& label) {
  HFONT font = CreateListFont();
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE size = {0, 0};
  GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &size);
  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(font);
  return size.cx;
}

// The box of a label's glyph pixels (coverage at least one half).
struct GlyphBox {
  int left = kRowWidth, top = kRowHeight, right = -1, bottom = -1;
  void Add(int x, int y) {
    left = std::min(left, x), right = std::max(right, x);
    top = std::min(top, y), bottom = std::max(bottom, y);
  }
};

// Where the system's text layout puts a label drawn with DT_VCENTER and
// DT_SINGLELINE in a rectangle `height` pixels high at (0, 0): black on a
// white DIB section, in the list's font.
GlyphBox ReferenceGlyphs(const std::string& label, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = kRowWidth;
  info.bmiHeader.biHeight = height;  // bottom-up
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  GlyphBox box;
  if (section == nullptr || bits == nullptr) return box;
  auto* pixels = static_cast<uint8_t*>(bits);
  std::fill(pixels, pixels + static_cast<size_t>(kRowWidth) * height * 4, 0xFF);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ previousBitmap = SelectObject(dc, section);
  HFONT font = CreateListFont();
  HGDIOBJ previousFont = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  RECT area = {0, 0, kRowWidth, height};
  DrawTextA(dc, label.c_str(), -1, &area, DT_VCENTER | DT_SINGLELINE);
  for (int y = 0; y < height; ++y) {
    const uint8_t* line = pixels + static_cast<size_t>(height - 1 - y) * kRowWidth * 4;
    for (int x = 0; x < kRowWidth; ++x) {
      if (line[x * 4 + 1] <= 127) box.Add(x, y);
    }
  }
  SelectObject(dc, previousFont);
  SelectObject(dc, previousBitmap);
  DeleteObject(font);
  DeleteDC(dc);
  DeleteObject(section);
  return box;
}

// The row's glyph pixels in the text colour `color` over the skin image:
// those at least half way from the image towards the colour, measured on the
// channel where the two differ most (the other text colour, the shadow's,
// lies the other way or short of half way on that channel).
GlyphBox RowGlyphs(const Row& row, const testing_support::Picture& image, Rgb color) {
  GlyphBox box;
  for (int y = 0; y < kRowHeight; ++y) {
    for (int x = 0; x < kRowWidth; ++x) {
      const Rgb under = ReferencePixel(image, x, y);
      const Rgb drawn = row.At(x, y);
      const int channels[3][3] = {{under.r, color.r, drawn.r}, {under.g, color.g, drawn.g},
                                  {under.b, color.b, drawn.b}};
      int widest = 0;
      for (int c = 1; c < 3; ++c) {
        if (std::abs(channels[c][1] - channels[c][0]) > std::abs(channels[widest][1] - channels[widest][0]))
          widest = c;
      }
      const double span = channels[widest][1] - channels[widest][0];
      if (span != 0 && (channels[widest][2] - channels[widest][0]) / span >= 0.5) box.Add(x, y);
    }
  }
  return box;
}

class AlbumListTest : public testing_support::DiscFixture {
 protected:
  static void SetUpTestSuite() {
    for (int id : {IDR_SKIN_LIST_FIRST_LEVEL, IDR_SKIN_LIST_SECOND_LEVEL, IDR_SKIN_LIST_ROOT,
                   IDR_SKIN_LIST_SELECTED, IDR_SKIN_LIST_SECOND_SELECTED}) {
      if (auto picture = ReferenceSkin(id)) skins_[id] = *picture;
    }
  }

  void SetUp() override {
    DiscFixture::SetUp();
    ASSERT_EQ(skins_.size(), 5u) << "Pillow decodes the five row images";
    for (const auto& [id, picture] : skins_) {
      ASSERT_EQ(picture.width, static_cast<uint32_t>(kRowWidth)) << id;
      ASSERT_EQ(picture.height, static_cast<uint32_t>(kRowHeight)) << id;
    }
  }

  // A right click in the middle of a row of the list.
  static void RightClickRow(testing_support::Scenario& scenario, const CWnd& list, int row) {
    const int y = row * kRowHeight + kRowHeight / 2;
    scenario.Pointer("right button down on row " + std::to_string(row), list, WM_RBUTTONDOWN, 60, y,
                     MK_RBUTTON)
        .Pointer("right button up", list, WM_RBUTTONUP, 60, y);
  }

  static std::map<int, testing_support::Picture> skins_;
};

std::map<int, testing_support::Picture> AlbumListTest::skins_;

// Room for a one-letter label and its shadow.
constexpr int kOneLetterRoom = 16;

struct ExpectedRow {
  int index;
  const char* label;
  int image;
  bool indented;
};

// Checks each row's image, and that its one-letter label lies in its place
// in the colours of its row.
void CheckRows(const CViewerDlg& viewer, const std::map<int, testing_support::Picture>& skins,
               const std::vector<ExpectedRow>& rows, const char* state) {
  const platform::WindowImage list = platform::ComposeWindow(viewer.m_albumListBox.m_hWnd);
  ASSERT_GE(list.width, kRowWidth);
  ASSERT_GE(list.height, static_cast<int>(rows.size()) * kRowHeight);
  for (const ExpectedRow& expected : rows) {
    const int index = expected.index;
    SCOPED_TRACE(std::string(state) + ", row " + std::to_string(index));
    const Row row(list, index);
    const int textLeft = expected.indented ? 30 : 10;
    const testing_support::Picture& image = skins.at(expected.image);
    const std::string label = expected.label;

    const RECT labelRoom = {textLeft, 0, textLeft + kOneLetterRoom, kInkRows};
    EXPECT_LE(DifferenceOutside(row, image, labelRoom), kDecodeTolerance)
        << "image " << expected.image;
    const Ink ink = FindInk(row, image);
    ASSERT_GT(ink.count, 0) << "the label is drawn";
    const RECT inkBox = {ink.left, ink.top, ink.right + 1, ink.bottom + 1};
    for (const auto& [id, other] : skins) {
      if (id == expected.image) continue;
      EXPECT_GT(DifferenceOutside(row, other, inkBox), kDistinctImages)
          << "the row matches image " << id << " as well as " << expected.image;
    }

    EXPECT_LT(ink.bottom, kInkRows);
    // The label sits where the text layout puts it in the row's rectangle
    // moved right by the indent and with its bottom raised by 3 pixels. Its
    // top and left edges lie over the row image; the shadow lies along the
    // others and blends into their edge pixels.
    const GlyphBox expectedGlyphs = ReferenceGlyphs(label, kRowHeight - 3);
    const GlyphBox glyphs = RowGlyphs(row, image, index == 0 ? kLightGrey : kBlack);
    EXPECT_EQ(glyphs.left, textLeft + expectedGlyphs.left);
    EXPECT_EQ(glyphs.top, expectedGlyphs.top);
    // Row 0: light text over a black shadow; the others dark over light.
    ASSERT_GT(ink.blackCount, 0);
    ASSERT_GT(ink.greyCount, 0);
    const double shadowLean = index == 0
        ? ink.blackX / ink.blackCount - ink.greyX / ink.greyCount + ink.blackY / ink.blackCount - ink.greyY / ink.greyCount
        : ink.greyX / ink.greyCount - ink.blackX / ink.blackCount + ink.greyY / ink.greyCount - ink.blackY / ink.blackCount;
    EXPECT_GT(shadowLean, 0.5) << "the shadow lies one pixel right of and below the text";
  }
}

TEST_F(AlbumListTest, RowsAreDrawnFromTheirSkinImagesWithTheirLabels) {
  // Every album holds a picture, so selecting one stays on it.
  disc_.Jpeg("r.jpg", 40, 30, 1);
  disc_.Jpeg("A/a.jpg", 40, 30, 2);
  disc_.Jpeg("A/G/a.jpg", 40, 30, 3);
  disc_.Jpeg("B/a.jpg", 40, 30, 4);
  disc_.Text("album.txt", "name = R\r\n");
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("root selected", [&] {
    ASSERT_EQ(viewer.m_albumList.GetSize(), 4);
    EXPECT_EQ(viewer.m_albumList.GetAt(2).str(), " " + disc_.Path("A/G"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viewer.m_albumListBox.GetItemHeight(i), kRowHeight);
    ASSERT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    CheckRows(viewer, skins_,
              {{0, "R", IDR_SKIN_LIST_SELECTED, false},
               {1, "A", IDR_SKIN_LIST_FIRST_LEVEL, false},
               {2, "G", IDR_SKIN_LIST_SECOND_LEVEL, true},
               {3, "B", IDR_SKIN_LIST_FIRST_LEVEL, false}},
              "root selected");
  });
  RightClickRow(scenario, viewer.m_albumListBox, 2);
  scenario.Call("second level selected", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 2) << "a right click selects";
    EXPECT_EQ(viewer.m_albumFolder.str(), disc_.Path("A/G")) << "and changes the album";
    CheckRows(viewer, skins_,
              {{0, "R", IDR_SKIN_LIST_ROOT, false},
               {1, "A", IDR_SKIN_LIST_FIRST_LEVEL, false},
               {2, "G", IDR_SKIN_LIST_SECOND_SELECTED, true},
               {3, "B", IDR_SKIN_LIST_FIRST_LEVEL, false}},
              "second level selected");
  });
  RightClickRow(scenario, viewer.m_albumListBox, 1);
  scenario.Call("first level selected", [&] {
    EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), 1);
    CheckRows(viewer, skins_,
              {{0, "R", IDR_SKIN_LIST_ROOT, false},
               {1, "A", IDR_SKIN_LIST_SELECTED, false},
               {2, "G", IDR_SKIN_LIST_SECOND_LEVEL, true}},
              "first level selected");
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

// Runs of inked columns of a row, left to right (the label and its shadow).
std::vector<Ink> InkColumns(const Row& row, const testing_support::Picture& image) {
  std::vector<Ink> runs;
  bool inRun = false;
  for (int x = 0; x < kRowWidth; ++x) {
    Ink column;
    for (int y = 0; y < kRowHeight; ++y) {
      if (Distance(row.At(x, y), ReferencePixel(image, x, y)) <= kInkThreshold) continue;
      column.left = column.right = x;
      column.top = std::min(column.top, y), column.bottom = std::max(column.bottom, y);
    }
    if (column.right < 0) {
      inRun = false;
    } else if (inRun) {
      runs.back().right = x;
      runs.back().top = std::min(runs.back().top, column.top);
      runs.back().bottom = std::max(runs.back().bottom, column.bottom);
    } else {
      runs.push_back(column);
      inRun = true;
    }
  }
  return runs;
}

// The label ends in three dots, each with its one-pixel shadow: an ellipsis.
bool EndsInEllipsis(const std::vector<Ink>& runs) { return testing_support::EndsInEllipsis(runs, 4); }

std::vector<Rgb> RowPixels(const Row& row) {
  std::vector<Rgb> pixels;
  for (int y = 0; y < kRowHeight; ++y)
    for (int x = 0; x < kRowWidth; ++x) pixels.push_back(row.At(x, y));
  return pixels;
}
bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

TEST_F(AlbumListTest, FolderNamesAreDrawnAsPeopleWriteThem) {
  const std::string composed = "Caf\xC3\xA9", decomposed = "Cafe\xCC\x81";  // as macOS writes it
  const std::string tokyo = "\xE6\x9D\xB1\xE4\xBA\xAC";     // two CJK characters
  const std::string unknown = "\xEF\xBF\xBF\xEF\xBF\xBF";   // two characters no font has
  const std::string longName = "Holidays in the mountains with the whole family";
  const std::string ampersand = "Tom & Jerry";
  disc_.Jpeg("r.jpg", 40, 30, 1);
  for (const std::string& name : {composed, decomposed, tokyo, unknown, longName, ampersand}) {
    disc_.Jpeg(name + "/a.jpg", 40, 30, 2);
  }
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("labels drawn", [&] {
    ASSERT_EQ(viewer.m_albumList.GetSize(), 7);
    const platform::WindowImage list = platform::ComposeWindow(viewer.m_albumListBox.m_hWnd);
    ASSERT_GE(list.height, 7 * kRowHeight);
    auto rowOf = [&](const std::string& name) {
      for (int i = 1; i < 7; ++i) {
        if (viewer.m_albumList.GetAt(i).str() == disc_.Path(name)) return Row(list, i);
      }
      ADD_FAILURE() << name << " is not listed";
      return Row(list, 0);
    };
    const testing_support::Picture& image = skins_.at(IDR_SKIN_LIST_FIRST_LEVEL);
    EXPECT_TRUE(RowPixels(rowOf(decomposed)) == RowPixels(rowOf(composed)));
    EXPECT_GT(FindInk(rowOf(tokyo), image).count, 20);
    EXPECT_FALSE(RowPixels(rowOf(tokyo)) == RowPixels(rowOf(unknown)));
    const std::vector<Ink> runs = InkColumns(rowOf(longName), image);
    ASSERT_FALSE(runs.empty());
    EXPECT_TRUE(EndsInEllipsis(runs));
    EXPECT_NEAR(FindInk(rowOf(ampersand), image).Width(), LabelWidth(ampersand) + 1, 3)
        << "\"&\" is shown, not taken as a prefix";
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

// Which text a row shows, told by the width of its ink.
struct LabelCase {
  const char* albumTxt;  // nullptr: none
  const char* rootLabel;
};
void PrintTo(const LabelCase& c, std::ostream* out) { *out << c.rootLabel; }

class AlbumLabelTest : public AlbumListTest, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(AlbumLabelTest, RowsShowTheRootsNameAndTheFoldersOwnNames) {
  const LabelCase& c = GetParam();
  disc_.Jpeg("r.jpg", 40, 30, 1);
  disc_.Jpeg("Alps/a.jpg", 40, 30, 2);
  disc_.Jpeg("Alps/Glacier/a.jpg", 40, 30, 3);
  if (c.albumTxt != nullptr) disc_.Text("album.txt", c.albumTxt);
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("labels drawn", [&] {
    ASSERT_EQ(viewer.m_albumList.GetSize(), 3);
    ASSERT_EQ(viewer.m_albumList.GetAt(1).str(), disc_.Path("Alps"));
    ASSERT_EQ(viewer.m_albumList.GetAt(2).str(), " " + disc_.Path("Alps/Glacier"));
    ASSERT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    const platform::WindowImage list = platform::ComposeWindow(viewer.m_albumListBox.m_hWnd);
    struct Expected {
      int index;
      int image;
      std::string label;
      std::string wrongLabel;  // what a mistaken row would show
      int textLeft;
    } rows[] = {
        {0, IDR_SKIN_LIST_SELECTED, c.rootLabel, c.albumTxt ? "My Album" : "disc", 10},
        {1, IDR_SKIN_LIST_FIRST_LEVEL, "Alps", c.albumTxt ? "Summer 1999" : "My Album", 10},
        {2, IDR_SKIN_LIST_SECOND_LEVEL, "Glacier", "Alps/Glacier", 30},
    };
    for (const Expected& row : rows) {
      const Ink ink = FindInk(Row(list, row.index), skins_.at(row.image));
      const int width = LabelWidth(row.label);
      ASSERT_GT(std::abs(width - LabelWidth(row.wrongLabel)), 6) << "labels too alike to tell apart";
      EXPECT_GE(ink.left, row.textLeft) << row.label;
      EXPECT_LE(ink.left, row.textLeft + 2) << row.label;
      EXPECT_NEAR(ink.Width(), width + 1, 3) << row.label << " (the shadow adds one pixel)";
    }
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(RootLabels, AlbumLabelTest,
                         ::testing::Values(LabelCase{nullptr, "My Album"},
                                           LabelCase{"name = Summer 1999\r\n", "Summer 1999"}));

}  // namespace
