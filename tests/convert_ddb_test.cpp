// Screen bitmaps from RGB buffers and packed DIBs (RgbToDdb, DibToDdb) and
// drawing a buffer (DrawRgb): pixels read back from the bitmaps and
// framebuffers, palettes on true-colour and palette screens, error codes,
// out-of-memory paths, and nothing left behind.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/test_hooks.h"

namespace {

class Screen : public ::testing::Test {
 protected:
  void SetUp() override {
    gdi_ = platform::LiveGdiObjects();
    global_ = platform::LiveGlobalBlocks();
    depth_ = GetThreadState().operationDepth;
  }
  void TearDown() override {
    platform::SetScreenIsPaletteDeviceForTests(false);
    EXPECT_EQ(platform::LiveGdiObjects(), gdi_);
    EXPECT_EQ(platform::LiveGlobalBlocks(), global_);
    EXPECT_EQ(GetThreadState().operationDepth, depth_);
  }
  int64_t gdi_ = 0, global_ = 0;
  int32_t depth_ = 0;
};

// A picture whose every pixel differs: (x, y) -> red x * 40, green y * 50, blue 7 + x + y.
std::vector<uint8_t> Gradient(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 40), p[1] = static_cast<uint8_t>(y * 50);
      p[2] = static_cast<uint8_t>(7 + x + y);
    }
  }
  return rgb;
}

uint32_t Expected(const std::vector<uint8_t>& rgb, int width, int x, int y) {
  const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  return static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
}

void ExpectBitmapHolds(HBITMAP bitmap, const std::vector<uint8_t>& rgb, int width, int height) {
  platform::PixelView view = platform::BitmapPixels(bitmap);
  ASSERT_NE(view.pixels, nullptr);
  ASSERT_EQ(view.width, width);
  ASSERT_EQ(view.height, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      ASSERT_EQ(view.At(x, y), Expected(rgb, width, x, y)) << x << "," << y;
}

HPALETTE MakePalette(int entries, BYTE seed) {
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + entries * sizeof(PALETTEENTRY));
  auto* logical = reinterpret_cast<LOGPALETTE*>(storage.data());
  logical->palVersion = 0x300;
  logical->palNumEntries = static_cast<WORD>(entries);
  for (int i = 0; i < entries; ++i) {
    logical->palPalEntry[i] = PALETTEENTRY{static_cast<BYTE>(seed + i), 0, 0, 0};
  }
  return CreatePalette(logical);
}

// --- RgbToDdb ----------------------------------------------------------------------

