// The one application object.
#include "app/viewer_app.h"

#include "app/viewer_dlg.h"

CViewerApp theApp;

CViewerApp::CViewerApp() : CWinApp("Tessary") {}

BOOL CViewerApp::InitInstance() {
  Enable3dControls();
  CViewerDlg viewer;
  m_pMainWnd = &viewer;
  viewer.DoModal();
  // The window is gone with this frame: the application keeps no pointer to it.
  m_pMainWnd = nullptr;
  // FALSE ends the application instead of running its message loop.
  return FALSE;
}
