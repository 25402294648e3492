// The software renderer: DIB drawing of every source depth and orientation,
// stretching, shrinking, mirroring, clipping; BitBlt and SetDIBitsToDevice;
// bitmaps, selection and deletion rules; palettes; brushes; text with real
// fonts; icons; PNG snapshots. Expected pixels are computed by hand.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/win32.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/ellipsis.h"
#include "tests/support/test_support.h"

namespace {

using platform::PixelView;

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kRed = 0xFF0000;  // 0x00RRGGBB as PixelView::At reports
constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kWhite = 0xFFFFFF;

// A DIB in memory: header, colour table and rows, as one BITMAPINFO.
struct Dib {
  std::vector<uint8_t> info;  // header + colours (+ masks)
  std::vector<uint8_t> bits;
  const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(info.data()); }
  int Stride() const {
    const auto* h = &Info()->bmiHeader;
    return ((h->biWidth * h->biBitCount + 31) / 32) * 4;
  }
  uint8_t* StoredRow(int i) { return bits.data() + static_cast<size_t>(i) * Stride(); }
};

Dib MakeDib(int width, int height, int bits, std::vector<RGBQUAD> colors = {},
            DWORD compression = BI_RGB, std::vector<DWORD> masks = {}) {
  Dib dib;
  dib.info.resize(40 + masks.size() * 4 + colors.size() * 4);
  BITMAPINFOHEADER header = {};
  header.biSize = 40;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biCompression = compression;
  header.biClrUsed = static_cast<DWORD>(colors.size());
  std::memcpy(dib.info.data(), &header, 40);
  if (!masks.empty()) std::memcpy(dib.info.data() + 40, masks.data(), masks.size() * 4);
  if (!colors.empty()) {
    std::memcpy(dib.info.data() + 40 + masks.size() * 4, colors.data(), colors.size() * 4);
  }
  const int stride = ((width * bits + 31) / 32) * 4;
  dib.bits.assign(static_cast<size_t>(stride) * (height < 0 ? -height : height), 0xEE);
  return dib;
}

// A window DC over a fresh framebuffer; both freed on destruction.
struct Canvas {
  HBITMAP framebuffer;
  HDC dc;
  Canvas(int w, int h, COLORREF fill = 0, const RECT* clip = nullptr)
      : framebuffer(platform::CreateFramebuffer(w, h, fill)),
        dc(platform::CreateWindowDC(framebuffer, clip)) {}
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(framebuffer);
  }
  uint32_t At(int x, int y) const { return platform::BitmapPixels(framebuffer).At(x, y); }
  // Every pixel, row by row, for whole-picture comparisons.
  std::vector<uint32_t> All() const {
    PixelView v = platform::BitmapPixels(framebuffer);
    std::vector<uint32_t> out;
    for (int y = 0; y < v.height; ++y)
      for (int x = 0; x < v.width; ++x) out.push_back(v.At(x, y));
    return out;
  }
};

void Put24(uint8_t* row, int x, uint32_t rgb) {
  row[x * 3 + 0] = static_cast<uint8_t>(rgb);
  row[x * 3 + 1] = static_cast<uint8_t>(rgb >> 8);
  row[x * 3 + 2] = static_cast<uint8_t>(rgb >> 16);
}

void Put32(uint8_t* row, int x, uint32_t rgb) {
  row[x * 4 + 0] = static_cast<uint8_t>(rgb);
  row[x * 4 + 1] = static_cast<uint8_t>(rgb >> 8);
  row[x * 4 + 2] = static_cast<uint8_t>(rgb >> 16);
  row[x * 4 + 3] = 0x80;
}

// Every test leaves no GDI object behind.
class Gdi : public ::testing::Test {
 protected:
  void SetUp() override { live_ = platform::LiveGdiObjects(); }
  void TearDown() override { EXPECT_EQ(platform::LiveGdiObjects(), live_); }
  int64_t live_ = 0;
};

// --- StretchDIBits: every source depth -------------------------------------------

// A 3 x 2 24-bit picture: top row red, green, blue; bottom row white, black, red.
Dib Picture24(bool topDown) {
  Dib dib = MakeDib(3, topDown ? -2 : 2, 24);
  uint8_t* top = dib.StoredRow(topDown ? 0 : 1);
  uint8_t* bottom = dib.StoredRow(topDown ? 1 : 0);
  Put24(top, 0, kRed), Put24(top, 1, kGreen), Put24(top, 2, kBlue);
  Put24(bottom, 0, kWhite), Put24(bottom, 1, kBlack), Put24(bottom, 2, kRed);
  return dib;
}

void ExpectPicture24At(const Canvas& c, int x, int y) {
  EXPECT_EQ(c.At(x, y), kRed);
  EXPECT_EQ(c.At(x + 1, y), kGreen);
  EXPECT_EQ(c.At(x + 2, y), kBlue);
  EXPECT_EQ(c.At(x, y + 1), kWhite);
  EXPECT_EQ(c.At(x + 1, y + 1), kBlack);
  EXPECT_EQ(c.At(x + 2, y + 1), kRed);
}

TEST_F(Gdi, StretchDIBits24BitBottomUpAndTopDownDrawUpright) {
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    Canvas c(6, 5, RGB(10, 20, 30));
    Dib dib = Picture24(topDown);
    EXPECT_EQ(StretchDIBits(c.dc, 2, 1, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    ExpectPicture24At(c, 2, 1);
    // Around it nothing changed.
    EXPECT_EQ(c.At(1, 1), 0x0A141Eu);
    EXPECT_EQ(c.At(5, 1), 0x0A141Eu);
    EXPECT_EQ(c.At(2, 0), 0x0A141Eu);
    EXPECT_EQ(c.At(2, 3), 0x0A141Eu);
  }
}

TEST_F(Gdi, StretchDIBits32BitCopiesAllFourBytes) {
  for (bool topDown : {false, true}) {
    Canvas c(2, 2);
    Dib dib = MakeDib(2, topDown ? -2 : 2, 32);
    uint8_t* top = dib.StoredRow(topDown ? 0 : 1);
    uint8_t* bottom = dib.StoredRow(topDown ? 1 : 0);
    Put32(top, 0, kRed), Put32(top, 1, kGreen), Put32(bottom, 0, kBlue), Put32(bottom, 1, kWhite);
    EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 2, 2, dib.bits.data(), dib.Info(),
                            DIB_RGB_COLORS, SRCCOPY),
              2);
    EXPECT_EQ(c.All(), (std::vector<uint32_t>{kRed, kGreen, kBlue, kWhite}));
    EXPECT_EQ(platform::BitmapPixels(c.framebuffer).Row(0)[3], 0x80);  // SRCCOPY keeps it
  }
}

TEST_F(Gdi, StretchDIBits8BitUsesTheColourTableAndBlackPastIt) {
  // Two colours only: index 5 is past the table and draws black.
  Dib dib = MakeDib(4, 1, 8, {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}});
  uint8_t* row = dib.StoredRow(0);
  row[0] = 1, row[1] = 0, row[2] = 5, row[3] = 1;
  Canvas c(4, 1, RGB(1, 2, 3));
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 4, 1, 0, 0, 4, 1, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            1);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kBlue, kRed, kBlack, kBlue}));
}

