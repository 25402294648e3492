// CWnd, CDialog, the window DCs, CListBox, CMenu, dialog data exchange, the
// wait cursor and CFileDialog: the framework over the Windows API. Nothing in
// this file depends on which windows lie underneath (the layer's or user32's).
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/framework/afx_app.h"
#include "platform/framework/afx_wnd.h"
#include "platform/framework/afx_zoom.h"
#include "platform/framework/plumbing.h"

IMPLEMENT_DYNAMIC(CMenu, CObject)
IMPLEMENT_DYNAMIC(CWnd, CObject)
IMPLEMENT_DYNAMIC(CPaintDC, CDC)
IMPLEMENT_DYNAMIC(CClientDC, CDC)
IMPLEMENT_DYNAMIC(CDialog, CWnd)
IMPLEMENT_DYNAMIC(CListBox, CWnd)
IMPLEMENT_DYNAMIC(CFileDialog, CObject)

namespace {

std::map<HWND, CWnd*>& PermanentMap() {
  static auto* map = new std::map<HWND, CWnd*>();
  return *map;
}

std::map<HWND, std::unique_ptr<CWnd>>& TemporaryMap() {
  static auto* map = new std::map<HWND, std::unique_ptr<CWnd>>();
  return *map;
}

class TemporaryWnd : public CWnd {};

void ForgetWindow(HWND window);

// A DC handed to a handler for the length of one message; not deleted.
class BorrowedDC : public CDC {
 public:
  explicit BorrowedDC(WPARAM dc) { m_hDC = reinterpret_cast<HDC>(dc); }
  ~BorrowedDC() override { Detach(); }
};

UINT ControlColorKind(UINT message) {
  switch (message) {
    case WM_CTLCOLOREDIT: return CTLCOLOR_EDIT;
    case WM_CTLCOLORLISTBOX: return CTLCOLOR_LISTBOX;
    case WM_CTLCOLORBTN: return CTLCOLOR_BTN;
    case WM_CTLCOLORDLG: return CTLCOLOR_DLG;
    default: return CTLCOLOR_STATIC;
  }
}

std::map<UINT, const AfxDialogTemplate*>& TemplateRegistry() {
  static auto* registry = new std::map<UINT, const AfxDialogTemplate*>();
  return *registry;
}

}  // namespace

// --- Templates, the window procedure and the message pump ----------------------------

void AfxRegisterDialogTemplate(const AfxDialogTemplate* dialogTemplate) {
  TemplateRegistry()[dialogTemplate->id] = dialogTemplate;
}

const AfxDialogTemplate* AfxFindDialogTemplate(UINT id) {
  auto at = TemplateRegistry().find(id);
  return at != TemplateRegistry().end() ? at->second : nullptr;
}

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* wnd = CWnd::FromHandlePermanent(window);
  if (wnd == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  MSG saved = wnd->m_currentMessage;
  wnd->m_currentMessage = MSG{window, message, wParam, lParam, 0, {0, 0}};
  LRESULT result = wnd->WindowProc(message, wParam, lParam);
  wnd->m_currentMessage = saved;
  if (message == WM_NCDESTROY) {
    PermanentMap().erase(window);
    wnd->m_hWnd = nullptr;
    wnd->m_pfnSuper = nullptr;
    wnd->PostNcDestroy();
  }
  return result;
}

BOOL AfxPreTranslateMessage(MSG* message) {
  for (HWND h = message->hwnd; h != nullptr;) {
    CWnd* wnd = CWnd::FromHandlePermanent(h);
    if (wnd != nullptr && wnd->PreTranslateMessage(message)) return TRUE;
    if ((GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) == 0) break;  // stop at the top level
    h = ::GetParent(h);
  }
  return FALSE;
}

BOOL AfxPumpMessage() {
  MSG message;
  if (!::GetMessageA(&message, nullptr, 0, 0)) return FALSE;
  if (!AfxPreTranslateMessage(&message)) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return TRUE;
}

