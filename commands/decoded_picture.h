// A picture file decoded at full size for the length of one command: picture
// loading, the clipboard copy and export each decode the current file again.
#pragma once

#include <cstdint>

#include "imaging/core/owners.h"
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
  // The picture is then rgb(): width x height x 3 bytes, top row first, as
  // stored (not turned upright); orientation() is the file's EXIF
  // orientation (JPEG only; 1 for the other forms).
  bool Decode(const char* path);
  // As Decode, except that a JPEG may be decoded smaller, at the smallest DCT
  // scale that still covers the picture fitted, upright, into
  // uprightWidth x uprightHeight; fullWidth() and fullHeight() keep the
  // file's own size.
  bool DecodeForArea(const char* path, int32_t uprightWidth, int32_t uprightHeight);
  // As Decode, for an entry of the picture list: false, holding nothing, for
  // a folder pattern.
  bool DecodeEntry(const CString& entry);
  // DecodeEntry, then the picture turned upright by its orientation: what
  // Copy and Export hand on. False, holding nothing, when either fails.
  bool DecodeUprightEntry(const CString& entry);

  const uint8_t* rgb() const { return m_picture.bytes(); }
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
  // The stored picture's size in the file, before any DCT scaling.
  int32_t fullWidth() const { return m_fullWidth; }
  int32_t fullHeight() const { return m_fullHeight; }
  // 1-8, as ReadJpegOrientation gives it.
  int32_t orientation() const { return m_orientation; }

 private:
  void Release();
  // Reads the orientation, then decodes (smaller when a box is given).
  bool DecodeInto(const char* path, int32_t boxWidth, int32_t boxHeight);
  bool TakeBlock(HGLOBAL block, uint32_t width, uint32_t height, int blockBytesPerPixel);
  // Replaces the picture by its upright turn; false (holding nothing) when
  // the new block cannot be had.
  bool TurnUpright();

  // The reader's block, locked while held.
  pelorn::GlobalBlockOwner m_picture;
  int32_t m_width = 0;
  int32_t m_height = 0;
  size_t m_rgbBytes = 0;
  PelornError m_error = kPelornOk;
  int32_t m_fullWidth = 0;
  int32_t m_fullHeight = 0;
  int32_t m_orientation = 1;
};
