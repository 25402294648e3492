// Logical palettes. The screen is a true-colour device: palettes are real
// objects that can be created, selected, realised and deleted, and change no
// pixels.
#include <algorithm>
#include <mutex>

#include "platform/winapi/gdi_objects.h"
#include "platform/winapi/test_hooks.h"

using namespace platform::gdi;

namespace {
constexpr WORD kPaletteVersion = 0x300;
constexpr WORD kMaxPaletteEntries = 1024;

std::mutex& RealizedLock() {
  static std::mutex lock;
  return lock;
}
std::vector<PALETTEENTRY>& LastRealized() {
  static std::vector<PALETTEENTRY> entries;
  return entries;
}
}  // namespace

int platform::LastRealizedPaletteEntries(PALETTEENTRY* entries, int capacity) {
  std::lock_guard<std::mutex> hold(RealizedLock());
  const int count = static_cast<int>(LastRealized().size());
  if (entries != nullptr) {
    std::copy(LastRealized().begin(), LastRealized().begin() + std::min(count, capacity), entries);
  }
  return count;
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  if (palette == nullptr || palette->palVersion != kPaletteVersion ||
      palette->palNumEntries == 0 || palette->palNumEntries > kMaxPaletteEntries) {
    return nullptr;
  }
  Palette* object = new Palette;
  object->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  Register(object);
  return HandleOf(object);
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground) {
  Dc* object = FindDc(dc);
  Palette* selected = FindAs<Palette>(palette, Kind::kPalette);
  if (object == nullptr || selected == nullptr) return nullptr;
  Palette* previous = object->palette;
  Retain(selected);
  Unretain(previous);
  object->palette = selected;
  return HandleOf(previous);
}

UINT RealizePalette(HDC dc) {
  Dc* object = FindDc(dc);
  if (object == nullptr) return GDI_ERROR;
  {
    std::lock_guard<std::mutex> hold(RealizedLock());
    LastRealized() = object->palette->entries;
  }
  return 0;  // no system palette entries change on a true-colour device
}
