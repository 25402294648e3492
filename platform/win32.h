// The Windows services the program and its imaging library call.
//
// On Windows this is the system's own headers. Elsewhere it is the layer in
// platform/winapi/: the same names, signatures and meanings, implemented over
// a software framebuffer and one of two back ends (GTK desktop or headless).
// Code everywhere includes this header, never a winapi/win_*.h directly.
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <commdlg.h>
#include <mmsystem.h>
// The point in a mouse message's lParam, as <windowsx.h> gives it; that
// header is not included, for its message crackers (SubclassWindow among
// them) are macros that collide with the framework's member names.
#ifndef GET_X_LPARAM
#define GET_X_LPARAM(lParam) (static_cast<int>(static_cast<short>(LOWORD(lParam))))
#define GET_Y_LPARAM(lParam) (static_cast<int>(static_cast<short>(HIWORD(lParam))))
#endif
#else
#include "platform/winapi/win_types.h"
#include "platform/winapi/win_kernel.h"
#include "platform/winapi/win_gdi.h"
#include "platform/winapi/win_user.h"
#include "platform/winapi/win_files.h"
#include "platform/winapi/win_mmsystem.h"
#endif

#include "platform/paths.h"
