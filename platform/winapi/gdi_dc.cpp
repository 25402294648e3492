// Device contexts and the GDI handle space: the registry of live objects,
// stock objects, DC creation and release, selection, deletion, device
// capabilities, window origin and clip box.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/display_zoom.h"
#include "platform/winapi/gdi_objects.h"
#include "platform/winapi/test_hooks.h"

namespace platform {
namespace gdi {
namespace {

std::mutex& RegistryLock() {
  static std::mutex lock;
  return lock;
}
std::unordered_set<const void*>& Registry() {
  static std::unordered_set<const void*> live;
  return live;
}

std::atomic<int> screenWidth{1024};
std::atomic<int> screenHeight{768};
std::atomic<WindowFramebufferLookup> windowLookup{nullptr};
std::atomic<int64_t> failingPixelAllocation{0};
std::atomic<bool> screenIsPaletteDevice{false};
std::atomic<int> displayZoom{1};

const void* Key(const Object* object) { return object; }

Dc* NewDc(DcKind kind) {
  Dc* dc = new Dc;
  dc->dcKind = kind;
  dc->brush = StockBrush();
  dc->font = StockFont();
  dc->palette = StockPalette();
  if (kind == DcKind::kMemory) {
    dc->bitmap = StockBitmap();
    dc->surface = dc->bitmap;
  }
  Register(dc);
  return dc;
}

// Drops what the DC holds and frees it.
void FreeDc(Dc* dc) {
  if (dc->dcKind == DcKind::kWindow && dc->surface != nullptr) {
    Bitmap* framebuffer = dc->surface;
    --framebuffer->windowUsers;
    if (framebuffer->windowUsers == 0 && framebuffer->deletePending) Destroy(framebuffer);
  } else if (dc->dcKind == DcKind::kPrinter && dc->surface != nullptr) {
    Destroy(dc->surface);  // the printer's page belongs to it alone
  }
  if (dc->bitmap != nullptr) Unretain(dc->bitmap);
  Unretain(dc->brush);
  Unretain(dc->font);
  Unretain(dc->palette);
  Destroy(dc);
}

}  // namespace

void Register(Object* object) {
  std::lock_guard<std::mutex> hold(RegistryLock());
  Registry().insert(Key(object));
}

void Destroy(Object* object) {
  {
    std::lock_guard<std::mutex> hold(RegistryLock());
    Registry().erase(Key(object));
  }
  delete object;
}

Object* Find(const void* handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(RegistryLock());
  if (Registry().count(handle) == 0) return nullptr;
  return static_cast<Object*>(const_cast<void*>(handle));
}

void Retain(Object* object) {
  if (object != nullptr && !object->stock) ++object->selections;
}
void Unretain(Object* object) {
  if (object != nullptr && !object->stock) --object->selections;
}

Bitmap::~Bitmap() { std::free(bits); }

bool PixelAllocationFails() {
  int64_t n = failingPixelAllocation.load();
  while (n > 0) {
    if (failingPixelAllocation.compare_exchange_weak(n, n - 1)) return n == 1;
  }
  return false;
}

Bitmap* NewBitmap(int width, int height, int bitsPerPixel, bool topDown) {
  if (width <= 0 || height <= 0) return nullptr;
  const int64_t stride = ((static_cast<int64_t>(width) * bitsPerPixel + 31) / 32) * 4;
  const int64_t bytes = stride * height;
  if (bytes > kMaxPixelBytes) return nullptr;
  if (PixelAllocationFails()) return nullptr;
  void* bits = std::calloc(static_cast<size_t>(bytes), 1);
  if (bits == nullptr) return nullptr;
  Bitmap* bitmap = new Bitmap;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bitsPerPixel = bitsPerPixel;
  bitmap->topDown = topDown;
  bitmap->stride = stride;
  bitmap->bits = static_cast<uint8_t*>(bits);
  Register(bitmap);
  return bitmap;
}

Bitmap* StockBitmap() {
  static Bitmap* bitmap = [] {
    Bitmap* b = new Bitmap;
    b->width = b->height = 1;
    b->stride = 4;
    b->bits = static_cast<uint8_t*>(std::calloc(4, 1));
    b->stock = true;
    Register(b);
    return b;
  }();
  return bitmap;
}

Brush* StockBrush() {
  static Brush* brush = [] {
    Brush* b = new Brush;
    b->color = RGB(255, 255, 255);
    b->stock = true;
    Register(b);
    return b;
  }();
  return brush;
}

Palette* StockPalette() {
  static Palette* palette = [] {
    // The 20 static colours of the system palette.
    static const BYTE kColors[20][3] = {
        {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
        {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
        {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
        {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    Palette* p = new Palette;
    for (const auto& c : kColors) p->entries.push_back(PALETTEENTRY{c[0], c[1], c[2], 0});
    p->stock = true;
    Register(p);
    return p;
  }();
  return palette;
}

bool GetTarget(Dc* dc, Target* target) {
  Bitmap* surface = dc->surface;
  if (surface == nullptr || surface->bitsPerPixel != 32 || surface->compression != BI_RGB) {
    return false;
  }
  target->bitmap = surface;
  RECT bounds = {0, 0, surface->width, surface->height};
  if (dc->hasClip) {
    Intersect(bounds, dc->clip, &bounds);
  }
  target->clip = bounds;
  target->offsetX = -dc->windowOrg.x;
  target->offsetY = -dc->windowOrg.y;
  target->zoom = surface->zoom;
  return true;
}

bool Intersect(const RECT& a, const RECT& b, RECT* out) {
  RECT r = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) r = RECT{0, 0, 0, 0};
  *out = r;
  return r.right > r.left;
}

}  // namespace gdi

// --- Internal interface ---------------------------------------------------------

using namespace gdi;

HDC CreateWindowDC(HBITMAP framebuffer, const RECT* clip) {
  Bitmap* surface = FindBitmap(framebuffer);
  if (surface == nullptr || surface->deletePending || surface->stock) return nullptr;
  Dc* dc = NewDc(DcKind::kWindow);
  dc->surface = surface;
  dc->zoom = surface->zoom;
  ++surface->windowUsers;
  if (clip != nullptr) {
    const int zoom = surface->zoom;
    dc->hasClip = true;
    dc->clip = RECT{clip->left * zoom, clip->top * zoom, clip->right * zoom, clip->bottom * zoom};
  }
  return HandleOfDc(dc);
}

void SetWindowFramebufferLookup(WindowFramebufferLookup lookup) { windowLookup = lookup; }

void SetDisplayZoom(int zoom) { displayZoom = zoom < 1 ? 1 : zoom; }
int DisplayZoom() { return displayZoom.load(); }

void SetScreenSize(int width, int height) {
  if (width > 0 && height > 0) {
    screenWidth = width;
    screenHeight = height;
  }
}

int64_t LiveGdiObjects() {
  std::lock_guard<std::mutex> hold(RegistryLock());
  int64_t live = 0;
  for (const void* key : Registry()) {
    if (!static_cast<const Object*>(key)->stock) ++live;
  }
  return live;
}

HDC CreatePrinterDCForTests(int width, int height) {
  Bitmap* page = NewBitmap(width, height, 32, true);
  if (page == nullptr) return nullptr;
  std::memset(page->bits, 0xFF, static_cast<size_t>(page->stride * page->height));  // white paper
  Dc* dc = NewDc(DcKind::kPrinter);
  dc->surface = page;
  dc->pageWidth = width;
  dc->pageHeight = height;
  return HandleOfDc(dc);
}

void FailNthGdiAllocation(int64_t n) { failingPixelAllocation = n < 0 ? 0 : n; }

void SetScreenIsPaletteDeviceForTests(bool palette) { screenIsPaletteDevice = palette; }

}  // namespace platform

using namespace platform;
using namespace platform::gdi;

// --- Windows API ------------------------------------------------------------------

HDC GetDC(HWND window) {
  if (window == nullptr) {
    Dc* dc = NewDc(DcKind::kScreen);
    dc->zoom = DisplayZoom();
    dc->fromGetDC = true;
    return HandleOfDc(dc);
  }
  WindowFramebufferLookup lookup = windowLookup.load();
  if (lookup == nullptr) return nullptr;
  HDC dc = CreateWindowDC(lookup(window), nullptr);
  if (dc != nullptr) {
    Dc* object = FindDc(dc);
    object->fromGetDC = true;
    object->window = window;
  }
  return dc;
}

int ReleaseDC(HWND window, HDC dc) {
  Dc* object = FindDc(dc);
  if (object == nullptr || !object->fromGetDC || object->window != window) return 0;
  FreeDc(object);
  return 1;
}

HDC CreateCompatibleDC(HDC dc) {
  int zoom = DisplayZoom();
  if (dc != nullptr) {
    Dc* reference = FindDc(dc);
    // Only display DCs here: a memory DC compatible with a printer is not made.
    if (reference == nullptr || reference->dcKind == DcKind::kPrinter) return nullptr;
    zoom = reference->zoom;
  }
  Dc* memory = NewDc(DcKind::kMemory);
  memory->zoom = zoom;
  return HandleOfDc(memory);
}

BOOL DeleteDC(HDC dc) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return FALSE;
  FreeDc(object);
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ handle) {
  Dc* target = FindDc(dc);
  Object* object = Find(handle);
  if (target == nullptr || object == nullptr) return nullptr;
  switch (object->kind) {
    case Kind::kBitmap: {
      // Only memory DCs take bitmaps, and a bitmap is selected in one DC at
      // a time (the stock bitmap excepted).
      Bitmap* bitmap = static_cast<Bitmap*>(object);
      if (target->dcKind != DcKind::kMemory) return nullptr;
      if (bitmap == target->bitmap) return handle;
      if (bitmap->selections > 0 || bitmap->windowUsers > 0 || bitmap->deletePending) {
        return nullptr;
      }
      Bitmap* previous = target->bitmap;
      Retain(bitmap);
      Unretain(previous);
      target->bitmap = bitmap;
      target->surface = bitmap;
      return HandleOf(previous);
    }
    case Kind::kBrush: {
      Brush* previous = target->brush;
      Retain(object);
      Unretain(previous);
      target->brush = static_cast<Brush*>(object);
      return HandleOf(previous);
    }
    case Kind::kFont: {
      Font* previous = target->font;
      Retain(object);
      Unretain(previous);
      target->font = static_cast<Font*>(object);
      return HandleOf(previous);
    }
    default:
      return nullptr;  // palettes go through SelectPalette
  }
}

BOOL DeleteObject(HGDIOBJ handle) {
  Object* object = Find(handle);
  if (object == nullptr || object->kind == Kind::kDc || object->kind == Kind::kIcon) {
    return FALSE;
  }
  if (object->stock) return TRUE;  // harmless, as on Windows
  // An object still selected into a DC stays (the DC would draw with it).
  if (object->selections > 0) return FALSE;
  if (object->kind == Kind::kBitmap) {
    Bitmap* bitmap = static_cast<Bitmap*>(object);
    if (bitmap->windowUsers > 0) {
      bitmap->deletePending = true;  // freed with the last window DC over it
      return TRUE;
    }
  }
  Destroy(object);
  return TRUE;
}

int GetDeviceCaps(HDC dc, int index) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return 0;
  const bool printer = object->dcKind == DcKind::kPrinter;
  switch (index) {
    case HORZRES:
      return printer ? object->pageWidth : screenWidth.load();
    case VERTRES:
      return printer ? object->pageHeight : screenHeight.load();
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return -1;  // more than 256 colours
    case SIZEPALETTE:
      return !printer && screenIsPaletteDevice ? 256 : 0;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return kDotsPerInchUnzoomed * (printer ? 1 : object->zoom);
    case RASTERCAPS:
      // True-colour display: no RC_PALETTE. The test printer cannot stretch.
      if (printer) return RC_DIBTODEV;
      return RC_BITBLT | RC_DIBTODEV | RC_STRETCHDIB | (screenIsPaletteDevice ? RC_PALETTE : 0);
    default:
      return 0;
  }
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, LPPOINT previous) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return FALSE;
  if (previous != nullptr) *previous = object->windowOrg;
  object->windowOrg = POINT{x, y};
  return TRUE;
}

int GetClipBox(HDC dc, LPRECT rect) {
  Dc* object = FindDc(dc);
  if (object == nullptr || rect == nullptr) return ERROR;
  RECT device = {0, 0, 0, 0};
  int zoom = 1;
  if (object->surface != nullptr) {
    device = RECT{0, 0, object->surface->width, object->surface->height};
    zoom = object->surface->zoom;
  } else if (object->dcKind == DcKind::kScreen) {
    device = RECT{0, 0, screenWidth.load(), screenHeight.load()};
  }
  if (object->hasClip) Intersect(device, object->clip, &device);
  const bool empty = device.left >= device.right || device.top >= device.bottom;
  // Rounded outward: every logical pixel the box touches.
  device = RECT{FloorDivide(device.left, zoom), FloorDivide(device.top, zoom),
                CeilDivide(device.right, zoom), CeilDivide(device.bottom, zoom)};
  // Logical coordinates: device + window origin.
  *rect = RECT{device.left + object->windowOrg.x, device.top + object->windowOrg.y,
               device.right + object->windowOrg.x, device.bottom + object->windowOrg.y};
  return empty ? NULLREGION : SIMPLEREGION;
}
