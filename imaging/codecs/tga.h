// TGA reader object. It reports no progress and leaves the operation depth alone.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

class TgaReader {
 public:
  HGLOBAL Read(const char* path, uint32_t* width, uint32_t* height);

  PelornError errorCode = 0;
};
