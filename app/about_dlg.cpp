// The About box (template 100); the framework's defaults are all it needs.
#include "app/about_dlg.h"

#include "resources/resource_ids.h"

namespace {
const AfxDialogControl kAboutControls[] = {
    {"STATIC", "#128", 0xFFFF, SS_ICON | WS_VISIBLE, 0, 11, 17, 20, 20},
    {"STATIC", "Tessary Version 1.0", 0xFFFF, SS_LEFT | SS_NOPREFIX | WS_VISIBLE, 0, 40, 10, 119, 10},
    {"STATIC", "Pelorn imaging library, built for Tessary", 0xFFFF, SS_LEFT | WS_VISIBLE, 0, 40,
     24, 132, 22},
    {"BUTTON", "OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE, 0, 178, 7, 32, 14},
};
const AfxDialogTemplate kAboutTemplate = {
    IDD_ABOUTBOX, DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
    0, 0, 217, 55, "About Tessary", kAboutControls, 4};
const AfxDialogTemplateRegistrar kRegisterAbout(&kAboutTemplate);
}  // namespace

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}