TEST_F(Gdi, StretchDIBits4BitTakesTheHighNibbleFirst) {
  std::vector<RGBQUAD> colors(16, RGBQUAD{0, 0, 0, 0});
  colors[1] = RGBQUAD{0, 0, 255, 0};
  colors[2] = RGBQUAD{0, 255, 0, 0};
  colors[15] = RGBQUAD{255, 255, 255, 0};
  Dib dib = MakeDib(3, -2, 4, colors);
  dib.StoredRow(0)[0] = 0x12, dib.StoredRow(0)[1] = 0xF0;  // 1 2 F
  dib.StoredRow(1)[0] = 0xF2, dib.StoredRow(1)[1] = 0x10;  // F 2 1
  Canvas c(3, 2);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kRed, kGreen, kWhite, kWhite, kGreen, kRed}));
}

TEST_F(Gdi, StretchDIBits1BitAcrossAByteBoundary) {
  // Width 9: pixel 8 is the high bit of the second byte.
  Dib dib = MakeDib(9, 1, 1, {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}});
  dib.StoredRow(0)[0] = 0xA1;  // 1010 0001
  dib.StoredRow(0)[1] = 0x80;  // 1
  Canvas c(9, 1, RGB(9, 9, 9));
  StretchDIBits(c.dc, 0, 0, 9, 1, 0, 0, 9, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kWhite, kBlack, kWhite, kBlack, kBlack, kBlack,
                                            kBlack, kWhite, kWhite}));
}

TEST_F(Gdi, StretchDIBits16BitFiveFiveFiveAndBitFields) {
  // BI_RGB 16 bits: x RRRRR GGGGG BBBBB. 0x7C00 is full red, 0x001F full blue.
  Dib plain = MakeDib(2, 1, 16);
  const uint16_t red555 = 0x7C00, blue555 = 0x001F;
  std::memcpy(plain.StoredRow(0), &red555, 2);
  std::memcpy(plain.StoredRow(0) + 2, &blue555, 2);
  Canvas c(2, 1);
  StretchDIBits(c.dc, 0, 0, 2, 1, 0, 0, 2, 1, plain.bits.data(), plain.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kRed, kBlue}));
  // BI_BITFIELDS 5-6-5: 0x07E0 is full green.
  Dib fields = MakeDib(1, 1, 16, {}, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F});
  const uint16_t green565 = 0x07E0;
  std::memcpy(fields.StoredRow(0), &green565, 2);
  StretchDIBits(c.dc, 1, 0, 1, 1, 0, 0, 1, 1, fields.bits.data(), fields.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.At(1, 0), kGreen);
}

// Pillow's decode of a file, or (for what Pillow does not read) Pillow's
// decode of ImageMagick's PNG conversion of it.
std::optional<testing_support::Picture> Reference(const testing_support::ReferenceBatch& decodes,
                                                  const std::string& path) {
  auto picture = decodes.Decode(path);
  if (picture) return picture;
  const std::string png = testing_support::TempDir() + "/reference.png";
  if (testing_support::RunCommand("convert '" + path + "' '" + png + "'") != 0) return picture;
  return testing_support::ReferenceDecode(png);
}

std::string SuitePath(const std::string& name) {
  return testing_support::CorpusPath("bmp", "bmpsuite_g_" + name + ".bmp");
}

void ExpectDrawnAsReference(HDC screen, const testing_support::ReferenceBatch& decodes,
                            const std::string& name) {
  SCOPED_TRACE(name);
  const std::string path = SuitePath(name);
  const std::vector<uint8_t> file = testing_support::ReadWholeFile(path);
  ASSERT_GT(file.size(), 54u);
  auto reference = Reference(decodes, path);
  ASSERT_TRUE(reference.has_value());
  BITMAPFILEHEADER fileHeader;
  std::memcpy(&fileHeader, file.data(), sizeof fileHeader);
  const DWORD offset = fileHeader.bfOffBits;  // (a packed field: copied out)
  ASSERT_LT(offset, file.size());
  // The DIB after the 14-byte file header, in a block of its own (aligned).
  const std::vector<uint8_t> dib(file.begin() + 14, file.end());
  const auto* info = reinterpret_cast<const BITMAPINFO*>(dib.data());
  const void* bits = dib.data() + (offset - 14);
  const int w = info->bmiHeader.biWidth;
  const int h = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  ASSERT_EQ(static_cast<uint32_t>(w), reference->width);
  ASSERT_EQ(static_cast<uint32_t>(h), reference->height);
  const int tolerance = info->bmiHeader.biBitCount == 16 ? 1 : 0;

  Canvas c(w, h);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, w, h, 0, 0, w, h, bits, info, DIB_RGB_COLORS, SRCCOPY), h);
  HBITMAP ddb = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT, bits, info, DIB_RGB_COLORS);
  ASSERT_NE(ddb, nullptr);
  const PixelView drawn = platform::BitmapPixels(c.framebuffer);
  const PixelView made = platform::BitmapPixels(ddb);
  int worst = 0;
  bool same = true;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* want = &reference->rgb[(static_cast<size_t>(y) * w + x) * 3];
      const uint32_t got = drawn.At(x, y);
      same = same && made.At(x, y) == got;
      const int delta[3] = {std::abs(static_cast<int>(got >> 16) - want[0]),
                            std::abs(static_cast<int>((got >> 8) & 0xFF) - want[1]),
                            std::abs(static_cast<int>(got & 0xFF) - want[2])};
      for (int d : delta) worst = std::max(worst, d);
    }
  }
  DeleteObject(ddb);
  EXPECT_TRUE(same);  // CreateDIBitmap gives what StretchDIBits drew
  EXPECT_LE(worst, tolerance);
}

// Every uncompressed "good" file of the BMP suite, drawn at 1:1 from the
// file's own BITMAPINFO and pixel bytes, and turned into a screen bitmap with
// CreateDIBitmap, against an independent decode of the same file. 5- and
// 6-bit channels may be widened to 8 bits with another rounding (1 level).
TEST_F(Gdi, BmpSuiteFilesDrawAsAnIndependentDecoderReadsThem) {
  const char* names[] = {"pal1", "pal1bg", "pal1wb", "pal4", "pal4gs", "pal8-0", "pal8",
                         "pal8gs", "pal8nonsquare", "pal8topdown", "pal8v4", "pal8v5",
                         "pal8w124", "pal8w125", "pal8w126", "rgb16-565", "rgb16-565pal",
                         "rgb16", "rgb16bfdef", "rgb24", "rgb24pal", "rgb32", "rgb32bf",
                         "rgb32bfdef"};
  std::vector<std::string> paths;
  for (const char* name : names) paths.push_back(SuitePath(name));
  const testing_support::ReferenceBatch decodes(paths);
  HDC screen = GetDC(nullptr);
  for (const char* name : names) ExpectDrawnAsReference(screen, decodes, name);
  ReleaseDC(nullptr, screen);
}

// --- StretchDIBits: geometry ----------------------------------------------------------

TEST_F(Gdi, StretchDIBitsDoublesEachPixelIntoATwoByTwoBlock) {
  Dib dib = Picture24(false);
  Canvas c(6, 4);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 6, 4, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            2);
  const uint32_t expected[2][3] = {{kRed, kGreen, kBlue}, {kWhite, kBlack, kRed}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(c.At(x, y), expected[y / 2][x / 2]) << x << "," << y;
}

