// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/core/codec.h"

int32_t PelornCodec::ResampleRgb(const uint8_t*, int32_t, int32_t, uint8_t*, int32_t, int32_t) { errorCode = 5; return 0; }
