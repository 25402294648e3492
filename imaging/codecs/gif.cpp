// Not yet built: every operation fails with "Bad user param" (code 5) until
// this codec lands.
#include "imaging/codecs/gif.h"
#include "imaging/core/thread_state.h"

GifReader::GifReader() { ++GetThreadState().operationDepth; }
GifReader::~GifReader() { --GetThreadState().operationDepth; }
HGLOBAL GifReader::Read(const char*, uint32_t*, uint32_t*, int32_t*) { errorCode = 5; return nullptr; }
GifWriter::GifWriter() { ++GetThreadState().operationDepth; }
GifWriter::~GifWriter() { --GetThreadState().operationDepth; }
int32_t GifWriter::Write(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, const int32_t*, const int32_t*, const int32_t*, const uint8_t*) { errorCode = 5; return 0; }
