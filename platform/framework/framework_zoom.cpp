// The framework's conversions between window pixels and the system's.
#include "platform/framework/afx_zoom.h"

#include "platform/display_zoom.h"
#include "platform/framework/plumbing.h"

using platform::CeilDivide;
using platform::FloorDivide;

int AfxGetDisplayZoom() { return AfxPlumbingDisplayZoom(); }

int AfxGetWindowZoom() { return AfxPlumbingWindowZoom(); }

int AfxSystemPixels(int windowPixels) { return windowPixels * AfxGetWindowZoom(); }

int AfxWindowPixels(int systemPixels) { return CeilDivide(systemPixels, AfxGetWindowZoom()); }

POINT AfxWindowPoint(POINT systemPoint) {
  const int zoom = AfxGetWindowZoom();
  return POINT{FloorDivide(systemPoint.x, zoom), FloorDivide(systemPoint.y, zoom)};
}

RECT AfxSystemRect(const RECT& windowRect) {
  return RECT{AfxSystemPixels(windowRect.left), AfxSystemPixels(windowRect.top),
              AfxSystemPixels(windowRect.right), AfxSystemPixels(windowRect.bottom)};
}

// Rounded outward, so the window rectangle covers the system's.
RECT AfxWindowRect(const RECT& systemRect) {
  const int zoom = AfxGetWindowZoom();
  return RECT{FloorDivide(systemRect.left, zoom), FloorDivide(systemRect.top, zoom),
              AfxWindowPixels(systemRect.right), AfxWindowPixels(systemRect.bottom)};
}

void AfxZoomDC(HDC dc) {
  if (dc != nullptr) AfxPlumbingMapWindowPixels(dc, AfxGetWindowZoom());
}

void AfxUnzoomDC(HDC dc) {
  if (dc != nullptr) AfxPlumbingMapSystemPixels(dc);
}

SIZE AfxGetScreenSize() {
  HDC screen = ::GetDC(nullptr);
  SIZE size = {0, 0};
  if (screen != nullptr) {
    size.cx = AfxWindowPixels(::GetDeviceCaps(screen, HORZRES));
    size.cy = AfxWindowPixels(::GetDeviceCaps(screen, VERTRES));
    ::ReleaseDC(nullptr, screen);
  }
  return size;
}
