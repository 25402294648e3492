// Private to the software renderer (platform/gdi_*.cpp): the objects behind
// GDI handles, the handle registry and the drawing surface of a DC.
//
// A handle is the address of one of these objects. Every handle passed in is
// looked up in the registry first, so a stale, foreign or made-up handle is
// refused (the call fails as on Windows) instead of being dereferenced.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/win_gdi.h"

namespace platform {
namespace gdi {

enum class Kind : uint32_t { kBitmap, kBrush, kPalette, kFont, kDc, kIcon };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  const Kind kind;
  bool stock = false;     // shared default object: never freed, not counted
  int selections = 0;     // DCs that have it selected
};

// Largest pixel store accepted: what a 32-bit process could hold.
constexpr int64_t kMaxPixelBytes = INT32_MAX;

// A bitmap: framebuffer, compatible bitmap, DDB from CreateDIBitmap (all
// 32 bits, top-down) or a DIB section of any depth (its header decides).
struct Bitmap : Object {
  Bitmap() : Object(Kind::kBitmap) {}
  ~Bitmap() override;

  int width = 0;
  int height = 0;          // always positive
  int bitsPerPixel = 32;
  bool topDown = true;     // storage order of the rows
  bool dibSection = false;
  uint32_t compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};  // BI_BITFIELDS masks of a 16/32-bit section
  int64_t stride = 0;
  uint8_t* bits = nullptr;        // owned (calloc)
  std::vector<RGBQUAD> colors;    // colour table of a section of 8 bits or fewer
  int windowUsers = 0;            // window DCs drawing on it (framebuffers)
  int zoom = 1;                   // device pixels per logical pixel (SetDisplayZoom)
  bool deletePending = false;     // DeleteObject came while window DCs used it

  // Row y counted from the top of the picture.
  uint8_t* Row(int y) const {
    const int stored = topDown ? y : height - 1 - y;
    return bits + stored * stride;
  }
};

struct Brush : Object {
  Brush() : Object(Kind::kBrush) {}
  COLORREF color = 0;
};

struct Palette : Object {
  Palette() : Object(Kind::kPalette) {}
  std::vector<PALETTEENTRY> entries;
};

struct FontFace;  // the font's chosen face and fallbacks at its pixel size (gdi_text.cpp)

struct Font : Object {
  Font();
  ~Font() override;
  LOGFONTA log;
  std::unique_ptr<FontFace> face;  // opened on first use
  // The same font for a zoomed device: `zoomedFaceZoom` times as large.
  std::unique_ptr<FontFace> zoomedFace;
  int zoomedFaceZoom = 0;
};

struct Icon : Object {
  Icon() : Object(Kind::kIcon) {}
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // top-down rows, 4 bytes a pixel
};

enum class DcKind { kScreen, kWindow, kMemory, kPrinter };

struct Dc : Object {
  Dc() : Object(Kind::kDc) {}
  DcKind dcKind = DcKind::kMemory;
  bool fromGetDC = false;       // released with ReleaseDC
  HWND window = nullptr;        // the window of a GetDC DC
  Bitmap* surface = nullptr;    // what drawing lands on (may be null: screen)
  Bitmap* bitmap = nullptr;     // memory DC: the selected bitmap
  Brush* brush = nullptr;
  Font* font = nullptr;
  Palette* palette = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT textAlign = TA_LEFT | TA_TOP;
  POINT windowOrg = {0, 0};
  bool hasClip = false;
  RECT clip = {0, 0, 0, 0};     // device pixels, from the paint
  int zoom = 1;                 // of the device: bitmaps made compatible with it
  int pageWidth = 0;            // printer: page size in pixels
  int pageHeight = 0;
};

// --- Registry ----------------------------------------------------------------
void Register(Object* object);
// Removes and deletes it (stock objects are never passed here).
void Destroy(Object* object);
// The live object behind a handle, or nullptr (wrong kind or not a handle).
Object* Find(const void* handle);
template <typename T>
T* FindAs(const void* handle, Kind kind) {
  Object* object = Find(handle);
  return object != nullptr && object->kind == kind ? static_cast<T*>(object) : nullptr;
}
inline Dc* FindDc(HDC dc) { return FindAs<Dc>(dc, Kind::kDc); }
inline Bitmap* FindBitmap(HGDIOBJ b) { return FindAs<Bitmap>(b, Kind::kBitmap); }