// --- CMenu ---------------------------------------------------------------------------

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idNewItem, LPCSTR text) {
  return ::AppendMenuA(m_hMenu, flags, idNewItem, text);
}
UINT CMenu::GetMenuItemCount() const { return static_cast<UINT>(::GetMenuItemCount(m_hMenu)); }

// --- Dialog data exchange --------------------------------------------------------------

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
  if (control.m_hWnd == nullptr) control.SubclassDlgItem(static_cast<UINT>(id), exchange->m_pDlgWnd);
}

// --- CWnd -------------------------------------------------------------------------------

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd() = default;
CWnd::CWnd(HWND specialPosition) : m_hWnd(specialPosition) {}

CWnd::~CWnd() {
  // A window still attached goes with its object, as in the framework.
  if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this) {
    HWND window = m_hWnd;
    ::DestroyWindow(window);
    PermanentMap().erase(window);
  }
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
  auto at = PermanentMap().find(window);
  return at != PermanentMap().end() ? at->second : nullptr;
}

CWnd* CWnd::FromHandle(HWND window) {
  if (window == nullptr) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(window)) return permanent;
  auto& temporaries = TemporaryMap();
  for (auto at = temporaries.begin(); at != temporaries.end();) {
    at = ::IsWindow(at->first) ? std::next(at) : temporaries.erase(at);
  }
  if (!::IsWindow(window)) return nullptr;
  auto& slot = temporaries[window];
  if (!slot) {
    slot = std::make_unique<TemporaryWnd>();
    slot->m_hWnd = window;
  }
  return slot.get();
}

namespace {
// A window destroyed behind the framework's back (a test's reset): forget it.
void ForgetWindow(HWND window) {
  PermanentMap().erase(window);
  TemporaryMap().erase(window);
}
}  // namespace

BOOL CWnd::Attach(HWND window) {
  if (window == nullptr || m_hWnd != nullptr) return FALSE;
  AfxPlumbingHookFramework(ForgetWindow);
  m_hWnd = window;
  PermanentMap()[window] = this;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND window = m_hWnd;
  if (window != nullptr) PermanentMap().erase(window);
  m_hWnd = nullptr;
  return window;
}

BOOL CWnd::SubclassWindow(HWND window) {
  if (!Attach(window)) return FALSE;
  m_pfnSuper = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
  if (m_pfnSuper == AfxWndProc) m_pfnSuper = nullptr;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  HWND control = parent != nullptr ? ::GetDlgItem(parent->m_hWnd, static_cast<int>(id)) : nullptr;
  return control != nullptr && SubclassWindow(control);
}

BOOL CWnd::DestroyWindow() {
  if (m_hWnd == nullptr) return FALSE;
  return ::DestroyWindow(m_hWnd);
}

void CWnd::SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
void CWnd::GetWindowText(CString& text) const {
  int length = ::GetWindowTextLengthA(m_hWnd);
  ::GetWindowTextA(m_hWnd, text.GetBuffer(length + 1), length + 1);
  text.ReleaseBuffer();
}
BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
  return ::SetWindowPos(m_hWnd, insertAfter != nullptr ? insertAfter->m_hWnd : nullptr,
                        AfxSystemPixels(x), AfxSystemPixels(y), AfxSystemPixels(cx),
                        AfxSystemPixels(cy), flags);
}
void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  ::MoveWindow(m_hWnd, AfxSystemPixels(x), AfxSystemPixels(y), AfxSystemPixels(width),
               AfxSystemPixels(height), repaint);
}
void CWnd::MoveWindow(LPCRECT rect, BOOL repaint) {
  MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}
