// The framework's window plumbing: the one part of the framework with two
// implementations. Everything else in platform/framework/ (window classes,
// the dispatch of messages to handlers through AfxWndProc, the modal loop of
// AfxPumpMessage) is written against the Windows API alone and builds
// unchanged on both systems; what lies underneath is reached only here:
//  - Linux: the layer's own windows and controls (platform/winapi/), through
//    the back-end interface platform/backend.h: plumbing_layer.cpp.
//  - Windows: real HWNDs, the system's controls and common dialogs; its
//    implementation of these functions lives in platform/win32/.
#pragma once

#include "platform/framework/afx_wnd.h"

// Creates the dialog window and its controls from its built-in template,
// attaches `dialog` to it, sends WM_INITDIALOG and shows it if the template
// is visible. nullptr on failure.
HWND AfxCreateDialogWindow(const AfxDialogTemplate& dialogTemplate, HWND parent, CDialog* dialog);

// The window system starts, with the program's command line (AfxWinMain).
void AfxPlumbingStart(int argc, char** argv);

// The wait-cursor count (CWinApp::DoWaitCursor) as the window system keeps
// and shows it.
int AfxPlumbingWaitCursorCount();
void AfxPlumbingSetWaitCursorCount(int count);

// The Save As dialog (GetSaveFileNameA), told the name the caller proposes
// for what is saved ("" for none; see CFileDialog::ProposeName). TRUE when a
// file was chosen.
BOOL AfxPlumbingGetSaveFileName(OPENFILENAMEA* dialog, LPCSTR proposedName);

// The framework attaches a window: the window system learns how to tell it
// of windows destroyed behind its back (`forgetWindow`) and which filter
// (AfxPreTranslateMessage) a message loop of its own must run.
void AfxPlumbingHookFramework(void (*forgetWindow)(HWND window));

// The big screen's zoom (afx_zoom.h): device pixels per window pixel, and
// how many of them the system's window functions count per window pixel.
int AfxPlumbingDisplayZoom();
int AfxPlumbingWindowZoom();
// Maps `dc`, whose units are the system's pixels, so that one logical unit
// is `zoom` of them each way (any zoom from 1) and a bitmap stretched up is
// enlarged pixel for pixel, with the system font made for 96 dots per inch
// in place of the system's own; and back.
void AfxPlumbingMapWindowPixels(HDC dc, int zoom);
void AfxPlumbingMapSystemPixels(HDC dc);
