// The framework's device-context and font objects.
#include "platform/framework/afx_gdi.h"

#include "platform/win32.h"

IMPLEMENT_DYNAMIC(CDC, CObject)

CDC::~CDC() {
  if (m_hDC != nullptr) ::DeleteDC(Detach());
}

BOOL CDC::Attach(HDC dc) {
  if (dc == nullptr || m_hDC != nullptr) return FALSE;
  m_hDC = dc;
  return TRUE;
}

HDC CDC::Detach() {
  HDC dc = m_hDC;
  m_hDC = nullptr;
  return dc;
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
  return Attach(::CreateCompatibleDC(SafeHdcOf(dc)));
}

BOOL CDC::DeleteDC() {
  if (m_hDC == nullptr) return FALSE;
  return ::DeleteDC(Detach());
}

IMPLEMENT_DYNAMIC(CFont, CObject)

CFont::~CFont() { DeleteObject(); }

BOOL CFont::CreateFontIndirect(const LOGFONTA* font) {
  if (m_hObject != nullptr) return FALSE;  // one font per object, as the framework asserts
  m_hObject = ::CreateFontIndirectA(font);
  return m_hObject != nullptr;
}

BOOL CFont::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  HFONT font = m_hObject;
  m_hObject = nullptr;
  return ::DeleteObject(font);
}