TEST_F(Gdi, StretchDIBitsShrinksByTakingEveryOtherPixel) {
  // 4 x 4 source, pixel (x, y) = RGB(x * 10, y * 10, 0); shrunk to 2 x 2 the
  // pixels kept are those at even x and y (source = floor(i * 4 / 2)).
  Dib dib = MakeDib(4, -4, 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) Put24(dib.StoredRow(y), x, (x * 10u) << 16 | (y * 10u) << 8);
  Canvas c(2, 2);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 4, 4, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            4);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{0x000000, 0x140000, 0x001400, 0x141400}));
}

TEST_F(Gdi, StretchDIBitsSourceOriginOfABottomUpDibIsItsLowerLeftCorner) {
  // Bottom-up 3 x 2: ySrc 0, height 1 is the bottom row (white, black, red);
  // ySrc 1 is the top row.
  Dib dib = Picture24(false);
  Canvas c(3, 2);
  StretchDIBits(c.dc, 0, 0, 3, 1, 0, 0, 3, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  StretchDIBits(c.dc, 0, 1, 2, 1, 1, 1, 2, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kWhite, kBlack, kRed, kGreen, kBlue, kBlack}));
  // Top-down: ySrc counts from the top.
  Dib down = Picture24(true);
  StretchDIBits(c.dc, 0, 0, 3, 1, 0, 1, 3, 1, down.bits.data(), down.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.At(0, 0), kWhite);
}

TEST_F(Gdi, StretchDIBitsMirrorsWhenExtentsDifferInSign) {
  Dib dib = Picture24(false);
  Canvas c(3, 2);
  // Negative destination width: the rectangle runs left from x = 3.
  StretchDIBits(c.dc, 3, 0, -3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kBlue, kGreen, kRed, kRed, kBlack, kWhite}));
  // Negative destination height flips it upside down.
  StretchDIBits(c.dc, 0, 2, 3, -2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kWhite, kBlack, kRed, kRed, kGreen, kBlue}));
}

TEST_F(Gdi, StretchDIBitsIsClippedAtTheFramebufferEdges) {
  Dib dib = Picture24(false);
  Canvas c(2, 2, RGB(5, 5, 5));
  // Partly off the top-left: source (1, 1) lands on (0, 0).
  EXPECT_EQ(StretchDIBits(c.dc, -1, -1, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            2);
  EXPECT_EQ(c.At(0, 0), kBlack);
  EXPECT_EQ(c.At(1, 0), kRed);
  EXPECT_EQ(c.At(0, 1), 0x050505u);
  // Off the bottom-right: only the top-left source pixel shows; far away, nothing.
  StretchDIBits(c.dc, 1, 1, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.At(1, 1), kRed);
  StretchDIBits(c.dc, 100000, -100000, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                DIB_RGB_COLORS, SRCCOPY);
  StretchDIBits(c.dc, INT32_MAX - 1, INT32_MAX - 1, INT32_MAX, INT32_MAX, 0, 0, 3, 2,
                dib.bits.data(), dib.Info(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kBlack, kRed, 0x050505u, kRed}));
}

TEST_F(Gdi, StretchDIBitsSourceRectanglePastTheDibDrawsOnlyTheDib) {
  Dib dib = Picture24(true);
  Canvas c(4, 2, RGB(5, 5, 5));
  // Source columns 2 and 3: only column 2 exists.
  StretchDIBits(c.dc, 0, 0, 2, 1, 2, 0, 2, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.At(0, 0), kBlue);
  EXPECT_EQ(c.At(1, 0), 0x050505u);
}

TEST_F(Gdi, StretchDIBitsHonoursThePaintClipBoxAndWindowOrigin) {
  Dib dib = Picture24(false);
  const RECT clip = {1, 0, 3, 2};
  Canvas c(4, 2, RGB(5, 5, 5), &clip);
  StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{0x050505u, kGreen, kBlue, 0x050505u, 0x050505u,
                                            kBlack, kRed, 0x050505u}));
  // Logical (10, 10) is device (0, 0) after SetWindowOrgEx(10, 10).
  Canvas o(3, 2);
  POINT previous = {-1, -1};
  EXPECT_TRUE(SetWindowOrgEx(o.dc, 10, 10, &previous));
  EXPECT_EQ(previous.x, 0);
  StretchDIBits(o.dc, 10, 10, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  ExpectPicture24At(o, 0, 0);
}

TEST_F(Gdi, StretchDIBitsRefusesWhatItCannotDraw) {
  Dib dib = Picture24(false);
  Canvas c(3, 2, RGB(5, 5, 5));
  const void* bits = dib.bits.data();
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, bits, dib.Info(), DIB_RGB_COLORS,
                          0x00EE0086 /* SRCPAINT */),
            0);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, bits, dib.Info(), DIB_PAL_COLORS, SRCCOPY),
            0);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, nullptr, dib.Info(), DIB_RGB_COLORS,
                          SRCCOPY),
            0);
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 3, 2, 0, 0, 3, 2, bits, dib.Info(), DIB_RGB_COLORS,
                          SRCCOPY),
            0);
  EXPECT_EQ(StretchDIBits(reinterpret_cast<HDC>(&dib), 0, 0, 3, 2, 0, 0, 3, 2, bits, dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  Dib rle = MakeDib(3, 2, 8, {RGBQUAD{}}, BI_RLE8);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, rle.bits.data(), rle.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  Dib odd = MakeDib(3, 2, 7);
  EXPECT_EQ(StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, odd.bits.data(), odd.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  EXPECT_EQ(c.At(0, 0), 0x050505u);
}

TEST_F(Gdi, PrinterCannotStretchDibsAndDrawsNothing) {
  HDC printer = platform::CreatePrinterDCForTests(8, 8);
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(GetDeviceCaps(printer, RASTERCAPS) & RC_STRETCHDIB, 0);
  EXPECT_EQ(GetDeviceCaps(printer, HORZRES), 8);
  Dib dib = Picture24(false);
  EXPECT_EQ(StretchDIBits(printer, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(),
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  PixelView page = platform::DCPixels(printer);
  ASSERT_NE(page.pixels, nullptr);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(page.At(x, y), kWhite);
  EXPECT_TRUE(DeleteDC(printer));
}

// --- SetDIBitsToDevice ------------------------------------------------------------

TEST_F(Gdi, SetDIBitsToDeviceCopiesAPartInTopDownPictureCoordinates) {
  // The picture's part left 1, top 0, right 3, bottom 1 of a bottom-up DIB:
  // source y = height - bottom (counted from the bottom).
  Dib dib = Picture24(false);
  Canvas c(2, 1);
  EXPECT_EQ(SetDIBitsToDevice(c.dc, 0, 0, 2, 1, 1, 2 - 1, 0, 2, dib.bits.data(), dib.Info(),
                              DIB_RGB_COLORS),
            2);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kGreen, kBlue}));
}

TEST_F(Gdi, SetDIBitsToDeviceDrawsOnlyTheScanLinesGiven) {
  // Bits hold only stored row 1 (the top row of a 2-row bottom-up DIB).
  Dib dib = Picture24(false);
  Canvas c(3, 2, RGB(5, 5, 5));
  EXPECT_EQ(SetDIBitsToDevice(c.dc, 0, 0, 3, 2, 0, 0, 1, 1, dib.StoredRow(1), dib.Info(),
                              DIB_RGB_COLORS),
            1);
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kRed, kGreen, kBlue, 0x050505u, 0x050505u,
                                            0x050505u}));
  // A first scan line past the DIB copies nothing.
  EXPECT_EQ(SetDIBitsToDevice(c.dc, 0, 0, 3, 2, 0, 0, 2, 1, dib.bits.data(), dib.Info(),
                              DIB_RGB_COLORS),
            0);
}