BOOL CWnd::ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
BOOL CWnd::EnableWindow(BOOL enable) { return ::EnableWindow(m_hWnd, enable); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
void CWnd::GetClientRect(LPRECT rect) const {
  if (::GetClientRect(m_hWnd, rect)) *rect = AfxWindowRect(*rect);
}
void CWnd::GetWindowRect(LPRECT rect) const {
  if (::GetWindowRect(m_hWnd, rect)) *rect = AfxWindowRect(*rect);
}
void CWnd::Invalidate(BOOL erase) { ::InvalidateRect(m_hWnd, nullptr, erase); }
void CWnd::InvalidateRect(LPCRECT rect, BOOL erase) {
  if (rect == nullptr) return Invalidate(erase);
  const RECT system = AfxSystemRect(*rect);
  ::InvalidateRect(m_hWnd, &system, erase);
}
void CWnd::ValidateRect(LPCRECT rect) {
  if (rect == nullptr) {
    ::ValidateRect(m_hWnd, nullptr);
    return;
  }
  const RECT system = AfxSystemRect(*rect);
  ::ValidateRect(m_hWnd, &system);
}
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc) {
  return ::SetTimer(m_hWnd, id, elapse, proc);
}
BOOL CWnd::KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

CMenu* CWnd::GetSystemMenu(BOOL revert) {
  HMENU menu = ::GetSystemMenu(m_hWnd, revert);
  if (menu == nullptr) return nullptr;
  if (!m_systemMenu) m_systemMenu = std::make_unique<CMenu>();
  m_systemMenu->m_hMenu = menu;
  return m_systemMenu.get();
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
  return reinterpret_cast<HICON>(::SendMessageA(m_hWnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(icon)));
}
LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}
BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}
CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
  if (caption == nullptr && AfxGetApp() != nullptr) caption = AfxGetApp()->m_pszAppName;
  return ::MessageBoxA(m_hWnd, text, caption, type);
}

void CWnd::CenterWindow(CWnd* alternateOwner) {
  RECT window;
  ::GetWindowRect(m_hWnd, &window);
  RECT area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  // Without an owner on show: the work area of the window's monitor, so that
  // a task bar or dock never covers part of the window.
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoA(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor))
    area = monitor.rcWork;
  HWND owner = alternateOwner != nullptr ? alternateOwner->m_hWnd : ::GetWindow(m_hWnd, GW_OWNER);
  if (owner != nullptr && ::IsWindowVisible(owner)) ::GetWindowRect(owner, &area);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  ::SetWindowPos(m_hWnd, nullptr, (area.left + area.right - width) / 2,
                 (area.top + area.bottom - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
  CDataExchange exchange(this, saveAndValidate);
  DoDataExchange(&exchange);
  return TRUE;
}

void CWnd::BeginWaitCursor() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(1);
}
void CWnd::EndWaitCursor() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(-1);
}
void CWnd::RestoreWaitCursor() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(0);
}

LRESULT CWnd::Default() {
  return DefWindowProc(m_currentMessage.message, m_currentMessage.wParam, m_currentMessage.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }
BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }
BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }
void CWnd::DoDataExchange(CDataExchange*) {}
void CWnd::PostNcDestroy() {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CPoint point(AfxWindowPoint(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
  UINT keyState = static_cast<UINT>(wParam);
  switch (message) {
    case WM_COMMAND: return OnCommand(wParam, lParam) ? 0 : Default();
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: {
      BorrowedDC dc(wParam);
      return OnEraseBkgnd(&dc);
    }
    case WM_MOUSEMOVE: OnMouseMove(keyState, point); return 0;
    case WM_LBUTTONDOWN: OnLButtonDown(keyState, point); return 0;
    case WM_LBUTTONUP: OnLButtonUp(keyState, point); return 0;
    case WM_LBUTTONDBLCLK: OnLButtonDblClk(keyState, point); return 0;
    case WM_RBUTTONDOWN: OnRButtonDown(keyState, point); return 0;
    case WM_RBUTTONUP: OnRButtonUp(keyState, point); return 0;
    case WM_KEYDOWN:
      OnKeyDown(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam), FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam));
      return 0;
    case WM_SYSCOMMAND: OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
      BorrowedDC dc(wParam);
      return reinterpret_cast<LRESULT>(
          OnCtlColor(&dc, FromHandle(reinterpret_cast<HWND>(lParam)), ControlColorKind(message)));
    }
    case WM_QUERYDRAGICON: return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    case WM_CLOSE: OnClose(); return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_DRAWITEM:
      OnDrawItem(static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
      return TRUE;
    case WM_MEASUREITEM:
      OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
      return TRUE;
    default: return DefWindowProc(message, wParam, lParam);
  }
}

