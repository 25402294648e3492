// The tests' GDI and resource hooks over gdi32 and kernel32: the program's
// imports of the GDI object makers and DeleteObject / DeleteDC are counted
// (live objects) and the bitmap makers fail on demand; GetDeviceCaps can
// answer for a palette screen or a printer that cannot stretch;
// RealizePalette is recorded; resource look-ups find the tests' overrides.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/resources_internal.h"
#include "platform/winapi/test_hooks.h"
#include "tests/win32/import_table.h"

namespace {

using testing_support::win32::PatchImport;
using testing_support::win32::RealFunction;

std::recursive_mutex gdiMutex;

// --- Live objects --------------------------------------------------------------------

std::set<HGDIOBJ>& LiveObjects() {
  static auto* objects = new std::set<HGDIOBJ>();  // outlives static destructors
  return *objects;
}
// Pixels read through GetDIBits, by bitmap (the views point into them).
std::map<HGDIOBJ, std::vector<uint8_t>>& PixelCopies() {
  static auto* copies = new std::map<HGDIOBJ, std::vector<uint8_t>>();
  return *copies;
}
std::set<HDC>& PrinterDcs() {
  static auto* printers = new std::set<HDC>();
  return *printers;
}

template <typename Handle>
Handle Counted(Handle handle) {
  if (handle != nullptr) {
    std::lock_guard<std::recursive_mutex> hold(gdiMutex);
    LiveObjects().insert(handle);
  }
  return handle;
}

void Forget(HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> hold(gdiMutex);
  LiveObjects().erase(handle);
  PixelCopies().erase(handle);
}

// --- Bitmap faults -----------------------------------------------------------------------

std::atomic<int64_t> pixelStores{0};
std::atomic<int64_t> failingPixelStore{0};

// Counts one pixel store; true when this one is to fail.
bool PixelStoreFails() {
  const int64_t ordinal = ++pixelStores;
  const int64_t failing = failingPixelStore.load();
  if (failing == 0 || ordinal != failing) return false;
  failingPixelStore = 0;
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return true;
}

// --- The hooked functions --------------------------------------------------------------------

using CreateDIBSectionFunction = HBITMAP(WINAPI*)(HDC, const BITMAPINFO*, UINT, void**, HANDLE, DWORD);
using CreateCompatibleBitmapFunction = HBITMAP(WINAPI*)(HDC, int, int);
using CreateDIBitmapFunction = HBITMAP(WINAPI*)(HDC, const BITMAPINFOHEADER*, DWORD, const void*,
                                                const BITMAPINFO*, UINT);
using CreateCompatibleDCFunction = HDC(WINAPI*)(HDC);
using CreatePaletteFunction = HPALETTE(WINAPI*)(const LOGPALETTE*);
using CreateSolidBrushFunction = HBRUSH(WINAPI*)(COLORREF);
using CreatePenFunction = HPEN(WINAPI*)(int, int, COLORREF);
using CreateFontIndirectFunction = HFONT(WINAPI*)(const LOGFONTA*);
using DeleteObjectFunction = BOOL(WINAPI*)(HGDIOBJ);
using DeleteDCFunction = BOOL(WINAPI*)(HDC);
using GetDeviceCapsFunction = int(WINAPI*)(HDC, int);
using StretchDIBitsFunction = int(WINAPI*)(HDC, int, int, int, int, int, int, int, int, const void*,
                                           const BITMAPINFO*, UINT, DWORD);
using RealizePaletteFunction = UINT(WINAPI*)(HDC);
using FindResourceFunction = HRSRC(WINAPI*)(HMODULE, LPCSTR, LPCSTR);
using LoadResourceFunction = HGLOBAL(WINAPI*)(HMODULE, HRSRC);
using LockResourceFunction = LPVOID(WINAPI*)(HGLOBAL);
using SizeofResourceFunction = DWORD(WINAPI*)(HMODULE, HRSRC);

CreateDIBSectionFunction realCreateDIBSection;
CreateCompatibleBitmapFunction realCreateCompatibleBitmap;
CreateDIBitmapFunction realCreateDIBitmap;
CreateCompatibleDCFunction realCreateCompatibleDC;
CreatePaletteFunction realCreatePalette;
CreateSolidBrushFunction realCreateSolidBrush;
CreatePenFunction realCreatePen;
CreateFontIndirectFunction realCreateFontIndirect;
DeleteObjectFunction realDeleteObject;
DeleteDCFunction realDeleteDC;
GetDeviceCapsFunction realGetDeviceCaps;
StretchDIBitsFunction realStretchDIBits;
RealizePaletteFunction realRealizePalette;
FindResourceFunction realFindResource;
LoadResourceFunction realLoadResource;
LockResourceFunction realLockResource;
SizeofResourceFunction realSizeofResource;

HBITMAP WINAPI HookedCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                      HANDLE section, DWORD offset) {
  if (PixelStoreFails()) {
    if (bits != nullptr) *bits = nullptr;
    return nullptr;
  }
  return Counted(realCreateDIBSection(dc, info, usage, bits, section, offset));
}
HBITMAP WINAPI HookedCreateCompatibleBitmap(HDC dc, int width, int height) {
  if (PixelStoreFails()) return nullptr;
  return Counted(realCreateCompatibleBitmap(dc, width, height));
}
HBITMAP WINAPI HookedCreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init,
                                    const void* bits, const BITMAPINFO* info, UINT usage) {
  if (PixelStoreFails()) return nullptr;
  return Counted(realCreateDIBitmap(dc, header, init, bits, info, usage));
}
HDC WINAPI HookedCreateCompatibleDC(HDC dc) { return Counted(realCreateCompatibleDC(dc)); }
HPALETTE WINAPI HookedCreatePalette(const LOGPALETTE* palette) {
  return Counted(realCreatePalette(palette));
}
HBRUSH WINAPI HookedCreateSolidBrush(COLORREF colour) { return Counted(realCreateSolidBrush(colour)); }
HPEN WINAPI HookedCreatePen(int style, int width, COLORREF colour) {
  return Counted(realCreatePen(style, width, colour));
}
HFONT WINAPI HookedCreateFontIndirect(const LOGFONTA* font) {
  return Counted(realCreateFontIndirect(font));
}

