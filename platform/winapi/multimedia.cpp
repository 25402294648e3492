// Multimedia services: the MIDI sequencer behind mciSendCommandA and wave
// sounds from memory behind PlaySoundA. The services keep the devices' state
// and position; the linked back end makes the sound (platform/backend.h).
// Called from the user-interface thread only, as the viewer does.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "platform/backend.h"
#include "platform/winapi/win_mmsystem.h"

namespace {

struct Sequencer {
  std::string path;
  bool playing = false;
  DWORD startedAt = 0;       // the back end's clock when play began
  DWORD stoppedPosition = 0;  // milliseconds from the start while not playing
};

struct Multimedia {
  std::map<MCIDEVICEID, Sequencer> sequencers;
  MCIDEVICEID nextDevice = 1;
  bool wavePlaying = false;
};

Multimedia& State() {
  static auto* state = new Multimedia();
  return *state;
}

DWORD Clock() { return platform::TheUserBackend().Now(); }

DWORD PositionOf(const Sequencer& sequencer) {
  return sequencer.playing ? Clock() - sequencer.startedAt : sequencer.stoppedPosition;
}

void StopPlaying(Sequencer& sequencer) {
  if (!sequencer.playing) return;
  sequencer.stoppedPosition = PositionOf(sequencer);
  sequencer.playing = false;
  platform::TheUserBackend().StopMidi();
}

// A standard MIDI file begins with its header chunk's tag.
MCIERROR CheckMidiFile(LPCSTR path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return MCIERR_FILE_NOT_FOUND;
  char tag[4] = {0, 0, 0, 0};
  const size_t read = std::fread(tag, 1, sizeof tag, file);
  std::fclose(file);
  return read == sizeof tag && std::memcmp(tag, "MThd", 4) == 0 ? 0 : MCIERR_INVALID_FILE;
}

bool NamesSequencer(const MCI_OPEN_PARMSA& open, DWORD_PTR flags) {
  if ((flags & MCI_OPEN_TYPE_ID) != 0) {
    return LOWORD(reinterpret_cast<DWORD_PTR>(open.lpstrDeviceType)) == MCI_DEVTYPE_SEQUENCER;
  }
  return open.lpstrDeviceType != nullptr && strcasecmp(open.lpstrDeviceType, "sequencer") == 0;
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* open) {
  if ((flags & MCI_OPEN_TYPE) == 0 || !NamesSequencer(*open, flags))
    return MCIERR_INVALID_DEVICE_NAME;
  // The layer's sequencer plays files: it has no use without an element.
  if ((flags & MCI_OPEN_ELEMENT) == 0 || open->lpstrElementName == nullptr)
    return MCIERR_MISSING_PARAMETER;
  if ((flags & (MCI_OPEN_ALIAS | MCI_OPEN_ELEMENT_ID)) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  const MCIERROR fileError = CheckMidiFile(open->lpstrElementName);
  if (fileError != 0) return fileError;
  Multimedia& state = State();
  const MCIDEVICEID device = state.nextDevice++;
  state.sequencers[device].path = open->lpstrElementName;
  open->wDeviceID = device;
  platform::TheUserBackend().MidiOpened(open->lpstrElementName);
  return 0;
}

MCIERROR Play(Sequencer& sequencer, DWORD_PTR flags, const MCI_PLAY_PARMS* play) {
  if ((flags & MCI_TO) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  const DWORD from = (flags & MCI_FROM) != 0 ? play->dwFrom : PositionOf(sequencer);
  // The back ends start a MIDI file only at its beginning.
  if (from != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  for (auto& [device, other] : State().sequencers) {
    if (&other != &sequencer && other.playing) return MCIERR_SEQ_PORT_INUSE;
  }
  StopPlaying(sequencer);
  sequencer.playing = true;
  sequencer.startedAt = Clock();
  platform::TheUserBackend().PlayMidiFromStart(sequencer.path);
  return 0;
}

MCIERROR Seek(Sequencer& sequencer, DWORD_PTR flags) {
  if ((flags & MCI_SEEK_TO_START) == 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if ((flags & (MCI_SEEK_TO_END | MCI_TO)) != 0) return MCIERR_FLAGS_NOT_COMPATIBLE;
  StopPlaying(sequencer);  // seeking stops playback, as the sequencer does
  sequencer.stoppedPosition = 0;
  return 0;
}

MCIERROR Set(DWORD_PTR flags, const MCI_SET_PARMS* set) {
  if ((flags & MCI_SET_TIME_FORMAT) == 0) return MCIERR_UNSUPPORTED_FUNCTION;
  // The layer keeps time in milliseconds only.
  return set->dwTimeFormat == MCI_FORMAT_MILLISECONDS ? 0 : MCIERR_BAD_TIME_FORMAT;
}

MCIERROR Status(const Sequencer& sequencer, DWORD_PTR flags, MCI_STATUS_PARMS* status) {
  if ((flags & MCI_STATUS_ITEM) == 0) return MCIERR_MISSING_PARAMETER;
  if (status->dwItem != MCI_STATUS_POSITION) return MCIERR_UNSUPPORTED_FUNCTION;
  status->dwReturn = PositionOf(sequencer);
  return 0;
}

MCIERROR Close(MCIDEVICEID device) {
  Multimedia& state = State();
  auto found = state.sequencers.find(device);
  StopPlaying(found->second);
  const std::string path = found->second.path;
  state.sequencers.erase(found);
  platform::TheUserBackend().MidiClosed(path);
  return 0;
}

// The length of a RIFF WAVE image from its header, 0 when it is not one.
size_t WaveImageLength(const uint8_t* bytes) {
  if (std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) return 0;
  const uint32_t chunkSize = static_cast<uint32_t>(bytes[4]) | static_cast<uint32_t>(bytes[5]) << 8 |
                             static_cast<uint32_t>(bytes[6]) << 16 |
                             static_cast<uint32_t>(bytes[7]) << 24;
  return static_cast<size_t>(chunkSize) + 8;
}

void StopWave() {
  Multimedia& state = State();
  if (!state.wavePlaying) return;
  state.wavePlaying = false;
  platform::TheUserBackend().StopWave();
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters) {
  if ((flags & MCI_NOTIFY) != 0) return MCIERR_UNSUPPORTED_FUNCTION;
  if (command == MCI_OPEN) {
    if (parameters == 0) return MCIERR_NULL_PARAMETER_BLOCK;
    return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(parameters));
  }
  auto found = State().sequencers.find(device);
  if (found == State().sequencers.end()) return MCIERR_INVALID_DEVICE_ID;
  Sequencer& sequencer = found->second;
  switch (command) {
    case MCI_CLOSE: return Close(device);
    case MCI_STOP: StopPlaying(sequencer); return 0;
    case MCI_SEEK: return Seek(sequencer, flags);
    case MCI_PLAY:
      if (parameters == 0 && (flags & (MCI_FROM | MCI_TO)) != 0) return MCIERR_NULL_PARAMETER_BLOCK;
      return Play(sequencer, flags, reinterpret_cast<const MCI_PLAY_PARMS*>(parameters));
    case MCI_SET:
      if (parameters == 0) return MCIERR_NULL_PARAMETER_BLOCK;
      return Set(flags, reinterpret_cast<const MCI_SET_PARMS*>(parameters));
    case MCI_STATUS:
      if (parameters == 0) return MCIERR_NULL_PARAMETER_BLOCK;
      return Status(sequencer, flags, reinterpret_cast<MCI_STATUS_PARMS*>(parameters));
    default: return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

BOOL PlaySoundA(LPCSTR sound, HMODULE, DWORD flags) {
  if (sound == nullptr) {
    StopWave();
    return TRUE;
  }
  if ((flags & SND_MEMORY) == 0 || (flags & SND_ASYNC) == 0) return FALSE;
  if ((flags & SND_NOSTOP) != 0 && State().wavePlaying) return FALSE;
  const auto* bytes = reinterpret_cast<const uint8_t*>(sound);
  const size_t length = WaveImageLength(bytes);
  if (length == 0) return FALSE;
  StopWave();
  State().wavePlaying = true;
  platform::TheUserBackend().PlayWave(bytes, length, (flags & SND_LOOP) != 0);
  return TRUE;
}

namespace platform {

void ResetMultimedia() {
  Multimedia& state = State();
  state.sequencers.clear();
  state.nextDevice = 1;
  state.wavePlaying = false;
}

}  // namespace platform
