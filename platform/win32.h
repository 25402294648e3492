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
#else
#include "platform/winapi/win_types.h"
#include "platform/winapi/win_kernel.h"
#include "platform/winapi/win_gdi.h"
#include "platform/winapi/win_user.h"
#include "platform/winapi/win_files.h"
#include "platform/winapi/win_mmsystem.h"
#endif

#include "platform/paths.h"
