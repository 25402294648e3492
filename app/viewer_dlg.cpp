// The viewer window's set-up and tear-down and its small handlers.
#include "app/viewer_dlg.h"

#include <cstdlib>
#include <vector>

#include "app/about_dlg.h"
#include "resources/resource_ids.h"
#include "catalogue/skin_image.h"
#include "platform/framework/afx_app.h"
#include "platform/framework/afx_zoom.h"

namespace {

// Template 102: a visible pop-up with a thin border and no caption, with a
// task-bar button; every control hidden.
const AfxDialogControl kViewerControls[] = {
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 351, 7, 50, 14},
    {"BUTTON", "Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 0, 351, 23, 50, 14},
    {"LISTBOX", "", IDC_ALBUM_LIST,
     LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
         WS_TABSTOP,
     0, 10, 133, 89, 184},
    {"BUTTON", "Next", IDC_NEXT, BS_PUSHBUTTON | WS_TABSTOP, 0, 351, 39, 50, 14},
    {"BUTTON", "Prev", IDC_PREV, BS_PUSHBUTTON | WS_TABSTOP, 0, 351, 55, 50, 14},
    {"BUTTON", "Copy", IDC_COPY, BS_PUSHBUTTON | WS_TABSTOP, 0, 351, 71, 50, 14},
    {"BUTTON", "Export", IDC_EXPORT, BS_PUSHBUTTON | WS_TABSTOP, 0, 351, 87, 50, 14},
};
const AfxDialogTemplate kViewerTemplate = {
    IDD_VIEWER_DIALOG, DS_CENTER | WS_POPUP | WS_VISIBLE | WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX,
    WS_EX_APPWINDOW, 0, 0, 408, 316, "Tessary", kViewerControls, 7};
const AfxDialogTemplateRegistrar kRegisterViewer(&kViewerTemplate);

constexpr COLORREF kListBackground = 0x7A7A7A;

}  // namespace

CViewerDlg::CViewerDlg(CWnd* parent)
    : CDialog(IDD_VIEWER_DIALOG, parent),
      m_pictureList(m_navigation.Pictures()),
      m_albumList(m_navigation.Albums()),
      m_albumFolder(m_navigation.AlbumFolder()),
      m_currentIndex(m_navigation.Index()),
      m_fullView(this),
      m_slideshowOn(0) {
  // Members are constructed in declaration order: the three string arrays,
  // the two players, the strings, the skin images, the list box.
  m_icon = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
  m_pictureBitmap = nullptr;
  m_pictureHeight = 0;
  m_pictureWidth = 0;
  m_displayPalette = nullptr;
  BuildDisplayPalette();

  m_backgroundColor = kListBackground;
  m_backgroundBrush = nullptr;
  m_splashShown = 0;
  m_bannerShown = 0;
  m_sidePanelShown = 0;
  m_pictureArea = CRect(204, 42, 753, 512);
  m_displayZoom = AfxGetDisplayZoom();
  m_decodeAhead.SetArea(m_pictureArea.Width() * m_displayZoom,
                        m_pictureArea.Height() * m_displayZoom);
  m_windowWidth = 800;
  m_windowHeight = 600;
  m_listBoxRect = CRect(15, 199, 149, 475);
  m_copyZone = CRect(193, 558, 233, 585);
  m_exportZone = CRect(252, 560, 303, 587);
  m_titleRect = CRect(360, 130, 630, 400);
  m_prevZone = CRect(607, 550, 661, 595);
  m_nextZone = CRect(668, 550, 720, 600);
  m_closeZone = CRect(8, 7, 52, 52);
  m_prevPressedOffset = CPoint(3, 2);
  m_nextPressedOffset = CPoint(1, 2);
  m_copyPressedOffset = CPoint(7, 10);
  m_exportPressedOffset = CPoint(2, 7);
  m_prevPressedFlag = 0;
  m_nextPressedFlag = 0;
  m_copyPressedFlag = 0;
  m_exportPressedFlag = 0;
  m_closeHover = 0;
  m_titleShown = 0;
  m_currentIndex = 0;

  m_backdrop = new CBackdropDlg();
  m_backdrop->Create(IDD_BACKDROP, nullptr);
}

CViewerDlg::~CViewerDlg() {
  if (m_fullView.m_hWnd != nullptr) m_fullView.DestroyWindow();
  if (m_displayPalette != nullptr) DeleteObject(m_displayPalette);
  if (m_pictureBitmap != nullptr) {
    std::free(m_pictureBitmap);
    m_pictureBitmap = nullptr;
  }
  if (m_backgroundBrush != nullptr) DeleteObject(m_backgroundBrush);
  if (m_backdrop != nullptr) {
    m_backdrop->DestroyWindow();
    delete m_backdrop;
    m_backdrop = nullptr;
  }
  m_midiPlayer.Stop();
  m_midiPlayer.Close();
  m_wavePlayer.Stop();
  m_wavePlayer.Release();
}

