// The application object: runs the viewer window modally and ends with it.
#pragma once

#include "platform/framework/afx_app.h"

class CViewerApp : public CWinApp {
 public:
  CViewerApp();
  BOOL InitInstance() override;
};

extern CViewerApp theApp;
