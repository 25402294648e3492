// Bitmap classes: pictures kept in the Windows DIB layout so that they draw
// with one StretchDIBits or BitBlt, and a table of row pointers for top-down
// pixel work.
//
//   CBmp        size, depth, colour table, pixels (bottom row first), row table
//   CWinBmp     a packed DIB (header, colour table, rows) in one plain block;
//               draws with StretchDIBits / SetDIBitsToDevice
//   CDIBSection header and colour table in a plain block, pixels in a DIB
//               section; draws with BitBlt through a memory DC
//
// Every bitmap starts as a 16 x 16 8-bit grey-ramp picture flagged empty
// (drawing does nothing) until the first Create. Allocation failures throw
// the framework's out-of-memory exception (CMemoryException*, see
// platform/framework/afx_object.h); drawing failures are returned.
#pragma once

#include <cstdint>

#include "platform/framework/afx_gdi.h"
#include "platform/framework/afx_object.h"
#include "platform/win32.h"

class CBmp : public CObject {
  DECLARE_DYNAMIC(CBmp)

 public:
  CBmp();
  ~CBmp() override;

  // Virtual operations, in slot order.
  // Clears the empty flag, frees the picture and allocates a new one.
  virtual void Create(int32_t width, int32_t height, uint16_t bitsPerPixel);
  // Bytes of the packed DIB: header, colour table and rows.
  virtual int64_t GetImageSize() const = 0;
  // The DIB row length ((width * bits + 31) / 32) * 4.
  virtual int32_t GetBytesPerLine() const = 0;

 protected:
  virtual void Allocate(int32_t width, int32_t height, uint16_t bitsPerPixel) = 0;
  virtual void Free() = 0;
  virtual void BuildRowTable() = 0;

 public:
  // A 32-bit upright copy of an RGB buffer (rows top-down, bytes R, G, B);
  // the fourth byte of each pixel is 255.
  void CreateFromRgb(const uint8_t* rgb, int32_t width, int32_t height);
  // The pixels when the depth is 32, else nullptr.
  uint8_t* GetBits32();

  BOOL IsEmpty() const { return m_empty != 0; }
  int32_t GetWidth() const { return m_width; }
  int32_t GetHeight() const { return m_height; }
  uint16_t GetBitsPerPixel() const { return m_bitsPerPixel; }
  RGBQUAD* GetColorTable() const { return m_colorTable; }
  uint8_t* GetPixels() const { return m_pixels; }
  // Row i counted from the top of the picture (nullptr when out of range).
  uint8_t* GetRow(int32_t i) const {
    return m_rowTable != nullptr && i >= 0 && i < m_height ? m_rowTable[i] : nullptr;
  }
  uint8_t** GetRowTable() const { return m_rowTable; }

  // Row length and packed size for any picture (false: does not fit).
  static bool RowLength(int32_t width, uint16_t bitsPerPixel, int32_t* rowLength);
  static uint32_t ColorTableEntries(uint16_t bitsPerPixel) {
    return bitsPerPixel <= 15 ? (1u << bitsPerPixel) : 0;
  }

 protected:
  // Stores the size, builds the row table and, for a new picture of 15 bits
  // or fewer, writes the grey ramp.
  void FinishAllocation(int32_t width, int32_t height, uint16_t bitsPerPixel, bool greyRamp);
  // Checks a picture's size; throws the out-of-memory exception when it
  // cannot exist (non-positive or overflowing sizes, unknown depth).
  static void CheckedSizes(int32_t width, int32_t height, uint16_t bitsPerPixel,
                           int32_t* rowLength, int64_t* imageSize);
  void ReleaseRowTable();

  int32_t m_empty = 1;
  int32_t m_width = 0;
  int32_t m_height = 0;
  uint16_t m_bitsPerPixel = 0;
  RGBQUAD* m_colorTable = nullptr;
  uint8_t* m_pixels = nullptr;   // first byte of the bottom row
  uint8_t** m_rowTable = nullptr;  // owned: entry i = row i from the top
};

