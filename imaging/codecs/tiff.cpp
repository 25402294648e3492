// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/core/codec.h"

HGLOBAL PelornCodec::ReadTiffFile(const char*, uint32_t*, uint32_t*) { errorCode = 5; return nullptr; }
