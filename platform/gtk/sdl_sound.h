// platform/gtk/sdl_sound.h
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
namespace platform::gtk {
class SdlSound {
 public:
  static SdlSound& Instance();
  void PlayMidiFromStart(const std::string& path);
  void StopMidi();
  void PlayWave(const uint8_t* bytes, size_t size, bool loop);
  void StopWave();
  void Shutdown();  // at program end
};
}  // namespace platform::gtk
