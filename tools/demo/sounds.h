// Sound files for the demo disc, written sample by sample and event by event:
// RIFF WAVE files of 16-bit mono PCM and standard MIDI files of format 0.
#pragma once

#include <cstdint>
#include <vector>

namespace demo {

// A two-note chime (a major third) fading out, about a second long.
std::vector<uint8_t> ChimeWave();
// Surf: noise swelling and ebbing twice, about two seconds long.
std::vector<uint8_t> SurfWave();

struct Note {
  uint8_t key;        // MIDI key number, 60 = middle C
  uint16_t eighths;  // length in eighth notes
};

// One track: tempo, the instrument (General MIDI program), the notes one after
// another, end of track.
std::vector<uint8_t> MelodyMidi(uint8_t program, uint32_t microsecondsPerQuarter,
                                const std::vector<Note>& notes);

}  // namespace demo
