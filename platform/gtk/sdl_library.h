// SDL2 and SDL2_mixer, opened at run time. A desktop without them (or
// without what they load with them, such as FluidSynth) still runs the
// program, in silence: nothing of sound is needed to start it.
//
// Only the calls the sound code makes are looked up, each in the form every
// SDL2_mixer since 2.0 exports (Mix_PlayChannel is a macro over
// Mix_PlayChannelTimed there).
#pragma once

#include <SDL.h>
#include <SDL_mixer.h>

#include <string>

namespace platform::gtk {

struct SdlLibrary {
  decltype(&SDL_InitSubSystem) InitSubSystem;
  decltype(&SDL_QuitSubSystem) QuitSubSystem;
  decltype(&SDL_SetHint) SetHint;
  decltype(&SDL_SetHintWithPriority) SetHintWithPriority;
  decltype(&SDL_ResetHint) ResetHint;  // may be null: absent before SDL 2.24
  decltype(&SDL_RWFromConstMem) RWFromConstMem;
  decltype(&Mix_Init) MixInit;
  decltype(&Mix_OpenAudio) OpenAudio;
  decltype(&Mix_CloseAudio) CloseAudio;
  decltype(&Mix_SetSoundFonts) SetSoundFonts;
  decltype(&Mix_LoadMUS) LoadMUS;
  decltype(&Mix_PlayMusic) PlayMusic;
  decltype(&Mix_HaltMusic) HaltMusic;
  decltype(&Mix_FreeMusic) FreeMusic;
  decltype(&Mix_LoadWAV_RW) LoadWAV_RW;
  decltype(&Mix_PlayChannelTimed) PlayChannelTimed;
  decltype(&Mix_HaltChannel) HaltChannel;
  decltype(&Mix_FreeChunk) FreeChunk;
};

// The libraries' file names, as their run-time packages install them.
constexpr char kSdlFileName[] = "libSDL2-2.0.so.0";
constexpr char kMixerFileName[] = "libSDL2_mixer-2.0.so.0";

// Opens both libraries on the first call and answers the same afterwards:
// every function found, or null with `problem` (if given) saying in one
// line what is missing. The libraries stay loaded until the process ends.
const SdlLibrary* LoadSdlLibrary(std::string* problem = nullptr);

}  // namespace platform::gtk
