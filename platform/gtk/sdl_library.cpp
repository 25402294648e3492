// Opens SDL2 and SDL2_mixer with dlopen. See sdl_library.h.
#include "platform/gtk/sdl_library.h"

#include <dlfcn.h>

namespace platform::gtk {
namespace {

struct Loaded {
  SdlLibrary functions = {};
  std::string problem;  // empty when every function was found
};

// dlerror's text for the last failure (it names the missing file).
std::string LastLoaderError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown loader error";
}

template <typename Function>
bool Find(void* library, const char* name, Function* function, std::string* problem) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  if (*function == nullptr && problem->empty()) *problem = LastLoaderError();
  return *function != nullptr;
}

Loaded Load() {
  Loaded loaded;
  // Global, so that the mixer (and the plug-ins it opens) find SDL's symbols.
  void* sdl = dlopen(kSdlFileName, RTLD_NOW | RTLD_GLOBAL);
  void* mixer = sdl != nullptr ? dlopen(kMixerFileName, RTLD_NOW) : nullptr;
  if (mixer == nullptr) {
    loaded.problem = LastLoaderError();
    return loaded;
  }
  SdlLibrary& f = loaded.functions;
  std::string& problem = loaded.problem;
  Find(sdl, "SDL_InitSubSystem", &f.InitSubSystem, &problem);
  Find(sdl, "SDL_QuitSubSystem", &f.QuitSubSystem, &problem);
  Find(sdl, "SDL_SetHint", &f.SetHint, &problem);
  Find(sdl, "SDL_SetHintWithPriority", &f.SetHintWithPriority, &problem);
  // SDL 2.24 and later; older ones set the hint back instead.
  f.ResetHint = reinterpret_cast<decltype(f.ResetHint)>(dlsym(sdl, "SDL_ResetHint"));
  Find(sdl, "SDL_RWFromConstMem", &f.RWFromConstMem, &problem);
  Find(mixer, "Mix_Init", &f.MixInit, &problem);
  Find(mixer, "Mix_OpenAudio", &f.OpenAudio, &problem);
  Find(mixer, "Mix_CloseAudio", &f.CloseAudio, &problem);
  Find(mixer, "Mix_SetSoundFonts", &f.SetSoundFonts, &problem);
  Find(mixer, "Mix_LoadMUS", &f.LoadMUS, &problem);
  Find(mixer, "Mix_PlayMusic", &f.PlayMusic, &problem);
  Find(mixer, "Mix_HaltMusic", &f.HaltMusic, &problem);
  Find(mixer, "Mix_FreeMusic", &f.FreeMusic, &problem);
  Find(mixer, "Mix_LoadWAV_RW", &f.LoadWAV_RW, &problem);
  Find(mixer, "Mix_PlayChannelTimed", &f.PlayChannelTimed, &problem);
  Find(mixer, "Mix_HaltChannel", &f.HaltChannel, &problem);
  Find(mixer, "Mix_FreeChunk", &f.FreeChunk, &problem);
  return loaded;
}

}  // namespace

const SdlLibrary* LoadSdlLibrary(std::string* problem) {
  static const Loaded loaded = Load();
  if (problem != nullptr) *problem = loaded.problem;
  return loaded.problem.empty() ? &loaded.functions : nullptr;
}

}  // namespace platform::gtk
