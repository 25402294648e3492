// Internal interface of the software renderer for the rest of the Windows
// services (the USER windows), the back ends (through platform/backend.h) and
// tests. Not part of the Windows API: code above platform/ never includes it.
//
// Every device context draws into a framebuffer: 32-bit pixels, bytes blue,
// green, red, unused (cairo RGB24 on little-endian), rows from the top down,
// stride = width * 4 bytes. A framebuffer is a GDI bitmap object (HBITMAP): a
// window keeps one and creates a device context over it for each paint.
#pragma once

#include <cstdint>
#include <string>

#include "platform/winapi/win_types.h"

namespace platform {

// A view of a framebuffer's pixels; valid while the bitmap lives and is not
// resized. pixels == nullptr when the handle holds no framebuffer.
struct PixelView {
  uint8_t* pixels = nullptr;  // top row first; bytes B, G, R, x per pixel
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next (width * 4)
  int zoom = 1;    // device pixels per logical pixel, each way

  uint8_t* Row(int y) const { return pixels + static_cast<ptrdiff_t>(y) * stride; }
  // The pixel at (x, y) as 0x00RRGGBB (cairo RGB24 order).
  uint32_t At(int x, int y) const;
};

// --- The display's zoom ----------------------------------------------------------
// A big screen shows every logical pixel as zoom x zoom device pixels. The
// program keeps its logical coordinates (windows, clip boxes, pointer
// points, HORZRES and VERTRES); window framebuffers, and the bitmaps made
// compatible with their DCs, hold device pixels. Drawing maps logical
// rectangles to device ones: a bitmap drawn at its own size is enlarged
// pixel for pixel, a picture of zoom times the logical size lands one to one
// on device pixels, text is set in a font zoom times as large.
// GetDeviceCaps(LOGPIXELSX) reports 96 dots per inch times the zoom. The
// back end sets it before the first window (default 1; values below 1 are 1).
void SetDisplayZoom(int zoom);
int DisplayZoom();

// --- Framebuffers for windows -------------------------------------------------
// A window's framebuffer of width x height logical pixels at the display's
// zoom, filled with `fill` (a COLORREF). Freed with DeleteObject. nullptr
// when memory runs out or a size is not positive.
HBITMAP CreateFramebuffer(int width, int height, COLORREF fill = 0);

// A window device context drawing onto `framebuffer` with the origin at its
// top-left pixel. `clip` (client pixels; nullptr = the whole framebuffer)
// becomes the DC's clip box, as a paint's update rectangle does. The DC keeps
// the framebuffer alive until it is released with DeleteDC (or ReleaseDC).
// The framebuffer is not "selected": SelectObject of a bitmap into a window
// DC fails, as on Windows.
HDC CreateWindowDC(HBITMAP framebuffer, const RECT* clip = nullptr);

// GetDC(hwnd) for a window asks this lookup for the window's framebuffer and
// returns CreateWindowDC(framebuffer); the window framework installs it once.
// GetDC(nullptr) (the screen) never calls it.
typedef HBITMAP (*WindowFramebufferLookup)(HWND window);
void SetWindowFramebufferLookup(WindowFramebufferLookup lookup);

// Resolution reported by GetDeviceCaps(HORZRES / VERTRES) for every DC; the
// back end sets it from the monitor (default 1024 x 768).
void SetScreenSize(int width, int height);

// --- Pixel access ---------------------------------------------------------------
// Pixels of a framebuffer, compatible bitmap or 32-bit DIB section (a DIB
// section of another depth, or a bottom-up one, gives an empty view: read it
// through its own bits instead).
PixelView BitmapPixels(HBITMAP bitmap);
// Pixels the DC draws on: a window DC's framebuffer, or the bitmap selected
// into a memory DC (a new memory DC holds a 1 x 1 default bitmap, as on
// Windows). Empty for the screen and printer DCs.
PixelView DCPixels(HDC dc);

// --- Icons ------------------------------------------------------------------------
// An icon object (what LoadIconA returns) from `width` x `height` pixels,
// top-down rows, 4 bytes each: blue, green, red, alpha (alpha 0 = transparent,
// 255 = opaque, in between blended by DrawIcon). nullptr on bad sizes or when
// memory runs out. Icons live until DestroyIconObject (the framework keeps
// shared icons for the whole run).
HICON CreateIconFromPixels(int width, int height, const uint8_t* bgra);
void DestroyIconObject(HICON icon);
// Size of an icon's picture (0, 0 for nullptr).
SIZE IconSize(HICON icon);

// --- Fonts ---------------------------------------------------------------------------
// Family name of the face fontconfig chose for a font (opened on first use),
// e.g. "Liberation Sans" for an "Arial" request; empty for a bad handle or
// when no face could be opened.
std::string FontFamilyOf(HFONT font);

// --- Bookkeeping for leak checks ---------------------------------------------------
// GDI objects (DCs, bitmaps, brushes, palettes, fonts) and icons alive now.
int64_t LiveGdiObjects();

}  // namespace platform
