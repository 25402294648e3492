// Keys people expect of a picture viewer, beside the dialog's own Enter and
// Escape: each reaches the same operation as the hidden button it stands for.
// Up and Down change the album from anywhere in the window, as they do in the
// album list, which keeps the focus it has; a right click outside the list opens
// the About box, as the system menu's entry does (the window has no caption
// to open that menu from).
#include "resources/resource_ids.h"
#include "app/viewer_dlg.h"

namespace {

bool ControlHeld() { return (::GetKeyState(VK_CONTROL) & 0x8000) != 0; }

// The hidden button a key stands for, or 0.
int ButtonForKey(UINT key) {
  switch (key) {
    case VK_RIGHT:
    case VK_NEXT:
    case VK_SPACE: return IDC_NEXT;
    case VK_LEFT:
    case VK_PRIOR:
    case VK_BACK: return IDC_PREV;
    case 'C': return ControlHeld() ? IDC_COPY : 0;
    case 'S': return ControlHeld() ? IDC_EXPORT : 0;
    default: return 0;
  }
}

}  // namespace

// Up and Down reach the album list wherever the focus is; with the focus in
// the list they are its own already.
bool CViewerDlg::ForwardAlbumKey(const MSG& message) {
  if (message.wParam != VK_UP && message.wParam != VK_DOWN) return false;
  const HWND list = m_albumListBox.GetSafeHwnd();
  if (list == nullptr || message.hwnd == list || !::IsWindowVisible(list)) return false;
  ::SendMessageA(list, WM_KEYDOWN, message.wParam, message.lParam);
  return true;
}

BOOL CViewerDlg::PreTranslateMessage(MSG* message) {
  if (message->message == WM_KEYDOWN) {
    if (message->wParam == VK_F1) {
      SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
      return TRUE;
    }
    if (message->wParam == VK_F11) {
      EnterFullView();
      return TRUE;
    }
    if (message->wParam == VK_F5) {
      StartSlideshow();
      return TRUE;
    }
    if (ForwardAlbumKey(*message)) return TRUE;
    const int button = ButtonForKey(static_cast<UINT>(message->wParam));
    if (button != 0) {
      CWnd* control = GetDlgItem(button);
      SendMessage(WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                  reinterpret_cast<LPARAM>(control != nullptr ? control->m_hWnd : nullptr));
      return TRUE;
    }
  }
  return CDialog::PreTranslateMessage(message);
}

void CViewerDlg::OnRButtonDown(UINT flags, CPoint point) {
  SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  CDialog::OnRButtonDown(flags, point);
}
