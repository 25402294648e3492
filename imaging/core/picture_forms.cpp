#include "imaging/core/picture_forms.h"

#include <cstring>

#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/thread_state.h"

namespace {

struct FormEntry {
  PictureForm form;
  const char* extension;
  int32_t paletteColors;
  int32_t bitsPerPixel;  // of the BMP forms
};

const FormEntry kForms[] = {
    {PictureForm::kJpeg, "jpg", 0, 24},  {PictureForm::kPng24, "png", 0, 24},
    {PictureForm::kPng8, "png", 256, 8}, {PictureForm::kBmp24, "bmp", 0, 24},
    {PictureForm::kBmp8, "bmp", 256, 8}, {PictureForm::kBmp4, "bmp", 16, 4},
    {PictureForm::kGif, "gif", 256, 8},
};

const FormEntry& EntryOf(PictureForm form) {
  for (const FormEntry& entry : kForms)
    if (entry.form == form) return entry;
  return kForms[0];
}

// The name's extension in lower case, empty when its last part has no dot.
void LowerExtension(const char* path, char* extension, size_t size) {
  extension[0] = '\0';
  const char* dot = std::strrchr(path, '.');
  if (dot == nullptr || std::strchr(dot, '/') != nullptr || std::strchr(dot, '\\') != nullptr)
    return;
  size_t at = 0;
  for (const char* c = dot + 1; *c != '\0'; ++c) {
    if (at + 1 >= size) {  // longer than any form's extension
      extension[0] = '\0';
      return;
    }
    extension[at++] = (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
  }
  extension[at] = '\0';
}

int32_t WriteIndexed(const FormEntry& entry, const char* path, const uint8_t* indices,
                     int32_t width, int32_t height, const RGBQUAD* palette) {
  switch (entry.form) {
    case PictureForm::kPng8:
      return WritePng8File(path, indices, width, height, entry.paletteColors, palette, 0.0);
    case PictureForm::kGif: return WriteGifFile(path, indices, width, height, 0, -1, palette);
    default:
      return WriteBmpIndexedFile(path, indices, width, height, entry.bitsPerPixel,
                                 entry.paletteColors, palette);
  }
}

}  // namespace

const char* FormExtension(PictureForm form) { return EntryOf(form).extension; }

int32_t FormPaletteColors(PictureForm form) { return EntryOf(form).paletteColors; }

bool FormOfFileName(const char* path, PictureForm chosen, PictureForm* named) {
  if (path == nullptr || named == nullptr) return false;
  char extension[8];
  LowerExtension(path, extension, sizeof extension);
  if (std::strcmp(extension, "jpeg") == 0) std::strcpy(extension, "jpg");
  if (std::strcmp(extension, FormExtension(chosen)) == 0) {
    *named = chosen;
    return true;
  }
  for (const FormEntry& entry : kForms) {
    // The table lists each kind's first form (JPEG, 24-bit PNG, 24-bit BMP, GIF) first.
    if (std::strcmp(extension, entry.extension) == 0) {
      *named = entry.form;
      return true;
    }
  }
  return false;
}

int32_t WriteFormFile(PictureForm form, const char* path, const uint8_t* rgb, int32_t width,
                      int32_t height, int32_t jpegQuality) {
  const FormEntry& entry = EntryOf(form);
  switch (form) {
    case PictureForm::kJpeg:
      if (width < 0 || height < 0) break;
      return WriteJpegFile(path, rgb, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                           jpegQuality, 1, 0);
    case PictureForm::kPng24: return WritePng24File(path, rgb, width, height, 0.0);
    case PictureForm::kBmp24: return WriteBmp24File(path, rgb, width, height);
    default: {
      if (width < 0 || height < 0) break;
      size_t indexBytes = 0;
      pelorn::PlainBlock indices;
      if (!pelorn::CheckedProduct(static_cast<uint64_t>(width), static_cast<uint64_t>(height),
                                  &indexBytes) ||
          !indices.Allocate(indexBytes)) {
        GetThreadState().lastError = kPelornOutOfMemory;
        return 0;
      }
      RGBQUAD palette[256] = {};
      if (!QuantizeRgb(rgb, indices.bytes(), width, height, entry.paletteColors, palette)) return 0;
      return WriteIndexed(entry, path, indices.bytes(), width, height, palette);
    }
  }
  GetThreadState().lastError = kPelornBadParam;
  return 0;
}
