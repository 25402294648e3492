// Logical palettes. The screen is a true-colour device: palettes are real
// objects that can be created, selected, realised and deleted, and change no
// pixels.
#include "platform/gdi_objects.h"

using namespace platform::gdi;

namespace {
constexpr WORD kPaletteVersion = 0x300;
constexpr WORD kMaxPaletteEntries = 1024;
}  // namespace

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
  if (FindDc(dc) == nullptr) return GDI_ERROR;
  return 0;  // no system palette entries change on a true-colour device
}
