// The dialog framework's window classes, in the shape of the Windows framework
// the program is written against: CWnd with virtual message handlers, CDialog
// (modal DoModal and modeless Create), the paint and client DCs, the list box
// control, the system menu, dialog data exchange, the wait cursor and the
// Save As dialog.
//
// Messages reach a CWnd through AfxWndProc, the window procedure the framework
// puts on every window it creates or subclasses; WindowProc turns each
// message into a call of its handler, and every handler's default passes the
// message on to the window's previous procedure (Default). Notifications that
// a control sends its parent (WM_DRAWITEM, WM_MEASUREITEM) are reflected to
// the control's own CWnd (OnChildNotify), as the framework's message
// reflection does.
//
// Dialog templates are described in code (AfxDialogTemplate) and registered
// under their resource id; AfxCreateDialogWindow (plumbing.h) is the one
// place that turns a template into windows.
#pragma once

#include <map>
#include <memory>

#include "platform/framework/afx_gdi.h"
#include "platform/framework/afx_object.h"
#include "platform/framework/afx_string.h"
#include "platform/framework/afx_types.h"
#include "platform/win32.h"

class CWnd;
class CDialog;

// WM_CTLCOLOR* kinds passed to OnCtlColor.
#define CTLCOLOR_MSGBOX 0
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_LISTBOX 2
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_SCROLLBAR 5
#define CTLCOLOR_STATIC 6

// --- Dialog templates ---------------------------------------------------------------
struct AfxDialogControl {
  LPCSTR className;  // "BUTTON", "STATIC", "LISTBOX"
  LPCSTR text;       // for an SS_ICON static: "#<icon id>"
  WORD id;
  DWORD style;       // WS_CHILD is implied
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
};

struct AfxDialogTemplate {
  UINT id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
  LPCSTR caption;
  const AfxDialogControl* controls;
  int controlCount;
};

// Dialog units to pixels: four horizontal units are 8 pixels and eight
// vertical units 16, the base units of the templates' font (MS Sans Serif 8)
// on the 120-dpi screen the viewer's template was laid out on (its 408 x 316
// units come out near the 800 x 600 it is then given).
inline constexpr int kDialogBaseUnitX = 8;
inline constexpr int kDialogBaseUnitY = 16;

void AfxRegisterDialogTemplate(const AfxDialogTemplate* dialogTemplate);
const AfxDialogTemplate* AfxFindDialogTemplate(UINT id);
// Registers a template at start-up: one static object beside the dialog class.
struct AfxDialogTemplateRegistrar {
  explicit AfxDialogTemplateRegistrar(const AfxDialogTemplate* dialogTemplate) {
    AfxRegisterDialogTemplate(dialogTemplate);
  }
};

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Runs PreTranslateMessage from the message's window up to its top-level
// window; TRUE when one of them handled the message.
BOOL AfxPreTranslateMessage(MSG* message);
// One turn of a message loop: gets, pre-translates and dispatches one
// message. FALSE when the loop should end (WM_QUIT).
BOOL AfxPumpMessage();

// --- Menus ----------------------------------------------------------------------------
class CMenu : public CObject {
  DECLARE_DYNAMIC(CMenu)

 public:
  HMENU m_hMenu = nullptr;
  CMenu() = default;
  explicit CMenu(HMENU menu) : m_hMenu(menu) {}
  BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, LPCSTR text = nullptr);
  UINT GetMenuItemCount() const;
};

// --- Dialog data exchange ----------------------------------------------------------------
class CDataExchange {
 public:
  CDataExchange(CWnd* dialog, BOOL saveAndValidate)
      : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};
// Binds `control` to the dialog's control `id` (subclasses it) the first time.
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);

// --- Windows ----------------------------------------------------------------------------
class CWnd : public CObject {
  DECLARE_DYNAMIC(CWnd)

 public:
  HWND m_hWnd = nullptr;

  // Insert-after positions for SetWindowPos, as the framework names them.
  static const CWnd wndTop;
  static const CWnd wndBottom;
  static const CWnd wndTopMost;
  static const CWnd wndNoTopMost;

  CWnd();
  ~CWnd() override;

