// A big screen's zoom: the rule that picks it from what the desktop reports,
// pointer coordinates mapped back to the design, and the software renderer
// drawing pictures and text onto device pixels (the skin's enlargement is
// checked on screen by the desktop test).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/display_zoom.h"
#include "platform/win32.h"
#include "platform/winapi/gdi_internal.h"

namespace {

using platform::MonitorFacts;

struct ZoomCase {
  const char* name;
  MonitorFacts monitor;  // device and work size, scale factor, dpi
  int zoom;
};

const ZoomCase kZoomCases[] = {
    {"ordinary screen", {1920, 1080, 1920, 1050, 1, 96}, 1},
    {"4K scaled twice", {3840, 2160, 3840, 2120, 2, 192}, 2},
    {"4K unscaled at 96 dpi", {3840, 2160, 3840, 2160, 1, 96}, 1},
    {"4K unscaled at 144 dpi", {3840, 2160, 3840, 2160, 1, 144}, 2},
    {"4K unscaled at 143 dpi", {3840, 2160, 3840, 2160, 1, 143}, 1},
    {"1600 x 1200 at 144 dpi, all free", {1600, 1200, 1600, 1200, 1, 144}, 2},
    {"1600 x 1200 at 144 dpi, a panel", {1600, 1200, 1600, 1160, 1, 144}, 1},
    {"1599 wide at 192 dpi", {1599, 1200, 1599, 1200, 1, 192}, 1},
    {"scale 3 where only twice fits", {2400, 1799, 2400, 1799, 3, 288}, 2},
    {"scale 2 on a small laptop", {1366, 768, 1366, 740, 2, 192}, 1},
    {"nonsense scale", {1920, 1080, 1920, 1080, 0, 96}, 1},
};

TEST(DisplayZoomTest, ZoomByScreenScaleAndDpi) {
  for (const ZoomCase& c : kZoomCases) {
    EXPECT_EQ(platform::DisplayZoomFor(c.monitor, 800, 600), c.zoom) << c.name;
  }
}

// A pointer lands on the logical pixel whose zoomed block holds the device
// pixel under it: floor(floor(toolkit * scale) / zoom).
TEST(DisplayZoomTest, PointerMapsBackToTheDesignAtZoomTwo) {
  const struct { double toolkit; int scale; } cases[] = {
      {694.0, 2}, {694.5, 2}, {1100.0, 1}, {1101.0, 1}, {1099.9, 1}, {0.5, 1}, {-0.5, 1}, {-2.0, 1},
  };
  for (const auto& c : cases) {
    const double device = std::floor(c.toolkit * c.scale);
    EXPECT_EQ(platform::LogicalCoordinate(c.toolkit, c.scale, 2), std::floor(device / 2))
        << c.toolkit << " at scale " << c.scale;
  }
}

// --- The renderer at zoom 2 -----------------------------------------------------------

constexpr int kZoom = 2;

// A window framebuffer of width x height logical pixels made while the
// display is zoomed; `fill` is a COLORREF.
HBITMAP ZoomedFramebuffer(int zoom, int width, int height, COLORREF fill) {
  platform::SetDisplayZoom(zoom);
  HBITMAP framebuffer = platform::CreateFramebuffer(width, height, fill);
  platform::SetDisplayZoom(1);
  return framebuffer;
}

// A picture of zoom times the logical size stretched into the logical
// rectangle lands one to one: a one-pixel checkerboard stays one.
TEST(DisplayZoomTest, PictureAtDeviceResolutionLandsOneToOne) {
  HBITMAP framebuffer = ZoomedFramebuffer(kZoom, 12, 10, RGB(0, 0, 0));
  HDC dc = platform::CreateWindowDC(framebuffer, nullptr);
  const int w = 10, h = 8;  // device pixels: 5 x 4 logical
  auto board = [](int x, int y) { return (x + y) % 2 == 0 ? 0xFFFFFFu : 0x000001u; };
  std::vector<uint32_t> bits;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) bits.push_back(board(x, y));
  }
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  ASSERT_NE(StretchDIBits(dc, 3, 2, w / kZoom, h / kZoom, 0, 0, w, h, bits.data(), &info,
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  const platform::PixelView view = platform::BitmapPixels(framebuffer);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) ASSERT_EQ(view.At(6 + x, 4 + y), board(x, y)) << x << "," << y;
  }
  EXPECT_EQ(view.At(5, 4), 0u);
  EXPECT_EQ(view.At(6 + w, 4), 0u);
  DeleteDC(dc);
  DeleteObject(framebuffer);
}

