// Silent stand-in for the SDL2_mixer player: the program runs without sound.
#include "platform/gtk/sdl_sound.h"

namespace platform::gtk {

SdlSound& SdlSound::Instance() {
  static SdlSound sound;
  return sound;
}

void SdlSound::PlayMidiFromStart(const std::string&) {}
void SdlSound::StopMidi() {}
void SdlSound::PlayWave(const uint8_t*, size_t, bool) {}
void SdlSound::StopWave() {}
void SdlSound::Shutdown() {}

}  // namespace platform::gtk
