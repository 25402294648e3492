#include "tools/demo/sounds.h"

#include <cmath>

#include "tools/demo/canvas.h"

namespace demo {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kSampleRate = 22050;
constexpr uint16_t kTicksPerQuarter = 96;

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutBE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

// MIDI's variable-length quantity: seven bits a byte, most significant first,
// the top bit set on every byte but the last.
void PutVariableLength(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

// "RIFF", the size of what follows, "WAVE", a 16-byte "fmt " chunk (PCM, mono,
// 16 bits) and the "data" chunk of little-endian signed samples.
std::vector<uint8_t> Wave(const std::vector<double>& samples) {
  const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::vector<uint8_t> wave;
  PutTag(wave, "RIFF");
  PutLE(wave, 36 + dataBytes, 4);
  PutTag(wave, "WAVE");
  PutTag(wave, "fmt ");
  PutLE(wave, 16, 4);
  PutLE(wave, 1, 2);  // PCM
  PutLE(wave, 1, 2);  // mono
  PutLE(wave, kSampleRate, 4);
  PutLE(wave, kSampleRate * 2, 4);  // bytes per second
  PutLE(wave, 2, 2);                // block alignment
  PutLE(wave, 16, 2);               // bits per sample
  PutTag(wave, "data");
  PutLE(wave, dataBytes, 4);
  for (double sample : samples) {
    const double clipped = std::fmax(-1.0, std::fmin(1.0, sample));
    PutLE(wave, static_cast<uint32_t>(static_cast<int32_t>(std::lround(clipped * 32000))) & 0xFFFF, 2);
  }
  return wave;
}

}  // namespace

std::vector<uint8_t> ChimeWave() {
  std::vector<double> samples(kSampleRate * 6 / 5);
  for (size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double attack = std::fmin(1.0, t * 200);
    const double first = std::sin(2 * kPi * 880.0 * t) * std::exp(-t * 3.5);
    const double second = t < 0.25 ? 0.0 : std::sin(2 * kPi * 1108.73 * (t - 0.25)) * std::exp(-(t - 0.25) * 3.5);
    samples[i] = attack * 0.4 * (first + second);
  }
  return Wave(samples);
}

std::vector<uint8_t> SurfWave() {
  std::vector<double> samples(kSampleRate * 2);
  double smoothed = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double noise = HashUnit(1999, static_cast<uint32_t>(i)) * 2 - 1;
    smoothed += (noise - smoothed) * 0.25;  // a soft low-pass: rushing, not hissing
    const double swell = 0.5 - 0.5 * std::cos(2 * kPi * t);  // twice in two seconds
    samples[i] = smoothed * swell * 1.6;
  }
  return Wave(samples);
}

std::vector<uint8_t> MelodyMidi(uint8_t program, uint32_t microsecondsPerQuarter,
                                const std::vector<Note>& notes) {
  std::vector<uint8_t> track;
  // Tempo: FF 51 03 and microseconds per quarter note.
  track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
  PutBE(track, microsecondsPerQuarter, 3);
  track.insert(track.end(), {0x00, 0xC0, program});
  for (const Note& note : notes) {
    track.insert(track.end(), {0x00, 0x90, note.key, 0x50});
    PutVariableLength(track, note.eighths * (kTicksPerQuarter / 2u));
    track.insert(track.end(), {0x80, note.key, 0x00});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});

  std::vector<uint8_t> midi;
  PutTag(midi, "MThd");
  PutBE(midi, 6, 4);
  PutBE(midi, 0, 2);  // format 0: one track
  PutBE(midi, 1, 2);
  PutBE(midi, kTicksPerQuarter, 2);
  PutTag(midi, "MTrk");
  PutBE(midi, static_cast<uint32_t>(track.size()), 4);
  midi.insert(midi.end(), track.begin(), track.end());
  return midi;
}

}  // namespace demo
