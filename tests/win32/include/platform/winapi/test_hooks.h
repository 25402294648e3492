// The test hooks of platform/winapi/test_hooks.h for the Windows build, where
// the services are the system's own (tests/win32/test_hooks.cpp). Only the
// hooks the imaging library's tests use; same names and meanings.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace platform {

// Makes the n-th GlobalAlloc from now (1 = the next one) fail as if memory
// were exhausted; 0 turns the fault off. Counts allocations on every thread.
void FailNthGlobalAlloc(int64_t n);
// GlobalAlloc calls made since the hooks were installed (for choosing n).
int64_t GlobalAllocCount();
// Blocks allocated through the hooks and not yet freed.
int64_t LiveGlobalBlocks();

// Everything passed to OutputDebugStringA since the last call, then cleared.
std::string TakeDebugOutput();
// Also echo debugger output to stderr (off by default).
void EchoDebugOutput(bool on);

// Points GetModuleFileNameA (of the program's own module) at the given path
// instead of the running program; "" restores it.
void SetModuleFileNameForTests(const std::string& path);

// A "printer" device context over a white page of width x height pixels: it
// draws like a memory DC except that it cannot stretch DIBs (RASTERCAPS lacks
// RC_STRETCHDIB, StretchDIBits fails). Read its page with DCPixels
// (platform/winapi/gdi_internal.h); free it with DeleteDC.
HDC CreatePrinterDCForTests(int width = 64, int height = 64);

// Makes the n-th pixel store of a bitmap (CreateCompatibleBitmap,
// CreateDIBSection, CreateDIBitmap, a framebuffer) from now fail; 0 turns the
// fault off.
void FailNthGdiAllocation(int64_t n);

// Makes every display DC report a palette device (RASTERCAPS with
// RC_PALETTE, SIZEPALETTE 256), as a 256-colour screen would; false restores
// the screen's own answers.
void SetScreenIsPaletteDeviceForTests(bool palette);
// Entries of the palette most recently realised (RealizePalette) on any DC.
int LastRealizedPaletteEntries(PALETTEENTRY* entries, int capacity);

}  // namespace platform
