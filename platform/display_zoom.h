// The zoom of a big screen: how many device pixels, each way, show one pixel
// of the viewer's 800 x 600 design. Pure functions of what a desktop reports
// about its monitor, so the rule is the same on every back end and can be
// asked without a display.
#pragma once

namespace platform {

// The dots per inch of a screen that shows a logical pixel as one device
// pixel; a resolution of whole multiples of it scales by that many.
inline constexpr int kDotsPerInchUnzoomed = 96;
inline int ScaleOfDotsPerInch(int dotsPerInch) {
  return dotsPerInch > kDotsPerInchUnzoomed ? dotsPerInch / kDotsPerInchUnzoomed : 1;
}

// Device pixels to logical ones at `zoom`, rounded down and up: every
// logical pixel a device coordinate touches.
inline int FloorDivide(int value, int zoom) {
  return value >= 0 ? value / zoom : -((-value + zoom - 1) / zoom);
}
inline int CeilDivide(int value, int zoom) { return -FloorDivide(-value, zoom); }

// The viewer's window as designed, in logical pixels: the size the zoom
// must fit into the work area.
inline constexpr int kDesignWidth = 800;
inline constexpr int kDesignHeight = 600;

// What a desktop reports about the monitor a window goes to.
struct MonitorFacts {
  int deviceWidth = 0;   // the monitor's size in device pixels
  int deviceHeight = 0;
  int workWidth = 0;     // where windows may go (no panels), device pixels
  int workHeight = 0;
  int scaleFactor = 1;   // the desktop's own integer scale (GDK_SCALE)
  int dotsPerInch = kDotsPerInchUnzoomed;  // the font resolution (Xft.dpi, the system DPI)
};

// A monitor this large at this resolution or finer shows the design at twice
// its size even when the desktop itself does not scale.
inline constexpr int kHighDensityDotsPerInch = 144;
inline constexpr int kHighDensityMinWidth = 1600;
inline constexpr int kHighDensityMinHeight = 1200;

// The zoom: the desktop's scale factor, or 2 on a large high-density monitor
// whose desktop does not scale; lowered until a window of designWidth x
// designHeight zoomed fits the work area. Never below 1.
inline int DisplayZoomFor(const MonitorFacts& monitor, int designWidth, int designHeight) {
  int zoom = monitor.scaleFactor > 1 ? monitor.scaleFactor : 1;
  const bool highDensity = monitor.dotsPerInch >= kHighDensityDotsPerInch &&
                           monitor.deviceWidth >= kHighDensityMinWidth &&
                           monitor.deviceHeight >= kHighDensityMinHeight;
  if (zoom == 1 && highDensity) {
    zoom = 2;
  }
  while (zoom > 1 && (static_cast<long long>(designWidth) * zoom > monitor.workWidth ||
                      static_cast<long long>(designHeight) * zoom > monitor.workHeight)) {
    --zoom;
  }
  return zoom;
}

// A pointer coordinate a toolkit reports in its own units (device pixels
// divided by its scale factor) as a logical coordinate at `zoom`, rounded
// down to the logical pixel under the pointer.
inline int LogicalCoordinate(double toolkitCoordinate, int scaleFactor, int zoom) {
  const double device = toolkitCoordinate * (scaleFactor > 1 ? scaleFactor : 1);
  const double logical = device / (zoom > 1 ? zoom : 1);
  const int truncated = static_cast<int>(logical);
  return truncated > logical ? truncated - 1 : truncated;
}

// A logical length in a toolkit's units at `zoom` (rounded up, so the whole
// zoomed framebuffer is shown).
inline int ToolkitLength(int logical, int scaleFactor, int zoom) {
  const int scale = scaleFactor > 1 ? scaleFactor : 1;
  const long long device = static_cast<long long>(logical) * (zoom > 1 ? zoom : 1);
  return static_cast<int>((device + scale - 1) / scale);
}

}  // namespace platform
