// The viewer window: a dialog whose controls are all hidden; everything the
// user sees is drawn from the skin images. It owns its lists, skin images,
// picture, backdrop and sound players.
#pragma once

#include <cstdint>

#include "app/backdrop_dlg.h"
#include "app/full_view_dlg.h"
#include "catalogue/album_list_box.h"
#include "catalogue/navigation_model.h"
#include "catalogue/sound_players.h"
#include "commands/decode_ahead.h"
#include "imaging/core/bitmaps.h"
#include "platform/framework/afx_string.h"
#include "platform/framework/afx_wnd.h"

// The display palette: 256 entries, palette version 0x300; entry i is
// (16i mod 256, 4i mod 256, i), flags 0. `palette` holds 256 entries.
void FillDisplayPalette(LOGPALETTE* palette);

class CViewerDlg : public CDialog {
 public:
  explicit CViewerDlg(CWnd* parent = nullptr);
  ~CViewerDlg() override;

  // --- State, in declaration order (construction and destruction follow it)
  // The album list, the current album's pictures, the album folder and the
  // current index are the navigation model's; the members below name them.
  NavigationModel m_navigation;
  CStringArray& m_pictureList;    // full paths of the current album's pictures
  CStringArray& m_albumList;      // folder paths; entry 0 the root, second level with one blank
  CStringArray m_albumTextLines;  // trimmed lines of album.txt
  CMidiPlayer m_midiPlayer;
  CWavePlayer m_wavePlayer;
  CString m_currentMidiPath;
  CString m_programFolder;
  CString m_currentPicturePath;
  COLORREF m_backgroundColor;     // list box background
  HBRUSH m_backgroundBrush;
  CWinBmp m_background;           // 142, 800 x 600
  CWinBmp m_shadowRight;          // 153
  CWinBmp m_shadowBottom;         // 154
  CWinBmp m_shadowCorner;         // 155
  CWinBmp m_prevPressed;          // 157
  CWinBmp m_nextPressed;          // 156
  CWinBmp m_copyPressed;          // 159
  CWinBmp m_exportPressed;        // 160
  CWinBmp m_sidePanel;            // 161, decoded only for a single album
  CWinBmp m_closeHighlight;       // 165
  CWinBmp m_banner;               // the program file's trailer
  CWinBmp m_splash;               // 167
  CWinBmp m_spareImage1;          // constructed, never loaded or drawn
  CWinBmp m_spareImage2;
  int m_splashShown;              // splash on show: no scan has started
  int m_bannerShown;
  int m_sidePanelShown;
  CString& m_albumFolder;         // the root's ends in the separator, the others' do not
  CBackdropDlg* m_backdrop;       // owned
  CAlbumListBox m_albumListBox;
  CRect m_pictureArea;
  int m_windowWidth;
  int m_windowHeight;
  CRect m_listBoxRect;
  CRect m_copyZone;
  CRect m_exportZone;
  CRect m_titleRect;
  CRect m_prevZone;
  CRect m_nextZone;
  CRect m_closeZone;
  CPoint m_prevPressedOffset;
  CPoint m_nextPressedOffset;
  CPoint m_copyPressedOffset;
  CPoint m_exportPressedOffset;
  int m_prevPressedFlag;
  int m_nextPressedFlag;
  int m_copyPressedFlag;
  int m_exportPressedFlag;
  int m_closeHover;
  HPALETTE m_displayPalette;
  uint8_t* m_pictureBitmap;       // RGB picture on show, plain memory (free)
  int m_pictureHeight;            // of the picture bitmap, in device pixels
  int m_pictureWidth;
  // Device pixels per window pixel, each way (1 but on a big screen): the
  // picture is fitted to the picture area this many times over and drawn
  // one to one on device pixels.
  int m_displayZoom;
  HICON m_icon;
  int m_titleShown;
  CString m_titleText;
  int& m_currentIndex;            // -1: the album's title page
  DecodeAhead m_decodeAhead;      // the pages Next and Prev lead to, decoded while one is on show
  CString m_pictureFailure;       // why the listed picture is not on show; drawn in its place
  CFullViewDlg m_fullView;        // a window only while full view is on
  int m_slideshowOn;              // pages turn on the slideshow timer

