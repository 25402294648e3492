// Screenshots: a window as a user sees it, or the whole screen, written as an
// 8-bit RGB PNG through libpng.
#include <png.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/headless/headless.h"

namespace {

using platform::PixelView;

// libpng reports errors by longjmp; only plain data lives across it here.
bool WritePng(std::FILE* file, const PixelView& view, uint8_t* rgbRow) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(view.width),
               static_cast<png_uint_32>(view.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < view.height; ++y) {
    const uint8_t* in = view.Row(y);
    for (int x = 0; x < view.width; ++x) {
      rgbRow[x * 3 + 0] = in[x * 4 + 2];
      rgbRow[x * 3 + 1] = in[x * 4 + 1];
      rgbRow[x * 3 + 2] = in[x * 4 + 0];
    }
    png_write_row(png, rgbRow);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

namespace headless {

bool SavePixelsAsPng(const platform::PixelView& view, const std::string& path) {
  if (view.pixels == nullptr || view.width <= 0 || view.height <= 0) return false;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::vector<uint8_t> row(static_cast<size_t>(view.width) * 3);
  bool written = WritePng(file, view, row.data());
  if (std::fclose(file) != 0) written = false;
  if (!written) std::remove(path.c_str());
  return written;
}

namespace {
bool SaveImage(platform::WindowImage& image, const std::string& path) {
  if (image.width <= 0 || image.height <= 0) return false;
  platform::PixelView view;
  view.pixels = image.pixels.data();
  view.width = image.width;
  view.height = image.height;
  view.stride = image.width * 4;
  return SavePixelsAsPng(view, path);
}

// The virtual screen (its size is what headless::SetScreenSize gave the
// renderer), black where no window is.
platform::WindowImage ComposeScreen() {
  platform::WindowImage screen;
  screen.width = GetSystemMetrics(SM_CXSCREEN);
  screen.height = GetSystemMetrics(SM_CYSCREEN);
  screen.pixels.assign(static_cast<size_t>(screen.width) * screen.height * 4, 0);
  std::vector<HWND> windows = platform::TopLevelWindowsInZOrder();
  for (auto at = windows.rbegin(); at != windows.rend(); ++at) {
    if (!IsWindowVisible(*at)) continue;
    RECT place;
    GetWindowRect(*at, &place);
    platform::WindowImage image = platform::ComposeWindow(*at);
    for (int y = 0; y < image.height; ++y) {
      int sy = place.top + y;
      if (sy < 0 || sy >= screen.height) continue;
      for (int x = 0; x < image.width; ++x) {
        int sx = place.left + x;
        if (sx < 0 || sx >= screen.width) continue;
        std::memcpy(&screen.pixels[(static_cast<size_t>(sy) * screen.width + sx) * 4],
                    &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4], 4);
      }
    }
  }
  return screen;
}
}  // namespace

bool SaveWindowPng(HWND window, const std::string& path) {
  platform::WindowImage image = platform::ComposeWindow(window);
  return SaveImage(image, path);
}

bool SaveScreenPng(const std::string& path) {
  platform::WindowImage screen = ComposeScreen();
  return SaveImage(screen, path);
}

uint32_t ScreenPixel(int x, int y) {
  platform::WindowImage screen = ComposeScreen();
  if (x < 0 || y < 0 || x >= screen.width || y >= screen.height) return 0;
  const uint8_t* p = &screen.pixels[(static_cast<size_t>(y) * screen.width + x) * 4];
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

}  // namespace headless
