// CWinApp and the framework's global helpers.
#include <string>

#include "platform/framework/afx_app.h"
#include "platform/framework/plumbing.h"
#include "platform/win32.h"

IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {
CWinApp* theApplication = nullptr;

// The program's file name without folder and extension, as the framework
// names an application that gives no name of its own.
CString ProgramName() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string name(path, length < sizeof path ? length : 0);
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return CString(name.c_str());
}
}  // namespace

CWinApp::CWinApp(LPCSTR appName)
    : m_hInstance(GetModuleHandleA(nullptr)),
      m_appName(appName != nullptr ? CString(appName) : ProgramName()) {
  m_pszAppName = m_appName.GetString();
  theApplication = this;
}

CWinApp::~CWinApp() {
  if (theApplication == this) theApplication = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  while (AfxPumpMessage()) {
  }
  return ExitInstance();
}

int CWinApp::ExitInstance() { return 0; }

BOOL CWinApp::Enable3dControls() { return TRUE; }

HICON CWinApp::LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }
HCURSOR CWinApp::LoadStandardCursor(LPCSTR id) const { return ::LoadCursorA(nullptr, id); }

void CWinApp::DoWaitCursor(int code) {
  // The window system keeps the count (a test's reset puts it back to 0);
  // the application's copy follows it.
  m_nWaitCursorCount = AfxPlumbingWaitCursorCount() + code;
  if (m_nWaitCursorCount < 0) m_nWaitCursorCount = 0;
  AfxPlumbingSetWaitCursorCount(m_nWaitCursorCount);
  ::SetCursor(::LoadCursorA(nullptr, m_nWaitCursorCount > 0 ? IDC_WAIT : IDC_ARROW));
}

CWinApp* AfxGetApp() { return theApplication; }
CWnd* AfxGetMainWnd() { return theApplication != nullptr ? theApplication->m_pMainWnd : nullptr; }
HINSTANCE AfxGetInstanceHandle() { return GetModuleHandleA(nullptr); }
HINSTANCE AfxGetResourceHandle() { return GetModuleHandleA(nullptr); }

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
  CWnd* main = AfxGetMainWnd();
  HWND owner = main != nullptr && ::IsWindow(main->m_hWnd) ? main->m_hWnd : ::GetActiveWindow();
  LPCSTR caption = theApplication != nullptr ? theApplication->m_pszAppName : nullptr;
  return ::MessageBoxA(owner, text, caption, type);
}

int AfxWinMain(int argc, char** argv) {
  AfxPlumbingStart(argc, argv);
  CWinApp* app = AfxGetApp();
  if (app == nullptr) return -1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}
