// Fuzz target of the banner trailer at the end of a program file, as the
// viewer reads it (ReadTrailer, from the open file) and as the pack tool
// reads it (TrailerBannerBytes, WithoutTrailer, from the bytes): both must
// find the same trailer; the program without it plus the same trailer
// appended again must give the input back; and the banner the trailer holds
// goes through the pack tool's check (a JPEG decode).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "app/banner.h"
#include "fuzz/fuzz_support.h"
#include "tools/pack/banner_trailer.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

constexpr size_t kTrailerBytes = 14;  // the tag and the length

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  std::FILE* file = std::fopen(input.path(), "rb");
  if (file == nullptr) __builtin_trap();
  uint32_t viewerBytes = 0;
  const bool viewerFound = ReadTrailer(file, &viewerBytes);
  std::fclose(file);

  const std::vector<uint8_t> program(data, data + size);
  bool packFound = false;
  const uint32_t packBytes = pack::TrailerBannerBytes(program, &packFound);
  Check(viewerFound == packFound);
  const std::vector<uint8_t> bare = pack::WithoutTrailer(program);
  if (!packFound) {
    Check(packBytes == 0 && bare == program);
    return 0;
  }
  Check(viewerBytes == packBytes);
  Check(bare.size() + packBytes + kTrailerBytes == size);

  const std::vector<uint8_t> banner(data + bare.size(), data + bare.size() + packBytes);
  std::vector<uint8_t> again = bare;
  pack::AppendTrailer(&again, banner);
  Check(again == program);

  uint32_t width = 0, height = 0;
  if (pack::CheckBanner(banner, &width, &height).empty()) Check(width > 0 && height > 0);
  return 0;
}
