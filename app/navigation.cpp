// Pointer input and navigation. The window has no visible controls: its
// buttons are zones of the skin. A press marks a zone pressed; a release
// inside a zone runs its command wherever the press was (the pointer is not
// captured). Prev and Next walk the pictures of an album, its title page and
// the neighbouring albums of the list.
#include "resources/resource_ids.h"
#include "app/viewer_dlg.h"
#include "platform/paths.h"

namespace {

constexpr UINT_PTR kStartBrowsingTimer = 1;
constexpr UINT kStartBrowsingDelay = 500;  // milliseconds after the splash click

const CRect kSplashClickArea(300, 300, 700, 420);

}  // namespace

void CViewerDlg::OnMouseMove(UINT flags, CPoint point) {
  if (m_closeZone.PtInRect(point)) {
    m_closeHover = 1;
    InvalidateRect(m_closeZone, TRUE);
  } else if (m_closeHover) {
    m_closeHover = 0;
    InvalidateRect(m_closeZone, TRUE);
  }
  CDialog::OnMouseMove(flags, point);
}

void CViewerDlg::PressZones(CPoint point) {
  if (m_prevZone.PtInRect(point)) {
    // On the first album's title page Prev does not look pressed.
    if (m_albumListBox.GetCurSel() != 0 || m_currentIndex >= 0) {
      m_prevPressedFlag = 1;
      InvalidateRect(m_prevZone, TRUE);
    } else {
      m_prevPressedFlag = 0;
    }
  }
  if (m_nextZone.PtInRect(point)) {
    m_nextPressedFlag = 1;
    InvalidateRect(m_nextZone, TRUE);
  }
  if (m_copyZone.PtInRect(point)) {
    m_copyPressedFlag = 1;
    InvalidateRect(m_copyZone, TRUE);
  }
  if (m_exportZone.PtInRect(point)) {
    m_exportPressedFlag = 1;
    InvalidateRect(m_exportZone, TRUE);
  }
  if (m_splashShown && kSplashClickArea.PtInRect(point)) {
    m_splashShown = 0;
    m_titleText = "Searching Directories...";
    Invalidate(TRUE);
    SetTimer(kStartBrowsingTimer, kStartBrowsingDelay, nullptr);
  }
}

void CViewerDlg::OnLButtonDown(UINT flags, CPoint point) {
  PressZones(point);
  CDialog::OnLButtonDown(flags, point);
}

// A double-click presses like a click, so with the two releases its command
// runs twice.
void CViewerDlg::OnLButtonDblClk(UINT flags, CPoint point) {
  PressZones(point);
  CDialog::OnLButtonDblClk(flags, point);
}

void CViewerDlg::ReleaseZone(int& pressedFlag, const CRect& zone) {
  if (!pressedFlag) return;
  pressedFlag = 0;
  InvalidateRect(zone, TRUE);
}

void CViewerDlg::OnLButtonUp(UINT flags, CPoint point) {
  ReleaseZone(m_prevPressedFlag, m_prevZone);
  ReleaseZone(m_nextPressedFlag, m_nextZone);
  ReleaseZone(m_copyPressedFlag, m_copyZone);
  ReleaseZone(m_exportPressedFlag, m_exportZone);

  if (m_closeZone.PtInRect(point)) OnOK();
  if (m_prevZone.PtInRect(point)) Prev();
  if (m_nextZone.PtInRect(point)) Next();
  if (m_copyZone.PtInRect(point)) Copy();
  if (m_exportZone.PtInRect(point)) Export();
  CDialog::OnLButtonUp(flags, point);
}

// The template's hidden buttons and the album list reach the same operations
// as the zones.
BOOL CViewerDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  const UINT id = LOWORD(wParam);
  const UINT code = HIWORD(wParam);
  if (id == IDC_ALBUM_LIST) {
    if (code != LBN_SELCHANGE) return CDialog::OnCommand(wParam, lParam);
    SelectAlbum();
    return TRUE;
  }
  if (code != BN_CLICKED) return CDialog::OnCommand(wParam, lParam);
  switch (id) {
    case IDC_PREV: Prev(); return TRUE;
    case IDC_NEXT: Next(); return TRUE;
    case IDC_COPY: Copy(); return TRUE;
    case IDC_EXPORT: Export(); return TRUE;
    default: return CDialog::OnCommand(wParam, lParam);
  }
}

void CViewerDlg::Next() {
  m_wavePlayer.Stop();
  ++m_currentIndex;
  const int pictureCount = static_cast<int>(m_pictureList.GetSize());
  if (m_currentIndex < pictureCount) {
    LoadPicture();
    return;
  }
  m_currentIndex = pictureCount - 1;
  const int nextAlbum = m_albumListBox.GetCurSel() + 1;
  if (nextAlbum < m_albumListBox.GetCount()) {
    m_albumListBox.SetCurSel(nextAlbum);
    SelectAlbum();
  }
}

void CViewerDlg::Prev() {
  m_wavePlayer.Stop();
  --m_currentIndex;
  if (m_currentIndex >= 0) {
    LoadPicture();
    return;
  }
  if (m_currentIndex == -1) {
    // The first picture was on show: the album's title page, when it has one.
    if (ShowTitle(m_albumFolder)) return;
  }
  m_currentIndex = 0;
  EnterPreviousAlbum();
}

void CViewerDlg::EnterPreviousAlbum() {
  const int previousAlbum = m_albumListBox.GetCurSel() - 1;
  if (m_albumListBox.GetCount() <= 0 || previousAlbum < 0) return;
  m_albumListBox.SetCurSel(previousAlbum);
  m_goingBack = 1;
  SelectAlbum();
  m_goingBack = 0;
  m_currentIndex = static_cast<int>(m_pictureList.GetSize()) - 1;
  LoadPicture();
}

void CViewerDlg::SelectAlbum() {
  const int selection = m_albumListBox.GetCurSel();
  if (selection == LB_ERR) return;
  CString folder;
  m_albumListBox.GetText(selection, folder);
  folder.TrimLeft();  // a second-level album's marker
  if (selection == 0 && !folder.IsEmpty() && folder[folder.GetLength() - 1] == platform::kPathSeparator) {
    folder = folder.Left(folder.GetLength() - 1);
  }
  m_wavePlayer.Stop();
  ScanAlbum(folder);
  m_albumFolder = folder;
  // An album without pictures (or whose folder can no longer be read) shows
  // an empty picture area, not the picture of the album before it.
  if (m_pictureList.GetSize() == 0) {
    ReleasePicture();
    m_currentPicturePath.Empty();
    InvalidateViewingRegion();
  }
  const BOOL titleShown = ShowTitle(m_albumFolder);
  // The root without pictures is passed over.
  if (selection == 0 && !titleShown && !m_sidePanelShown && m_pictureList.GetSize() == 0) Next();
}
