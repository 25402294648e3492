// The desktop back end's sound through SDL2_mixer. See sdl_sound.h.
//
// The mixer copies and converts what it loads, so nothing here points at the
// caller's memory after a call returns. The one chunk and the one piece of
// music are freed only after their playback is halted: the mixer reads them
// on SDL's audio thread. No finish callback is used: a chunk that played out
// simply waits for the next PlayWave, StopWave or Shutdown to be freed.
//
// A sound device that disappears is SDL's to handle: its audio thread then
// goes on consuming the mix in silence, and every call here keeps working.
#include "platform/gtk/sdl_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <climits>
#include <cstring>
#include <fstream>

namespace platform::gtk {
namespace {

// Debian's timgm6mb-soundfont. SDL_mixer's built-in default and the
// SDL_SOUNDFONTS variable do not find it reliably, so it is named here.
constexpr char kSoundFontPath[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";
// Sample frames per mixing pass: about 46 ms at 44.1 kHz.
constexpr int kMixerFrames = 2048;
constexpr int kStereo = 2;

// A SoundFont is a RIFF form of type "sfbk". FluidSynth would play a MIDI file
// even with a font it cannot load: no instruments, only its dither noise.
bool IsSoundFont(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char header[12] = {};
  file.read(header, sizeof header);
  return file.gcount() == sizeof header && std::memcmp(header, "RIFF", 4) == 0 &&
         std::memcmp(header + 8, "sfbk", 4) == 0;
}

// Starts SDL's audio and the mixer on the driver SDL chooses (SDL_AUDIODRIVER
// or its own order of preference); false, with nothing left open, on failure.
bool OpenMixer() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, kStereo, kMixerFrames) == 0) {
    return true;
  }
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return false;
}

// The mixer on SDL's "dummy" driver, which consumes the mix at real-time pace
// and plays it nowhere.
bool OpenSilentMixer() {
  // Only an overriding hint outranks SDL_AUDIODRIVER in the environment. SDL
  // reads it while audio starts; it is dropped at once so that audio opened
  // again after Shutdown tries a real device first.
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  const bool opened = OpenMixer();
  SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  return opened;
}

}  // namespace

SdlSound& SdlSound::Instance() {
  // Never destroyed: static destructors must not race SDL's audio thread;
  // Shutdown closes audio at program end.
  static auto* sound = new SdlSound();
  return *sound;
}

SdlSound::SdlSound() : soundFontPath_(kSoundFontPath) {}

void SdlSound::SetSoundFontForTests(const std::string& path) { soundFontPath_ = path; }

bool SdlSound::EnsureAudio() {
  if (audio_ == Audio::kClosed) {
    // Otherwise SDL turns SIGINT and SIGTERM into SDL quit events, which
    // nobody reads here: the program would ignore SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    audio_ = OpenMixer() || OpenSilentMixer() ? Audio::kOpen : Audio::kUnavailable;
  }
  return audio_ == Audio::kOpen;
}

void SdlSound::PlayMidiFromStart(const std::string& path) {
  FreeMusic();
  if (!EnsureAudio()) return;
  // FluidSynth loads the font again with each file.
  if (!IsSoundFont(soundFontPath_) || Mix_SetSoundFonts(soundFontPath_.c_str()) == 0) return;
  music_ = Mix_LoadMUS(path.c_str());
  if (music_ == nullptr) return;
  // Freshly loaded music starts at its beginning; 0 repeats: played once.
  if (Mix_PlayMusic(music_, 0) != 0) FreeMusic();
}

void SdlSound::StopMidi() { FreeMusic(); }

void SdlSound::PlayWave(const uint8_t* bytes, size_t size, bool loop) {
  FreeWave();
  // SDL reads memory through an int-sized window.
  if (bytes == nullptr || size == 0 || size > static_cast<size_t>(INT_MAX)) return;
  if (!EnsureAudio()) return;
  SDL_RWops* image = SDL_RWFromConstMem(bytes, static_cast<int>(size));
  if (image == nullptr) return;
  wave_ = Mix_LoadWAV_RW(image, 1);  // closes `image` whether it loads or not
  if (wave_ == nullptr) return;
  constexpr int kForever = -1;
  waveChannel_ = Mix_PlayChannel(-1, wave_, loop ? kForever : 0);
  if (waveChannel_ < 0) FreeWave();
}

void SdlSound::StopWave() { FreeWave(); }

void SdlSound::Shutdown() {
  FreeMusic();
  FreeWave();
  if (audio_ == Audio::kOpen) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  audio_ = Audio::kClosed;
}

void SdlSound::FreeMusic() {
  if (music_ == nullptr) return;
  Mix_HaltMusic();
  Mix_FreeMusic(music_);
  music_ = nullptr;
}

void SdlSound::FreeWave() {
  if (wave_ == nullptr) return;
  if (waveChannel_ >= 0) Mix_HaltChannel(waveChannel_);
  Mix_FreeChunk(wave_);  // also halts any channel still reading it
  wave_ = nullptr;
  waveChannel_ = -1;
}

}  // namespace platform::gtk