template <typename T>
HGDIOBJ HandleOf(T* object) { return reinterpret_cast<HGDIOBJ>(static_cast<Object*>(object)); }
inline HDC HandleOfDc(Dc* dc) { return reinterpret_cast<HDC>(static_cast<Object*>(dc)); }

// Stock objects every DC starts with.
Bitmap* StockBitmap();   // 1 x 1, the bitmap of a new memory DC
Brush* StockBrush();     // white
Palette* StockPalette(); // the default 20-colour palette
Font* StockFont();       // the DC's default font

// Selection bookkeeping (no counting for stock objects).
void Retain(Object* object);
void Unretain(Object* object);

// Test hook: the n-th pixel store from now fails to allocate.
bool PixelAllocationFails();

// A bitmap of width x height pixels with zeroed storage; nullptr when the size
// is not positive, too large or memory runs out. Registered.
Bitmap* NewBitmap(int width, int height, int bitsPerPixel, bool topDown);

// --- Drawing surface -----------------------------------------------------------
// The 32-bit pixels a DC draws on, its clip box in device pixels (already
// within the surface) and the logical-to-device offset.
struct Target {
  Bitmap* bitmap = nullptr;
  RECT clip = {0, 0, 0, 0};
  int offsetX = 0;  // device x = (logical x + offsetX) * zoom
  int offsetY = 0;
  int zoom = 1;

  int64_t DeviceX(int64_t x) const { return (x + offsetX) * zoom; }
  int64_t DeviceY(int64_t y) const { return (y + offsetY) * zoom; }

  uint32_t* Row(int y) const { return reinterpret_cast<uint32_t*>(bitmap->Row(y)); }
  bool Empty() const { return clip.left >= clip.right || clip.top >= clip.bottom; }
};
// False when the DC has no 32-bit surface to draw on (screen DC, a memory DC
// holding a DIB section of another depth).
bool GetTarget(Dc* dc, Target* target);

// --- DIB sources -------------------------------------------------------------------
// Pixel rows of a DIB (from a BITMAPINFO and bits, or a bitmap object),
// converted a row at a time to 0x00RRGGBB words.
struct DibSource {
  const uint8_t* bits = nullptr;  // first stored row
  int width = 0;
  int height = 0;          // positive
  bool topDown = false;
  int bitsPerPixel = 0;
  uint32_t compression = BI_RGB;
  uint32_t masks[3] = {0, 0, 0};
  int64_t stride = 0;
  const RGBQUAD* colors = nullptr;
  int colorCount = 0;
  // Rows present in `bits`: stored rows [firstStored, firstStored + storedRows)
  // (storage order: from the bottom for bottom-up DIBs).
  int firstStored = 0;
  int storedRows = 0;

  // True when top-down row y is present.
  bool HasRow(int y) const;
  // The bytes of top-down row y (which must be present).
  const uint8_t* StoredRow(int y) const;
  // Converts columns [x0, x1) of top-down row y into out[0 .. x1 - x0).
  void ReadRow(int y, int x0, int x1, uint32_t* out) const;
};
// Describes a BITMAPINFO's pixels (DIB_RGB_COLORS only; BI_RGB, and
// BI_BITFIELDS at 16 or 32 bits). False for anything else or absurd sizes.
bool ParseDib(const BITMAPINFO* info, UINT usage, const void* bits, DibSource* source);
// The pixels of a bitmap object as a source.
void BitmapSource(const Bitmap* bitmap, DibSource* source);

// Copies `source`'s rectangle (top-down source rows) to the target with
// nearest-neighbour scaling: destination rectangle in device pixels
// [dx, dx + dw) x [dy, dy + dh), source [sx, sx + sw) x [sy, sy + sh), each
// mirrored when the flag says so. Pixels outside the clip or the source are
// left alone.
void Blit(const Target& target, int64_t dx, int64_t dy, int64_t dw, int64_t dh,
          const DibSource& source, int64_t sx, int64_t sy, int64_t sw, int64_t sh, bool mirrorX,
          bool mirrorY);

inline uint32_t PixelOf(COLORREF color) {
  return (static_cast<uint32_t>(GetRValue(color)) << 16) |
         (static_cast<uint32_t>(GetGValue(color)) << 8) | GetBValue(color);
}

// Intersection of two rectangles; false (and an empty result) when empty.
bool Intersect(const RECT& a, const RECT& b, RECT* out);

}  // namespace gdi
}  // namespace platform