TEST_F(Gdi, SetDIBitsToDeviceWorksOnThePrinter) {
  HDC printer = platform::CreatePrinterDCForTests(4, 4);
  EXPECT_NE(GetDeviceCaps(printer, RASTERCAPS) & RC_DIBTODEV, 0);
  Dib dib = Picture24(true);
  EXPECT_EQ(SetDIBitsToDevice(printer, 1, 1, 3, 2, 0, 0, 0, 2, dib.bits.data(), dib.Info(),
                              DIB_RGB_COLORS),
            2);
  EXPECT_EQ(platform::DCPixels(printer).At(1, 1), kRed);
  DeleteDC(printer);
}

// --- Memory DCs, bitmaps, BitBlt ---------------------------------------------------------

TEST_F(Gdi, MemoryDcDrawsIntoItsBitmapAndBitBltCopiesIt) {
  Canvas screen(6, 4, RGB(5, 5, 5));
  HDC memory = CreateCompatibleDC(screen.dc);
  ASSERT_NE(memory, nullptr);
  HBITMAP off = CreateCompatibleBitmap(screen.dc, 3, 2);
  ASSERT_NE(off, nullptr);
  HGDIOBJ previous = SelectObject(memory, off);
  ASSERT_NE(previous, nullptr);  // the memory DC's 1 x 1 default bitmap
  Dib dib = Picture24(false);
  StretchDIBits(memory, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_TRUE(BitBlt(screen.dc, 2, 1, 3, 2, memory, 0, 0, SRCCOPY));
  ExpectPicture24At(screen, 2, 1);
  // A part of the source, and the source's window origin.
  SetWindowOrgEx(memory, 100, 100, nullptr);
  EXPECT_TRUE(BitBlt(screen.dc, 0, 0, 1, 1, memory, 102, 101, SRCCOPY));
  EXPECT_EQ(screen.At(0, 0), kRed);
  // Past the source's edge nothing is copied.
  EXPECT_TRUE(BitBlt(screen.dc, 0, 3, 2, 1, memory, 102, 100, SRCCOPY));
  EXPECT_EQ(screen.At(0, 3), kBlue);
  EXPECT_EQ(screen.At(1, 3), 0x050505u);
  EXPECT_FALSE(BitBlt(screen.dc, 0, 0, 1, 1, memory, 0, 0, 0x00EE0086 /* SRCPAINT */));
  EXPECT_FALSE(BitBlt(screen.dc, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
  // Deleting a selected bitmap fails; once deselected it works.
  EXPECT_FALSE(DeleteObject(off));
  EXPECT_EQ(SelectObject(memory, previous), off);
  EXPECT_TRUE(DeleteObject(off));
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_FALSE(DeleteDC(memory));  // stale handle
}

TEST_F(Gdi, BitBltWithinOneSurfaceCopiesAsIfAllAtOnce) {
  Canvas c(4, 1);
  Dib dib = MakeDib(4, 1, 24);
  Put24(dib.StoredRow(0), 0, kRed), Put24(dib.StoredRow(0), 1, kGreen);
  Put24(dib.StoredRow(0), 2, kBlue), Put24(dib.StoredRow(0), 3, kWhite);
  StretchDIBits(c.dc, 0, 0, 4, 1, 0, 0, 4, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  EXPECT_TRUE(BitBlt(c.dc, 1, 0, 3, 1, c.dc, 0, 0, SRCCOPY));
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kRed, kRed, kGreen, kBlue}));
}

TEST_F(Gdi, BitmapSelectionRules) {
  Canvas window(2, 2);
  HDC a = CreateCompatibleDC(nullptr);
  HDC b = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(a, 2, 2);
  HGDIOBJ first = SelectObject(a, bitmap);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(SelectObject(b, bitmap), nullptr);        // one DC at a time
  EXPECT_EQ(SelectObject(window.dc, bitmap), nullptr);  // window DCs take no bitmaps
  EXPECT_EQ(SelectObject(a, reinterpret_cast<HGDIOBJ>(&window)), nullptr);  // not a handle
  EXPECT_EQ(SelectObject(a, first), bitmap);
  // Deleting the DC releases what it had selected.
  SelectObject(b, bitmap);
  DeleteDC(b);
  EXPECT_TRUE(DeleteObject(bitmap));
  DeleteDC(a);
  // Zero size gives the shared 1 x 1 bitmap, which DeleteObject leaves alone.
  HDC screen = GetDC(nullptr);
  HBITMAP empty = CreateCompatibleBitmap(screen, 0, 5);
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(DeleteObject(empty));
  EXPECT_EQ(CreateCompatibleBitmap(screen, -1, 5), nullptr);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
}

TEST_F(Gdi, DibSectionOfEightBitsDrawsThroughItsColourTable) {
  Dib header = MakeDib(2, 2, 8, std::vector<RGBQUAD>(256, RGBQUAD{0, 0, 0, 0}));
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, header.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  ASSERT_NE(bits, nullptr);
  uint8_t* pixels = static_cast<uint8_t*>(bits);  // bottom-up, stride 4
  pixels[0] = 1, pixels[1] = 2;                   // bottom row
  pixels[4] = 2, pixels[5] = 1;                   // top row
  HDC memory = CreateCompatibleDC(nullptr);
  HGDIOBJ previous = SelectObject(memory, section);
  RGBQUAD colors[256] = {};
  colors[1] = RGBQUAD{0, 0, 255, 0};
  colors[2] = RGBQUAD{255, 0, 0, 0};
  EXPECT_EQ(SetDIBColorTable(memory, 0, 256, colors), 256u);
  EXPECT_EQ(SetDIBColorTable(memory, 250, 256, colors), 6u);  // only what the table holds
  Canvas c(2, 2);
  EXPECT_TRUE(BitBlt(c.dc, 0, 0, 2, 2, memory, 0, 0, SRCCOPY));
  EXPECT_EQ(c.All(), (std::vector<uint32_t>{kBlue, kRed, kRed, kBlue}));
  // Drawing onto an 8-bit section is not offered.
  EXPECT_EQ(StretchDIBits(memory, 0, 0, 2, 2, 0, 0, 2, 2, bits, header.Info(), DIB_RGB_COLORS,
                          SRCCOPY),
            0);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(section);
}

TEST_F(Gdi, ThirtyTwoBitDibSectionsAreDrawingTargetsEitherWayUp) {
  for (int height : {2, -2}) {
    Dib header = MakeDib(3, height, 32);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, header.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(memory, section);
    Dib dib = Picture24(false);
    StretchDIBits(memory, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                  SRCCOPY);
    // The top row of the picture is the first stored row only when top-down.
    const uint8_t* top = static_cast<uint8_t*>(bits) + (height < 0 ? 0 : 12);
    EXPECT_EQ(top[2], 0xFF);  // red
    EXPECT_EQ(top[1], 0x00);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(section);
  }
}

TEST_F(Gdi, CreateDIBSectionRefusesFileMappingsAndFailsWhenMemoryRunsOut) {
  Dib header = MakeDib(4, 4, 24);
  void* bits = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateDIBSection(nullptr, header.Info(), DIB_RGB_COLORS, &bits,
                             reinterpret_cast<HANDLE>(1), 0),
            nullptr);
  EXPECT_EQ(bits, nullptr);
  platform::FailNthGdiAllocation(1);
  EXPECT_EQ(CreateDIBSection(nullptr, header.Info(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  Dib huge = MakeDib(1, 1, 32);
  BITMAPINFOHEADER* hugeHeader = reinterpret_cast<BITMAPINFOHEADER*>(huge.info.data());
  hugeHeader->biWidth = 100000;  // 40 GB of pixels
  hugeHeader->biHeight = 100000;
  EXPECT_EQ(CreateDIBSection(nullptr, huge.Info(), DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  HBITMAP fine = CreateDIBSection(nullptr, header.Info(), DIB_RGB_COLORS, &bits, nullptr, 0);
  EXPECT_NE(fine, nullptr);
  DeleteObject(fine);
}

TEST_F(Gdi, CreateDIBitmapMakesAScreenBitmapOfTheDib) {
  HDC screen = GetDC(nullptr);
  Dib dib = Picture24(false);
  HBITMAP bitmap = CreateDIBitmap(screen, &dib.Info()->bmiHeader, CBM_INIT, dib.bits.data(),
                                  dib.Info(), DIB_RGB_COLORS);
  ASSERT_NE(bitmap, nullptr);
  PixelView v = platform::BitmapPixels(bitmap);
  ASSERT_EQ(v.width, 3);
  ASSERT_EQ(v.height, 2);
  EXPECT_EQ(v.At(0, 0), kRed);
  EXPECT_EQ(v.At(2, 0), kBlue);
  EXPECT_EQ(v.At(0, 1), kWhite);
  EXPECT_TRUE(DeleteObject(bitmap));
  // Without CBM_INIT the bitmap is made, pixels left black.
  bitmap = CreateDIBitmap(screen, &dib.Info()->bmiHeader, 0, nullptr, nullptr, 0);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(platform::BitmapPixels(bitmap).At(0, 0), kBlack);
  DeleteObject(bitmap);
  platform::FailNthGdiAllocation(1);
  EXPECT_EQ(CreateDIBitmap(screen, &dib.Info()->bmiHeader, CBM_INIT, dib.bits.data(), dib.Info(),
                           DIB_RGB_COLORS),
            nullptr);
  ReleaseDC(nullptr, screen);
}

// --- Device capabilities, DCs of the screen and of windows -----------------------------

HBITMAP lookedUpFramebuffer = nullptr;
HBITMAP LookUp(HWND) { return lookedUpFramebuffer; }

TEST_F(Gdi, ScreenIsATrueColourDeviceThatStretchesDibs) {
  platform::SetScreenSize(1280, 1024);
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  const int caps = GetDeviceCaps(screen, RASTERCAPS);
  EXPECT_NE(caps & RC_STRETCHDIB, 0);
  EXPECT_NE(caps & RC_BITBLT, 0);
  EXPECT_EQ(caps & RC_PALETTE, 0);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1280);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 1024);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 0);
  HDC memory = CreateCompatibleDC(screen);
  EXPECT_EQ(GetDeviceCaps(memory, HORZRES), 1280);
  DeleteDC(memory);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 1);
  EXPECT_EQ(ReleaseDC(nullptr, screen), 0);
  EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS), 0);  // stale
  platform::SetScreenSize(1024, 768);
}

