// The full-screen black window kept directly below the viewer.
#pragma once

#include "platform/framework/afx_wnd.h"

class CBackdropDlg : public CDialog {
 public:
  CBackdropDlg();

  COLORREF m_fillColor;
  int m_screenWidth = 0;
  int m_screenHeight = 0;

 protected:
  BOOL OnInitDialog() override;
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC* dc) override;
  // The backdrop never closes on Enter, Escape or a close request.
  void OnOK() override;
  void OnCancel() override;
  void OnClose() override;
};
