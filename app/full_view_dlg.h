// The full view: a border-less pop-up over the whole screen that shows one
// picture fitted to the screen, or text large on black (a title page's, or
// why the picture cannot be shown).
// It takes no decisions: its keys and clicks go back to the viewer.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/framework/afx_string.h"
#include "platform/framework/afx_wnd.h"

class CViewerDlg;

// The largest size of the picture's shape that fits `boxWidth` x `boxHeight`
// (at least 1 x 1).
void FitInto(int32_t width, int32_t height, int32_t boxWidth, int32_t boxHeight,
             int32_t* fittedWidth, int32_t* fittedHeight);

class CFullViewDlg : public CDialog {
 public:
  explicit CFullViewDlg(CViewerDlg* viewer);

  // Covers the screen as it is now (its size is asked again on every page).
  void CoverScreen();
  // The page on show: the picture (RGB, top row first) fitted to the screen.
  // False, showing black, when the fitted copy cannot be made.
  bool ShowPicture(const uint8_t* rgb, int32_t width, int32_t height);
  void ShowText(const CString& text);
  void ShowNothing();

  int screenWidth() const { return m_screenWidth; }
  int screenHeight() const { return m_screenHeight; }

 protected:
  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  BOOL PreTranslateMessage(MSG* message) override;
  void OnLButtonDown(UINT flags, CPoint point) override;
  void OnLButtonDblClk(UINT flags, CPoint point) override;
  // Enter, Escape and a close request are the viewer's to answer, as keys.
  void OnOK() override;
  void OnCancel() override;
  void OnClose() override;

 private:
  void DrawLargeText(HDC hdc);

  CViewerDlg* m_viewer;
  int m_screenWidth = 0;
  int m_screenHeight = 0;
  std::vector<uint8_t> m_fitted;  // the picture fitted, RGB, top row first
  int32_t m_fittedWidth = 0;
  int32_t m_fittedHeight = 0;
  CString m_text;
  bool m_textShown = false;
};