  // --- Operations of the later work (declared here, built with it)
  // Painting
  void InvalidateViewingRegion();
  void DrawDropShadow(CDC* dc, int x, int y, int width, int height);
  // Navigation: the model decides, the window carries out its plan.
  void Prev();
  void Next();
  void SelectAlbum();
  void CarryOut(const NavigationPlan& plan);
  // Asks for the page on show and the pages after and before it to be ready.
  void DecodeAheadFromHere();
  // Banner
  void ReadBanner();
  // Catalogue
  void ScanRoot(const CString& rootFolder);
  void ScanAlbum(const CString& albumFolder);
  BOOL AddSecondLevelAlbums(const CString& firstLevelFolder);
  void FillAlbumListBox();
  void StartBrowsing();
  void ReadAlbumText();
  CString LookUp(const CString& key) const;
  void ReorderAlbums();
  // Title and sound
  void PlayMusicFor(const CString& path);
  void PlaySoundFor(const CString& path);
  void ShowTitlePage(const CString& text);
  // Commands
  BOOL LoadPicture();
  // Loads and shows one file of the picture list: its music and sound, then
  // the picture decoded and fitted.
  BOOL LoadPictureFile(const CString& path);
  // Decodes the picture and keeps its copy fitted to the picture area.
  BOOL ShowPicture(const CString& path);
  // Frees the picture on show: none is drawn from the next repaint on.
  void ReleasePicture();
  void Copy();
  void Export();
  // Full view and slideshow: the page on show, fitted to the whole screen;
  // paging goes through Next and Prev as in the window.
  static constexpr UINT_PTR kSlideshowTimer = 2;
  static constexpr UINT kSlideshowInterval = 5000;  // milliseconds a page stays
  bool FullViewShown() const { return m_fullView.m_hWnd != nullptr; }
  // Device pixels per window pixel, each way: 1 but on a big screen.
  int DisplayZoom() const { return m_displayZoom; }
  // The window pixels a picture of this many device pixels covers.
  int WindowPixelsOf(int devicePixels) const {
    return (devicePixels + m_displayZoom - 1) / m_displayZoom;
  }
  void EnterFullView();
  void LeaveFullView();
  void StartSlideshow();
  void StopSlideshow();
  // What the full view window's keys and clicks do.
  void FullViewKey(UINT key);
  void FullViewClick();
  void FullViewDoubleClick();

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnSysCommand(UINT id, LPARAM lParam) override;
  HCURSOR OnQueryDragIcon() override;
  HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT controlColor) override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
  void OnPaint() override;
  void OnMouseMove(UINT flags, CPoint point) override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnLButtonUp(UINT flags, CPoint point) override;
  void OnLButtonDblClk(UINT flags, CPoint point) override;
  void OnTimer(UINT_PTR id) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  BOOL PreTranslateMessage(MSG* message) override;
  void OnRButtonDown(UINT flags, CPoint point) override;

 private:
  void BuildDisplayPalette();
  // Painting, off screen
  void PaintIcon(CDC* dc);
  void ComposeWindow(CDC* dc);
  void DrawAtZone(CDC* dc, CWinBmp& image, const CRect& zone, const CPoint& offset);
  void DrawPicture(CDC* dc);
  void DrawFileName(HDC hdc);
  void DrawPictureFailure(HDC hdc);
  void DrawCounter(CDC* dc);
  // Pointer input
  void PressZones(CPoint point);
  void ReleaseZone(int& pressedFlag, const CRect& zone);
  // Keyboard
  bool ForwardAlbumKey(const MSG& message);
  // Full view
  void RefreshFullView();
  void TurnSlideshowPage();
  bool DoubleClickOpensFullView(CPoint point) const;
};
