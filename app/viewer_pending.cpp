// Viewer operations whose full behaviour comes with later work: painting,
// pointer input and navigation, the banner, the catalogue (folder scan,
// album.txt, album list), title pages and sound, and the picture commands.
// Each body here is the least that keeps the window coherent at start-up;
// replace a body (and delete it here) when its real one lands.
#include "app/viewer_dlg.h"

void CViewerDlg::ReadBanner() { m_bannerShown = 0; }


BOOL CViewerDlg::LoadPicture() { return FALSE; }
void CViewerDlg::Copy() {}
void CViewerDlg::Export() {}
