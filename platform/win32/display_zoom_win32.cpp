// The big-screen zoom on Windows. The program declares itself DPI-aware
// (system-wide) in its manifest, so the system reports device pixels and its
// real dots per inch, and enlarges nothing: the framework applies the zoom
// itself (framework/afx_zoom.h), by the rule every back end shares
// (platform/display_zoom.h), chosen once from the primary monitor.
#include "platform/display_zoom.h"
#include "platform/framework/plumbing.h"
#include "platform/win32.h"

namespace {

using platform::kDotsPerInchUnzoomed;

int ScreenDotsPerInch() {
  HDC screen = ::GetDC(nullptr);
  const int dotsPerInch = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return dotsPerInch > 0 ? dotsPerInch : kDotsPerInchUnzoomed;
}

// A DC starts with the system font, made for the screen's dots per inch.
// Window pixels count 96 to the inch, so a DC in window pixels draws with
// the same face made for 96 (which a zoom then enlarges), as text in a font
// the program made itself is: at 120 dots per inch and zoom 1 the design's
// captions keep their size. Made once; lives as long as the program.
// nullptr at 96 dots per inch, where the system font is that one.
HFONT WindowPixelSystemFont() {
  static const HFONT font = []() -> HFONT {
    const int dotsPerInch = ScreenDotsPerInch();
    if (dotsPerInch == kDotsPerInchUnzoomed) return nullptr;
    LOGFONTA description = {};
    ::GetObjectA(::GetStockObject(SYSTEM_FONT), sizeof description, &description);
    description.lfHeight = ::MulDiv(description.lfHeight, kDotsPerInchUnzoomed, dotsPerInch);
    description.lfWidth = ::MulDiv(description.lfWidth, kDotsPerInchUnzoomed, dotsPerInch);
    return ::CreateFontIndirectA(&description);
  }();
  return font;
}

platform::MonitorFacts PrimaryMonitorFacts() {
  platform::MonitorFacts facts;
  HDC screen = ::GetDC(nullptr);
  if (screen != nullptr) {
    facts.deviceWidth = ::GetDeviceCaps(screen, HORZRES);
    facts.deviceHeight = ::GetDeviceCaps(screen, VERTRES);
    ::ReleaseDC(nullptr, screen);
  }
  facts.dotsPerInch = ScreenDotsPerInch();
  RECT work = {0, 0, facts.deviceWidth, facts.deviceHeight};
  ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  facts.workWidth = work.right - work.left;
  facts.workHeight = work.bottom - work.top;
  // Windows scales by the dots per inch; its whole steps are the scale.
  facts.scaleFactor = platform::ScaleOfDotsPerInch(facts.dotsPerInch);
  return facts;
}

}  // namespace

// A program aware of the system DPI sees one resolution while it runs.
int AfxPlumbingDisplayZoom() {
  static const int zoom = platform::DisplayZoomFor(PrimaryMonitorFacts(), platform::kDesignWidth,
                                                   platform::kDesignHeight);
  return zoom;
}

int AfxPlumbingWindowZoom() { return AfxPlumbingDisplayZoom(); }

void AfxPlumbingMapWindowPixels(HDC dc, int zoom) {
  if (zoom > 1) {
    ::SetMapMode(dc, MM_ANISOTROPIC);
    ::SetWindowExtEx(dc, 1, 1, nullptr);
    ::SetViewportExtEx(dc, zoom, zoom, nullptr);
    // Enlarging by whole steps repeats each pixel: the skin keeps sharp edges.
    ::SetStretchBltMode(dc, COLORONCOLOR);
  }
  HFONT font = WindowPixelSystemFont();
  if (font != nullptr && ::GetCurrentObject(dc, OBJ_FONT) == ::GetStockObject(SYSTEM_FONT)) {
    ::SelectObject(dc, font);
  }
}

void AfxPlumbingMapSystemPixels(HDC dc) {
  if (::GetMapMode(dc) != MM_TEXT) {
    ::SetMapMode(dc, MM_TEXT);
    ::SetStretchBltMode(dc, BLACKONWHITE);
  }
  HFONT font = WindowPixelSystemFont();
  if (font != nullptr && ::GetCurrentObject(dc, OBJ_FONT) == font) {
    ::SelectObject(dc, ::GetStockObject(SYSTEM_FONT));
  }
}