TEST_F(Gdi, GetDcOfAWindowDrawsOnItsFramebuffer) {
  HBITMAP framebuffer = platform::CreateFramebuffer(4, 4);
  lookedUpFramebuffer = framebuffer;
  platform::SetWindowFramebufferLookup(&LookUp);
  HWND window = reinterpret_cast<HWND>(&lookedUpFramebuffer);
  HDC dc = GetDC(window);
  ASSERT_NE(dc, nullptr);
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  RECT all = {0, 0, 4, 4};
  EXPECT_NE(FillRect(dc, &all, brush), 0);
  EXPECT_EQ(platform::BitmapPixels(framebuffer).At(3, 3), kBlue);
  EXPECT_EQ(ReleaseDC(nullptr, dc), 0);  // not the window it came from
  // The framebuffer may be deleted while the DC still draws on it; it goes
  // with the DC.
  EXPECT_TRUE(DeleteObject(framebuffer));
  EXPECT_NE(FillRect(dc, &all, brush), 0);
  EXPECT_EQ(ReleaseDC(window, dc), 1);
  DeleteObject(brush);
  platform::SetWindowFramebufferLookup(nullptr);
  EXPECT_EQ(GetDC(window), nullptr);
}

TEST_F(Gdi, ClipBoxIsThePaintRectangleInLogicalCoordinates) {
  const RECT clip = {10, 20, 30, 25};
  Canvas c(100, 50, 0, &clip);
  RECT box;
  EXPECT_EQ(GetClipBox(c.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.top, 20);
  EXPECT_EQ(box.right, 30);
  EXPECT_EQ(box.bottom, 25);
  SetWindowOrgEx(c.dc, 10, 20, nullptr);
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.top, 40);
  Canvas whole(7, 3);
  GetClipBox(whole.dc, &box);
  EXPECT_EQ(box.right, 7);
  EXPECT_EQ(box.bottom, 3);
  const RECT outside = {50, 50, 60, 60};
  Canvas none(7, 3, 0, &outside);
  EXPECT_EQ(GetClipBox(none.dc, &box), NULLREGION);
  EXPECT_EQ(GetClipBox(nullptr, &box), ERROR);
}

TEST_F(Gdi, PaintInAMemoryDcWithTheClipBoxOriginThenBlitToTheWindow) {
  // The viewer's off-screen paint: a bitmap of the clip box's size whose
  // window origin is the clip box's corner, so drawing uses window pixels.
  const RECT clip = {2, 1, 5, 3};
  Canvas window(8, 4, RGB(5, 5, 5), &clip);
  RECT box;
  GetClipBox(window.dc, &box);
  HDC memory = CreateCompatibleDC(window.dc);
  HBITMAP off = CreateCompatibleBitmap(window.dc, box.right - box.left, box.bottom - box.top);
  HGDIOBJ previous = SelectObject(memory, off);
  SetWindowOrgEx(memory, box.left, box.top, nullptr);
  Dib dib = Picture24(false);
  StretchDIBits(memory, 2, 1, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  BitBlt(window.dc, box.left, box.top, box.right - box.left, box.bottom - box.top, memory,
         box.left, box.top, SRCCOPY);
  SelectObject(memory, previous);
  DeleteObject(off);
  DeleteDC(memory);
  ExpectPicture24At(window, 2, 1);
  EXPECT_EQ(window.At(1, 1), 0x050505u);
}

// --- Brushes, palettes -----------------------------------------------------------------

TEST_F(Gdi, FillRectLeavesTheRightAndBottomEdges) {
  Canvas c(4, 4);
  HBRUSH brush = CreateSolidBrush(RGB(0x7A, 0x7A, 0x7A));
  RECT r = {1, 1, 3, 3};
  EXPECT_NE(FillRect(c.dc, &r, brush), 0);
  EXPECT_EQ(c.At(1, 1), 0x7A7A7Au);
  EXPECT_EQ(c.At(2, 2), 0x7A7A7Au);
  EXPECT_EQ(c.At(3, 2), kBlack);
  EXPECT_EQ(c.At(2, 3), kBlack);
  RECT huge = {-100, -100, 100, 100};
  EXPECT_NE(FillRect(c.dc, &huge, brush), 0);
  EXPECT_EQ(c.At(3, 3), 0x7A7A7Au);
  EXPECT_EQ(FillRect(c.dc, &r, reinterpret_cast<HBRUSH>(6)), 0);  // not a brush
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(brush));
}

