// Fuzz target of the wave player's file check: CWavePlayer::Load reads the
// input as a wave file and must accept exactly the files whose RIFF header
// claims no more bytes than the file holds ("RIFF", then the chunk's size,
// little-endian, which counts from byte 8); a loaded sound is then played
// (PlaySoundA reads the header again) and released, leaving no block behind.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "catalogue/sound_players.h"
#include "fuzz/fuzz_support.h"
#include "platform/winapi/test_hooks.h"

namespace {

bool RiffFitsModel(const uint8_t* data, size_t size) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0) return false;
  const uint64_t claimed = data[4] | data[5] << 8 | data[6] << 16 | uint64_t{data[7]} << 24;
  return claimed + 8 <= size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::MemoryFile input(data, size);
  const int64_t liveBefore = platform::LiveGlobalBlocks();
  {
    CWavePlayer player;
    const BOOL loaded = player.Load(input.path());
    if ((loaded != FALSE) != RiffFitsModel(data, size)) __builtin_trap();
    if (loaded) {
      if (std::memcmp(player.m_soundData, data, size) != 0) __builtin_trap();
      player.Play();
      player.Stop();
    }
  }
  if (platform::LiveGlobalBlocks() != liveBefore) __builtin_trap();
  return 0;
}
