// The banner trailer at the end of the program file: N bytes of JPEG, the
// ten ASCII characters "STANDALONE" (no terminator), then N as an unsigned
// 32-bit little-endian number.
#pragma once

#include <cstdint>
#include <cstdio>

// N from the trailer of an open file when the tag is there and N fits in the
// bytes before the trailer; false otherwise. A damaged length is treated as
// no trailer.
bool ReadTrailer(std::FILE* file, uint32_t* bannerBytes);
