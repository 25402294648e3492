// The Windows services the program and its imaging library call.
//
// On Windows this is <windows.h> itself. Elsewhere it is the platform layer:
// the same names, signatures and meanings, implemented over a software
// framebuffer and one of two back ends (GTK desktop or headless).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win_types.h"
#include "platform/win_kernel.h"
#include "platform/win_gdi.h"
#include "platform/win_user.h"
#include "platform/win_files.h"
#include "platform/win_mmsystem.h"
#endif

#include "platform/paths.h"