BOOL WINAPI HookedDeleteObject(HGDIOBJ object) {
  const BOOL deleted = realDeleteObject(object);
  if (deleted) Forget(object);
  return deleted;
}

BOOL WINAPI HookedDeleteDC(HDC dc) {
  HBITMAP page = nullptr;
  {
    std::lock_guard<std::recursive_mutex> hold(gdiMutex);
    if (PrinterDcs().erase(dc) != 0) page = static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP));
  }
  const BOOL deleted = realDeleteDC(dc);
  if (deleted) Forget(dc);
  if (deleted && page != nullptr) HookedDeleteObject(page);  // the printer's page goes with it
  return deleted;
}

std::atomic<bool> paletteScreen{false};

bool IsPrinter(HDC dc) {
  std::lock_guard<std::recursive_mutex> hold(gdiMutex);
  return PrinterDcs().count(dc) != 0;
}

int WINAPI HookedGetDeviceCaps(HDC dc, int index) {
  int value = realGetDeviceCaps(dc, index);
  if (IsPrinter(dc)) {
    if (index == RASTERCAPS) value &= ~RC_STRETCHDIB;
    if (index == TECHNOLOGY) value = DT_RASPRINTER;
    return value;
  }
  // A display DC (not a memory DC) of a palette screen.
  if (paletteScreen && GetObjectType(dc) == OBJ_DC) {
    if (index == RASTERCAPS) value |= RC_PALETTE;
    if (index == SIZEPALETTE) value = 256;
  }
  return value;
}

int WINAPI HookedStretchDIBits(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                               int sourceWidth, int sourceHeight, const void* bits,
                               const BITMAPINFO* info, UINT usage, DWORD rop) {
  if (IsPrinter(dc)) return 0;  // the printer cannot stretch DIBs
  return realStretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight,
                           bits, info, usage, rop);
}

std::mutex realisedMutex;
std::vector<PALETTEENTRY>& Realised() {
  static auto* entries = new std::vector<PALETTEENTRY>();
  return *entries;
}

UINT WINAPI HookedRealizePalette(HDC dc) {
  auto* palette = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
  std::vector<PALETTEENTRY> entries;
  const UINT count = palette != nullptr ? GetPaletteEntries(palette, 0, 0, nullptr) : 0;
  entries.resize(count);
  if (count != 0) GetPaletteEntries(palette, 0, count, entries.data());
  {
    std::lock_guard<std::mutex> hold(realisedMutex);
    Realised() = std::move(entries);
  }
  return realRealizePalette(dc);
}

// --- Resources ------------------------------------------------------------------------------

