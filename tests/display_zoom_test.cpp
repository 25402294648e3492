// A big screen's zoom: the rule that picks it from what the desktop reports,
// pointer coordinates mapped back to the design, and the software renderer
// drawing logical pictures, fills and text onto device pixels.
#include <gtest/gtest.h>

#include <cmath>
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
    {"4K scaled twice, dpi left at 96", {3840, 2160, 3840, 2160, 2, 96}, 2},
    {"4K unscaled at 96 dpi", {3840, 2160, 3840, 2160, 1, 96}, 1},
    {"4K unscaled at 144 dpi", {3840, 2160, 3840, 2160, 1, 144}, 2},
    {"4K unscaled at 143 dpi", {3840, 2160, 3840, 2160, 1, 143}, 1},
    {"1600 x 1200 at 144 dpi, whole screen free", {1600, 1200, 1600, 1200, 1, 144}, 2},
    {"1600 x 1200 at 144 dpi, a panel takes 40 rows", {1600, 1200, 1600, 1160, 1, 144}, 1},
    {"1599 wide at 192 dpi", {1599, 1200, 1599, 1200, 1, 192}, 1},
    {"1200 high missing one row", {2560, 1199, 2560, 1199, 1, 192}, 1},
    {"scale 3 on 4K fits", {3840, 2160, 3840, 2160, 3, 288}, 3},
    {"scale 3 on 1920 x 1080 does not fit", {1920, 1080, 1920, 1080, 3, 288}, 1},
    {"scale 3 where only twice fits", {2400, 1799, 2400, 1799, 3, 288}, 2},
    {"scale 2 on a laptop too small for it", {1366, 768, 1366, 740, 2, 192}, 1},
    {"nonsense scale", {1920, 1080, 1920, 1080, 0, 96}, 1},
};

TEST(DisplayZoomTest, ZoomByScreenScaleAndDpi) {
  for (const ZoomCase& c : kZoomCases) {
    EXPECT_EQ(platform::DisplayZoomFor(c.monitor, 800, 600), c.zoom) << c.name;
  }
}

struct PointerCase {
  double toolkit;  // where the toolkit reports the pointer
  int scale;       // its scale factor
  int zoom;
};

// Every pointer position lands on the logical pixel whose zoomed block holds
// the device pixel under it: floor(toolkit * scale / zoom).
TEST(DisplayZoomTest, PointerMapsBackToTheDesignAtZoomTwo) {
  const PointerCase cases[] = {
      {1100.0, 2, 2}, {1100.5, 2, 2}, {565.0, 2, 2},  {1100.0, 1, 2}, {1101.0, 1, 2},
      {1099.0, 1, 2}, {1099.9, 1, 2}, {0.0, 1, 2},    {0.5, 1, 2},    {-0.5, 1, 2},
      {-2.0, 1, 2},   {300.25, 2, 1}, {1599.0, 1, 2}, {799.9, 2, 2},
  };
  for (const PointerCase& c : cases) {
    const int device = static_cast<int>(std::floor(c.toolkit * c.scale));
    const int expected = static_cast<int>(std::floor(static_cast<double>(device) / c.zoom));
    EXPECT_EQ(platform::LogicalCoordinate(c.toolkit, c.scale, c.zoom), expected)
        << c.toolkit << " at scale " << c.scale << ", zoom " << c.zoom;
  }
  // Next's zone (668, 550)-(720, 600) takes a click at twice its centre.
  EXPECT_EQ(platform::LogicalCoordinate(694.0 * 2, 1, 2), 694);
  EXPECT_EQ(platform::LogicalCoordinate(575.0 * 2 + 1, 1, 2), 575);
}

TEST(DisplayZoomTest, ToolkitLengthCoversTheZoomedFramebuffer) {
  EXPECT_EQ(platform::ToolkitLength(800, 2, 2), 800);   // GDK scales the rest
  EXPECT_EQ(platform::ToolkitLength(800, 1, 2), 1600);  // dpi zoom: GDK units are device pixels
  EXPECT_EQ(platform::ToolkitLength(401, 2, 1), 201);   // half a unit more shows the last column
  EXPECT_EQ(platform::ToolkitLength(600, 3, 3), 600);
}

