// The sound players over mciSendCommandA and PlaySoundA.
#include "catalogue/sound_players.h"

#include <cstdio>
#include <cstring>

namespace {

// Zero bytes kept after a wave file's data in its block.
constexpr SIZE_T kWaveTailBytes = 6;
// A RIFF file starts with "RIFF", the chunk's size (little-endian) and its form.
constexpr long kRiffHeaderBytes = 12;

MCIERROR SendMci(uint16_t device, UINT command, DWORD_PTR flags, void* parameters) {
  return mciSendCommandA(device, command, flags, reinterpret_cast<DWORD_PTR>(parameters));
}

// PlaySoundA takes a wave image's length from its RIFF header: the header
// must say no more than the file holds, or playing would read past it.
bool RiffFitsIn(const uint8_t* bytes, long length) {
  if (length < kRiffHeaderBytes || std::memcmp(bytes, "RIFF", 4) != 0) return false;
  const uint32_t chunkSize = static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
                             static_cast<uint32_t>(bytes[6]) << 16 |
                             static_cast<uint32_t>(bytes[7]) << 24;
  return static_cast<uint64_t>(chunkSize) + 8 <= static_cast<uint64_t>(length);
}

long FileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  const long length = std::ftell(file);
  if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) return -1;
  return length;
}

// Frees the block whose handle is stored just before `soundData`.
void FreeSoundMemory(const void* soundData) {
  HGLOBAL block;
  std::memcpy(&block, static_cast<const uint8_t*>(soundData) - sizeof(HGLOBAL), sizeof block);
  GlobalUnlock(block);
  GlobalFree(block);
}

}  // namespace

// --- CMidiPlayer ------------------------------------------------------------------

CMidiPlayer::~CMidiPlayer() { Close(); }

BOOL CMidiPlayer::Open(LPCSTR path) {
  if (m_open) return TRUE;
  m_open = 0;
  m_spare = 0;
  m_playing = 0;
  m_deviceId = 0;
  if (path == nullptr || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return FALSE;

  MCI_OPEN_PARMSA open = {};
  open.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<DWORD_PTR>(MCI_DEVTYPE_SEQUENCER));
  open.lpstrElementName = path;
  if (SendMci(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT, &open) != 0)
    return FALSE;
  m_deviceId = static_cast<uint16_t>(open.wDeviceID);
  m_open = 1;

  MCI_SET_PARMS set = {};
  set.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  if (SendMci(m_deviceId, MCI_SET, MCI_SET_TIME_FORMAT, &set) != 0) {
    Close();
    return FALSE;
  }
  MCI_SEEK_PARMS seek = {};
  SendMci(m_deviceId, MCI_SEEK, MCI_SEEK_TO_START, &seek);
  return TRUE;
}

BOOL CMidiPlayer::Play() {
  if (!m_open) return FALSE;
  MCI_STATUS_PARMS status = {};
  status.dwItem = MCI_STATUS_POSITION;
  SendMci(m_deviceId, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, &status);
  const DWORD position = static_cast<DWORD>(status.dwReturn);
  const DWORD minutes = position / 60000;
  const DWORD seconds = position / 1000 % 60;

  MCI_PLAY_PARMS play = {};
  play.dwFrom = minutes * 60000 + seconds * 1000;
  if (SendMci(m_deviceId, MCI_PLAY, MCI_FROM, &play) != 0) return FALSE;
  m_spare = 0;
  m_playing = 1;
  return TRUE;
}

void CMidiPlayer::Stop() {
  if (!m_open || !m_playing) return;
  MCI_GENERIC_PARMS stop = {};
  SendMci(m_deviceId, MCI_STOP, 0, &stop);
  MCI_SEEK_PARMS seek = {};
  SendMci(m_deviceId, MCI_SEEK, MCI_SEEK_TO_START, &seek);
  m_playing = 0;
  m_spare = 0;
}

void CMidiPlayer::Close() {
  if (!m_open) return;
  MCI_GENERIC_PARMS generic = {};
  if (m_playing) SendMci(m_deviceId, MCI_STOP, 0, &generic);
  SendMci(m_deviceId, MCI_CLOSE, 0, &generic);
  m_open = 0;
  m_spare = 0;
  m_playing = 0;
  m_deviceId = 0;
}

// --- CWavePlayer ------------------------------------------------------------------

CWavePlayer::~CWavePlayer() { Release(); }

BOOL CWavePlayer::Load(LPCSTR path) {
  Release();
  std::FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return FALSE;
  const long length = FileLength(file);
  HGLOBAL block = length >= 0 ? GlobalAlloc(GPTR, sizeof(HGLOBAL) + static_cast<SIZE_T>(length) +
                                                      kWaveTailBytes)
                              : nullptr;
  uint8_t* start = block != nullptr ? static_cast<uint8_t*>(GlobalLock(block)) : nullptr;
  if (start == nullptr) {
    if (block != nullptr) GlobalFree(block);
    std::fclose(file);
    return FALSE;
  }
  std::memcpy(start, &block, sizeof block);
  uint8_t* data = start + sizeof(HGLOBAL);
  const size_t read = std::fread(data, 1, static_cast<size_t>(length), file);
  std::fclose(file);
  if (read != static_cast<size_t>(length) || !RiffFitsIn(data, length)) {
    FreeSoundMemory(data);
    return FALSE;
  }
  m_soundData = data;
  m_loaded = 1;
  m_ownsMemory = 1;
  return TRUE;
}

BOOL CWavePlayer::Play(BOOL loop) {
  if (!m_loaded) return FALSE;
  const DWORD flags = SND_ASYNC | SND_NODEFAULT | SND_MEMORY | (loop ? SND_LOOP : 0);
  return PlaySoundA(static_cast<LPCSTR>(m_soundData), nullptr, flags);
}

void CWavePlayer::Stop() { PlaySoundA(nullptr, nullptr, 0); }

void CWavePlayer::Release() {
  Stop();
  if (m_ownsMemory && m_soundData != nullptr) FreeSoundMemory(m_soundData);
  m_ownsMemory = 0;
  m_loaded = 0;
  m_soundData = nullptr;
}