class CWinBmp : public CBmp {
  DECLARE_DYNAMIC(CWinBmp)

 public:
  CWinBmp();
  ~CWinBmp() override;

  int64_t GetImageSize() const override;
  int32_t GetBytesPerLine() const override;

  // Loads a bitmap resource (RT_BITMAP) of the program's module; FALSE when
  // it is missing or its data is not a whole DIB.
  virtual BOOL CreateFromResource(int id);
  // Draws at 1:1 with its top-left corner at (x, y). Returns the graphics
  // call's result, or the empty flag (1) when never created.
  virtual int Draw(CDC* dc, int x, int y, DWORD rop = SRCCOPY);
  // Draws scaled by `factor` (destination sizes truncated toward zero).
  virtual int StretchDraw(CDC* dc, int x, int y, double factor, DWORD rop = SRCCOPY);
  // Draws the source rectangle [left, right) x [top, bottom) (top-down picture
  // coordinates) at (x, y). 0 when never created.
  virtual int DrawPart(CDC* dc, int x, int y, int left, int top, int right, int bottom);
  // Copies a packed DIB (40-byte header or larger, colour table, rows).
  // FALSE, with the picture unchanged, for a DIB this class cannot hold
  // (compressed, bad sizes or depth).
  virtual BOOL CreateFromDib(const BITMAPINFOHEADER* dib);
  // The packed DIB in a movable, shareable global block owned by the caller.
  virtual HGLOBAL CopyToGlobal() const;

  const BITMAPINFOHEADER* GetHeader() const { return m_header; }

 protected:
  virtual void SetPointers();
  // Header, colour table and rows for the size, in this kind's storage;
  // throws on failure.
  virtual void AllocateStorage(int32_t width, int32_t height, uint16_t bitsPerPixel);
  void Allocate(int32_t width, int32_t height, uint16_t bitsPerPixel) override;
  void Free() override;
  void BuildRowTable() override;
  // FinishAllocation; on failure frees the storage and throws on.
  void FinishOrFree(int32_t width, int32_t height, uint16_t bitsPerPixel, bool greyRamp);

  // Validates a packed DIB; fills its sizes and where its colours and rows are.
  static bool DescribeDib(const BITMAPINFOHEADER* dib, int32_t* width, int32_t* height,
                          bool* topDown, uint16_t* bitsPerPixel, const RGBQUAD** colors,
                          uint32_t* colorCount, const uint8_t** rows);
  // Writes the standard header for the current size into m_header.
  void WriteHeader(int32_t width, int32_t height, uint16_t bitsPerPixel);
  // Copies the DIB's colours into m_colorTable and its rows (flipped when
  // top-down) into the rows at m_pixels.
  void CopyDibContents(const RGBQUAD* colors, uint32_t colorCount, const uint8_t* rows,
                       bool topDown, int32_t width, int32_t height, uint16_t bitsPerPixel);

  BITMAPINFOHEADER* m_header = nullptr;  // owned plain block
};

class CDIBSection : public CWinBmp {
  DECLARE_DYNAMIC(CDIBSection)

 public:
  CDIBSection();
  ~CDIBSection() override;

  int Draw(CDC* dc, int x, int y, DWORD rop = SRCCOPY) override;
  int DrawPart(CDC* dc, int x, int y, int left, int top, int right, int bottom) override;
  BOOL CreateFromDib(const BITMAPINFOHEADER* dib) override;
  HGLOBAL CopyToGlobal() const override;
  // Frees the picture and allocates the default 16 x 16 8-bit one again; the
  // empty flag stays as it is.
  virtual void ResetToDefault();

  HBITMAP GetSection() const { return m_section; }

 protected:
  void SetPointers() override;
  // The header block and a DIB section for the rows.
  void AllocateStorage(int32_t width, int32_t height, uint16_t bitsPerPixel) override;
  void Free() override;

 private:
  // BitBlt from the section through a memory DC.
  int BlitSection(HDC target, int x, int y, int width, int height, int left, int top, DWORD rop);

  HBITMAP m_section = nullptr;  // owned DIB section
};