struct OverriddenResource {
  std::vector<uint8_t> bytes;
};
std::mutex resourcesMutex;
// By (integer type, id); map nodes do not move, so their addresses are handles.
std::map<std::pair<ULONG_PTR, WORD>, OverriddenResource>& Overrides() {
  static auto* overrides = new std::map<std::pair<ULONG_PTR, WORD>, OverriddenResource>();
  return *overrides;
}

OverriddenResource* OverrideOf(HRSRC resource) {
  std::lock_guard<std::mutex> hold(resourcesMutex);
  for (auto& entry : Overrides()) {
    if (reinterpret_cast<HRSRC>(&entry.second) == resource) return &entry.second;
  }
  return nullptr;
}

HRSRC WINAPI HookedFindResource(HMODULE module, LPCSTR name, LPCSTR type) {
  if (IS_INTRESOURCE(name) && IS_INTRESOURCE(type)) {
    std::lock_guard<std::mutex> hold(resourcesMutex);
    const auto found = Overrides().find(
        {reinterpret_cast<ULONG_PTR>(type), static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name))});
    if (found != Overrides().end()) return reinterpret_cast<HRSRC>(&found->second);
  }
  return realFindResource(module, name, type);
}
HGLOBAL WINAPI HookedLoadResource(HMODULE module, HRSRC resource) {
  if (OverriddenResource* overridden = OverrideOf(resource)) return overridden->bytes.data();
  return realLoadResource(module, resource);
}
LPVOID WINAPI HookedLockResource(HGLOBAL data) { return realLockResource(data); }
DWORD WINAPI HookedSizeofResource(HMODULE module, HRSRC resource) {
  if (OverriddenResource* overridden = OverrideOf(resource)) {
    return static_cast<DWORD>(overridden->bytes.size());
  }
  return realSizeofResource(module, resource);
}

// --- Installation ---------------------------------------------------------------------------

template <typename Function>
void Hook(const char* dll, const char* name, Function* real, Function hook) {
  *real = RealFunction<Function>(dll, name);
  PatchImport(dll, name, reinterpret_cast<void*>(hook));
}

struct InstallGdiHooks {
  InstallGdiHooks() {
    Hook("gdi32.dll", "CreateDIBSection", &realCreateDIBSection, &HookedCreateDIBSection);
    Hook("gdi32.dll", "CreateCompatibleBitmap", &realCreateCompatibleBitmap,
         &HookedCreateCompatibleBitmap);
    Hook("gdi32.dll", "CreateDIBitmap", &realCreateDIBitmap, &HookedCreateDIBitmap);
    Hook("gdi32.dll", "CreateCompatibleDC", &realCreateCompatibleDC, &HookedCreateCompatibleDC);
    Hook("gdi32.dll", "CreatePalette", &realCreatePalette, &HookedCreatePalette);
    Hook("gdi32.dll", "CreateSolidBrush", &realCreateSolidBrush, &HookedCreateSolidBrush);
    Hook("gdi32.dll", "CreatePen", &realCreatePen, &HookedCreatePen);
    Hook("gdi32.dll", "CreateFontIndirectA", &realCreateFontIndirect, &HookedCreateFontIndirect);
    Hook("gdi32.dll", "DeleteObject", &realDeleteObject, &HookedDeleteObject);
    Hook("gdi32.dll", "DeleteDC", &realDeleteDC, &HookedDeleteDC);
    Hook("gdi32.dll", "GetDeviceCaps", &realGetDeviceCaps, &HookedGetDeviceCaps);
    Hook("gdi32.dll", "StretchDIBits", &realStretchDIBits, &HookedStretchDIBits);
    Hook("gdi32.dll", "RealizePalette", &realRealizePalette, &HookedRealizePalette);
    Hook("kernel32.dll", "FindResourceA", &realFindResource, &HookedFindResource);
    Hook("kernel32.dll", "LoadResource", &realLoadResource, &HookedLoadResource);
    Hook("kernel32.dll", "LockResource", &realLockResource, &HookedLockResource);
    Hook("kernel32.dll", "SizeofResource", &realSizeofResource, &HookedSizeofResource);
  }
};
const InstallGdiHooks installGdiHooks;

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

