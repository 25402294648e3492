// The program's one optional argument: the root album's folder
// (`tessary [FOLDER]`). A disc whose medium forbids running programs is
// started from a copy of the program elsewhere, which names the disc's
// folder so. Without it the root is the folder that holds the program.
#pragma once

#include "platform/framework/afx_string.h"

// The folder named by the first argument that is not an option (options,
// such as the window system's own, begin with '-'), made absolute against
// the current folder and without a trailing separator; empty when there is
// none. The folder need not exist: scanning a missing folder finds nothing.
CString RootFolderArgument(int argc, const char* const* argv);
