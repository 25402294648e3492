// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/core/codec.h"

HGLOBAL PelornCodec::ReadJpegFile(const char*, uint32_t*, uint32_t*) { errorCode = 5; return nullptr; }
HGLOBAL PelornCodec::ReadJpegMemory(const void*, int32_t, uint32_t*, uint32_t*) { errorCode = 5; return nullptr; }
int32_t PelornCodec::WriteJpegFile(const char*, const uint8_t*, uint32_t, uint32_t, int32_t, int32_t, int32_t) { errorCode = 5; return 0; }
void SetJpegMessageBoxes(bool) {}