namespace platform {

uint32_t PixelView::At(int x, int y) const {
  const uint8_t* pixel = Row(y) + static_cast<ptrdiff_t>(x) * 4;
  return static_cast<uint32_t>(pixel[2]) << 16 | static_cast<uint32_t>(pixel[1]) << 8 | pixel[0];
}

HBITMAP CreateFramebuffer(int width, int height, COLORREF fill) {
  if (width <= 0 || height <= 0) return nullptr;
  const BITMAPINFO info = TopDown32(width, height);
  void* bits = nullptr;
  HBITMAP framebuffer = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (framebuffer == nullptr || bits == nullptr) return framebuffer;
  auto* pixels = static_cast<uint8_t*>(bits);
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
    pixels[i * 4] = GetBValue(fill);
    pixels[i * 4 + 1] = GetGValue(fill);
    pixels[i * 4 + 2] = GetRValue(fill);
    pixels[i * 4 + 3] = 0;
  }
  return framebuffer;
}

HDC CreateWindowDC(HBITMAP framebuffer, const RECT* clip) {
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) return nullptr;
  SelectObject(dc, framebuffer);
  if (clip != nullptr) IntersectClipRect(dc, clip->left, clip->top, clip->right, clip->bottom);
  return dc;
}

PixelView BitmapPixels(HBITMAP bitmap) {
  PixelView view;
  GdiFlush();  // drawing may still be batched
  DIBSECTION section{};
  if (GetObjectA(bitmap, sizeof section, &section) == sizeof section &&
      section.dsBm.bmBitsPixel == 32 && section.dsBmih.biHeight < 0 && section.dsBm.bmBits != nullptr) {
    // A 32-bit top-down DIB section (a framebuffer): its own pixels.
    view.pixels = static_cast<uint8_t*>(section.dsBm.bmBits);
    view.width = section.dsBm.bmWidth;
    view.height = section.dsBm.bmHeight;
    view.stride = section.dsBm.bmWidthBytes;
    return view;
  }
  BITMAP facts{};
  if (GetObjectA(bitmap, sizeof facts, &facts) == 0 || facts.bmWidth <= 0 || facts.bmHeight <= 0) {
    return view;
  }
  BITMAPINFO info = TopDown32(facts.bmWidth, facts.bmHeight);
  std::lock_guard<std::recursive_mutex> hold(gdiMutex);
  std::vector<uint8_t>& copy = PixelCopies()[bitmap];
  copy.assign(static_cast<size_t>(facts.bmWidth) * facts.bmHeight * 4, 0);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(facts.bmHeight), copy.data(), &info,
                             DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != facts.bmHeight) return view;
  view.pixels = copy.data();
  view.width = facts.bmWidth;
  view.height = facts.bmHeight;
  view.stride = facts.bmWidth * 4;
  return view;
}

PixelView DCPixels(HDC dc) {
  if (GetObjectType(dc) != OBJ_MEMDC) return PixelView();
  return BitmapPixels(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)));
}

int64_t LiveGdiObjects() {
  std::lock_guard<std::recursive_mutex> hold(gdiMutex);
  return static_cast<int64_t>(LiveObjects().size());
}

HDC CreatePrinterDCForTests(int width, int height) {
  HBITMAP page = CreateFramebuffer(width, height, RGB(255, 255, 255));
  if (page == nullptr) return nullptr;
  HDC dc = CreateWindowDC(page);
  if (dc == nullptr) {
    DeleteObject(page);
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> hold(gdiMutex);
  PrinterDcs().insert(dc);
  return dc;
}

void FailNthGdiAllocation(int64_t n) { failingPixelStore = n <= 0 ? 0 : pixelStores.load() + n; }

void SetScreenIsPaletteDeviceForTests(bool palette) { paletteScreen = palette; }

int LastRealizedPaletteEntries(PALETTEENTRY* entries, int capacity) {
  std::lock_guard<std::mutex> hold(realisedMutex);
  const std::vector<PALETTEENTRY>& realised = Realised();
  if (entries != nullptr && capacity > 0) {
    std::copy_n(realised.begin(), std::min<size_t>(realised.size(), static_cast<size_t>(capacity)),
                entries);
  }
  return static_cast<int>(realised.size());
}

void OverrideResourceForTests(const char* typeName, WORD id, const std::vector<uint8_t>* bytes) {
  std::lock_guard<std::mutex> hold(resourcesMutex);
  const std::pair<ULONG_PTR, WORD> key{reinterpret_cast<ULONG_PTR>(typeName), id};
  if (bytes == nullptr) {
    Overrides().erase(key);
  } else {
    Overrides()[key].bytes = *bytes;
  }
}

void ClearResourceOverridesForTests() {
  std::lock_guard<std::mutex> hold(resourcesMutex);
  Overrides().clear();
}

}  // namespace platform
