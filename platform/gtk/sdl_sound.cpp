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

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/gtk/sdl_library.h"
#include "platform/paths.h"
#include "platform/winapi/program_file.h"

namespace platform::gtk {
namespace {

// General MIDI sound fonts where desktops install them (Debian's and
// Ubuntu's timgm6mb-soundfont and fluid-soundfont-gm, Fedora's and Arch's
// default). SDL_mixer's built-in default and the SDL_SOUNDFONTS variable do
// not find them reliably, so they are named here.
constexpr const char* kSystemSoundFonts[] = {
    "/usr/share/sounds/sf2/TimGM6mb.sf2",     "/usr/share/sounds/sf2/FluidR3_GM.sf2",
    "/usr/share/sounds/sf2/default-GM.sf2",   "/usr/share/soundfonts/default.sf2",
    "/usr/share/soundfonts/FluidR3_GM.sf2",   "/usr/share/sounds/sf2/GeneralUser_GS.sf2"};
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

// The folder that holds the running program, with a trailing '/'.
std::string ProgramFolder() {
  const std::string program = platform::RunningProgramPath();
  return program.substr(0, program.rfind('/') + 1);
}

// The system's General MIDI sound font, else the one carried beside the
// program; empty when there is none.
std::string ChooseSoundFont() {
  for (const char* path : kSystemSoundFonts) {
    if (IsSoundFont(path)) return path;
  }
  const std::string carried = ProgramFolder() + platform::kCarriedSoundFontName;
  return IsSoundFont(carried) ? carried : std::string();
}

// Starts SDL's audio and the mixer on the driver SDL chooses (SDL_AUDIODRIVER
// or its own order of preference); false, with nothing left open, on failure.
bool OpenMixer(const SdlLibrary& sdl) {
  if (sdl.InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (sdl.OpenAudio(MIX_DEFAULT_FREQUENCY, MIX_DEFAULT_FORMAT, kStereo, kMixerFrames) == 0) {
    return true;
  }
  sdl.QuitSubSystem(SDL_INIT_AUDIO);
  return false;
}

// The mixer on SDL's "dummy" driver, which consumes the mix at real-time pace
// and plays it nowhere.
bool OpenSilentMixer(const SdlLibrary& sdl) {
  // Only an overriding hint outranks SDL_AUDIODRIVER in the environment. SDL
  // reads it while audio starts; it is dropped at once so that audio opened
  // again after Shutdown tries a real device first.
  sdl.SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  const bool opened = OpenMixer(sdl);
  if (sdl.ResetHint != nullptr) {
    sdl.ResetHint(SDL_HINT_AUDIODRIVER);
  } else {
    sdl.SetHintWithPriority(SDL_HINT_AUDIODRIVER, std::getenv("SDL_AUDIODRIVER"), SDL_HINT_OVERRIDE);
  }
  return opened;
}

// Whatever keeps the program silent is said once, in one line.
void ReportSilence(const std::string& reason) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  std::fprintf(stderr, "tessary: %s\n", reason.c_str());
}

}  // namespace

SdlSound& SdlSound::Instance() {
  // Never destroyed: static destructors must not race SDL's audio thread;
  // Shutdown closes audio at program end.
  static auto* sound = new SdlSound();
  return *sound;
}

SdlSound::SdlSound() = default;

void SdlSound::SetSoundFontForTests(const std::string& path) {
  soundFontPath_ = path;
  soundFontChosen_ = true;
}

bool SdlSound::EnsureAudio() {
  if (audio_ == Audio::kClosed) {
    std::string problem;
    sdl_ = LoadSdlLibrary(&problem);
    if (sdl_ == nullptr) {
      ReportSilence("no sound: " + problem);
      audio_ = Audio::kUnavailable;
      return false;
    }
    // Otherwise SDL turns SIGINT and SIGTERM into SDL quit events, which
    // nobody reads here: the program would ignore SIGTERM.
    sdl_->SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (OpenMixer(*sdl_)) {
      audio_ = Audio::kOpen;
    } else if (OpenSilentMixer(*sdl_)) {
      ReportSilence("no sound: no audio device could be opened");
      audio_ = Audio::kOpen;
    } else {
      ReportSilence("no sound: SDL audio could not be started");
      audio_ = Audio::kUnavailable;
    }
  }
  return audio_ == Audio::kOpen;
}

void SdlSound::PlayMidiFromStart(const std::string& path) {
  FreeMusic();
  if (!EnsureAudio()) return;
  if (!soundFontChosen_) {
    soundFontPath_ = ChooseSoundFont();
    soundFontChosen_ = true;
    if (soundFontPath_.empty()) ReportSilence("MIDI music is silent: no General MIDI sound font found");
  }
  // FluidSynth loads the font again with each file.
  if (!IsSoundFont(soundFontPath_) || sdl_->SetSoundFonts(soundFontPath_.c_str()) == 0) return;
  // Mixers that open their MIDI synthesiser themselves may lack it.
  static const bool midiPlayable = (sdl_->MixInit(MIX_INIT_MID) & MIX_INIT_MID) != 0;
  if (!midiPlayable) {
    ReportSilence("MIDI music is silent: SDL_mixer cannot play MIDI here");
    return;
  }
  music_ = sdl_->LoadMUS(path.c_str());
  if (music_ == nullptr) return;
  // Freshly loaded music starts at its beginning; 0 repeats: played once.
  if (sdl_->PlayMusic(music_, 0) != 0) FreeMusic();
}

void SdlSound::StopMidi() { FreeMusic(); }

void SdlSound::PlayWave(const uint8_t* bytes, size_t size, bool loop) {
  FreeWave();
  // SDL reads memory through an int-sized window.
  if (bytes == nullptr || size == 0 || size > static_cast<size_t>(INT_MAX)) return;
  if (!EnsureAudio()) return;
  SDL_RWops* image = sdl_->RWFromConstMem(bytes, static_cast<int>(size));
  if (image == nullptr) return;
  wave_ = sdl_->LoadWAV_RW(image, 1);  // closes `image` whether it loads or not
  if (wave_ == nullptr) return;
  constexpr int kForever = -1;
  constexpr int kAnyChannel = -1;
  constexpr int kNoTimeLimit = -1;
  waveChannel_ = sdl_->PlayChannelTimed(kAnyChannel, wave_, loop ? kForever : 0, kNoTimeLimit);
  if (waveChannel_ < 0) FreeWave();
}

void SdlSound::StopWave() { FreeWave(); }

void SdlSound::Shutdown() {
  FreeMusic();
  FreeWave();
  if (audio_ == Audio::kOpen) {
    sdl_->CloseAudio();
    sdl_->QuitSubSystem(SDL_INIT_AUDIO);
  }
  audio_ = Audio::kClosed;
}

void SdlSound::FreeMusic() {
  if (music_ == nullptr) return;
  sdl_->HaltMusic();
  sdl_->FreeMusic(music_);
  music_ = nullptr;
}

void SdlSound::FreeWave() {
  if (wave_ == nullptr) return;
  if (waveChannel_ >= 0) sdl_->HaltChannel(waveChannel_);
  sdl_->FreeChunk(wave_);  // also halts any channel still reading it
  wave_ = nullptr;
  waveChannel_ = -1;
}

}  // namespace platform::gtk
