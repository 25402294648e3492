// The desktop back end's sound: MIDI files and wave images played through
// SDL2_mixer (MIDI synthesised by FluidSynth with a General MIDI sound font).
// The GTK back end forwards the multimedia services' sound hooks here.
//
// Audio opens on first use. Without a usable sound device the mixer runs on
// SDL's "dummy" driver, so the program goes on silently. Whatever cannot be
// played (a damaged file, a missing or broken sound font, no audio at all) is
// silence, never an error. Called from the user-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Mix_Chunk;
struct _Mix_Music;

namespace platform::gtk {

class SdlSound {
 public:
  static SdlSound& Instance();

  // Stops any music and plays the MIDI file at `path` once, from its start.
  void PlayMidiFromStart(const std::string& path);
  void StopMidi();
  // Stops any wave and plays the RIFF WAVE image of `size` bytes, once or
  // repeated. The mixer decodes its own copy: `bytes` need not outlive the call.
  void PlayWave(const uint8_t* bytes, size_t size, bool loop);
  void StopWave();
  // At program end: stops everything and closes audio. A later call opens it again.
  void Shutdown();

  // The sound font MIDI files are synthesised with, for the next file
  // started (tests; the program uses Debian's TimGM6mb).
  void SetSoundFontForTests(const std::string& path);

 private:
  SdlSound();
  bool EnsureAudio();
  void FreeMusic();
  void FreeWave();

  enum class Audio { kClosed, kOpen, kUnavailable };
  Audio audio_ = Audio::kClosed;
  std::string soundFontPath_;
  _Mix_Music* music_ = nullptr;
  Mix_Chunk* wave_ = nullptr;
  int waveChannel_ = -1;  // the mixer channel playing wave_, or -1
};

}  // namespace platform::gtk
