// Drawing the album list's rows.
#include "catalogue/album_list_box.h"

#include <cstring>

#include "catalogue/skin_image.h"
#include "platform/framework/afx_text.h"
#include "platform/paths.h"
#include "resources/resource_ids.h"

namespace {

constexpr int kRowHeight = 31;
constexpr int kIndentedTextLeft = 30;
constexpr int kTextLeft = 10;
constexpr int kTextBottomRaise = 3;
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kLightGrey = RGB(0xC0, 0xC0, 0xC0);

void CreateRowFont(CFont& font, LPCSTR faceName) {
  LOGFONTA description;
  std::memset(&description, 0, sizeof description);
  description.lfHeight = -12;  // a character height of 12 pixels
  description.lfWidth = 0;
  description.lfWeight = FW_EXTRALIGHT;
  description.lfCharSet = ANSI_CHARSET;
  description.lfOutPrecision = OUT_DEFAULT_PRECIS;
  description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  description.lfQuality = DEFAULT_QUALITY;
  description.lfPitchAndFamily = FF_SWISS;
  std::strncpy(description.lfFaceName, faceName, LF_FACESIZE - 1);
  font.CreateFontIndirect(&description);
}

void DrawLabel(HDC dc, const CString& label, RECT area, int shift, COLORREF color) {
  ::OffsetRect(&area, shift, shift);
  ::SetTextColor(dc, color);
  // A folder name is shown as it is ("&" included), cut short with an
  // ellipsis when longer than the row.
  AfxDrawText(dc, label, &area, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

}  // namespace

CAlbumListBox::CAlbumListBox() {
  CreateRowFont(m_textFont, "Arial");
  CreateRowFont(m_secondFont, "MS Sans Serif");
  LoadSkinImage(m_rootNormalImage, IDR_SKIN_LIST_ROOT, FALSE);
  LoadSkinImage(m_firstLevelNormalImage, IDR_SKIN_LIST_FIRST_LEVEL, TRUE);
  LoadSkinImage(m_selectedImage, IDR_SKIN_LIST_SELECTED, FALSE);
  LoadSkinImage(m_secondLevelNormalImage, IDR_SKIN_LIST_SECOND_LEVEL, FALSE);
  LoadSkinImage(m_secondLevelSelectedImage, IDR_SKIN_LIST_SECOND_SELECTED, FALSE);
}

void CAlbumListBox::MeasureItem(LPMEASUREITEMSTRUCT measure) { measure->itemHeight = kRowHeight; }

CAlbumListBox::RowText CAlbumListBox::RowTextOf(int index) const {
  RowText row;
  GetText(index, row.label);
  const int length = row.label.GetLength();
  row.label.TrimLeft();
  row.indented = row.label.GetLength() != length;
  // The folder's own name: the part after the last separator.
  const int last = row.label.GetLength() - 1;
  if (last >= 0 && row.label[last] == platform::kPathSeparator) row.label = row.label.Left(last);
  const int separator = row.label.ReverseFind(platform::kPathSeparator);
  if (separator > 0) row.label = row.label.Mid(separator + 1);
  if (index == 0) row.label = m_rootLabel.IsEmpty() ? CString("My Album") : m_rootLabel;
  return row;
}

CDIBSection& CAlbumListBox::RowImage(int index, bool indented, bool selected) {
  if (selected) return indented ? m_secondLevelSelectedImage : m_selectedImage;
  if (index == 0) return m_rootNormalImage;
  return indented ? m_secondLevelNormalImage : m_firstLevelNormalImage;
}

void CAlbumListBox::DrawItem(LPDRAWITEMSTRUCT draw) {
  HDC dc = draw->hDC;
  ::SetBkMode(dc, TRANSPARENT);
  const int index = static_cast<int>(draw->itemID);
  if (index < 0) return;

  const RowText row = RowTextOf(index);
  CDC target;
  target.Attach(dc);
  RowImage(index, row.indented, (draw->itemState & ODS_SELECTED) != 0)
      .Draw(&target, draw->rcItem.left, draw->rcItem.top, SRCCOPY);
  target.Detach();

  RECT textArea = draw->rcItem;
  textArea.left += row.indented ? kIndentedTextLeft : kTextLeft;
  textArea.bottom -= kTextBottomRaise;
  HGDIOBJ previousFont = ::SelectObject(dc, m_textFont.GetSafeHandle());
  // Row 0: light text over a dark shadow; the others: dark over light.
  const bool root = index == 0;
  DrawLabel(dc, row.label, textArea, 1, root ? kBlack : kLightGrey);
  DrawLabel(dc, row.label, textArea, 0, root ? kLightGrey : kBlack);
  ::SelectObject(dc, previousFont);
}

BOOL CAlbumListBox::PreTranslateMessage(MSG* message) {
  if (message->message == WM_RBUTTONDOWN && message->hwnd == m_hWnd) message->message = WM_LBUTTONDOWN;
  return CListBox::PreTranslateMessage(message);
}
