// Decoding skin images from the program's resources.
#include "catalogue/skin_image.h"

#include <cstdint>

#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"
#include "platform/framework/afx_app.h"

BOOL LoadSkinImage(CWinBmp& image, int resourceId, BOOL reportFailure) {
  HMODULE module = AfxGetResourceHandle();
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(resourceId), "BIN");
  if (resource == nullptr) return FALSE;
  HGLOBAL loaded = LoadResource(module, resource);
  if (loaded == nullptr) return FALSE;
  DWORD size = SizeofResource(module, resource);
  const void* bytes = LockResource(loaded);
  // The decoder takes a signed 32-bit length: a larger resource is refused
  // here rather than passed on with a negative length.
  if (bytes == nullptr || size == 0 || size > 0x7FFFFFFFu) return FALSE;
  uint32_t width = 0;
  uint32_t height = 0;
  HGLOBAL block = ReadJpegMemory(bytes, static_cast<int32_t>(size), &width, &height);
  if (block == nullptr) {
    if (reportFailure) AfxMessageBox(ErrorText(GetLastImageError()).c_str());
    return FALSE;
  }
  BOOL created = FALSE;
  const uint8_t* rgb = static_cast<const uint8_t*>(GlobalLock(block));
  // A block that cannot be locked yields no picture (the image stays empty).
  if (rgb != nullptr) {
    try {
      image.CreateFromRgb(rgb, static_cast<int32_t>(width), static_cast<int32_t>(height));
      created = TRUE;
    } catch (CMemoryException* exception) {
      exception->Delete();
      if (reportFailure) AfxMessageBox(ErrorText(kPelornOutOfMemory).c_str());
    }
    GlobalUnlock(block);
  }
  GlobalFree(block);
  return created;
}
