// The multimedia services (the MCI sequencer and PlaySoundA) on the headless
// back end, and the two sound players over them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/sound_players.h"
#include "platform/headless/headless.h"
#include "platform/win32.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::MidiFileBytes;
using testing_support::WaveFileBytes;
using Events = std::vector<std::string>;

DWORD_PTR Parms(void* block) { return reinterpret_cast<DWORD_PTR>(block); }

class MultimediaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    folder_ = testing_support::TempDir();
    song_ = Write("song.mid", MidiFileBytes(60));
    other_ = Write("other.mid", MidiFileBytes(64));
  }
  void TearDown() override { headless::Reset(); }

  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_ + "/" + name;
    EXPECT_TRUE(testing_support::WriteWholeFile(path, bytes));
    return path;
  }

  // Opens the sequencer on `path` as the viewer does; the device id, or 0.
  static MCIERROR OpenSequencer(const std::string& path, MCIDEVICEID* device) {
    MCI_OPEN_PARMSA open = {};
    open.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<DWORD_PTR>(MCI_DEVTYPE_SEQUENCER));
    open.lpstrElementName = path.c_str();
    const MCIERROR error = mciSendCommandA(
        0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT, Parms(&open));
    *device = error == 0 ? open.wDeviceID : 0;
    return error;
  }
  static DWORD Position(MCIDEVICEID device) {
    MCI_STATUS_PARMS status = {};
    status.dwItem = MCI_STATUS_POSITION;
    EXPECT_EQ(mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, Parms(&status)), 0u);
    return static_cast<DWORD>(status.dwReturn);
  }
  static MCIERROR PlayFrom(MCIDEVICEID device, DWORD from) {
    MCI_PLAY_PARMS play = {};
    play.dwFrom = from;
    return mciSendCommandA(device, MCI_PLAY, MCI_FROM, Parms(&play));
  }
  static MCIERROR Simple(MCIDEVICEID device, UINT command, DWORD_PTR flags = 0) {
    MCI_SEEK_PARMS block = {};  // large enough for the generic and seek blocks
    return mciSendCommandA(device, command, flags, Parms(&block));
  }

  std::string folder_;
  std::string song_;
  std::string other_;
};

// --- The sequencer -------------------------------------------------------------

TEST_F(MultimediaTest, OpeningChecksTheDeviceAndTheFile) {
  const std::string notMidi = Write("fake.mid", {'R', 'I', 'F', 'F', 0, 0, 0, 0});
  const std::string cutShort = Write("short.mid", {'M', 'T', 'h'});
  const std::string empty = Write("empty.mid", {});
  struct Case {
    const char* what;
    std::string path;
    MCIERROR expected;
  } cases[] = {
      {"a MIDI file", song_, 0},
      {"a missing file", folder_ + "/missing.mid", MCIERR_FILE_NOT_FOUND},
      {"a file that is not MIDI", notMidi, MCIERR_INVALID_FILE},
      {"a file shorter than the tag", cutShort, MCIERR_INVALID_FILE},
      {"an empty file", empty, MCIERR_INVALID_FILE},
  };
  for (const Case& c : cases) {
    MCIDEVICEID device = 0;
    EXPECT_EQ(OpenSequencer(c.path, &device), c.expected) << c.what;
    EXPECT_EQ(device != 0, c.expected == 0) << c.what;
    if (device != 0) {
      EXPECT_EQ(Simple(device, MCI_CLOSE), 0u);
    }
  }
  EXPECT_EQ(headless::TakeSounds(), (Events{"midi open " + song_, "midi close " + song_}));
}

TEST_F(MultimediaTest, OpeningAsksForTheSequencerWithAnElement) {
  MCI_OPEN_PARMSA byName = {0, 0, "Sequencer", song_.c_str(), nullptr};
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, Parms(&byName)), 0u);
  EXPECT_NE(byName.wDeviceID, 0u);

  MCI_OPEN_PARMSA wave = {};
  wave.lpstrDeviceType = reinterpret_cast<LPCSTR>(static_cast<DWORD_PTR>(MCI_DEVTYPE_WAVEFORM_AUDIO));
  wave.lpstrElementName = song_.c_str();
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT,
                            Parms(&wave)),
            static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_NAME));
  MCI_OPEN_PARMSA noElement = {0, 0, "sequencer", nullptr, nullptr};
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE, Parms(&noElement)),
            static_cast<MCIERROR>(MCIERR_MISSING_PARAMETER));
  EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, 0),
            static_cast<MCIERROR>(MCIERR_NULL_PARAMETER_BLOCK));
}

