// The texts users see for the library's error codes.
#pragma once

#include <string>

#include "imaging/core/pelorn.h"

// The fixed text of a code, or "Error #<code>" for a code without one.
std::string ErrorText(PelornError code);
