// The dialog framework's device-context object, a thin owner of an HDC, and
// its font object. Window-side classes (paint and client DCs) derive from the
// device context; the bitmap classes take it to draw.
#pragma once

#include "platform/framework/afx_object.h"
#include "platform/win32.h"

class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)

 public:
  HDC m_hDC = nullptr;

  CDC() = default;
  // Deletes the DC it still holds (as the framework does); classes that got
  // their DC from BeginPaint or GetDC Detach it first.
  ~CDC() override;

  HDC GetSafeHdc() const { return m_hDC; }
  BOOL Attach(HDC dc);
  HDC Detach();
  // A memory DC compatible with `dc` (nullptr: the screen).
  BOOL CreateCompatibleDC(CDC* dc);
  BOOL DeleteDC();
};

// The framework's font object: owns the HFONT it creates and deletes it when
// destroyed.
class CFont : public CObject {
  DECLARE_DYNAMIC(CFont)

 public:
  HFONT m_hObject = nullptr;

  CFont() = default;
  ~CFont() override;
  CFont(const CFont&) = delete;
  CFont& operator=(const CFont&) = delete;

  BOOL CreateFontIndirect(const LOGFONTA* font);
  BOOL DeleteObject();
  HFONT GetSafeHandle() const { return m_hObject; }
  operator HFONT() const { return m_hObject; }  // NOLINT: as the framework's
};

// The DC of a possibly absent device-context object (nullptr: none).
inline HDC SafeHdcOf(const CDC* dc) { return dc != nullptr ? dc->m_hDC : nullptr; }
