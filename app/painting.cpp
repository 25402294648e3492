// Painting the viewer window: everything is composed off screen in a bitmap
// the size of the clip box and reaches the window in one BitBlt, so the
// window never flickers and small invalidations (a pressed zone) cost little.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/viewer_dlg.h"
#include "imaging/core/pelorn.h"
#include "platform/framework/afx_text.h"
#include "platform/framework/afx_zoom.h"
#include "platform/paths.h"

namespace {

constexpr COLORREF kCaptionColor = 0x404040;  // file name and counter
constexpr COLORREF kTitleColor = 0x000000;
constexpr int kCaptionTop = 565;
constexpr int kCounterLeft = 550;
// The file name is centred this far left of the picture area's centre.
constexpr int kFileNameShift = 40;
// Space kept clear between the file name's box and its neighbours.
constexpr int kCaptionGap = 6;
// The right shadow strip is taken upward from its image's second-to-last row.
constexpr int kShadowRightFirstRow = 483;

// The part of a path after its last separator (the whole path without one).
const char* BareFileName(const CString& path) {
  const char* text = path;
  const char* separator = std::strrchr(text, platform::kPathSeparator);
  return separator != nullptr ? separator + 1 : text;
}

// The file name's box: centred on `centre`, as wide as fits between the
// Export zone and the counter with a gap either side, from the caption line
// to the window's bottom. A longer name is cut short with an ellipsis, so its
// ink never reaches the buttons or the counter.
RECT FileNameBox(int centre, const CRect& exportZone, int windowHeight) {
  const int halfWidth =
      std::max(0, std::min(centre - static_cast<int>(exportZone.right), kCounterLeft - centre) -
                      kCaptionGap);
  return RECT{centre - halfWidth, kCaptionTop, centre + halfWidth, windowHeight};
}

// Copies `rowCount` rows of `source` into a fresh 32-bit bitmap `width`
// pixels wide (its leftmost pixels); `sourceRowOf(r)` names the source row of
// destination row r. Draws it at (x, y); nothing when the source is not a
// 32-bit picture.
template <typename SourceRowOf>
void DrawShadowStrip(CDC* dc, const CWinBmp& source, int width, int rowCount, int x, int y,
                     SourceRowOf sourceRowOf) {
  if (source.IsEmpty() || source.GetBitsPerPixel() != 32 || width <= 0 || rowCount <= 0) return;
  CWinBmp strip;
  strip.Create(width, rowCount, 32);
  for (int r = 0; r < rowCount; ++r) {
    const uint8_t* from = source.GetRow(sourceRowOf(r));
    uint8_t* to = strip.GetRow(r);
    if (from != nullptr && to != nullptr) std::memcpy(to, from, static_cast<size_t>(width) * 4);
  }
  strip.Draw(dc, x, y, SRCCOPY);
}

// Ends the paint's off-screen composition on every way out: the memory
// context gets its first bitmap back before both are deleted.
class OffscreenCanvas {
 public:
  // `clip` is in window pixels; the bitmap holds the system's pixels.
  OffscreenCanvas(CDC* paintDc, const RECT& clip) {
    m_dc.CreateCompatibleDC(paintDc);
    m_bitmap = ::CreateCompatibleBitmap(paintDc->GetSafeHdc(),
                                        AfxSystemPixels(clip.right - clip.left),
                                        AfxSystemPixels(clip.bottom - clip.top));
    if (m_bitmap != nullptr) m_previous = ::SelectObject(m_dc.GetSafeHdc(), m_bitmap);
    AfxZoomDC(m_dc.GetSafeHdc());
    ::SetWindowOrgEx(m_dc.GetSafeHdc(), clip.left, clip.top, nullptr);
  }
  ~OffscreenCanvas() {
    if (m_previous != nullptr) ::SelectObject(m_dc.GetSafeHdc(), m_previous);
    if (m_bitmap != nullptr) ::DeleteObject(m_bitmap);
    m_dc.DeleteDC();
  }
  OffscreenCanvas(const OffscreenCanvas&) = delete;
  OffscreenCanvas& operator=(const OffscreenCanvas&) = delete;

  bool IsReady() const { return m_bitmap != nullptr && m_dc.GetSafeHdc() != nullptr; }
  CDC* Dc() { return &m_dc; }

 private:
  CDC m_dc;
  HBITMAP m_bitmap = nullptr;
  HGDIOBJ m_previous = nullptr;
};

}  // namespace

void CViewerDlg::InvalidateViewingRegion() {
  CRect region(m_pictureArea.left - 40, 0, m_windowWidth, m_windowHeight);
  InvalidateRect(region, TRUE);
}

void CViewerDlg::OnPaint() {
  {
    CPaintDC dc(this);
    if (IsIconic()) {
      PaintIcon(&dc);
    } else {
      RECT clip = {};
      ::GetClipBox(dc.GetSafeHdc(), &clip);
      // A zoomed DC gives its clip box in whole window pixels, which may
      // leave out a device pixel's part at an edge.
      ::InflateRect(&clip, 1, 1);
      OffscreenCanvas canvas(&dc, clip);
      if (canvas.IsReady()) {
        ComposeWindow(canvas.Dc());
        ::BitBlt(dc.GetSafeHdc(), clip.left, clip.top, clip.right - clip.left,
                 clip.bottom - clip.top, canvas.Dc()->GetSafeHdc(), clip.left, clip.top, SRCCOPY);
      }
    }
  }
  CDialog::OnPaint();
}

void CViewerDlg::PaintIcon(CDC* dc) {
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc->GetSafeHdc()), 0);
  CRect client;
  GetClientRect(&client);
  const int x = (client.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc->GetSafeHdc(), x, y, m_icon);
}

