// The dialog framework's application object and global helpers.
//
// One CWinApp-derived object exists per program (a global). The program's
// main runs AfxWinMain, which calls the application's InitInstance and, if
// that returns TRUE, its message loop (Run). The back end linked into the
// program decides what "the screen" is: the GTK desktop or the headless test
// screen.
#pragma once

#include "platform/framework/afx_object.h"
#include "platform/framework/afx_string.h"
#include "platform/framework/afx_wnd.h"
#include "platform/win32.h"

class CWinApp : public CObject {
  DECLARE_DYNAMIC(CWinApp)

 public:
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  // The message loop: runs until WM_QUIT, then ExitInstance.
  virtual int Run();
  virtual int ExitInstance();

  // The three-dimensional control look; the layer's controls always have it.
  BOOL Enable3dControls();

  HICON LoadIcon(UINT id) const;
  HCURSOR LoadStandardCursor(LPCSTR id) const;

  // +1 shows the wait cursor, -1 ends one showing, 0 shows it again if the
  // count is above 0 (after something replaced the cursor). The count never
  // goes below 0.
  virtual void DoWaitCursor(int code);

  LPCSTR m_pszAppName;
  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd = nullptr;
  int m_nWaitCursorCount = 0;

 private:
  CString m_appName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
// A message box captioned with the application's name (the framework's
// standard message box).
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
// Starts the application object: InitInstance, then Run when it returns TRUE.
// Returns the program's exit code.
int AfxWinMain(int argc, char** argv);
