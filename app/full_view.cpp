// Full view and the slideshow. The viewer keeps browsing as always — its
// navigation model decides and CarryOut plays the sounds and fills the album
// list and counter — while the full view window shows the page on show,
// decoded at full size, upright, and fitted to the whole screen.
#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
#include "resources/resource_ids.h"

bool CViewerDlg::DoubleClickOpensFullView(CPoint point) const {
  if (!m_pictureArea.PtInRect(point)) return false;
  for (const CRect* zone : {&m_closeZone, &m_prevZone, &m_nextZone, &m_copyZone, &m_exportZone}) {
    if (zone->PtInRect(point)) return false;
  }
  return true;
}

void CViewerDlg::EnterFullView() {
  // Before browsing starts there is no page to show.
  if (FullViewShown() || m_splashShown || m_navigation.Album() < 0) return;
  if (!m_fullView.Create(IDD_FULL_VIEW, nullptr)) return;
  RefreshFullView();
}

void CViewerDlg::LeaveFullView() {
  StopSlideshow();
  if (!FullViewShown()) return;
  m_fullView.DestroyWindow();
  ::SetActiveWindow(m_hWnd);
  SetFocus();
  // The window shows the page full view left on, with its counter.
  Invalidate(TRUE);
}

void CViewerDlg::RefreshFullView() {
  m_fullView.CoverScreen();
  if (m_currentIndex >= 0 && !m_currentPicturePath.IsEmpty()) {
    CWaitCursor wait;
    DecodedPicture full;
    if (full.DecodeUprightEntry(m_currentPicturePath) &&
        m_fullView.ShowPicture(full.rgb(), full.width(), full.height())) {
      return;
    }
    // Too large or damaged at full size: what the window shows, fitted.
    if (m_pictureBitmap != nullptr &&
        m_fullView.ShowPicture(m_pictureBitmap, m_pictureWidth, m_pictureHeight)) {
      return;
    }
    // Nothing to show: the line that says why, as the window has it.
    m_fullView.ShowText(m_pictureFailure);
    return;
  }
  if (m_titleShown) {
    m_fullView.ShowText(m_titleText);
  } else {
    m_fullView.ShowNothing();
  }
}

void CViewerDlg::StartSlideshow() {
  EnterFullView();
  if (!FullViewShown() || m_slideshowOn) return;
  m_slideshowOn = 1;
  SetTimer(kSlideshowTimer, kSlideshowInterval, nullptr);
}

void CViewerDlg::StopSlideshow() {
  if (!m_slideshowOn) return;
  m_slideshowOn = 0;
  KillTimer(kSlideshowTimer);
}

void CViewerDlg::TurnSlideshowPage() {
  if (!m_slideshowOn) {
    KillTimer(kSlideshowTimer);
    return;
  }
  if (m_navigation.PageAfter().kind != NavigationPage::Kind::kNone) Next();
  // The last page of the last album ends the show; full view stays.
  if (m_navigation.PageAfter().kind == NavigationPage::Kind::kNone) StopSlideshow();
}

void CViewerDlg::FullViewKey(UINT key) {
  const bool leaves = key == VK_ESCAPE || key == VK_F11;
  // Any key stops the slideshow and does nothing more, except leave.
  if (m_slideshowOn) {
    StopSlideshow();
    if (leaves) LeaveFullView();
    return;
  }
  switch (key) {
    case VK_ESCAPE:
    case VK_F11: LeaveFullView(); break;
    case VK_RIGHT:
    case VK_NEXT:
    case VK_SPACE: Next(); break;
    case VK_LEFT:
    case VK_PRIOR:
    case VK_BACK: Prev(); break;
    case VK_F5: StartSlideshow(); break;
    default: break;
  }
}

void CViewerDlg::FullViewClick() { StopSlideshow(); }

void CViewerDlg::FullViewDoubleClick() { LeaveFullView(); }