TEST_F(MultimediaTest, PlayStopSeekAndCloseFollowTheClock) {
  MCIDEVICEID device = 0;
  ASSERT_EQ(OpenSequencer(song_, &device), 0u);
  MCI_SET_PARMS set = {0, MCI_FORMAT_MILLISECONDS, 0};
  EXPECT_EQ(mciSendCommandA(device, MCI_SET, MCI_SET_TIME_FORMAT, Parms(&set)), 0u);
  EXPECT_EQ(Simple(device, MCI_SEEK, MCI_SEEK_TO_START), 0u);
  EXPECT_EQ(Position(device), 0u);
  EXPECT_EQ(headless::MidiPlaying(), "");

  headless::AdvanceClock(700);  // time before play does not count
  ASSERT_EQ(PlayFrom(device, 0), 0u);
  EXPECT_EQ(headless::MidiPlaying(), song_);
  headless::AdvanceClock(2500);
  EXPECT_EQ(Position(device), 2500u);

  EXPECT_EQ(Simple(device, MCI_STOP), 0u);
  EXPECT_EQ(headless::MidiPlaying(), "");
  headless::AdvanceClock(1000);
  EXPECT_EQ(Position(device), 2500u) << "a stopped sequencer keeps its place";
  EXPECT_EQ(Simple(device, MCI_SEEK, MCI_SEEK_TO_START), 0u);
  EXPECT_EQ(Position(device), 0u);

  ASSERT_EQ(PlayFrom(device, 0), 0u);
  headless::AdvanceClock(40);
  EXPECT_EQ(Position(device), 40u);
  EXPECT_EQ(Simple(device, MCI_CLOSE), 0u) << "closing a playing device stops it first";
  EXPECT_EQ(headless::MidiPlaying(), "");
  EXPECT_EQ(Simple(device, MCI_STOP), static_cast<MCIERROR>(MCIERR_INVALID_DEVICE_ID));

  EXPECT_EQ(headless::TakeSounds(),
            (Events{"midi open " + song_, "midi play " + song_, "midi stop " + song_,
                    "midi play " + song_, "midi stop " + song_, "midi close " + song_}));
}

TEST_F(MultimediaTest, RequestsTheSequencerCannotMeetAreRefused) {
  MCIDEVICEID device = 0;
  MCIDEVICEID second = 0;
  ASSERT_EQ(OpenSequencer(song_, &device), 0u);
  ASSERT_EQ(OpenSequencer(other_, &second), 0u);
  EXPECT_NE(device, second);
  MCI_SET_PARMS songPointer = {0, MCI_SEQ_FORMAT_SONGPTR, 0};
  MCI_STATUS_PARMS length = {0, 0, MCI_STATUS_LENGTH, 0};
  struct Case {
    const char* what;
    MCIERROR error;
    MCIERROR expected;
  } cases[] = {
      {"song-pointer time", mciSendCommandA(device, MCI_SET, MCI_SET_TIME_FORMAT, Parms(&songPointer)),
       MCIERR_BAD_TIME_FORMAT},
      {"status without an item", mciSendCommandA(device, MCI_STATUS, MCI_WAIT, Parms(&length)),
       MCIERR_MISSING_PARAMETER},
      {"status of the length", mciSendCommandA(device, MCI_STATUS, MCI_STATUS_ITEM, Parms(&length)),
       MCIERR_UNSUPPORTED_FUNCTION},
      {"play from the middle", PlayFrom(device, 1000), MCIERR_UNSUPPORTED_FUNCTION},
      {"a completion message", Simple(device, MCI_STOP, MCI_NOTIFY), MCIERR_UNSUPPORTED_FUNCTION},
      {"an unknown device", Simple(999, MCI_STOP), MCIERR_INVALID_DEVICE_ID},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error, c.expected) << c.what;

  ASSERT_EQ(PlayFrom(device, 0), 0u);
  EXPECT_EQ(PlayFrom(second, 0), static_cast<MCIERROR>(MCIERR_SEQ_PORT_INUSE))
      << "one sequencer plays at a time";
  EXPECT_EQ(headless::MidiPlaying(), song_);
  EXPECT_EQ(Simple(device, MCI_CLOSE), 0u);
  EXPECT_EQ(PlayFrom(second, 0), 0u);
  EXPECT_EQ(headless::MidiPlaying(), other_);
  EXPECT_EQ(Simple(second, MCI_CLOSE), 0u);
}

// --- PlaySoundA ------------------------------------------------------------------

