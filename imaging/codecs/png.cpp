// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/codecs/png.h"

PngCodec::PngCodec() { ++GetThreadState().operationDepth; }
PngCodec::~PngCodec() { --GetThreadState().operationDepth; }
HGLOBAL PngCodec::Read(const char*, uint32_t*, uint32_t*) { errorCode = 5; return nullptr; }
int32_t PngCodec::Write(const char*, const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t, const RGBQUAD*, int32_t, double, int32_t) { errorCode = 5; return 0; }