// The ink of a text: its bounding box in device pixels.
struct Ink {
  int left = -1, top = -1, right = -1, bottom = -1;
};
Ink InkOf(const platform::PixelView& view) {
  Ink ink;
  for (int y = 0; y < view.height; ++y) {
    for (int x = 0; x < view.width; ++x) {
      if (view.At(x, y) == 0xFFFFFFu) continue;
      if (ink.left < 0 || x < ink.left) ink.left = x;
      if (x + 1 > ink.right) ink.right = x + 1;
      if (ink.top < 0) ink.top = y;
      ink.bottom = y + 1;
    }
  }
  return ink;
}

// Whether every aligned zoom x zoom block is one colour, as a picture
// enlarged pixel for pixel would be.
bool MadeOfBlocks(const platform::PixelView& view, int zoom) {
  for (int y = 0; y + zoom <= view.height; y += zoom) {
    for (int x = 0; x + zoom <= view.width; x += zoom) {
      for (int dy = 0; dy < zoom; ++dy) {
        for (int dx = 0; dx < zoom; ++dx) {
          if (view.At(x + dx, y + dy) != view.At(x, y)) return false;
        }
      }
    }
  }
  return true;
}

Ink TextInk(int zoom, bool drawText, bool* blocky = nullptr) {
  HBITMAP framebuffer = ZoomedFramebuffer(zoom, 200, 60, RGB(255, 255, 255));
  HDC dc = platform::CreateWindowDC(framebuffer, nullptr);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(0, 0, 0));
  if (drawText) {
    RECT box = {20, 10, 180, 50};
    DrawTextA(dc, "Hamburg 12/40", -1, &box, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
  } else {
    TextOutA(dc, 30, 20, "Hamburg 12/40", 13);
  }
  const Ink ink = InkOf(platform::BitmapPixels(framebuffer));
  if (blocky != nullptr) *blocky = MadeOfBlocks(platform::BitmapPixels(framebuffer), zoom);
  DeleteDC(dc);
  DeleteObject(framebuffer);
  return ink;
}

// Text on a zoomed device is set in a font twice as large at twice the
// place, not enlarged in blocks: its ink box is about twice the unzoomed one,
// and its edges fall inside the zoomed blocks.
TEST(DisplayZoomTest, TextIsDrawnAtTheLargerSize) {
  for (bool drawText : {false, true}) {
    const Ink plain = TextInk(1, drawText);
    bool blocky = true;
    const Ink zoomed = TextInk(kZoom, drawText, &blocky);
    EXPECT_FALSE(blocky) << drawText;
    ASSERT_GE(plain.left, 0) << drawText;
    ASSERT_GE(zoomed.left, 0) << drawText;
    const int plainWidth = plain.right - plain.left, zoomedWidth = zoomed.right - zoomed.left;
    const int plainHeight = plain.bottom - plain.top, zoomedHeight = zoomed.bottom - zoomed.top;
    // Hinted advances round differently at the two sizes: a tenth of slack
    // in width, and half of it where a centred line starts.
    const int widthSlack = kZoom * plainWidth / 10;
    EXPECT_NEAR(zoomedWidth, kZoom * plainWidth, widthSlack) << drawText;
    EXPECT_NEAR(zoomedHeight, kZoom * plainHeight, 2) << drawText;
    EXPECT_NEAR(zoomed.left, kZoom * plain.left, widthSlack / 2 + 2) << drawText;
    EXPECT_NEAR(zoomed.top, kZoom * plain.top, 3) << drawText;
  }
}

}  // namespace