void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnActivate(UINT, CWnd*, BOOL) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }
void CWnd::OnClose() { Default(); }
void CWnd::OnDestroy() { Default(); }

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT draw) {
  LRESULT result = 0;
  CWnd* control = draw != nullptr ? FromHandlePermanent(draw->hwndItem) : nullptr;
  if (control == nullptr ||
      !control->OnChildNotify(m_currentMessage.message, m_currentMessage.wParam,
                              m_currentMessage.lParam, &result)) {
    Default();
  }
}

void CWnd::OnMeasureItem(int, LPMEASUREITEMSTRUCT measure) {
  LRESULT result = 0;
  CWnd* control = measure != nullptr
                      ? FromHandlePermanent(::GetDlgItem(m_hWnd, static_cast<int>(measure->CtlID)))
                      : nullptr;
  if (control == nullptr ||
      !control->OnChildNotify(m_currentMessage.message, m_currentMessage.wParam,
                              m_currentMessage.lParam, &result)) {
    Default();
  }
}

// --- Window DCs ----------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* window) : m_hWnd(window->m_hWnd) {
  std::memset(&m_ps, 0, sizeof m_ps);
  m_hDC = ::BeginPaint(m_hWnd, &m_ps);
  AfxZoomDC(m_hDC);
}
CPaintDC::~CPaintDC() {
  // EndPaint releases the DC: the base class must not delete it again.
  ::EndPaint(m_hWnd, &m_ps);
  Detach();
}

CClientDC::CClientDC(CWnd* window) : m_hWnd(window != nullptr ? window->m_hWnd : nullptr) {
  m_hDC = ::GetDC(m_hWnd);
  AfxZoomDC(m_hDC);
}
CClientDC::~CClientDC() {
  HDC dc = Detach();
  if (dc != nullptr) ::ReleaseDC(m_hWnd, dc);
}

// --- CDialog -------------------------------------------------------------------------------

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}
CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  const AfxDialogTemplate* dialogTemplate = AfxFindDialogTemplate(m_nIDTemplate);
  if (dialogTemplate == nullptr) return -1;
  // Without a parent of its own a modal dialog is owned by the main window
  // (unless it is the main window), as in the framework.
  CWnd* owner = m_pParentWnd != nullptr ? m_pParentWnd : AfxGetMainWnd();
  HWND parent = owner != nullptr && owner != this ? owner->m_hWnd : nullptr;
  if (parent != nullptr && !::IsWindow(parent)) parent = nullptr;
  // The owner takes no input while the dialog runs.
  bool parentWasEnabled = parent != nullptr && ::IsWindowEnabled(parent);
  if (parentWasEnabled) ::EnableWindow(parent, FALSE);
  m_continueModal = true;
  m_nModalResult = -1;
  if (AfxCreateDialogWindow(*dialogTemplate, parent, this) == nullptr) {
    if (parentWasEnabled) ::EnableWindow(parent, TRUE);
    return -1;
  }
  // A modal dialog is shown even when its template is not visible.
  if (m_continueModal && m_hWnd != nullptr && !::IsWindowVisible(m_hWnd)) {
    ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
  }
  if (m_continueModal) RunModalLoop();
  if (m_hWnd != nullptr) {
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
  }
  if (parentWasEnabled) {
    ::EnableWindow(parent, TRUE);
    ::SetActiveWindow(parent);
  }
  DestroyWindow();
  return m_nModalResult;
}

