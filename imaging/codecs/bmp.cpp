// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/core/codec.h"

HGLOBAL PelornCodec::ReadBmpFile(const char*, uint32_t*, uint32_t*) { errorCode = 5; return nullptr; }
void PelornCodec::WriteBmpFile(const char*, const uint8_t*, int32_t, int32_t, int32_t, int32_t, const RGBQUAD*) { errorCode = 5; }
void PelornCodec::WriteBmp24File(const char*, const uint8_t*, int32_t, int32_t) { errorCode = 5; }
void PelornCodec::ConvertBmpRow(const uint8_t*, uint8_t*, uint32_t, int32_t, const RGBQUAD*) {}
