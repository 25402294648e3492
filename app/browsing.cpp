// The viewer's catalogue operations: the folder scan, album.txt and the
// start of browsing that runs on the one-shot timer after the splash click.
#include "resources/resource_ids.h"
#include "catalogue/skin_image.h"
#include "app/viewer_dlg.h"
#include "catalogue/album_names.h"
#include "catalogue/folder_scan.h"
#include "platform/paths.h"

namespace {

constexpr UINT_PTR kStartBrowsingTimer = 1;

const char kNothingToShow[] =
    "There are no images or subdirectories in the path of the Tessary\n"
    "Tessary serach only image files in the same directory or subdirectories up to 2 levels.";

}  // namespace

void CViewerDlg::ScanRoot(const CString& rootFolder) {
  m_currentIndex = 0;
  ScanRootFolder(rootFolder, m_albumList, m_pictureList);
}

void CViewerDlg::ScanAlbum(const CString& albumFolder) {
  ScanAlbumFolder(albumFolder, m_pictureList);
  m_currentIndex = 0;
}

BOOL CViewerDlg::AddSecondLevelAlbums(const CString& firstLevelFolder) {
  const CString root = m_albumList.GetSize() > 0 ? m_albumList.GetAt(0) : CString();
  return ::AddSecondLevelAlbums(root, firstLevelFolder, m_albumList) ? TRUE : FALSE;
}

void CViewerDlg::FillAlbumListBox() {
  m_albumListBox.ResetContent();
  for (INT_PTR i = 0; i < m_albumList.GetSize(); ++i) m_albumListBox.AddString(m_albumList.GetAt(i));
  if (m_albumListBox.GetCount() > 0) m_albumListBox.SetCurSel(0);
}

// An album.txt too large to open has been refused with a message box; the
// set-up goes on without it, so the pictures can still be browsed.
void CViewerDlg::ReadAlbumText() {
  if (::ReadAlbumTxt(m_albumTextLines) != TextFileRead::kRead) return;
  const CString name = LookUp("name");
  if (!name.IsEmpty()) m_albumListBox.m_rootLabel = name;
}

CString CViewerDlg::LookUp(const CString& key) const { return LookUpAlbumKey(m_albumTextLines, key); }

void CViewerDlg::ReorderAlbums() { ::ReorderAlbums(m_albumTextLines, m_albumList); }

void CViewerDlg::StartBrowsing() {
  KillTimer(kStartBrowsingTimer);  // it fires once

  m_programFolder = ProgramFolder();
  ScanRoot(m_programFolder);
  ReorderAlbums();
  FillAlbumListBox();
  m_titleText = "";
  m_navigation.SetSidePanelShown(false);
  CarryOut(m_navigation.Start(m_programFolder));
  const bool titleShown = m_currentIndex < 0;

  if (m_pictureList.GetSize() == 0 && m_albumList.GetSize() < 2) {
    MessageBox(kNothingToShow, "Tessary", MB_OK);
    OnOK();
    return;
  }

  m_sidePanelShown = 0;
  m_navigation.SetSidePanelShown(false);
  if (m_albumList.GetSize() >= 2) {
    m_albumListBox.ShowWindow(SW_SHOW);
  } else {
    // One album only: the side panel covers the list area instead.
    if (LoadSkinImage(m_sidePanel, IDR_SKIN_SIDE_PANEL)) {
      m_sidePanelShown = 1;
      m_navigation.SetSidePanelShown(true);
      Invalidate();
    }
    m_albumListBox.ShowWindow(SW_HIDE);
  }

  if (!titleShown && !m_sidePanelShown && m_pictureList.GetSize() == 0) Next();
}

void CViewerDlg::OnTimer(UINT_PTR id) {
  if (id == kStartBrowsingTimer) {
    StartBrowsing();
    return;
  }
  if (id == kSlideshowTimer) {
    TurnSlideshowPage();
    return;
  }
  CDialog::OnTimer(id);
}
