#include "imaging/core/reader_prelude.h"

namespace pelorn {

PelornError CheckReaderArguments(const char* path, uint32_t* width, uint32_t* height) {
  if (width != nullptr) *width = 0;
  if (height != nullptr) *height = 0;
  if (path == nullptr || path[0] == '\0' || width == nullptr || height == nullptr) {
    return kPelornBadParam;
  }
  return kPelornOk;
}

PelornError OpenPictureFile(const char* path, uint32_t* width, uint32_t* height, FileOwner* file) {
  const PelornError checked = CheckReaderArguments(path, width, height);
  if (checked != kPelornOk) return checked;
  return file->Open(path, "rb") ? kPelornOk : kPelornFileOpen;
}

}  // namespace pelorn
