// Colour quantiser object.
#pragma once

#include <cstdint>

#include "imaging/core/pelorn.h"

class ColorQuantizer {
 public:
  // Fills indices (width x height) and the three 256-byte palette planes
  // (entries beyond the colours produced are 0). 1 on success, 0 on failure.
  int32_t Quantize(const uint8_t* rgb, uint8_t* indices, int32_t width, int32_t height,
                   int32_t colorCount, uint8_t* redPlane, uint8_t* greenPlane,
                   uint8_t* bluePlane);
};
