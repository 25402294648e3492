// The album list drawn on the headless back end: each row's skin image
// (checked against Pillow's decoding of the same resource), where its label
// is written and in which colours, which label it shows, and right clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/resources_internal.h"
#include "platform/user_internal.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

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

class AlbumListTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (int id : {IDR_SKIN_LIST_FIRST_LEVEL, IDR_SKIN_LIST_SECOND_LEVEL, IDR_SKIN_LIST_ROOT,
                   IDR_SKIN_LIST_SELECTED, IDR_SKIN_LIST_SECOND_SELECTED}) {
      if (auto picture = ReferenceSkin(id)) skins_[id] = *picture;
    }
  }

  void SetUp() override {
    headless::Reset();
    platform::ClearResourceOverridesForTests();
    ASSERT_EQ(skins_.size(), 5u) << "Pillow decodes the five row images";
    for (const auto& [id, picture] : skins_) {
      ASSERT_EQ(picture.width, static_cast<uint32_t>(kRowWidth)) << id;
      ASSERT_EQ(picture.height, static_cast<uint32_t>(kRowHeight)) << id;
    }
    root_ = testing_support::TempDir() + "/disc";
    Touch("tessary");
    headless::SetModuleFileName(root_ + "/tessary");
  }
  void TearDown() override {
    headless::SetModuleFileName("");
    headless::Reset();
  }

  void Touch(const std::string& relative, const std::string& content = "x") {
    const fs::path path = root_ + "/" + relative;
    fs::create_directories(path.parent_path());
    testing_support::WriteWholeFile(path.string(), std::vector<uint8_t>(content.begin(), content.end()));
  }

  // Starts browsing as the splash click does, then runs `check` with the
  // list drawn; `check` posts further steps and finally Escape.
  static void Browse(CViewerDlg& viewer, const std::function<void()>& check) {
    headless::PostCall([&viewer] { viewer.SetTimer(1, 500, nullptr); });
    headless::PostAdvanceClock(500);
    headless::PostCall(check);
    viewer.DoModal();
  }

  // The row of the album whose folder path (as listed) ends in `name`.
  static int RowOf(const CViewerDlg& viewer, const std::string& name) {
    for (INT_PTR i = 0; i < viewer.m_albumList.GetSize(); ++i) {
      const std::string& entry = viewer.m_albumList.GetAt(i).str();
      if (entry.size() >= name.size() && entry.compare(entry.size() - name.size(), name.size(), name) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }

  static void RightClickRow(CViewerDlg& viewer, int row) {
    HWND list = viewer.m_albumListBox.m_hWnd;
    const int y = row * kRowHeight + kRowHeight / 2;
    headless::PostClientPointer(list, WM_RBUTTONDOWN, 60, y, MK_RBUTTON);
    headless::PostClientPointer(list, WM_RBUTTONUP, 60, y, 0);
  }

  static std::map<int, testing_support::Picture> skins_;
  std::string root_;
};

std::map<int, testing_support::Picture> AlbumListTest::skins_;

// Room for a one-letter label and its shadow.
constexpr int kOneLetterRoom = 16;

struct ExpectedRow {
  const char* album;  // "" for the root
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
    const int index = expected.album[0] == '\0' ? 0 : [&] {
      for (INT_PTR i = 1; i < viewer.m_albumList.GetSize(); ++i) {
        std::string entry = viewer.m_albumList.GetAt(i).str();
        if (entry.substr(entry.rfind('/') + 1) == expected.album) return static_cast<int>(i);
      }
      return -1;
    }();
    ASSERT_GE(index, 0) << expected.album;
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
  Touch("A/a.jpg");
  Touch("A/G/a.jpg");
  Touch("B/a.jpg");
  Touch("album.txt", "name = R\r\n");
  CViewerDlg viewer;
  bool checked = false;
  Browse(viewer, [&] {
    ASSERT_EQ(viewer.m_albumList.GetSize(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(viewer.m_albumListBox.GetItemHeight(i), kRowHeight);
    ASSERT_EQ(viewer.m_albumListBox.GetCurSel(), 0);
    CheckRows(viewer, skins_,
              {{"", "R", IDR_SKIN_LIST_SELECTED, false},
               {"A", "A", IDR_SKIN_LIST_FIRST_LEVEL, false},
               {"G", "G", IDR_SKIN_LIST_SECOND_LEVEL, true},
               {"B", "B", IDR_SKIN_LIST_FIRST_LEVEL, false}},
              "root selected");
    RightClickRow(viewer, RowOf(viewer, "/A/G"));
    headless::PostCall([&] {
      EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), RowOf(viewer, "/A/G")) << "a right click selects";
      CheckRows(viewer, skins_,
                {{"", "R", IDR_SKIN_LIST_ROOT, false},
                 {"A", "A", IDR_SKIN_LIST_FIRST_LEVEL, false},
                 {"G", "G", IDR_SKIN_LIST_SECOND_SELECTED, true},
                 {"B", "B", IDR_SKIN_LIST_FIRST_LEVEL, false}},
                "second level selected");
      RightClickRow(viewer, RowOf(viewer, "/A"));
      headless::PostCall([&] {
        EXPECT_EQ(viewer.m_albumListBox.GetCurSel(), RowOf(viewer, "/A"));
        CheckRows(viewer, skins_,
                  {{"", "R", IDR_SKIN_LIST_ROOT, false},
                   {"A", "A", IDR_SKIN_LIST_SELECTED, false},
                   {"G", "G", IDR_SKIN_LIST_SECOND_LEVEL, true}},
                  "first level selected");
        checked = true;
        headless::PostKey(VK_ESCAPE);
      });
    });
  });
  EXPECT_TRUE(checked);
}

// Which text a row shows, told by the width of its ink.
TEST_F(AlbumListTest, LabelsAreTheRootsNameAndTheFoldersOwnNames) {
  struct Case {
    const char* albumTxt;  // nullptr: none
    const char* rootLabel;
  } cases[] = {{nullptr, "My Album"}, {"name = Summer 1999\r\n", "Summer 1999"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rootLabel);
    SetUp();
    Touch("Alps/a.jpg");
    Touch("Alps/Glacier/a.jpg");
    if (c.albumTxt != nullptr) Touch("album.txt", c.albumTxt);
    CViewerDlg viewer;
    bool checked = false;
    Browse(viewer, [&] {
      checked = true;
      const int alps = RowOf(viewer, "/Alps");
      const int glacier = RowOf(viewer, "/Alps/Glacier");
      ASSERT_GT(alps, 0);
      ASSERT_GT(glacier, 0);
      const platform::WindowImage list = platform::ComposeWindow(viewer.m_albumListBox.m_hWnd);
      struct Expected {
        int index;
        int image;
        std::string label;
        std::string wrongLabel;  // what a mistaken row would show
        int textLeft;
      } rows[] = {
          {0, IDR_SKIN_LIST_SELECTED, c.rootLabel, c.albumTxt ? "My Album" : "disc", 10},
          {alps, IDR_SKIN_LIST_FIRST_LEVEL, "Alps", c.albumTxt ? "Summer 1999" : "My Album", 10},
          {glacier, IDR_SKIN_LIST_SECOND_LEVEL, "Glacier", "Alps/Glacier", 30},
      };
      for (const Expected& row : rows) {
        const Ink ink = FindInk(Row(list, row.index), skins_.at(row.image));
        const int width = LabelWidth(row.label);
        ASSERT_GT(std::abs(width - LabelWidth(row.wrongLabel)), 6) << "labels too alike to tell apart";
        EXPECT_GE(ink.left, row.textLeft) << row.label;
        EXPECT_LE(ink.left, row.textLeft + 2) << row.label;
        EXPECT_NEAR(ink.Width(), width + 1, 3) << row.label << " (the shadow adds one pixel)";
      }
      headless::PostKey(VK_ESCAPE);
    });
    EXPECT_TRUE(checked);
  }
}

}  // namespace