TEST_F(Gdi, PalettesAreRealObjectsThatChangeNoPixels) {
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    logical->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(16 * i), static_cast<BYTE>(4 * i),
                                           static_cast<BYTE>(i), 0};
  }
  HPALETTE palette = CreatePalette(logical);
  ASSERT_NE(palette, nullptr);
  Canvas c(3, 2);
  Dib dib = Picture24(false);
  HPALETTE previous = SelectPalette(c.dc, palette, FALSE);
  EXPECT_NE(previous, nullptr);
  EXPECT_EQ(RealizePalette(c.dc), 0u);
  PALETTEENTRY realised[256];
  EXPECT_EQ(platform::LastRealizedPaletteEntries(realised, 256), 256);
  EXPECT_EQ(realised[3].peRed, 48);
  StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  ExpectPicture24At(c, 0, 0);
  EXPECT_FALSE(DeleteObject(palette));  // still selected
  EXPECT_EQ(SelectPalette(c.dc, previous, FALSE), palette);
  EXPECT_TRUE(DeleteObject(palette));
  logical->palVersion = 0x200;
  EXPECT_EQ(CreatePalette(logical), nullptr);
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
  EXPECT_EQ(RealizePalette(nullptr), static_cast<UINT>(GDI_ERROR));
}

// --- Text ------------------------------------------------------------------------------

// The bounding box of the pixels that differ from `background`.
struct Ink {
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  int exact = 0;  // pixels exactly of the text colour
  bool Any() const { return right >= 0; }
};
Ink InkOf(const Canvas& c, uint32_t background, uint32_t text) {
  Ink ink;
  PixelView v = platform::BitmapPixels(c.framebuffer);
  for (int y = 0; y < v.height; ++y) {
    for (int x = 0; x < v.width; ++x) {
      const uint32_t p = v.At(x, y);
      if (p == background) continue;
      ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
      if (p == text) ++ink.exact;
    }
  }
  return ink;
}

HFONT ListFont() {
  return CreateFontA(-12, 0, 0, 0, FW_EXTRALIGHT, FALSE, FALSE, FALSE, ANSI_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, "Arial");
}

TEST_F(Gdi, ArialResolvesToItsMetricCompatibleSubstitute) {
  HFONT font = ListFont();
  EXPECT_EQ(platform::FontFamilyOf(font), "Liberation Sans");
  DeleteObject(font);
  EXPECT_EQ(platform::FontFamilyOf(font), "");
}

TEST_F(Gdi, TextOutPutsTextColouredPixelsInTheTextCell) {
  Canvas c(200, 40, RGB(255, 255, 255));
  HFONT font = ListFont();
  HGDIOBJ previous = SelectObject(c.dc, font);
  SetBkMode(c.dc, TRANSPARENT);
  SetTextColor(c.dc, RGB(0x40, 0x40, 0x40));
  SIZE extent;
  ASSERT_TRUE(GetTextExtentPoint32A(c.dc, "Tessary Hill", 12, &extent));
  EXPECT_GT(extent.cx, 40);
  EXPECT_LT(extent.cx, 90);
  EXPECT_GE(extent.cy, 13);  // a 12-pixel character height plus leading
  EXPECT_LE(extent.cy, 16);
  EXPECT_TRUE(TextOutA(c.dc, 10, 5, "Tessary Hill", 12));
  Ink ink = InkOf(c, kWhite, 0x404040);
  ASSERT_TRUE(ink.Any());
  EXPECT_GT(ink.exact, 10);
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 10 + extent.cx);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 5 + extent.cy);
  // Capitals reach near the top of the cell; nothing hangs below "Hill" but y.
  EXPECT_LE(ink.top, 5 + 4);
  SelectObject(c.dc, previous);
  DeleteObject(font);
}

TEST_F(Gdi, TextAlignCentreCentresOnX) {
  Canvas c(300, 30, RGB(255, 255, 255));
  SetBkMode(c.dc, TRANSPARENT);
  SetTextAlign(c.dc, TA_CENTER);
  EXPECT_EQ(SetTextAlign(c.dc, TA_CENTER), static_cast<UINT>(TA_CENTER));
  TextOutA(c.dc, 150, 2, "IMG_0042.JPG", 12);
  Ink ink = InkOf(c, kWhite, kBlack);
  ASSERT_TRUE(ink.Any());
  EXPECT_GT(ink.exact, 0);
  const int centre = (ink.left + ink.right + 1) / 2;
  EXPECT_NEAR(centre, 150, 3);
}

TEST_F(Gdi, OpaqueTextFillsItsCellWithTheBackgroundColour) {
  Canvas c(100, 30, RGB(255, 255, 255));
  SetBkColor(c.dc, RGB(0, 0, 255));
  SIZE extent;
  GetTextExtentPoint32A(c.dc, "ab", 2, &extent);
  TextOutA(c.dc, 3, 4, "ab", 2);
  EXPECT_EQ(c.At(3, 4), kBlue);
  EXPECT_EQ(c.At(3 + extent.cx - 1, 4 + extent.cy - 1), kBlue);
  EXPECT_EQ(c.At(3 + extent.cx, 4), kWhite);
  EXPECT_EQ(c.At(2, 4), kWhite);
}

