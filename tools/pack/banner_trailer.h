// The banner trailer of a program file: N bytes of JPEG, the ten ASCII
// characters "STANDALONE" (no terminator), then N as an unsigned 32-bit
// little-endian number, at the very end of the file. The viewer reads it at
// start-up and shows the JPEG in its bottom-left corner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pack {

// The length of the banner the trailer at the end of `program` announces, when
// the tag is there and the length fits in the bytes before it (as the viewer
// reads it); 0 with `found` false otherwise.
uint32_t TrailerBannerBytes(const std::vector<uint8_t>& program, bool* found);

// `program` without its trailer (banner, tag and length); unchanged when it
// carries none.
std::vector<uint8_t> WithoutTrailer(const std::vector<uint8_t>& program);

// Appends the banner, the tag and the banner's length.
void AppendTrailer(std::vector<uint8_t>* program, const std::vector<uint8_t>& jpeg);

// Empty when `jpeg` can be a banner: it starts with the JPEG start-of-image
// marker (FF D8) and the imaging library decodes it (its size then goes to
// `width` and `height`); otherwise why not, in a few words.
std::string CheckBanner(const std::vector<uint8_t>& jpeg, uint32_t* width, uint32_t* height);

}  // namespace pack