void CViewerDlg::ComposeWindow(CDC* dc) {
  m_background.Draw(dc, 0, 0, SRCCOPY);
  if (m_closeHover) m_closeHighlight.Draw(dc, m_closeZone.left, m_closeZone.top, SRCCOPY);
  if (m_bannerShown) m_banner.Draw(dc, 15, 525, SRCCOPY);
  if (m_sidePanelShown) m_sidePanel.Draw(dc, 0, 163, SRCCOPY);
  if (m_prevPressedFlag) DrawAtZone(dc, m_prevPressed, m_prevZone, m_prevPressedOffset);
  if (m_nextPressedFlag) DrawAtZone(dc, m_nextPressed, m_nextZone, m_nextPressedOffset);
  if (m_copyPressedFlag) DrawAtZone(dc, m_copyPressed, m_copyZone, m_copyPressedOffset);
  if (m_exportPressedFlag) DrawAtZone(dc, m_exportPressed, m_exportZone, m_exportPressedOffset);
  if (m_splashShown) m_splash.Draw(dc, 290, 200, SRCCOPY);

  HDC hdc = dc->GetSafeHdc();
  ::SetBkMode(hdc, TRANSPARENT);
  if (m_pictureBitmap != nullptr && m_pictureHeight != 0 && m_pictureWidth != 0) {
    DrawPicture(dc);
  } else if (m_titleShown) {
    ::SetTextColor(hdc, kTitleColor);
    RECT titleRect = m_titleRect;
    // The author's text as written ("&" included); a title longer than its
    // rectangle ends with an ellipsis on the last whole line.
    AfxDrawText(hdc, m_titleText, &titleRect,
                DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL |
                    DT_END_ELLIPSIS);
  } else if (!m_pictureFailure.IsEmpty()) {
    DrawPictureFailure(hdc);
  }
  if (m_pictureList.GetSize() > 0) DrawCounter(dc);
}

void CViewerDlg::DrawAtZone(CDC* dc, CWinBmp& image, const CRect& zone, const CPoint& offset) {
  image.Draw(dc, zone.left + offset.x, zone.top + offset.y, SRCCOPY);
}

void CViewerDlg::DrawPicture(CDC* dc) {
  HDC hdc = dc->GetSafeHdc();
  HPALETTE previousPalette = nullptr;
  if (m_displayPalette != nullptr) {
    previousPalette = ::SelectPalette(hdc, m_displayPalette, FALSE);
    ::RealizePalette(hdc);
  }
  // The bitmap holds device pixels.
  const int width = WindowPixelsOf(m_pictureWidth);
  const int height = WindowPixelsOf(m_pictureHeight);
  const int x = m_pictureArea.left + m_pictureArea.Width() / 2 - width / 2;
  const int y = m_pictureArea.top + m_pictureArea.Height() / 2 - height / 2;
  DrawRgb(hdc, m_pictureBitmap, m_pictureWidth, m_pictureHeight, x, y, width, height);
  DrawDropShadow(dc, x, y, width, height);
  DrawFileName(hdc);
  if (previousPalette != nullptr) ::SelectPalette(hdc, previousPalette, FALSE);
}

void CViewerDlg::DrawFileName(HDC hdc) {
  ::SetTextColor(hdc, kCaptionColor);
  const UINT previousAlign = ::SetTextAlign(hdc, TA_LEFT | TA_TOP);
  const int nameCentre = m_pictureArea.left + m_pictureArea.Width() / 2 - kFileNameShift;
  RECT nameBox = FileNameBox(nameCentre, m_exportZone, m_windowHeight);
  AfxDrawText(hdc, BareFileName(m_currentPicturePath), &nameBox,
              DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SetTextAlign(hdc, previousAlign);
}

// A picture that cannot be shown keeps its name line; one line in the middle
// of its area says why.
void CViewerDlg::DrawPictureFailure(HDC hdc) {
  ::SetTextColor(hdc, kCaptionColor);
  RECT area = m_pictureArea;
  AfxDrawText(hdc, m_pictureFailure, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  DrawFileName(hdc);
}

void CViewerDlg::DrawCounter(CDC* dc) {
  HDC hdc = dc->GetSafeHdc();
  char counter[32];
  std::snprintf(counter, sizeof counter, "%d/%d", m_currentIndex + 1,
                static_cast<int>(m_pictureList.GetSize()));
  ::SetTextColor(hdc, kCaptionColor);
  const UINT previousAlign = ::SetTextAlign(hdc, TA_LEFT | TA_TOP);
  ::TextOutA(hdc, kCounterLeft, kCaptionTop, counter, static_cast<int>(std::strlen(counter)));
  ::SetTextAlign(hdc, previousAlign);
}

void CViewerDlg::DrawDropShadow(CDC* dc, int x, int y, int width, int height) {
  // Bottom: the leftmost part of the bottom image, no wider than the picture.
  const int bottomWidth = std::min(width, static_cast<int>(m_shadowBottom.GetWidth()));
  DrawShadowStrip(dc, m_shadowBottom, bottomWidth, m_shadowBottom.GetHeight(), x + 4, y + height,
                  [](int r) { return r; });
  // Right: rows taken upward from the image's second-to-last row.
  const int rightHeight = std::min(height, static_cast<int>(m_shadowRight.GetHeight()));
  DrawShadowStrip(dc, m_shadowRight, m_shadowRight.GetWidth(), rightHeight, x + width, y + 3,
                  [](int r) { return kShadowRightFirstRow - r; });
  m_shadowCorner.Draw(dc, x + width - 6, y + height, SRCCOPY);
}
