#include "tools/pack/banner_trailer.h"

#include "app/banner_trailer.h"
#include "imaging/core/error_text.h"
#include "imaging/core/pelorn.h"

namespace pack {

uint32_t TrailerBannerBytes(const std::vector<uint8_t>& program, bool* found) {
  *found = false;
  if (program.size() < banner_trailer::kTrailerBytes) return 0;
  const uint64_t bytesBefore = program.size() - banner_trailer::kTrailerBytes;
  uint32_t bannerBytes = 0;
  *found = banner_trailer::Parse(program.data() + bytesBefore, bytesBefore, &bannerBytes);
  return bannerBytes;
}

std::vector<uint8_t> WithoutTrailer(const std::vector<uint8_t>& program) {
  bool found = false;
  const uint32_t bannerBytes = TrailerBannerBytes(program, &found);
  if (!found) return program;
  return std::vector<uint8_t>(program.begin(),
                              program.end() - static_cast<long>(bannerBytes + banner_trailer::kTrailerBytes));
}

void AppendTrailer(std::vector<uint8_t>* program, const std::vector<uint8_t>& jpeg) {
  banner_trailer::Append(program, jpeg);
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
