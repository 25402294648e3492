// A picture file decoded at full size for the length of one command: picture
// loading, the clipboard copy and export each decode the current file again.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"
#include "platform/framework/afx_string.h"
#include "platform/win32.h"

// An entry whose last three characters are "*.*" (compared case-sensitively)
// is a folder pattern, not a picture.
bool IsFolderPattern(const CString& path);

// Owns the reader's global block, locked while held; unlocks and frees it on
// every way out.
class DecodedPicture {
 public:
  DecodedPicture() = default;
  ~DecodedPicture();
  DecodedPicture(const DecodedPicture&) = delete;
  DecodedPicture& operator=(const DecodedPicture&) = delete;

  // Decodes `path` with the reader its extension selects and turns the
  // thread's progress callback off afterwards. False, holding nothing, when
  // the path is not a regular file (a pipe would block the read for good),
  // no reader matches, the reader fails, the block cannot be locked, or the
  // block is smaller than the size the reader gave; error() then says why.
  // The picture is then rgb(): width x height x 3 bytes, top row first.
  bool Decode(const char* path);
  // As Decode, for an entry of the picture list: false, holding nothing, for
  // a folder pattern.
  bool DecodeEntry(const CString& entry);

  const uint8_t* rgb() const { return m_rgb; }
  // At least 1 and at most INT32_MAX, so that the library's signed entry
  // points take them unchanged.
  int32_t width() const { return m_width; }
  int32_t height() const { return m_height; }
  // width x height x 3, checked against overflow when decoded.
  size_t rgbBytes() const { return m_rgbBytes; }
  // Why the last decode failed, as the library's code: the reader's own
  // (GetLastImageError), kPelornFileOpen for what no reader may open,
  // kPelornOutOfMemory for a block that cannot be locked, kPelornInternal for
  // sizes the block does not hold. kPelornOk after a decode that succeeded.
  PelornError error() const { return m_error; }

 private:
  void Release();

  HGLOBAL m_block = nullptr;
  const uint8_t* m_rgb = nullptr;
  int32_t m_width = 0;
  int32_t m_height = 0;
  size_t m_rgbBytes = 0;
  PelornError m_error = kPelornOk;
};
