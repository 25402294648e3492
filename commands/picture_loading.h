// Fitting a picture into the viewer's picture area.
#pragma once

#include <cstdint>

struct PictureSize {
  int32_t width;
  int32_t height;
  bool scaled;  // false: the picture is copied at its own size
};

// A picture smaller than the area on both sides is copied unchanged; any
// other is scaled by s = max(width / areaWidth, height / areaHeight), worked
// out in double precision, each new side truncated towards zero. A picture as
// large as the area on one side takes the scaling branch and keeps its size.
// No side becomes smaller than 1 pixel (a 10000 x 1 strip is shown 549 x 1).
PictureSize FitPictureToArea(int32_t width, int32_t height, int32_t areaWidth, int32_t areaHeight);
