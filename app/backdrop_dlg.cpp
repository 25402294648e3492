// The backdrop: covers the screen in its fill colour and takes no input.
#include "app/backdrop_dlg.h"

#include "platform/framework/afx_zoom.h"
#include "resources/resource_ids.h"

namespace {
// Template 129: a pop-up without border or caption, hidden until it has
// placed itself, with no task-bar button; two hidden buttons.
const AfxDialogControl kBackdropControls[] = {
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 129, 7, 50, 14},
    {"BUTTON", "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 0, 129, 24, 50, 14},
};
const AfxDialogTemplate kBackdropTemplate = {
    IDD_BACKDROP, WS_POPUP, WS_EX_TOOLWINDOW, 0, 0, 186, 94, "", kBackdropControls, 2};
const AfxDialogTemplateRegistrar kRegisterBackdrop(&kBackdropTemplate);
}  // namespace

CBackdropDlg::CBackdropDlg() : CDialog(IDD_BACKDROP, nullptr), m_fillColor(0) {}

BOOL CBackdropDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const SIZE screen = AfxGetScreenSize();
  m_screenWidth = screen.cx;
  m_screenHeight = screen.cy;
  SetWindowPos(&wndTop, 0, 0, m_screenWidth, m_screenHeight, SWP_DRAWFRAME);
  ShowWindow(SW_SHOW);
  EnableWindow(FALSE);
  return TRUE;
}

void CBackdropDlg::OnPaint() {
  CPaintDC dc(this);
  RECT whole = {0, 0, m_screenWidth, m_screenHeight};
  HBRUSH fill = CreateSolidBrush(m_fillColor);
  FillRect(dc.GetSafeHdc(), &whole, fill);
  DeleteObject(fill);
}

BOOL CBackdropDlg::OnEraseBkgnd(CDC*) { return FALSE; }
void CBackdropDlg::OnOK() {}
void CBackdropDlg::OnCancel() {}
void CBackdropDlg::OnClose() {}