TEST_F(Gdi, DrawTextCentresASingleLineBothWays) {
  Canvas c(200, 60, RGB(255, 255, 255));
  HFONT font = ListFont();
  HGDIOBJ previous = SelectObject(c.dc, font);
  SetBkMode(c.dc, TRANSPARENT);
  RECT box = {20, 10, 180, 50};
  const int height = DrawTextA(c.dc, "HHHH", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EXPECT_GT(height, 0);
  Ink ink = InkOf(c, kWhite, kBlack);
  ASSERT_TRUE(ink.Any());
  EXPECT_NEAR((ink.left + ink.right + 1) / 2, 100, 2);
  // Capitals sit above the baseline: their centre is a little above the box's.
  EXPECT_NEAR((ink.top + ink.bottom + 1) / 2, 30, 3);
  EXPECT_GE(ink.left, 20);
  EXPECT_LE(ink.right, 180);
  SelectObject(c.dc, previous);
  DeleteObject(font);
}

TEST_F(Gdi, DrawTextWrapsAtWordsWithinTheRectangle) {
  Canvas c(300, 300, RGB(255, 255, 255));
  SetBkMode(c.dc, TRANSPARENT);
  RECT box = {30, 20, 130, 280};
  const char* text = "one two three four five six seven eight nine ten";
  RECT measured = box;
  const int calculated = DrawTextA(c.dc, text, -1, &measured, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
  EXPECT_EQ(InkOf(c, kWhite, kBlack).Any(), false);  // DT_CALCRECT draws nothing
  EXPECT_LE(measured.right, 130);
  const int height = DrawTextA(c.dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
  EXPECT_EQ(height, calculated);
  SIZE line;
  GetTextExtentPoint32A(c.dc, "Hg", 2, &line);
  EXPECT_GE(height, 3 * line.cy);  // several lines
  Ink ink = InkOf(c, kWhite, kBlack);
  ASSERT_TRUE(ink.Any());
  EXPECT_GE(ink.left, 30);
  EXPECT_LE(ink.right, 130);
  // Several lines are not centred vertically (DT_VCENTER needs DT_SINGLELINE).
  EXPECT_LT(ink.top, 20 + line.cy);
  EXPECT_LE(ink.bottom, 20 + height);
  // Explicit line breaks break lines too.
  Canvas d(100, 100, RGB(255, 255, 255));
  SetBkMode(d.dc, TRANSPARENT);
  RECT small = {0, 0, 100, 100};
  EXPECT_EQ(DrawTextA(d.dc, "a\r\nb\nc", -1, &small, DT_LEFT), 3 * line.cy);
}

TEST_F(Gdi, DrawTextClipsToItsRectangleAndStripsPrefixes) {
  Canvas c(200, 40, RGB(255, 255, 255));
  SetBkMode(c.dc, TRANSPARENT);
  RECT box = {10, 0, 30, 40};
  DrawTextA(c.dc, "WWWWWWWWWWWW", -1, &box, DT_SINGLELINE | DT_VCENTER);
  Ink ink = InkOf(c, kWhite, kBlack);
  ASSERT_TRUE(ink.Any());
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 29);
  SIZE withAmpersand, without;
  GetTextExtentPoint32A(c.dc, "A&B", 3, &withAmpersand);
  GetTextExtentPoint32A(c.dc, "AB", 2, &without);
  RECT measure = {0, 0, 200, 40};
  DrawTextA(c.dc, "A&B", -1, &measure, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(measure.right, without.cx);
  measure = RECT{0, 0, 200, 40};
  DrawTextA(c.dc, "A&&B", -1, &measure, DT_SINGLELINE | DT_CALCRECT);
  EXPECT_EQ(measure.right, withAmpersand.cx);
}

TEST_F(Gdi, TextInUtf8AndInWindows1252MeasureTheSame) {
  HDC screen = GetDC(nullptr);
  SIZE utf8, latin;
  EXPECT_TRUE(GetTextExtentPoint32A(screen, "caf\xC3\xA9", 5, &utf8));
  EXPECT_TRUE(GetTextExtentPoint32A(screen, "caf\xE9", 4, &latin));
  EXPECT_EQ(utf8.cx, latin.cx);
  SIZE plain;
  GetTextExtentPoint32A(screen, "cafe", 4, &plain);
  EXPECT_NEAR(plain.cx, utf8.cx, 1);
  ReleaseDC(nullptr, screen);
}

// The pixels of `text` drawn black on white with the list font at (4, 4).
constexpr int kTextCanvasWidth = 160;
std::vector<uint32_t> TextPixels(const char* text, SIZE* extent = nullptr) {
  Canvas c(kTextCanvasWidth, 30, RGB(255, 255, 255));
  HFONT font = ListFont();
  HGDIOBJ previous = SelectObject(c.dc, font);
  SetBkMode(c.dc, TRANSPARENT);
  const int length = static_cast<int>(std::strlen(text));
  EXPECT_TRUE(TextOutA(c.dc, 4, 4, text, length));
  if (extent != nullptr) GetTextExtentPoint32A(c.dc, text, length, extent);
  std::vector<uint32_t> pixels = c.All();
  SelectObject(c.dc, previous);
  DeleteObject(font);
  return pixels;
}

int InkCount(const std::vector<uint32_t>& pixels) {
  return static_cast<int>(
      std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return p != kWhite; }));
}

Ink InkBounds(const std::vector<uint32_t>& pixels) {
  Ink ink;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (pixels[i] == kWhite) continue;
    const int x = static_cast<int>(i % kTextCanvasWidth);
    const int y = static_cast<int>(i / kTextCanvasWidth);
    ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
    ink.top = std::min(ink.top, y), ink.bottom = std::max(ink.bottom, y);
  }
  return ink;
}

// True when fontconfig knows an installed font with the character.
bool SomeFontHas(FcChar32 character) {
  FcCharSet* wanted = FcCharSetCreate();
  FcCharSetAddChar(wanted, character);
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
  FcObjectSet* fields = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* found = FcFontList(nullptr, pattern, fields);
  const bool any = found != nullptr && found->nfont > 0;
  if (found != nullptr) FcFontSetDestroy(found);
  FcObjectSetDestroy(fields);
  FcPatternDestroy(pattern);
  FcCharSetDestroy(wanted);
  return any;
}

TEST_F(Gdi, CharactersTheFontLacksComeFromFallbackFonts) {
  ASSERT_TRUE(SomeFontHas(0x6F22)) << "no CJK font installed (tools/install-deps.sh installs one)";
  // U+FFFF is in no font: it draws the chosen face's missing-glyph box.
  const std::vector<uint32_t> box = TextPixels("\xEF\xBF\xBF");
  ASSERT_GT(InkCount(box), 0);
  const struct {
    const char* name;
    FcChar32 character;
    const char* utf8;
  } rows[] = {{"kanji", 0x6F22, "\xE6\xBC\xA2"}, {"hanzi", 0x5B57, "\xE5\xAD\x97"},
              {"hangul", 0xD55C, "\xED\x95\x9C"}, {"hiragana", 0x3042, "\xE3\x81\x82"},
              {"emoji", 0x1F600, "\xF0\x9F\x98\x80"}};
  std::vector<std::vector<uint32_t>> drawn;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (!SomeFontHas(row.character)) {
      ADD_FAILURE() << "no installed font has it";
      continue;
    }
    SIZE extent;
    drawn.push_back(TextPixels(row.utf8, &extent));
    EXPECT_GT(InkCount(drawn.back()), 10);
    EXPECT_NE(drawn.back(), box);
    EXPECT_GE(extent.cx, 8);  // a CJK character is about as wide as it is high
    for (size_t other = 0; other + 1 < drawn.size(); ++other) EXPECT_NE(drawn.back(), drawn[other]);
  }
}

TEST_F(Gdi, CombiningMarksJoinTheirLetter) {
  // Decomposed forms (as macOS names files) draw exactly as the composed ones.
  const struct {
    const char* decomposed;
    const char* composed;
  } rows[] = {{"Cafe\xCC\x81", "Caf\xC3\xA9"},
              {"Zu\xCC\x88rich", "Z\xC3\xBCrich"},
              {"A\xCC\x8A" "ngstro\xCC\x88m", "\xC3\x85ngstr\xC3\xB6m"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.composed);
    EXPECT_EQ(TextPixels(row.decomposed), TextPixels(row.composed));
  }
  // A mark with no composed form sits above its letter, inside the letter's
  // cell, not after it.
  SIZE marked;
  const Ink q = InkBounds(TextPixels("q"));
  const Ink qAcute = InkBounds(TextPixels("q\xCC\x81", &marked));
  ASSERT_TRUE(q.Any() && qAcute.Any());
  EXPECT_LE(qAcute.right - qAcute.left + 1, marked.cx + 1);
  EXPECT_LT(qAcute.top, q.top - 1);
}

