// The texts users see for the library's error codes.
#pragma once

#include <string>

#include "imaging/core/pelorn.h"

// The fixed text of every code the library sets, or "Error #<code>" for any
// other code.
std::string ErrorText(PelornError code);
