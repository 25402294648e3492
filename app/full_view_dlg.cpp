// The full view window: paints the fitted picture or large text on black
// and hands every key and click to the viewer, which decides what they do.
#include "app/full_view_dlg.h"

#include "app/viewer_dlg.h"
#include "imaging/core/pelorn.h"
#include "platform/framework/afx_text.h"
#include "platform/framework/afx_zoom.h"
#include "resources/resource_ids.h"

namespace {

// A pop-up without border or caption, hidden until it has covered the
// screen, with no task-bar button.
const AfxDialogTemplate kFullViewTemplate = {
    IDD_FULL_VIEW, WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 186, 94, "", nullptr, 0};
const AfxDialogTemplateRegistrar kRegisterFullView(&kFullViewTemplate);

constexpr COLORREF kTextColor = RGB(255, 255, 255);
// The text's letters are this share of the screen's height.
constexpr int kLetterShare = 26;

}  // namespace

void FitInto(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
             int32_t* fittedWidth, int32_t* fittedHeight) {
  // Width-bound when width / height >= boxWidth / boxHeight.
  const int64_t crossWidth = static_cast<int64_t>(width) * boxHeight;
  const int64_t crossHeight = static_cast<int64_t>(height) * boxWidth;
  int64_t w = boxWidth;
  int64_t h = boxHeight;
  if (crossWidth >= crossHeight) {
    h = (static_cast<int64_t>(height) * boxWidth + width / 2) / width;
  } else {
    w = (static_cast<int64_t>(width) * boxHeight + height / 2) / height;
  }
  *fittedWidth = static_cast<int32_t>(w < 1 ? 1 : w);
  *fittedHeight = static_cast<int32_t>(h < 1 ? 1 : h);
}

CFullViewDlg::CFullViewDlg(CViewerDlg* viewer) : CDialog(IDD_FULL_VIEW, nullptr), m_viewer(viewer) {}

BOOL CFullViewDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // A new window has the template's size, whatever the last one covered.
  m_screenWidth = 0;
  m_screenHeight = 0;
  CoverScreen();
  ShowWindow(SW_SHOW);
  ::SetActiveWindow(m_hWnd);
  SetFocus();
  return FALSE;  // the focus is set
}

void CFullViewDlg::CoverScreen() {
  const SIZE screen = AfxGetScreenSize();
  const int width = static_cast<int>(screen.cx);
  const int height = static_cast<int>(screen.cy);
  if (width == m_screenWidth && height == m_screenHeight) return;
  m_screenWidth = width;
  m_screenHeight = height;
  SetWindowPos(&wndTop, 0, 0, m_screenWidth, m_screenHeight, 0);
}

bool CFullViewDlg::ShowPicture(const uint8_t* rgb, int32_t width, int32_t height) {
  ShowNothing();
  if (rgb == nullptr || width < 1 || height < 1 || m_screenWidth < 1 || m_screenHeight < 1) {
    return false;
  }
  // Fitted to the screen's device pixels: a big screen shows each window
  // pixel as zoom x zoom of them.
  const int zoom = m_viewer->DisplayZoom();
  int32_t fittedWidth = 0;
  int32_t fittedHeight = 0;
  FitInto(width, height, m_screenWidth * zoom, m_screenHeight * zoom, &fittedWidth, &fittedHeight);
  m_fitted.assign(static_cast<size_t>(fittedWidth) * fittedHeight * 3, 0);
  // Area reduction for the usual photo larger than the screen; a smaller
  // picture is enlarged smoothly instead of in blocks.
  const bool reduces = fittedWidth <= width && fittedHeight <= height;
  const int32_t made = reduces ? ReduceRgb(rgb, width, height, m_fitted.data(), fittedWidth, fittedHeight)
                               : ResampleRgb(rgb, width, height, m_fitted.data(), fittedWidth, fittedHeight);
  if (!made) {
    m_fitted.clear();
    return false;
  }
  m_fittedWidth = fittedWidth;
  m_fittedHeight = fittedHeight;
  return true;
}

void CFullViewDlg::ShowText(const CString& text) {
  ShowNothing();
  m_text = text;
  m_textShown = true;
}

void CFullViewDlg::ShowNothing() {
  m_fitted.clear();
  m_fittedWidth = 0;
  m_fittedHeight = 0;
  m_textShown = false;
  m_text.Empty();
  Invalidate(FALSE);
}

void CFullViewDlg::OnPaint() {
  CPaintDC dc(this);
  HDC hdc = dc.GetSafeHdc();
  RECT whole = {0, 0, m_screenWidth, m_screenHeight};
  HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
  FillRect(hdc, &whole, black);
  DeleteObject(black);
  if (!m_fitted.empty()) {
    // The fitted copy holds device pixels.
    const int width = m_viewer->WindowPixelsOf(m_fittedWidth);
    const int height = m_viewer->WindowPixelsOf(m_fittedHeight);
    DrawRgb(hdc, m_fitted.data(), m_fittedWidth, m_fittedHeight, (m_screenWidth - width) / 2,
            (m_screenHeight - height) / 2, width, height);
  } else if (m_textShown) {
    DrawLargeText(hdc);
  }
}

void CFullViewDlg::DrawLargeText(HDC hdc) {
  HFONT font = CreateFontA(-(m_screenHeight / kLetterShare), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, FF_SWISS, nullptr);
  HGDIOBJ oldFont = font != nullptr ? SelectObject(hdc, font) : nullptr;
  ::SetBkMode(hdc, TRANSPARENT);
  ::SetTextColor(hdc, kTextColor);
  // The text's box leaves a tenth of the screen free on every side.
  RECT box = {m_screenWidth / 10, m_screenHeight / 10, m_screenWidth - m_screenWidth / 10,
              m_screenHeight - m_screenHeight / 10};
  AfxDrawText(hdc, m_text, &box,
              DT_CENTER | DT_VCENTER | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL | DT_END_ELLIPSIS);
  if (font != nullptr) {
    SelectObject(hdc, oldFont);
    DeleteObject(font);
  }
}

BOOL CFullViewDlg::OnEraseBkgnd(CDC*) { return TRUE; }

BOOL CFullViewDlg::PreTranslateMessage(MSG* message) {
  if (message->message == WM_KEYDOWN) {
    m_viewer->FullViewKey(static_cast<UINT>(message->wParam));
    return TRUE;
  }
  // The key's characters and its release have nothing more to do here.
  if (message->message > WM_KEYDOWN && message->message <= WM_CHAR) return TRUE;
  return CDialog::PreTranslateMessage(message);
}

void CFullViewDlg::OnLButtonDown(UINT flags, CPoint point) {
  CDialog::OnLButtonDown(flags, point);
  m_viewer->FullViewClick();
}

void CFullViewDlg::OnLButtonDblClk(UINT flags, CPoint point) {
  CDialog::OnLButtonDblClk(flags, point);
  // Last: the viewer may close this window.
  m_viewer->FullViewDoubleClick();
}

void CFullViewDlg::OnOK() {}
void CFullViewDlg::OnCancel() {}
void CFullViewDlg::OnClose() {}