int CDialog::RunModalLoop() {
  while (m_continueModal) {
    if (!AfxPumpMessage() && m_continueModal) {
      // WM_QUIT (or, headless, no input left): the dialog ends with -1.
      m_continueModal = false;
      m_nModalResult = -1;
    }
  }
  return static_cast<int>(m_nModalResult);
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  m_nIDTemplate = templateId;
  m_pParentWnd = parent;
  const AfxDialogTemplate* dialogTemplate = AfxFindDialogTemplate(templateId);
  if (dialogTemplate == nullptr) return FALSE;
  return AfxCreateDialogWindow(*dialogTemplate, parent != nullptr ? parent->m_hWnd : nullptr,
                               this) != nullptr;
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  m_continueModal = false;
  if (m_hWnd != nullptr) {
    ::EndDialog(m_hWnd, result);
    // Wakes a modal loop that is waiting for input, as the framework does.
    ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
  }
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}
void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* message) {
  // Keys go through the dialog manager: Enter is OK, Escape is Cancel.
  if (message->message >= WM_KEYDOWN && message->message <= WM_CHAR && m_hWnd != nullptr) {
    return ::IsDialogMessageA(m_hWnd, message);
  }
  return FALSE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT id = LOWORD(wParam);
  UINT code = HIWORD(wParam);
  if (code == BN_CLICKED || lParam == 0) {
    if (id == IDOK) {
      OnOK();
      return TRUE;
    }
    if (id == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return CWnd::OnCommand(wParam, lParam);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  return CWnd::WindowProc(message, wParam, lParam);
}

// --- CListBox --------------------------------------------------------------------------

int CListBox::AddString(LPCSTR text) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}
int CListBox::InsertString(int index, LPCSTR text) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_INSERTSTRING, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(text)));
}
int CListBox::DeleteString(UINT index) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_DELETESTRING, index, 0));
}
void CListBox::ResetContent() { ::SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0); }
int CListBox::GetCount() const { return static_cast<int>(::SendMessageA(m_hWnd, LB_GETCOUNT, 0, 0)); }
int CListBox::GetCurSel() const { return static_cast<int>(::SendMessageA(m_hWnd, LB_GETCURSEL, 0, 0)); }
int CListBox::SetCurSel(int index) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_SETCURSEL, static_cast<WPARAM>(index), 0));
}
int CListBox::GetText(int index, LPSTR buffer) const {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_GETTEXT, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(buffer)));
}
void CListBox::GetText(int index, CString& text) const {
  int length = GetTextLen(index);
  if (length < 0) {
    text.Empty();
    return;
  }
  GetText(index, text.GetBuffer(length + 1));
  text.ReleaseBuffer(length);
}
int CListBox::GetTextLen(int index) const {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0));
}
int CListBox::GetTopIndex() const {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_GETTOPINDEX, 0, 0));
}
int CListBox::SetTopIndex(int index) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0));
}
int CListBox::GetItemRect(int index, LPRECT rect) const {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_GETITEMRECT, static_cast<WPARAM>(index),
                                         reinterpret_cast<LPARAM>(rect)));
}
ULONG_PTR CListBox::GetItemData(int index) const {
  return static_cast<ULONG_PTR>(::SendMessageA(m_hWnd, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}
int CListBox::SetItemData(int index, ULONG_PTR data) {
  return static_cast<int>(::SendMessageA(m_hWnd, LB_SETITEMDATA, static_cast<WPARAM>(index),
                                         static_cast<LPARAM>(data)));
}
int CListBox::GetItemHeight(int index) const {
  const LRESULT height = ::SendMessageA(m_hWnd, LB_GETITEMHEIGHT, static_cast<WPARAM>(index), 0);
  return height == LB_ERR ? LB_ERR : AfxWindowPixels(static_cast<int>(height));
}
int CListBox::SetItemHeight(int index, UINT height) {
  const int system = AfxSystemPixels(static_cast<int>(height));
  return static_cast<int>(::SendMessageA(m_hWnd, LB_SETITEMHEIGHT, static_cast<WPARAM>(index),
                                         MAKELPARAM(system, 0)));
}
void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

// The items are measured and drawn in window pixels.
BOOL CListBox::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
  if (message == WM_DRAWITEM) {
    DRAWITEMSTRUCT draw = *reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
    draw.rcItem = AfxWindowRect(draw.rcItem);
    AfxZoomDC(draw.hDC);
    DrawItem(&draw);
    AfxUnzoomDC(draw.hDC);
  } else if (message == WM_MEASUREITEM) {
    LPMEASUREITEMSTRUCT measure = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
    MeasureItem(measure);
    measure->itemHeight = static_cast<UINT>(AfxSystemPixels(static_cast<int>(measure->itemHeight)));
  } else {
    return FALSE;
  }
  if (result != nullptr) *result = TRUE;
  return TRUE;
}

// --- CWaitCursor ---------------------------------------------------------------------------

CWaitCursor::CWaitCursor() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(1);
}
CWaitCursor::~CWaitCursor() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(-1);
}
void CWaitCursor::Restore() {
  if (AfxGetApp() != nullptr) AfxGetApp()->DoWaitCursor(0);
}

