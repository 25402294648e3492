// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/core/codec.h"

int32_t PelornCodec::FlipRows(uint8_t*, uint32_t, uint32_t) { errorCode = 5; return 0; }
int32_t PelornCodec::SwapRedBlue(uint8_t*, uint32_t, uint32_t) { errorCode = 5; return 0; }
int32_t PelornCodec::RgbToDibBits(const uint8_t*, uint8_t*, uint32_t, uint32_t, uint32_t) { return 5; }
HGLOBAL PelornCodec::RgbToGlobalDibBits(const uint8_t*, uint32_t, uint32_t, uint32_t*) { errorCode = 5; return nullptr; }