// Runs of inked columns (left to right) in rows [top, bottom) of a canvas
// drawn on white (all rows when bottom is 0).
std::vector<Ink> InkColumns(const Canvas& c, int top = 0, int bottom = 0) {
  PixelView v = platform::BitmapPixels(c.framebuffer);
  if (bottom == 0) bottom = v.height;
  std::vector<Ink> runs;
  bool inRun = false;
  for (int x = 0; x < v.width; ++x) {
    Ink column;
    for (int y = top; y < bottom; ++y) {
      if (v.At(x, y) == kWhite) continue;
      column.left = column.right = x;
      column.top = std::min(column.top, y), column.bottom = std::max(column.bottom, y);
    }
    if (!column.Any()) {
      inRun = false;
    } else if (inRun) {
      Ink& run = runs.back();
      run.right = x;
      run.top = std::min(run.top, column.top);
      run.bottom = std::max(run.bottom, column.bottom);
    } else {
      runs.push_back(column);
      inRun = true;
    }
  }
  return runs;
}

// The ink ends in three dots of plain text: an ellipsis.
bool EndsInEllipsis(const std::vector<Ink>& runs) { return testing_support::EndsInEllipsis(runs, 3); }

TEST_F(Gdi, DrawTextEndEllipsisCutsLinesToTheirRectangle) {
  const char* name = "PXL_20240612_093512345.MP.jpg";
  const struct {
    const char* what;
    UINT format;
    int boxWidth;
    bool ellipsis;  // expected at the end of the ink
  } rows[] = {{"too long, left", DT_SINGLELINE | DT_END_ELLIPSIS, 100, true},
              {"too long, centred", DT_SINGLELINE | DT_CENTER | DT_END_ELLIPSIS, 120, true},
              {"too long, no flag", DT_SINGLELINE, 100, false},
              {"fits", DT_SINGLELINE | DT_END_ELLIPSIS, 300, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Canvas c(320, 30, RGB(255, 255, 255));
    HFONT font = ListFont();
    HGDIOBJ previous = SelectObject(c.dc, font);
    SetBkMode(c.dc, TRANSPARENT);
    RECT box = {10, 4, 10 + row.boxWidth, 26};
    DrawTextA(c.dc, name, -1, &box, row.format);
    const std::vector<Ink> runs = InkColumns(c);
    ASSERT_FALSE(runs.empty());
    EXPECT_GE(runs.front().left, 10);
    EXPECT_LT(runs.back().right, 10 + row.boxWidth);
    EXPECT_EQ(EndsInEllipsis(runs), row.ellipsis);
    SelectObject(c.dc, previous);
    DeleteObject(font);
  }
}

TEST_F(Gdi, WrappedTextEndsWithAnEllipsisOnItsLastWholeLine) {
  Canvas c(200, 200, RGB(255, 255, 255));
  SetBkMode(c.dc, TRANSPARENT);
  SIZE line;
  GetTextExtentPoint32A(c.dc, "Hg", 2, &line);
  // Two whole lines and part of a third fit.
  RECT box = {10, 10, 150, 10 + 2 * line.cy + line.cy / 2};
  const char* text = "one two three four five six seven eight nine ten eleven twelve";
  const int height =
      DrawTextA(c.dc, text, -1, &box, DT_CENTER | DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS);
  EXPECT_EQ(height, 2 * line.cy);
  Ink ink = InkOf(c, kWhite, kBlack);
  ASSERT_TRUE(ink.Any());
  EXPECT_LT(ink.bottom, 10 + 2 * line.cy);  // the partial third line is not drawn
  EXPECT_FALSE(EndsInEllipsis(InkColumns(c, 10, 10 + line.cy)));
  EXPECT_TRUE(EndsInEllipsis(InkColumns(c, 10 + line.cy, 10 + 2 * line.cy)));
}

TEST_F(Gdi, TextCallsRefuseBadArguments) {
  Canvas c(10, 10);
  SIZE size;
  EXPECT_FALSE(GetTextExtentPoint32A(nullptr, "a", 1, &size));
  EXPECT_FALSE(TextOutA(c.dc, 0, 0, nullptr, 3));
  EXPECT_EQ(DrawTextA(c.dc, "a", 1, nullptr, 0), 0);
  EXPECT_EQ(SetBkMode(c.dc, 7), 0);
  EXPECT_EQ(SetTextColor(nullptr, 0), CLR_INVALID);
  EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
  EXPECT_TRUE(TextOutA(c.dc, 0, 0, "", 0));
}

// --- Icons, PNG snapshots -----------------------------------------------------------------

TEST_F(Gdi, DrawIconBlendsByAlpha) {
  std::vector<uint8_t> pixels(32 * 32 * 4, 0);
  for (int i = 0; i < 32 * 32; ++i) {
    pixels[i * 4 + 2] = 255;                          // red
    pixels[i * 4 + 3] = i < 32 ? 255 : i < 64 ? 128 : 0;  // row 0 opaque, row 1 half
  }
  HICON icon = platform::CreateIconFromPixels(32, 32, pixels.data());
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(platform::IconSize(icon).cx, 32);
  Canvas c(40, 40, RGB(0, 0, 255));
  EXPECT_TRUE(DrawIcon(c.dc, 4, 4, icon));
  EXPECT_EQ(c.At(4, 4), kRed);
  EXPECT_EQ(c.At(35, 4), kRed);
  EXPECT_EQ(c.At(4, 5), 0x80007Fu);
  EXPECT_EQ(c.At(4, 6), kBlue);
  EXPECT_EQ(c.At(3, 4), kBlue);
  EXPECT_TRUE(DrawIcon(c.dc, 30, 30, icon));  // clipped
  EXPECT_FALSE(DrawIcon(c.dc, 0, 0, nullptr));
  platform::DestroyIconObject(icon);
  EXPECT_FALSE(DrawIcon(c.dc, 0, 0, icon));
  EXPECT_EQ(platform::CreateIconFromPixels(0, 32, pixels.data()), nullptr);
}

TEST_F(Gdi, SavedPngHoldsTheFramebuffer) {
  Canvas c(3, 2);
  Dib dib = Picture24(false);
  StretchDIBits(c.dc, 0, 0, 3, 2, 0, 0, 3, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS,
                SRCCOPY);
  const std::string path = testing_support::TempDir() + "/window.png";
  ASSERT_TRUE(headless::SavePixelsAsPng(platform::DCPixels(c.dc), path));
  auto decoded = testing_support::ReferenceDecode(path);
  ASSERT_TRUE(decoded.has_value());
  ASSERT_EQ(decoded->width, 3u);
  ASSERT_EQ(decoded->height, 2u);
  const std::vector<uint8_t> expected = {255, 0, 0, 0, 255, 0, 0, 0, 255,
                                         255, 255, 255, 0, 0, 0, 255, 0, 0};
  EXPECT_EQ(decoded->rgb, expected);
  EXPECT_FALSE(headless::SavePixelsAsPng(platform::DCPixels(c.dc), "/nonexistent/dir/x.png"));
  EXPECT_FALSE(headless::SavePixelsAsPng(PixelView(), path));
}

TEST_F(Gdi, HandlesOfOneKindAreRefusedAsAnother) {
  HBRUSH brush = CreateSolidBrush(0);
  EXPECT_EQ(GetDeviceCaps(reinterpret_cast<HDC>(brush), RASTERCAPS), 0);
  EXPECT_FALSE(DeleteDC(reinterpret_cast<HDC>(brush)));
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(dc)));
  EXPECT_EQ(SelectPalette(dc, brush, FALSE), nullptr);
  EXPECT_EQ(platform::BitmapPixels(brush).pixels, nullptr);
  DeleteDC(dc);
  DeleteObject(brush);
}

}  // namespace