TEST_F(Screen, RgbToDdbMakesAScreenBitmapOfThePicture) {
  for (int width : {1, 2, 3, 5}) {
    SCOPED_TRACE(width);
    const std::vector<uint8_t> rgb = Gradient(width, 4);
    HBITMAP bitmap = RgbToDdb(rgb.data(), width, 4, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(GetLastImageError(), kPelornOk);
    ExpectBitmapHolds(bitmap, rgb, width, 4);
    EXPECT_TRUE(DeleteObject(bitmap));
  }
}

TEST_F(Screen, RgbToDdbWithAPaletteOnATrueColourScreenStillMakesTheBitmap) {
  HPALETTE palette = MakePalette(16, 100);
  const std::vector<uint8_t> rgb = Gradient(3, 3);
  HBITMAP bitmap = RgbToDdb(rgb.data(), 3, 3, palette);
  ASSERT_NE(bitmap, nullptr);
  ExpectBitmapHolds(bitmap, rgb, 3, 3);
  // The caller's palette was realised while the bitmap was made, and stays theirs.
  PALETTEENTRY realised[16];
  ASSERT_EQ(platform::LastRealizedPaletteEntries(realised, 16), 16);
  EXPECT_EQ(realised[5].peRed, 105);
  EXPECT_TRUE(DeleteObject(palette));  // not left selected anywhere
  DeleteObject(bitmap);
}

TEST_F(Screen, RgbToDdbRefusesAMissingBufferAndImpossibleSizes) {
  EXPECT_EQ(RgbToDdb(nullptr, 2, 2, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  const uint8_t pixel[3] = {1, 2, 3};
  // Far more than a DIB can describe: refused before any byte is read.
  EXPECT_EQ(RgbToDdb(pixel, 100000, 100000, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  EXPECT_EQ(RgbToDdb(pixel, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
}

TEST_F(Screen, RgbToDdbOutOfMemoryForTheTemporaryDib) {
  const std::vector<uint8_t> rgb = Gradient(4, 4);
  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(RgbToDdb(rgb.data(), 4, 4, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
}

TEST_F(Screen, RgbToDdbWhoseBitmapCannotBeMadeReturnsNoneWithCodeZero) {
  const std::vector<uint8_t> rgb = Gradient(4, 4);
  platform::FailNthGdiAllocation(1);
  EXPECT_EQ(RgbToDdb(rgb.data(), 4, 4, nullptr), nullptr);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
}

TEST_F(Screen, RgbToDdbOnAPaletteScreenGivesATwentyFourBitDibNoPaletteOfItsOwn) {
  platform::SetScreenIsPaletteDeviceForTests(true);
  // Mark what was realised last; a 24-bit picture (2^24 colours) builds none.
  HPALETTE marker = MakePalette(3, 0);
  HDC screen = GetDC(nullptr);
  HPALETTE previous = SelectPalette(screen, marker, FALSE);
  RealizePalette(screen);
  SelectPalette(screen, previous, FALSE);
  ReleaseDC(nullptr, screen);
  const std::vector<uint8_t> rgb = Gradient(2, 2);
  HBITMAP bitmap = RgbToDdb(rgb.data(), 2, 2, nullptr);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(platform::LastRealizedPaletteEntries(nullptr, 0), 3);
  ExpectBitmapHolds(bitmap, rgb, 2, 2);
  DeleteObject(bitmap);
  DeleteObject(marker);
}

// --- DibToDdb --------------------------------------------------------------------------

// A packed 8-bit DIB, 2 x 2, biClrUsed 0 (all 256 colours): entry i is
// (red i, green 255 - i, blue 3).
std::vector<uint8_t> EightBitDib() {
  std::vector<uint8_t> dib(40 + 256 * 4 + 8);
  BITMAPINFOHEADER header = {};
  header.biSize = 40;
  header.biWidth = 2;
  header.biHeight = 2;
  header.biPlanes = 1;
  header.biBitCount = 8;
  std::memcpy(dib.data(), &header, 40);
  for (int i = 0; i < 256; ++i) {
    RGBQUAD c = {3, static_cast<BYTE>(255 - i), static_cast<BYTE>(i), 0};
    std::memcpy(&dib[40 + i * 4], &c, 4);
  }
  uint8_t* rows = &dib[40 + 1024];
  rows[0] = 10, rows[1] = 20;  // bottom row
  rows[4] = 30, rows[5] = 40;  // top row
  return dib;
}

TEST_F(Screen, DibToDdbOnAPaletteScreenRealisesThe256ColoursOfAnEightBitDib) {
  platform::SetScreenIsPaletteDeviceForTests(true);
  const std::vector<uint8_t> dib = EightBitDib();
  PelornCodec codec;
  HBITMAP bitmap = codec.DibToDdb(dib.data(), nullptr);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOk);
  std::vector<PALETTEENTRY> realised(300);
  ASSERT_EQ(platform::LastRealizedPaletteEntries(realised.data(), 300), 256);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(realised[i].peRed, i);
    ASSERT_EQ(realised[i].peGreen, 255 - i);
    ASSERT_EQ(realised[i].peBlue, 3);
    ASSERT_EQ(realised[i].peFlags, 0);
  }
  platform::PixelView view = platform::BitmapPixels(bitmap);
  EXPECT_EQ(view.At(0, 0), (30u << 16) | ((255u - 30) << 8) | 3u);
  EXPECT_EQ(view.At(1, 1), (20u << 16) | ((255u - 20) << 8) | 3u);
  DeleteObject(bitmap);  // the palette it made is gone already (fixture counts)
}

TEST_F(Screen, DibToDdbOnATrueColourScreenBuildsNoPalette) {
  HPALETTE marker = MakePalette(3, 0);
  HDC screen = GetDC(nullptr);
  HPALETTE previous = SelectPalette(screen, marker, FALSE);
  RealizePalette(screen);
  SelectPalette(screen, previous, FALSE);
  ReleaseDC(nullptr, screen);
  const std::vector<uint8_t> dib = EightBitDib();
  PelornCodec codec;
  HBITMAP bitmap = codec.DibToDdb(dib.data(), nullptr);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(platform::LastRealizedPaletteEntries(nullptr, 0), 3);
  DeleteObject(bitmap);
  DeleteObject(marker);
}

TEST_F(Screen, DibToDdbPaletteDescriptionOutOfMemory) {
  platform::SetScreenIsPaletteDeviceForTests(true);
  const std::vector<uint8_t> dib = EightBitDib();
  PelornCodec codec;
  pelorn::FailNthPlainAllocation(1);
  EXPECT_EQ(codec.DibToDdb(dib.data(), nullptr), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornOutOfMemory);
}

TEST_F(Screen, DibToDdbRefusesAMissingDib) {
  PelornCodec codec;
  EXPECT_EQ(codec.DibToDdb(nullptr, nullptr), nullptr);
  EXPECT_EQ(codec.errorCode, kPelornBadParam);
}

// --- DrawRgb ------------------------------------------------------------------------------

struct Canvas {
  HBITMAP framebuffer;
  HDC dc;
  Canvas(int w, int h)
      : framebuffer(platform::CreateFramebuffer(w, h, RGB(5, 5, 5))),
        dc(platform::CreateWindowDC(framebuffer)) {}
  ~Canvas() {
    DeleteDC(dc);
    DeleteObject(framebuffer);
  }
  uint32_t At(int x, int y) const { return platform::BitmapPixels(framebuffer).At(x, y); }
};

TEST_F(Screen, DrawRgbDrawsThePictureAtItsOwnSize) {
  const std::vector<uint8_t> rgb = Gradient(3, 2);
  Canvas c(6, 4);
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 3, 2, 2, 1, 3, 2), 1);
  EXPECT_EQ(GetLastImageError(), kPelornOk);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(c.At(2 + x, 1 + y), Expected(rgb, 3, x, y));
  EXPECT_EQ(c.At(1, 1), 0x050505u);
  EXPECT_EQ(c.At(5, 1), 0x050505u);
  EXPECT_EQ(c.At(2, 3), 0x050505u);
}

TEST_F(Screen, DrawRgbWithDoubleDestinationDrawsDoubleSize) {
  const std::vector<uint8_t> rgb = Gradient(3, 2);
  Canvas c(8, 6);
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 3, 2, 1, 1, 6, 4), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(c.At(1 + x, 1 + y), Expected(rgb, 3, x / 2, y / 2)) << x << "," << y;
  EXPECT_EQ(c.At(7, 1), 0x050505u);
  EXPECT_EQ(c.At(1, 5), 0x050505u);
  EXPECT_EQ(c.At(0, 0), 0x050505u);
}

TEST_F(Screen, DrawRgbOnAPrinterThatCannotStretchFailsWithCode26AndDrawsNothing) {
  HDC printer = platform::CreatePrinterDCForTests(16, 16);
  const std::vector<uint8_t> rgb = Gradient(3, 2);
  EXPECT_EQ(DrawRgb(printer, rgb.data(), 3, 2, 0, 0, 3, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornCannotStretch);
  platform::PixelView page = platform::DCPixels(printer);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(page.At(x, y), 0xFFFFFFu);
  // The device is checked before the size.
  EXPECT_EQ(DrawRgb(printer, rgb.data(), 0, 2, 0, 0, 3, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornCannotStretch);
  DeleteDC(printer);
}

TEST_F(Screen, DrawRgbErrorCodes) {
  const std::vector<uint8_t> rgb = Gradient(2, 2);
  Canvas c(4, 4);
  EXPECT_EQ(DrawRgb(c.dc, nullptr, 2, 2, 0, 0, 2, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  EXPECT_EQ(DrawRgb(nullptr, rgb.data(), 2, 2, 0, 0, 2, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornBadParam);
  // No conversion block for an empty or negative size.
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 0, 2, 0, 0, 2, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 2, -2, 0, 0, 2, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  platform::FailNthGlobalAlloc(1);
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 2, 2, 0, 0, 2, 2), 0);
  EXPECT_EQ(GetLastImageError(), kPelornOutOfMemory);
  EXPECT_EQ(c.At(0, 0), 0x050505u);
  // Drawn but every pixel clipped away still reports the scan lines.
  EXPECT_EQ(DrawRgb(c.dc, rgb.data(), 2, 2, 100, 100, 2, 2), 1);
}

TEST_F(Screen, DrawRgbThroughAMemoryDcWithPalette) {
  // The viewer's paint: a palette selected and realised in the memory DC,
  // the picture drawn there, the result copied to the window.
  const std::vector<uint8_t> rgb = Gradient(4, 3);
  Canvas window(8, 8);
  HDC memory = CreateCompatibleDC(window.dc);
  HBITMAP off = CreateCompatibleBitmap(window.dc, 8, 8);
  HGDIOBJ previousBitmap = SelectObject(memory, off);
  HPALETTE palette = MakePalette(256, 0);
  HPALETTE previousPalette = SelectPalette(memory, palette, FALSE);
  RealizePalette(memory);
  EXPECT_EQ(DrawRgb(memory, rgb.data(), 4, 3, 2, 2, 4, 3), 1);
  BitBlt(window.dc, 0, 0, 8, 8, memory, 0, 0, SRCCOPY);
  EXPECT_EQ(window.At(2, 2), Expected(rgb, 4, 0, 0));
  EXPECT_EQ(window.At(5, 4), Expected(rgb, 4, 3, 2));
  SelectPalette(memory, previousPalette, FALSE);
  SelectObject(memory, previousBitmap);
  DeleteObject(palette);
  DeleteObject(off);
  DeleteDC(memory);
}

}  // namespace
