// Photo-like scenes drawn procedurally for the demo disc: skies, sea,
// mountains, meadows and a city at night. Every pixel is worked out from its
// position relative to the picture's height, so one scene looks the same at
// any size, and the same seed gives the same picture on every machine. No
// channel of a scene goes above 235 (grain included): only captions are whiter.
#pragma once

#include <cstdint>

#include "tools/demo/canvas.h"

namespace demo {

enum class Scene { kSeaside, kSunset, kMountains, kMeadow, kCity, kRegatta, kLighthouse };

// Fills the whole canvas with the scene, grain included.
void DrawScene(Scene scene, uint32_t seed, Canvas& canvas);

}  // namespace demo