TEST_F(MultimediaTest, PlaySoundTakesWholeWaveImagesFromMemory) {
  const std::vector<uint8_t> wave = WaveFileBytes(100);
  std::vector<uint8_t> padded = wave;
  padded.resize(wave.size() + 50, 0xEE);  // bytes past the RIFF chunk are not part of the sound
  std::vector<uint8_t> notWave = wave;
  notWave[8] = 'X';  // "XAVE"
  const LPCSTR none = nullptr;
  struct Case {
    const char* what;
    const std::vector<uint8_t>* bytes;
    DWORD flags;
    BOOL expected;
  } cases[] = {
      {"async from memory", &padded, SND_ASYNC | SND_NODEFAULT | SND_MEMORY, TRUE},
      {"synchronous", &wave, SND_NODEFAULT | SND_MEMORY, FALSE},
      {"not from memory", &wave, SND_ASYNC | SND_NODEFAULT, FALSE},
      {"not a wave image", &notWave, SND_ASYNC | SND_NODEFAULT | SND_MEMORY, FALSE},
  };
  for (const Case& c : cases) {
    headless::Reset();
    EXPECT_EQ(PlaySoundA(reinterpret_cast<LPCSTR>(c.bytes->data()), nullptr, c.flags), c.expected)
        << c.what;
    std::vector<uint8_t> playing;
    EXPECT_EQ(headless::WavePlaying(&playing), c.expected == TRUE) << c.what;
    if (c.expected) {
      EXPECT_EQ(playing, wave) << c.what;
    }
  }
  EXPECT_TRUE(PlaySoundA(none, nullptr, 0));
  EXPECT_FALSE(headless::WavePlaying());
}

TEST_F(MultimediaTest, ANewSoundReplacesThePlayingOneAndNullStopsIt) {
  const std::vector<uint8_t> first = WaveFileBytes(10, 1);
  const std::vector<uint8_t> second = WaveFileBytes(20, 2);
  const DWORD flags = SND_ASYNC | SND_NODEFAULT | SND_MEMORY;
  ASSERT_TRUE(PlaySoundA(reinterpret_cast<LPCSTR>(first.data()), nullptr, flags | SND_LOOP));
  EXPECT_FALSE(PlaySoundA(reinterpret_cast<LPCSTR>(second.data()), nullptr, flags | SND_NOSTOP))
      << "SND_NOSTOP does not interrupt";
  ASSERT_TRUE(PlaySoundA(reinterpret_cast<LPCSTR>(second.data()), nullptr, flags));
  std::vector<uint8_t> playing;
  EXPECT_TRUE(headless::WavePlaying(&playing));
  EXPECT_EQ(playing, second);
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0));
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, 0)) << "stopping nothing succeeds";
  EXPECT_FALSE(headless::WavePlaying());
  EXPECT_EQ(headless::TakeSounds(),
            (Events{"wave play 54 bytes loop", "wave stop", "wave play 64 bytes", "wave stop"}));
}

// --- CMidiPlayer -----------------------------------------------------------------

TEST_F(MultimediaTest, MidiPlayerOpensOnlyMidiFilesThatExist) {
  const std::string notMidi = Write("fake.mid", {'n', 'o', 't', ' ', 'm', 'i', 'd', 'i'});
  struct Case {
    std::string path;
    BOOL opens;
  } cases[] = {{song_, TRUE}, {folder_ + "/missing.mid", FALSE}, {notMidi, FALSE}};
  for (const Case& c : cases) {
    CMidiPlayer player;
    EXPECT_EQ(player.Open(c.path.c_str()), c.opens) << c.path;
    EXPECT_EQ(player.m_open, c.opens) << c.path;
    EXPECT_EQ(player.m_deviceId != 0, c.opens == TRUE) << c.path;
    EXPECT_EQ(player.Play(), c.opens) << "only an open player plays: " << c.path;
  }
  EXPECT_EQ(headless::MidiPlaying(), "") << "each player closed its device when destroyed";
}

