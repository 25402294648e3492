// Pointer input and navigation. The window has no visible controls: its
// buttons are zones of the skin. A press marks a zone pressed; a release
// inside a zone runs its command wherever the press was (the pointer is not
// captured). Prev and Next walk the pictures of an album, its title page and
// the neighbouring albums of the list.
#include <vector>

#include "resources/resource_ids.h"
#include "app/viewer_dlg.h"
#include "commands/decoded_picture.h"
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
    if (m_navigation.PrevLeadsAnywhere()) {
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
// runs twice; on the picture area outside the zones it opens full view.
void CViewerDlg::OnLButtonDblClk(UINT flags, CPoint point) {
  if (DoubleClickOpensFullView(point)) {
    CDialog::OnLButtonDblClk(flags, point);
    EnterFullView();
    return;
  }
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

void CViewerDlg::Next() { CarryOut(m_navigation.Next()); }

void CViewerDlg::Prev() { CarryOut(m_navigation.Prev()); }

void CViewerDlg::SelectAlbum() {
  const int selection = m_albumListBox.GetCurSel();
  if (selection == LB_ERR) return;
  CarryOut(m_navigation.SelectAlbum(selection));
}

void CViewerDlg::CarryOut(const NavigationPlan& plan) {
  using Kind = NavigationEffect::Kind;
  m_decodeAhead.Begin();
  for (const NavigationEffect& effect : plan) {
    switch (effect.kind) {
      case Kind::kStopWave: m_wavePlayer.Stop(); break;
      case Kind::kEnterAlbum:
        if (m_albumListBox.GetCurSel() != effect.album) m_albumListBox.SetCurSel(effect.album);
        break;
      case Kind::kClearPicture:
        ReleasePicture();
        m_currentPicturePath.Empty();
        InvalidateViewingRegion();
        break;
      case Kind::kPlayMusicFor: PlayMusicFor(effect.path); break;
      case Kind::kPlaySoundFor: PlaySoundFor(effect.path); break;
      case Kind::kShowTitle: ShowTitlePage(effect.text); break;
      case Kind::kLoadPicture: LoadPictureFile(effect.path); break;
    }
  }
  if (FullViewShown()) RefreshFullView();
  DecodeAheadFromHere();
}

void CViewerDlg::DecodeAheadFromHere() {
  std::vector<CString> pages;
  auto want = [&pages](const CString& path) {
    if (!path.IsEmpty() && !IsFolderPattern(path)) pages.push_back(path);
  };
  if (m_currentIndex >= 0 && m_currentIndex < m_pictureList.GetSize()) {
    want(m_pictureList.GetAt(m_currentIndex));
  }
  want(m_navigation.PageAfter().picture);
  want(m_navigation.PageBefore().picture);
  m_decodeAhead.Want(pages);
}