// --- CFileDialog -------------------------------------------------------------------------

CFileDialog::CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension, LPCSTR fileName,
                         DWORD flags, LPCSTR filter, CWnd* parent)
    : m_bOpenFileDialog(openFileDialog) {
  std::memset(&m_ofn, 0, sizeof m_ofn);
  std::memset(m_fileName, 0, sizeof m_fileName);
  std::memset(m_fileTitle, 0, sizeof m_fileTitle);
  if (fileName != nullptr) {
    std::strncpy(m_fileName, fileName, sizeof m_fileName - 1);
  }
  if (defaultExtension != nullptr) m_defaultExtension = defaultExtension;
  if (filter != nullptr) {
    // The framework's filter form: '|' separators become the '\0's comdlg32 expects.
    std::string pairs = filter;
    for (char& c : pairs) {
      if (c == '|') c = '\0';
    }
    m_filter = CString(pairs.data(), static_cast<int>(pairs.size()));
  }
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.hwndOwner = parent != nullptr ? parent->m_hWnd : nullptr;
  m_ofn.hInstance = AfxGetInstanceHandle();
  m_ofn.lpstrFilter = filter != nullptr ? m_filter.GetString() : nullptr;
  m_ofn.lpstrFile = m_fileName;
  m_ofn.nMaxFile = sizeof m_fileName;
  m_ofn.lpstrFileTitle = m_fileTitle;
  m_ofn.nMaxFileTitle = sizeof m_fileTitle;
  m_ofn.Flags = flags | OFN_EXPLORER;
  m_ofn.lpstrDefExt = defaultExtension != nullptr ? m_defaultExtension.GetString() : nullptr;
}

INT_PTR CFileDialog::DoModal() {
  // The viewer asks only for a file to save; there is no Open dialog.
  if (m_bOpenFileDialog) return IDCANCEL;
  return AfxPlumbingGetSaveFileName(&m_ofn, m_proposedName.GetString()) ? IDOK : IDCANCEL;
}

void CFileDialog::ProposeName(LPCSTR name) { m_proposedName = name != nullptr ? name : ""; }

CString CFileDialog::GetPathName() const { return CString(m_ofn.lpstrFile); }
CString CFileDialog::GetFileName() const {
  return CString(m_ofn.lpstrFile + std::min<size_t>(m_ofn.nFileOffset, std::strlen(m_ofn.lpstrFile)));
}
CString CFileDialog::GetFileExt() const {
  size_t length = std::strlen(m_ofn.lpstrFile);
  if (m_ofn.nFileExtension == 0 || m_ofn.nFileExtension >= length) return CString();
  return CString(m_ofn.lpstrFile + m_ofn.nFileExtension);
}