// --- The renderer at zoom 2 -----------------------------------------------------------

constexpr int kZoom = 2;

// A window framebuffer made while the display is zoomed, and a DC over it.
struct ZoomedWindow {
  ZoomedWindow(int width, int height, const RECT* clip = nullptr) {
    platform::SetDisplayZoom(kZoom);
    framebuffer = platform::CreateFramebuffer(width, height, RGB(0, 0, 0));
    platform::SetDisplayZoom(1);
    dc = platform::CreateWindowDC(framebuffer, clip);
  }
  ~ZoomedWindow() {
    DeleteDC(dc);
    DeleteObject(framebuffer);
  }
  platform::PixelView View() const { return platform::BitmapPixels(framebuffer); }

  HBITMAP framebuffer = nullptr;
  HDC dc = nullptr;
};

// A top-down 24-bit DIB header.
BITMAPINFO Header(int width, int height) {
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Rows of 24-bit pixels padded to 4 bytes; pixel (x, y) is colorAt(x, y).
template <typename ColorAt>
std::vector<uint8_t> Dib(int width, int height, ColorAt colorAt) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> bits(stride * height, 0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = colorAt(x, y);
      uint8_t* p = &bits[y * stride + x * 3];
      p[0] = rgb & 0xFF;
      p[1] = (rgb >> 8) & 0xFF;
      p[2] = (rgb >> 16) & 0xFF;
    }
  }
  return bits;
}

uint32_t Distinct(int x, int y) { return 0x102030u + static_cast<uint32_t>(x * 0x10 + y * 0x1000); }

TEST(DisplayZoomTest, FramebufferHoldsDevicePixelsAndDcsReportLogicalOnes) {
  ZoomedWindow window(10, 8);
  const platform::PixelView view = window.View();
  EXPECT_EQ(view.width, 20);
  EXPECT_EQ(view.height, 16);
  EXPECT_EQ(view.zoom, kZoom);
  EXPECT_EQ(GetDeviceCaps(window.dc, LOGPIXELSX), 96 * kZoom);
  RECT box = {};
  GetClipBox(window.dc, &box);
  EXPECT_EQ(box.right, 10);
  EXPECT_EQ(box.bottom, 8);
  // A compatible bitmap for off-screen composition is zoomed too.
  HDC memory = CreateCompatibleDC(window.dc);
  HBITMAP canvas = CreateCompatibleBitmap(window.dc, 3, 5);
  HGDIOBJ previous = SelectObject(memory, canvas);
  EXPECT_EQ(platform::DCPixels(memory).width, 6);
  EXPECT_EQ(platform::DCPixels(memory).height, 10);
  SelectObject(memory, previous);
  DeleteObject(canvas);
  DeleteDC(memory);
}

TEST(DisplayZoomTest, ClipOfAPaintIsZoomedAndReadBackLogical) {
  const RECT clip = {3, 2, 7, 5};
  ZoomedWindow window(10, 8, &clip);
  RECT box = {};
  GetClipBox(window.dc, &box);
  EXPECT_EQ(box.left, 3);
  EXPECT_EQ(box.top, 2);
  EXPECT_EQ(box.right, 7);
  EXPECT_EQ(box.bottom, 5);
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  const RECT all = {0, 0, 10, 8};
  FillRect(window.dc, &all, white);
  DeleteObject(white);
  const platform::PixelView view = window.View();
  for (int y = 0; y < view.height; ++y) {
    for (int x = 0; x < view.width; ++x) {
      const bool inside = x >= 6 && x < 14 && y >= 4 && y < 10;
      ASSERT_EQ(view.At(x, y), inside ? 0xFFFFFFu : 0u) << x << "," << y;
    }
  }
}

