// The running program's own file on Linux.
#pragma once

#include <string>

namespace platform {

// The full path of the program file that holds this code; empty when it
// cannot be found. A program started through the dynamic loader
// (`/lib64/ld-linux-x86-64.so.2 PROGRAM`, as from a medium whose files have
// no exec bit) is the PROGRAM, not the loader that /proc/self/exe names then.
std::string RunningProgramPath();

}  // namespace platform
