#include "tools/pack/banner_trailer.h"

#include <cstring>

#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"

namespace pack {

namespace {

const char kBannerTag[] = "STANDALONE";
constexpr size_t kTagBytes = 10;
constexpr size_t kTrailerBytes = kTagBytes + 4;

}  // namespace

uint32_t TrailerBannerBytes(const std::vector<uint8_t>& program, bool* found) {
  *found = false;
  if (program.size() < kTrailerBytes) return 0;
  const uint8_t* trailer = program.data() + program.size() - kTrailerBytes;
  if (std::memcmp(trailer, kBannerTag, kTagBytes) != 0) return 0;
  const uint32_t bannerBytes = static_cast<uint32_t>(trailer[10]) |
                               static_cast<uint32_t>(trailer[11]) << 8 |
                               static_cast<uint32_t>(trailer[12]) << 16 |
                               static_cast<uint32_t>(trailer[13]) << 24;
  // A length reaching past the start of the file is no trailer: the viewer
  // ignores it too, so the bytes are the program's own.
  if (bannerBytes > program.size() - kTrailerBytes) return 0;
  *found = true;
  return bannerBytes;
}

std::vector<uint8_t> WithoutTrailer(const std::vector<uint8_t>& program) {
  bool found = false;
  const uint32_t bannerBytes = TrailerBannerBytes(program, &found);
  if (!found) return program;
  return std::vector<uint8_t>(program.begin(),
                              program.end() - static_cast<long>(bannerBytes + kTrailerBytes));
}

void AppendTrailer(std::vector<uint8_t>* program, const std::vector<uint8_t>& jpeg) {
  program->insert(program->end(), jpeg.begin(), jpeg.end());
  program->insert(program->end(), kBannerTag, kBannerTag + kTagBytes);
  const uint32_t bannerBytes = static_cast<uint32_t>(jpeg.size());
  for (int i = 0; i < 4; ++i) program->push_back(static_cast<uint8_t>(bannerBytes >> (8 * i)));
}

std::string CheckBanner(const std::vector<uint8_t>& jpeg, uint32_t* width, uint32_t* height) {
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
    return "not a JPEG file (no start-of-image marker)";
  }
  // The trailer's length is 32 bits and the decoder takes a signed length.
  if (jpeg.size() > 0x7FFFFFFFu) return "too large for a banner";
  HGLOBAL block = ReadJpegMemory(jpeg.data(), static_cast<int32_t>(jpeg.size()), width, height);
  if (block == nullptr) return "not a JPEG the viewer can show: " + ErrorText(GetLastImageError());
  GlobalFree(block);
  return "";
}

}  // namespace pack
