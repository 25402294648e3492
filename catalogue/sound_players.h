// The viewer's two sound players: MIDI music through the media control
// interface's sequencer and wave sounds from memory. Their playing is built
// with the title and sound work; the window owns one of each and stops and
// releases them when it closes.
#pragma once

#include <cstdint>

#include "platform/win32.h"

class CMidiPlayer {
 public:
  CMidiPlayer() = default;
  ~CMidiPlayer();
  void Stop();
  void Close();

  int m_open = 0;
  int m_spare = 0;
  int m_playing = 0;
  uint16_t m_deviceId = 0;
};

class CWavePlayer {
 public:
  CWavePlayer() = default;
  ~CWavePlayer();
  void Stop();
  void Release();

  int m_ownsMemory = 0;
  int m_loaded = 0;
  const void* m_soundData = nullptr;
};
