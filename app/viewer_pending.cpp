// Viewer operations whose full behaviour comes with later work: painting,
// pointer input and navigation, the banner, the catalogue (folder scan,
// album.txt, album list), title pages and sound, and the picture commands.
// Each body here is the least that keeps the window coherent at start-up;
// replace a body (and delete it here) when its real one lands.
#include "app/viewer_dlg.h"

// Start-up drawing until the off-screen composition lands: the background
// and, while it is on show, the splash image.
void CViewerDlg::OnPaint() {
  CPaintDC dc(this);
  if (IsIconic()) return;
  m_background.Draw(&dc, 0, 0, SRCCOPY);
  if (m_splashShown) m_splash.Draw(&dc, 290, 200, SRCCOPY);
}

void CViewerDlg::InvalidateViewingRegion() {
  CRect region(m_pictureArea.left - 40, 0, m_windowWidth, m_windowHeight);
  InvalidateRect(region, TRUE);
}

void CViewerDlg::DrawDropShadow(CDC*, int, int, int, int) {}

void CViewerDlg::OnMouseMove(UINT flags, CPoint point) { CDialog::OnMouseMove(flags, point); }
void CViewerDlg::OnLButtonDown(UINT flags, CPoint point) { CDialog::OnLButtonDown(flags, point); }
void CViewerDlg::OnLButtonUp(UINT flags, CPoint point) { CDialog::OnLButtonUp(flags, point); }
void CViewerDlg::OnLButtonDblClk(UINT flags, CPoint point) {
  CDialog::OnLButtonDblClk(flags, point);
}

void CViewerDlg::Prev() {}
void CViewerDlg::Next() {}
void CViewerDlg::SelectAlbum() {}


void CViewerDlg::PlayMusicFor(const CString&) {}
void CViewerDlg::PlaySoundFor(const CString&) {}
BOOL CViewerDlg::ShowTitle(const CString&) { return FALSE; }

