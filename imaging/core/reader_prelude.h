// The start every file reader shares, so that all of them treat their
// arguments and outputs alike (the rule pelorn.h states for callers).
#pragma once

#include <cstdint>

#include "imaging/core/owners.h"
#include "imaging/core/pelorn.h"

namespace pelorn {

// Zeroes the size outputs that were given, then refuses a missing path or
// output and an empty path (code 5). Returns kPelornOk when the read may go on.
PelornError CheckReaderArguments(const char* path, uint32_t* width, uint32_t* height);

// CheckReaderArguments, then opens the file for binary reading into `file`
// (code 2 when it cannot be opened).
PelornError OpenPictureFile(const char* path, uint32_t* width, uint32_t* height, FileOwner* file);

}  // namespace pelorn