void FillDisplayPalette(LOGPALETTE* palette) {
  palette->palVersion = 0x300;
  palette->palNumEntries = 256;
  for (int i = 0; i < 256; ++i) {
    PALETTEENTRY& entry = palette->palPalEntry[i];
    entry.peRed = static_cast<BYTE>((16 * i) % 256);
    entry.peGreen = static_cast<BYTE>((4 * i) % 256);
    entry.peBlue = static_cast<BYTE>(i);
    entry.peFlags = 0;
  }
}

void CViewerDlg::BuildDisplayPalette() {
  std::vector<uint8_t> storage(sizeof(LOGPALETTE) + 255 * sizeof(PALETTEENTRY));
  LOGPALETTE* palette = reinterpret_cast<LOGPALETTE*>(storage.data());
  FillDisplayPalette(palette);
  m_displayPalette = CreatePalette(palette);
}

void CViewerDlg::DoDataExchange(CDataExchange* exchange) {
  CDialog::DoDataExchange(exchange);
  DDX_Control(exchange, IDC_ALBUM_LIST, m_albumListBox);
}

BOOL CViewerDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText("Tessary");
  SetWindowPos(nullptr, 0, 0, m_windowWidth, m_windowHeight, SWP_NOMOVE | SWP_NOZORDER);
  // The template was centred at its own size: centre the window as it now is,
  // before it is first shown.
  CenterWindow();
  m_albumListBox.MoveWindow(m_listBoxRect.left, m_listBoxRect.top, m_listBoxRect.Width(),
                            m_listBoxRect.Height(), TRUE);
  m_backgroundColor = kListBackground;
  m_backgroundBrush = CreateSolidBrush(m_backgroundColor);

  ReadAlbumText();

  CString aboutMenu;
  aboutMenu.LoadString(IDS_ABOUTBOX);
  if (!aboutMenu.IsEmpty()) {
    CMenu* systemMenu = GetSystemMenu(FALSE);
    if (systemMenu != nullptr) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, aboutMenu);
    }
  }

  SetIcon(m_icon, TRUE);
  SetIcon(m_icon, FALSE);

  m_titleText = "Searching Directories...";
  m_titleShown = 1;

  LoadSkinImage(m_background, IDR_SKIN_BACKGROUND);
  LoadSkinImage(m_shadowRight, IDR_SKIN_SHADOW_RIGHT);
  LoadSkinImage(m_shadowBottom, IDR_SKIN_SHADOW_BOTTOM);
  LoadSkinImage(m_shadowCorner, IDR_SKIN_SHADOW_CORNER);
  LoadSkinImage(m_prevPressed, IDR_SKIN_PREV_PRESSED);
  LoadSkinImage(m_nextPressed, IDR_SKIN_NEXT_PRESSED);
  LoadSkinImage(m_copyPressed, IDR_SKIN_COPY_PRESSED);
  LoadSkinImage(m_exportPressed, IDR_SKIN_EXPORT_PRESSED);
  LoadSkinImage(m_closeHighlight, IDR_SKIN_CLOSE_HIGHLIGHT);

  ReadBanner();

  LoadSkinImage(m_splash, IDR_SKIN_SPLASH);
  m_splashShown = 1;
  m_titleText = "";
  return TRUE;
}

void CViewerDlg::OnSysCommand(UINT id, LPARAM lParam) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDialog::OnSysCommand(id, lParam);
  }
}

HCURSOR CViewerDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_icon); }

HBRUSH CViewerDlg::OnCtlColor(CDC* dc, CWnd* control, UINT controlColor) {
  HBRUSH brush = CDialog::OnCtlColor(dc, control, controlColor);
  if (controlColor == CTLCOLOR_EDIT || controlColor == CTLCOLOR_LISTBOX) {
    ::SetBkColor(dc->GetSafeHdc(), m_backgroundColor);
    return m_backgroundBrush;
  }
  return brush;
}

BOOL CViewerDlg::OnEraseBkgnd(CDC*) { return FALSE; }

void CViewerDlg::OnActivate(UINT state, CWnd* other, BOOL minimized) {
  CDialog::OnActivate(state, other, minimized);
  // Full view stays above the viewer while it is on.
  if (minimized || FullViewShown()) return;
  // Keep the viewer directly above the backdrop.
  if (m_backdrop != nullptr && m_backdrop->m_hWnd != nullptr) {
    m_backdrop->SetWindowPos(&wndTop, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  SetWindowPos(&wndTop, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}
