// Graphics services: device contexts over 32-bit framebuffers, bitmaps, DIB
// drawing, palettes and text.
#pragma once

#include "platform/win_types.h"

// Raster operations
#define SRCCOPY ((DWORD)0x00CC0020)

// DIB colour use
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

// CreateDIBitmap
#define CBM_INIT 0x04L

// GetDeviceCaps
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define RASTERCAPS 38
#define SIZEPALETTE 104
#define RC_BITBLT 1
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

int GetDeviceCaps(HDC dc, int index);
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

int StretchDIBits(HDC dc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  UINT usage, DWORD rop);
HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, const void* bits,
                       const BITMAPINFO* info, UINT usage);

HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
BOOL DeleteObject(HGDIOBJ object);
