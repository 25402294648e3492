// The message Export shows when the file cannot be written.
#pragma once

#include <string>

#include "imaging/core/pelorn.h"

// The library's text for `code`. When the file could not be made (code 2) or
// filled (code 4), a second line names the folder and why, as far as the
// folder and its medium tell: the folder is missing, the medium is read-only
// or full, the name is taken by a read-only file or a folder, or the user may
// not write there.
std::string WriteFailureText(const char* path, PelornError code);
