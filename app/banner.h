// Reading the banner trailer (app/banner_trailer.h) from the program file.
#pragma once

#include <cstdint>
#include <cstdio>

// N from the trailer of an open file when the tag is there and N fits in the
// bytes before the trailer; false otherwise. A damaged length is treated as
// no trailer.
bool ReadTrailer(std::FILE* file, uint32_t* bannerBytes);
