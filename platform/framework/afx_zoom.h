// The big-screen zoom as the framework shows it to a program. A program lays
// its windows out in window pixels; a big screen shows each window pixel as
// zoom x zoom device pixels. Where the system's window functions take device
// pixels (Windows, with the program declared DPI-aware), the framework
// converts at its edge: the window sizes and places CWnd takes and gives,
// client rectangles, invalidated rectangles, the points mouse handlers get,
// paint and client DCs and owner-drawn items are all in window pixels. On
// Linux the layer zooms below the Windows functions itself, and the
// framework converts nothing.
#pragma once

#include "platform/win32.h"

// Device pixels, each way, per window pixel (1 on an ordinary screen).
int AfxGetDisplayZoom();

// How many of the system's window-function pixels make one window pixel:
// the display zoom on Windows, 1 where the layer zooms below the functions.
int AfxGetWindowZoom();

// A length in window pixels as the system's window functions take it.
int AfxSystemPixels(int windowPixels);
// A length the system gives, in window pixels, rounded up (it covers).
int AfxWindowPixels(int systemPixels);
// A point the system gives, in window pixels: the window pixel under it.
POINT AfxWindowPoint(POINT systemPoint);
RECT AfxSystemRect(const RECT& windowRect);
RECT AfxWindowRect(const RECT& systemRect);

// Gives a DC whose units are the system's pixels the window pixels'
// mapping: one logical unit is the window zoom in device pixels each way, a
// bitmap stretched up is enlarged pixel for pixel, and the DC's first font
// is the system font as it is at 96 dots per inch (so the design's text
// keeps its size at any system DPI, the zoom aside).
void AfxZoomDC(HDC dc);
// Gives such a DC its one-to-one mapping back.
void AfxUnzoomDC(HDC dc);

// The screen's size in window pixels.
SIZE AfxGetScreenSize();