TEST_F(MultimediaTest, MidiPlayerLifeCycle) {
  CMidiPlayer player;
  ASSERT_TRUE(player.Open(song_.c_str()));
  EXPECT_TRUE(player.Open(other_.c_str())) << "an open player ignores a second open";
  player.m_spare = 1;
  ASSERT_TRUE(player.Play());
  EXPECT_EQ(player.m_playing, 1);
  EXPECT_EQ(player.m_spare, 0);
  EXPECT_EQ(headless::MidiPlaying(), song_);

  headless::AdvanceClock(61500);
  EXPECT_EQ(Position(player.m_deviceId), 61500u);
  player.m_spare = 1;
  player.Stop();
  EXPECT_EQ(player.m_playing, 0);
  EXPECT_EQ(player.m_spare, 0);
  EXPECT_EQ(player.m_open, 1);
  EXPECT_EQ(Position(player.m_deviceId), 0u) << "stopping returns to the start";
  EXPECT_EQ(headless::MidiPlaying(), "");

  ASSERT_TRUE(player.Play()) << "a stopped player plays again from the start";
  player.Close();
  EXPECT_EQ(player.m_open, 0);
  EXPECT_EQ(player.m_playing, 0);
  EXPECT_EQ(player.m_deviceId, 0);
  player.Stop();
  player.Close();  // nothing open: nothing happens
  EXPECT_EQ(headless::TakeSounds(),
            (Events{"midi open " + song_, "midi play " + song_, "midi stop " + song_,
                    "midi play " + song_, "midi stop " + song_, "midi close " + song_}));
}

// --- CWavePlayer -----------------------------------------------------------------

TEST_F(MultimediaTest, WavePlayerPlaysOnceOrLooping) {
  const std::vector<uint8_t> wave = WaveFileBytes(300);
  const std::string path = Write("sound.wav", wave);
  struct Case {
    BOOL loop;
    std::string event;
  } cases[] = {{FALSE, "wave play 344 bytes"}, {TRUE, "wave play 344 bytes loop"}};
  for (const Case& c : cases) {
    CWavePlayer player;
    EXPECT_FALSE(player.Play(c.loop)) << "nothing loaded";
    ASSERT_TRUE(player.Load(path.c_str()));
    EXPECT_EQ(player.m_loaded, 1);
    EXPECT_EQ(player.m_ownsMemory, 1);
    ASSERT_TRUE(player.Play(c.loop));
    std::vector<uint8_t> playing;
    EXPECT_TRUE(headless::WavePlaying(&playing));
    EXPECT_EQ(playing, wave);
    player.Stop();
    EXPECT_FALSE(headless::WavePlaying());
    EXPECT_EQ(headless::TakeSounds(), (Events{c.event, "wave stop"}));
  }
}

TEST_F(MultimediaTest, WaveFilesThatCannotBeReadWholeAreNotLoaded) {
  std::vector<uint8_t> truncated = WaveFileBytes(300);
  truncated.resize(200);  // the RIFF chunk claims 344 bytes
  struct Case {
    const char* what;
    std::string path;
  } cases[] = {
      {"a missing file", folder_ + "/missing.wav"},
      {"a cut-off wave file", Write("cut.wav", truncated)},
      {"a file too short for a RIFF header", Write("tiny.wav", {'R', 'I', 'F', 'F'})},
      {"a folder", folder_},
  };
  const int64_t blocksBefore = platform::LiveGlobalBlocks();
  for (const Case& c : cases) {
    CWavePlayer player;
    EXPECT_FALSE(player.Load(c.path.c_str())) << c.what;
    EXPECT_EQ(player.m_loaded, 0) << c.what;
    EXPECT_EQ(player.m_soundData, nullptr) << c.what;
    EXPECT_FALSE(player.Play(FALSE)) << c.what;
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << c.what << ": its block is freed";
  }
  EXPECT_FALSE(headless::WavePlaying());
}

TEST_F(MultimediaTest, ReleaseStopsTheSoundAndFreesItsBlock) {
  const std::string first = Write("first.wav", WaveFileBytes(40, 1));
  const std::string second = Write("second.wav", WaveFileBytes(80, 2));
  const int64_t blocksBefore = platform::LiveGlobalBlocks();
  {
    CWavePlayer player;
    ASSERT_TRUE(player.Load(first.c_str()));
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore + 1);
    ASSERT_TRUE(player.Play(FALSE));
    ASSERT_TRUE(player.Load(second.c_str())) << "loading releases the sound before";
    EXPECT_FALSE(headless::WavePlaying());
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore + 1);
    ASSERT_TRUE(player.Play(FALSE));
    player.Release();
    EXPECT_FALSE(headless::WavePlaying());
    EXPECT_EQ(player.m_loaded, 0);
    EXPECT_EQ(player.m_ownsMemory, 0);
    EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore);
    ASSERT_TRUE(player.Load(first.c_str()));
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore) << "the destructor releases too";
  EXPECT_EQ(headless::TakeSounds(),
            (Events{"wave play 84 bytes", "wave stop", "wave play 124 bytes", "wave stop"}));
}

}  // namespace
