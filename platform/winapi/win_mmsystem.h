// Multimedia services: the media control interface's MIDI sequencer device
// (mciSendCommandA) and wave sounds held in memory (PlaySoundA).
//
// The layer's sequencer opens MIDI files only (the element must exist and
// begin with "MThd"), keeps its time in milliseconds, plays from the start of
// the file and reports its position from a clock started at play; only one
// sequencer plays at a time. PlaySoundA plays RIFF WAVE images from memory,
// asynchronously. Durations are not simulated: a sound plays until it is
// stopped or replaced. What the services start and stop reaches the linked
// back end (platform::UserBackend), which makes it audible or records it.
#pragma once

#include "platform/winapi/win_types.h"

// --- Media control interface ----------------------------------------------------
typedef DWORD MCIERROR;  // 0 for success, else an MCIERR_ code
typedef UINT MCIDEVICEID;

// Commands.
#define MCI_OPEN 0x0803
#define MCI_CLOSE 0x0804
#define MCI_PLAY 0x0806
#define MCI_SEEK 0x0807
#define MCI_STOP 0x0808
#define MCI_SET 0x080D
#define MCI_STATUS 0x0814

// Flags common to every command.
#define MCI_NOTIFY 0x00000001L
#define MCI_WAIT 0x00000002L
#define MCI_FROM 0x00000004L
#define MCI_TO 0x00000008L

// MCI_OPEN flags.
#define MCI_OPEN_SHAREABLE 0x00000100L
#define MCI_OPEN_ELEMENT 0x00000200L
#define MCI_OPEN_ALIAS 0x00000400L
#define MCI_OPEN_ELEMENT_ID 0x00000800L
#define MCI_OPEN_TYPE_ID 0x00001000L
#define MCI_OPEN_TYPE 0x00002000L

// MCI_SEEK flags.
#define MCI_SEEK_TO_START 0x00000100L
#define MCI_SEEK_TO_END 0x00000200L

// MCI_STATUS flags and items.
#define MCI_STATUS_ITEM 0x00000100L
#define MCI_STATUS_START 0x00000200L
#define MCI_STATUS_LENGTH 0x00000001L
#define MCI_STATUS_POSITION 0x00000002L
#define MCI_STATUS_MODE 0x00000004L

// MCI_SET flags and time formats.
#define MCI_SET_TIME_FORMAT 0x00000400L
#define MCI_FORMAT_MILLISECONDS 0
#define MCI_SEQ_FORMAT_SONGPTR 0x4001

// Device types (MCI_OPEN_TYPE_ID: the low word of lpstrDeviceType).
#define MCI_DEVTYPE_WAVEFORM_AUDIO 522
#define MCI_DEVTYPE_SEQUENCER 523

// Errors.
#define MCIERR_BASE 256
#define MCIERR_INVALID_DEVICE_ID (MCIERR_BASE + 1)
#define MCIERR_UNRECOGNIZED_COMMAND (MCIERR_BASE + 5)
#define MCIERR_INVALID_DEVICE_NAME (MCIERR_BASE + 7)
#define MCIERR_MISSING_PARAMETER (MCIERR_BASE + 17)
#define MCIERR_UNSUPPORTED_FUNCTION (MCIERR_BASE + 18)
#define MCIERR_FILE_NOT_FOUND (MCIERR_BASE + 19)
#define MCIERR_FLAGS_NOT_COMPATIBLE (MCIERR_BASE + 28)
#define MCIERR_BAD_TIME_FORMAT (MCIERR_BASE + 37)
#define MCIERR_INVALID_FILE (MCIERR_BASE + 40)
#define MCIERR_NULL_PARAMETER_BLOCK (MCIERR_BASE + 41)
#define MCIERR_SEQ_PORT_INUSE (MCIERR_BASE + 81)

typedef struct tagMCI_GENERIC_PARMS {
  DWORD_PTR dwCallback;
} MCI_GENERIC_PARMS, *LPMCI_GENERIC_PARMS;

typedef struct tagMCI_OPEN_PARMSA {
  DWORD_PTR dwCallback;
  MCIDEVICEID wDeviceID;      // set by MCI_OPEN
  LPCSTR lpstrDeviceType;     // a name, or with MCI_OPEN_TYPE_ID a device type in the low word
  LPCSTR lpstrElementName;    // the file, with MCI_OPEN_ELEMENT
  LPCSTR lpstrAlias;
} MCI_OPEN_PARMSA, *LPMCI_OPEN_PARMSA;

typedef struct tagMCI_PLAY_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwFrom;
  DWORD dwTo;
} MCI_PLAY_PARMS, *LPMCI_PLAY_PARMS;

typedef struct tagMCI_SEEK_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTo;
} MCI_SEEK_PARMS, *LPMCI_SEEK_PARMS;

typedef struct tagMCI_STATUS_PARMS {
  DWORD_PTR dwCallback;
  DWORD_PTR dwReturn;
  DWORD dwItem;
  DWORD dwTrack;
} MCI_STATUS_PARMS, *LPMCI_STATUS_PARMS;

typedef struct tagMCI_SET_PARMS {
  DWORD_PTR dwCallback;
  DWORD dwTimeFormat;
  DWORD dwAudio;
} MCI_SET_PARMS, *LPMCI_SET_PARMS;

// `command` with its flags and parameter block (one of the structures above,
// cast to DWORD_PTR). The layer answers MCI_NOTIFY with
// MCIERR_UNSUPPORTED_FUNCTION: it posts no completion messages.
MCIERROR mciSendCommandA(MCIDEVICEID device, UINT command, DWORD_PTR flags, DWORD_PTR parameters);

// --- Wave sounds ------------------------------------------------------------------
#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010
#define SND_PURGE 0x0040
#define SND_FILENAME 0x00020000L

// With SND_MEMORY, `sound` points at a whole RIFF WAVE file image, which must
// stay valid while it plays. A null `sound` stops the sound playing. The
// layer plays from memory only and only with SND_ASYNC; any other request,
// and bytes that are not a RIFF WAVE image, give FALSE (there is no default
// sound to fall back on). SND_NOSTOP fails while a sound plays.
BOOL PlaySoundA(LPCSTR sound, HMODULE module, DWORD flags);