  HWND GetSafeHwnd() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }  // NOLINT
  // The framework object attached to a window, or nullptr.
  static CWnd* FromHandlePermanent(HWND window);
  // As FromHandlePermanent, else a temporary object for the window that
  // lives until the window is destroyed.
  static CWnd* FromHandle(HWND window);

  BOOL Attach(HWND window);
  HWND Detach();
  // Routes the window's messages through this object (the previous procedure
  // becomes the default).
  BOOL SubclassWindow(HWND window);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);

  virtual BOOL DestroyWindow();

  // --- Win32 operations on m_hWnd
  void SetWindowText(LPCSTR text);
  void GetWindowText(CString& text) const;
  BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
  BOOL ShowWindow(int command);
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowVisible() const;
  BOOL IsWindowEnabled() const;
  BOOL IsIconic() const;
  void GetClientRect(LPRECT rect) const;
  void GetWindowRect(LPRECT rect) const;
  void Invalidate(BOOL erase = TRUE);
  void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
  void ValidateRect(LPCRECT rect);
  void UpdateWindow();
  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr);
  BOOL KillTimer(UINT_PTR id);
  CMenu* GetSystemMenu(BOOL revert);
  HICON SetIcon(HICON icon, BOOL bigIcon);
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  CWnd* GetDlgItem(int id) const;
  int GetDlgCtrlID() const;
  CWnd* GetParent() const;
  CWnd* SetFocus();
  int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);
  // Centres the window over its owner, or over its monitor's work area.
  void CenterWindow(CWnd* alternateOwner = nullptr);
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

  // The wait cursor, counted by the application (CWinApp::DoWaitCursor).
  void BeginWaitCursor();
  void EndWaitCursor();
  void RestoreWaitCursor();

  // --- Message handling
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL PreTranslateMessage(MSG* message);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  // A notification this control sent its parent, reflected back; TRUE when
  // handled (the parent then returns *result).
  virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  virtual void DoDataExchange(CDataExchange* exchange);
  // After the window is gone (WM_NCDESTROY).
  virtual void PostNcDestroy();

 protected:
  // The message being handled, passed on to the previous procedure.
  LRESULT Default();

  virtual void OnPaint();
  virtual BOOL OnEraseBkgnd(CDC* dc);
  virtual void OnMouseMove(UINT flags, CPoint point);
  virtual void OnLButtonDown(UINT flags, CPoint point);
  virtual void OnLButtonUp(UINT flags, CPoint point);
  virtual void OnLButtonDblClk(UINT flags, CPoint point);
  virtual void OnRButtonDown(UINT flags, CPoint point);
  virtual void OnRButtonUp(UINT flags, CPoint point);
  virtual void OnKeyDown(UINT key, UINT repeatCount, UINT flags);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
  virtual void OnSysCommand(UINT id, LPARAM lParam);
  virtual HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT controlColor);
  virtual HCURSOR OnQueryDragIcon();
  virtual void OnClose();
  virtual void OnDestroy();
  virtual void OnDrawItem(int controlId, LPDRAWITEMSTRUCT draw);
  virtual void OnMeasureItem(int controlId, LPMEASUREITEMSTRUCT measure);

  WNDPROC m_pfnSuper = nullptr;

 private:
  friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
  // The four insert-after positions above.
  explicit CWnd(HWND specialPosition);
  MSG m_currentMessage = {};
  std::unique_ptr<CMenu> m_systemMenu;
};

// --- Device contexts of a window ---------------------------------------------------
class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)

 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps;

 protected:
  HWND m_hWnd;
};

class CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)

 public:
  explicit CClientDC(CWnd* window);
  ~CClientDC() override;

 protected:
  HWND m_hWnd;
};

// --- Dialogs --------------------------------------------------------------------------
class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)

 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Runs the dialog modally; its EndDialog result, or -1 when it could not
  // be created or the message loop ended (WM_QUIT).
  virtual INT_PTR DoModal();
  // Creates the dialog modelessly.
  virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
  void EndDialog(int result);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();

  BOOL PreTranslateMessage(MSG* message) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 protected:
  int RunModalLoop();
  bool m_continueModal = false;
  INT_PTR m_nModalResult = -1;
};

// --- The list box control ---------------------------------------------------------------
class CListBox : public CWnd {
  DECLARE_DYNAMIC(CListBox)

 public:
  int AddString(LPCSTR text);
  int InsertString(int index, LPCSTR text);
  int DeleteString(UINT index);
  void ResetContent();
  int GetCount() const;
  int GetCurSel() const;
  int SetCurSel(int index);
  int GetText(int index, LPSTR buffer) const;
  void GetText(int index, CString& text) const;
  int GetTextLen(int index) const;
  int GetTopIndex() const;
  int SetTopIndex(int index);
  int GetItemRect(int index, LPRECT rect) const;
  ULONG_PTR GetItemData(int index) const;
  int SetItemData(int index, ULONG_PTR data);
  int GetItemHeight(int index) const;
  int SetItemHeight(int index, UINT height);

  // Owner-drawn lists: the framework calls these for the parent's
  // WM_DRAWITEM and WM_MEASUREITEM.
  virtual void DrawItem(LPDRAWITEMSTRUCT draw);
  virtual void MeasureItem(LPMEASUREITEMSTRUCT measure);
  BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// --- The wait cursor ---------------------------------------------------------------------
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  void Restore();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// --- The Save As dialog --------------------------------------------------------------
class CFileDialog : public CObject {
  DECLARE_DYNAMIC(CFileDialog)

 public:
  // `filter` holds label|pattern pairs separated by '|' and ended by "||".
  CFileDialog(BOOL openFileDialog, LPCSTR defaultExtension = nullptr,
              LPCSTR fileName = nullptr, DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
              LPCSTR filter = nullptr, CWnd* parent = nullptr);
  // IDOK or IDCANCEL.
  virtual INT_PTR DoModal();
  // The name of what is saved, without folder or extension. The Windows
  // common dialog shows the initial file name as given; a desktop chooser
  // that shows no patterns in its name field proposes this name instead,
  // with the chosen filter's extension.
  void ProposeName(LPCSTR name);
  CString GetPathName() const;
  CString GetFileName() const;
  CString GetFileExt() const;

  OPENFILENAMEA m_ofn;

 private:
  BOOL m_bOpenFileDialog;
  CString m_filter;       // with '\0' separators
  CString m_defaultExtension;
  CString m_proposedName;
  char m_fileName[MAX_PATH];
  char m_fileTitle[MAX_PATH];
};
