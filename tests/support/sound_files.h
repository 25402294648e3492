// Small sound files for the tests of the multimedia services, the players
// and the viewer's title pages: a standard MIDI file and an 8-bit PCM RIFF
// WAVE file, as their formats lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A format-0 MIDI file: the "MThd" header chunk (length 6, format 0, one
// track, 96 ticks per quarter note) and one track holding a single note and
// the end-of-track event. `note` tells files apart.
inline std::vector<uint8_t> MidiFileBytes(uint8_t note = 60) {
  return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
          'M', 'T', 'r', 'k', 0, 0, 0, 12,
          0x00, 0x90, note, 0x60,   // note on
          0x60, 0x80, note, 0x00,   // note off after a quarter note
          0x00, 0xFF, 0x2F, 0x00};  // end of track
}

// A mono 8-bit 8000 Hz PCM wave file holding `samples`: "RIFF", the chunk
// size (36 + data), "WAVE", a 16-byte "fmt " chunk and the "data" chunk.
// Every field is little-endian.
inline std::vector<uint8_t> WaveFileBytes(const std::vector<uint8_t>& samples) {
  std::vector<uint8_t> bytes;
  auto text = [&bytes](const char* tag) { bytes.insert(bytes.end(), tag, tag + 4); };
  auto u32 = [&bytes](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto u16 = [&bytes](uint16_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
  };
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size());
  text("RIFF");
  u32(36 + dataBytes);
  text("WAVE");
  text("fmt ");
  u32(16);
  u16(1);     // PCM
  u16(1);     // mono
  u32(8000);  // samples per second
  u32(8000);  // bytes per second
  u16(1);     // block alignment
  u16(8);     // bits per sample
  text("data");
  u32(dataBytes);
  bytes.insert(bytes.end(), samples.begin(), samples.end());
  return bytes;
}

// The same with `count` samples, each `fill`.
inline std::vector<uint8_t> WaveFileBytes(uint32_t count, uint8_t fill = 0x80) {
  return WaveFileBytes(std::vector<uint8_t>(count, fill));
}

// A format-0 MIDI file like MidiFileBytes playing `notes` one after another,
// a quarter note each (half a second at the default tempo).
inline std::vector<uint8_t> MidiMelodyFileBytes(const std::vector<uint8_t>& notes) {
  std::vector<uint8_t> track;
  for (const uint8_t note : notes) {
    track.insert(track.end(), {0x00, 0x90, note, 0x60, 0x60, 0x80, note, 0x00});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> bytes = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k'};
  for (int shift = 24; shift >= 0; shift -= 8) {  // chunk lengths are big-endian
    bytes.push_back(static_cast<uint8_t>(track.size() >> shift));
  }
  bytes.insert(bytes.end(), track.begin(), track.end());
  return bytes;
}

// A wave file like WaveFileBytes holding a loud square wave of `hertz`.
inline std::vector<uint8_t> ToneWaveFileBytes(uint32_t samples, uint32_t hertz) {
  std::vector<uint8_t> bytes = WaveFileBytes(samples);
  constexpr size_t kDataOffset = 44;
  constexpr uint32_t kRate = 8000;
  for (uint32_t i = 0; i < samples; ++i) {
    bytes[kDataOffset + i] = (i * hertz * 2 / kRate) % 2 == 0 ? 0x10 : 0xF0;
  }
  return bytes;
}

}  // namespace testing_support
