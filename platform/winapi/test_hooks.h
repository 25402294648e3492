// Hooks for tests: faults on demand and what the layer saw. Not part of the
// Windows API; only tests and test tools include this header. On Linux the
// layer's services keep them; in the Windows build, where the services are
// the system's own, tests/win32/ gives the ones the imaging library's tests
// use, by patching the test program's own imports.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace platform {

// Makes the n-th GlobalAlloc from now (1 = the next one) fail as if memory
// were exhausted; 0 turns the fault off. Counts allocations on every thread.
void FailNthGlobalAlloc(int64_t n);
// GlobalAlloc calls counted so far (for choosing n).
int64_t GlobalAllocCount();
// Blocks allocated and not yet freed.
int64_t LiveGlobalBlocks();

// Everything passed to OutputDebugStringA since the last call, then cleared.
std::string TakeDebugOutput();
// Also echo debugger output to stderr (off by default).
void EchoDebugOutput(bool on);

// Points GetModuleFileNameA (of the program's own module) at the given path
// instead of the running program; "" restores it.
void SetModuleFileNameForTests(const std::string& path);

// A "printer" device context over a white page of width x height pixels: it
// draws like any other DC except that it cannot stretch DIBs (RASTERCAPS lacks
// RC_STRETCHDIB, StretchDIBits fails). Read its page with DCPixels
// (platform/winapi/gdi_internal.h); free it with DeleteDC.
HDC CreatePrinterDCForTests(int width = 64, int height = 64);

// Makes the n-th pixel store of a bitmap (compatible bitmap, DIB section,
// CreateDIBitmap, framebuffer) from now fail; 0 turns the fault off.
void FailNthGdiAllocation(int64_t n);

// Makes every display DC report a palette device (RASTERCAPS with
// RC_PALETTE, SIZEPALETTE 256), as a 256-colour screen would; false restores
// the screen's own answers.
void SetScreenIsPaletteDeviceForTests(bool palette);
// Entries of the palette most recently realised (RealizePalette) on any DC.
int LastRealizedPaletteEntries(PALETTEENTRY* entries, int capacity);

}  // namespace platform
