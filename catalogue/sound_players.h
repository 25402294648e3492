// The viewer's two sound players: MIDI music through the media control
// interface's sequencer device and wave sounds played from memory. The
// window owns one of each and stops and releases them when it closes.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Music: closed -> open (at the start) -> playing -> (Stop) open at the
// start -> (Close) closed. The sequencer plays a file once.
class CMidiPlayer {
 public:
  CMidiPlayer() = default;
  ~CMidiPlayer();
  CMidiPlayer(const CMidiPlayer&) = delete;
  CMidiPlayer& operator=(const CMidiPlayer&) = delete;

  // Opens the sequencer on a MIDI file, in milliseconds, at its start. TRUE
  // at once when a device is already open; FALSE when the file does not
  // exist or the device cannot be opened or set up.
  BOOL Open(LPCSTR path);
  // Plays from the current position, rounded down to whole seconds, without
  // waiting. FALSE when nothing is open or the device refuses.
  BOOL Play();
  // Stops a playing device and returns it to the start.
  void Stop();
  // Stops and closes the device.
  void Close();

  int m_open = 0;
  int m_spare = 0;    // cleared by Play and Stop, never set
  int m_playing = 0;
  uint16_t m_deviceId = 0;
};

// Sound effects and narration: the wave file is held in one global block,
// the block's handle in the sizeof(HGLOBAL) bytes before the sound data.
class CWavePlayer {
 public:
  CWavePlayer() = default;
  ~CWavePlayer();
  CWavePlayer(const CWavePlayer&) = delete;
  CWavePlayer& operator=(const CWavePlayer&) = delete;

  // Releases the current sound and reads the wave file whole. FALSE, with
  // nothing loaded, when the file cannot be read whole or its RIFF chunk
  // claims more bytes than the file holds.
  BOOL Load(LPCSTR path);
  // Plays the loaded sound asynchronously, repeating when `loop` is set.
  BOOL Play(BOOL loop = FALSE);
  // Stops whatever wave sound plays.
  void Stop();
  // Stops any sound and frees the sound memory this player allocated.
  void Release();

  int m_ownsMemory = 0;  // the sound data lies in a block this player allocated
  int m_loaded = 0;
  const void* m_soundData = nullptr;
};
