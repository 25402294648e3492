// The sound players' life cycle. Until the multimedia services land nothing
// is ever opened or loaded, so stopping and releasing only clear the state.
#include "catalogue/sound_players.h"

CMidiPlayer::~CMidiPlayer() { Close(); }

void CMidiPlayer::Stop() {
  if (!m_open || !m_playing) return;
  m_playing = 0;
  m_spare = 0;
}

void CMidiPlayer::Close() {
  if (!m_open) return;
  Stop();
  m_open = 0;
  m_spare = 0;
  m_playing = 0;
  m_deviceId = 0;
}

CWavePlayer::~CWavePlayer() { Release(); }

void CWavePlayer::Stop() {}

void CWavePlayer::Release() {
  Stop();
  m_ownsMemory = 0;
  m_loaded = 0;
  m_soundData = nullptr;
}
