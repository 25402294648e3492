// The About box: icon, name and version, and an OK button.
#pragma once

#include "platform/framework/afx_wnd.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
};