// A skin image drawn at its own size covers zoom x zoom device pixels per
// pixel: device (x, y) shows source (x / 2 - left, y / 2 - top).
TEST(DisplayZoomTest, BitmapsAtTheirOwnSizeAreEnlargedPixelForPixel) {
  ZoomedWindow window(10, 8);
  const int w = 5, h = 3, left = 2, top = 1;
  const std::vector<uint8_t> bits = Dib(w, h, Distinct);
  const BITMAPINFO info = Header(w, h);
  ASSERT_EQ(SetDIBitsToDevice(window.dc, left, top, w, h, 0, 0, 0, h, bits.data(), &info,
                              DIB_RGB_COLORS),
            h);
  // The same image through a DIB section in a memory DC (CDIBSection's path).
  void* sectionBits = nullptr;
  HBITMAP section = CreateDIBSection(window.dc, &info, DIB_RGB_COLORS, &sectionBits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  std::memcpy(sectionBits, bits.data(), bits.size());
  HDC memory = CreateCompatibleDC(window.dc);
  HGDIOBJ previous = SelectObject(memory, section);
  ASSERT_TRUE(BitBlt(window.dc, left, top + h + 1, w, h, memory, 0, 0, SRCCOPY));
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(section);

  const platform::PixelView view = window.View();
  for (int copy = 0; copy < 2; ++copy) {
    const int copyTop = top + copy * (h + 1);
    for (int y = copyTop * kZoom; y < (copyTop + h) * kZoom; ++y) {
      for (int x = left * kZoom; x < (left + w) * kZoom; ++x) {
        ASSERT_EQ(view.At(x, y), Distinct(x / kZoom - left, y / kZoom - copyTop))
            << "copy " << copy << " at " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(view.At(left * kZoom - 1, top * kZoom), 0u);
  EXPECT_EQ(view.At((left + w) * kZoom, top * kZoom), 0u);
}

// A picture of zoom times the logical size stretched into the logical
// rectangle lands one to one: a one-pixel checkerboard stays one.
TEST(DisplayZoomTest, PictureAtDeviceResolutionLandsOneToOne) {
  ZoomedWindow window(12, 10);
  const int w = 10, h = 8;  // device pixels: 5 x 4 logical
  auto board = [](int x, int y) { return (x + y) % 2 == 0 ? 0xFFFFFFu : 0x000001u; };
  const std::vector<uint8_t> bits = Dib(w, h, board);
  const BITMAPINFO info = Header(w, h);
  ASSERT_NE(StretchDIBits(window.dc, 3, 2, w / kZoom, h / kZoom, 0, 0, w, h, bits.data(), &info,
                          DIB_RGB_COLORS, SRCCOPY),
            0);
  const platform::PixelView view = window.View();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) ASSERT_EQ(view.At(6 + x, 4 + y), board(x, y)) << x << "," << y;
  }
  EXPECT_EQ(view.At(5, 4), 0u);
  EXPECT_EQ(view.At(6 + w, 4), 0u);
}

// The off-screen canvas copied back to its window lands one to one.
TEST(DisplayZoomTest, CompatibleCanvasCopiesOneToOne) {
  ZoomedWindow window(8, 6);
  HDC memory = CreateCompatibleDC(window.dc);
  HBITMAP canvas = CreateCompatibleBitmap(window.dc, 4, 3);
  HGDIOBJ previous = SelectObject(memory, canvas);
  SetWindowOrgEx(memory, 2, 1, nullptr);
  const platform::PixelView drawn = platform::DCPixels(memory);
  for (int y = 0; y < drawn.height; ++y) {
    for (int x = 0; x < drawn.width; ++x) {
      const uint32_t pixel = Distinct(x, y);
      std::memcpy(drawn.Row(y) + x * 4, &pixel, 4);
    }
  }
  ASSERT_TRUE(BitBlt(window.dc, 2, 1, 4, 3, memory, 2, 1, SRCCOPY));
  SelectObject(memory, previous);
  DeleteObject(canvas);
  DeleteDC(memory);
  const platform::PixelView view = window.View();
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) ASSERT_EQ(view.At(4 + x, 2 + y), Distinct(x, y)) << x << "," << y;
  }
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
  platform::SetDisplayZoom(zoom);
  HBITMAP framebuffer = platform::CreateFramebuffer(200, 60, RGB(255, 255, 255));
  platform::SetDisplayZoom(1);
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
