// The desktop back end's sound: MIDI files and wave images played through
// SDL2_mixer (MIDI synthesised by FluidSynth with a General MIDI sound font).
// The GTK back end forwards the multimedia services' sound hooks here.
//
// Audio opens on first use; SDL2 and SDL2_mixer are opened then too
// (sdl_library.h). Without a usable sound device the mixer runs on SDL's
// "dummy" driver, so the program goes on silently. Whatever cannot be played
// (missing sound libraries, a damaged file, no sound font, no audio at all)
// is silence, never an error; the first reason for silence that is not the
// file's own fault is said once on standard error. MIDI files play with the
// system's General MIDI sound font, else with the one a disc carries beside
// the program (platform::kCarriedSoundFontName). Called from the user-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Mix_Chunk;
struct _Mix_Music;

namespace platform::gtk {

struct SdlLibrary;

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
  // started (tests; the program chooses its own on first use).
  void SetSoundFontForTests(const std::string& path);

 private:
  SdlSound();
  bool EnsureAudio();
  void FreeMusic();
  void FreeWave();

  enum class Audio { kClosed, kOpen, kUnavailable };
  Audio audio_ = Audio::kClosed;
  const SdlLibrary* sdl_ = nullptr;  // set while audio_ is kOpen
  bool soundFontChosen_ = false;
  std::string soundFontPath_;
  _Mix_Music* music_ = nullptr;
  Mix_Chunk* wave_ = nullptr;
  int waveChannel_ = -1;  // the mixer channel playing wave_, or -1
};

}  // namespace platform::gtk
