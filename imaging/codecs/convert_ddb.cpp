// Not yet built: every operation fails with "Bad user param" (code 5) until
// the screen conversions land.
#include "imaging/core/codec.h"

HBITMAP PelornCodec::RgbToDdb(const uint8_t*, uint32_t, uint32_t, HPALETTE) { errorCode = 5; return nullptr; }
HBITMAP PelornCodec::DibToDdb(const void*, HPALETTE) { errorCode = 5; return nullptr; }
