// The desktop back end's sound (SDL2_mixer) on SDL's disk audio driver, which
// writes the mix to a file at real-time pace: the tests read back what would
// have been heard, as signed 16-bit samples.
#include "platform/gtk/sdl_sound.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sound_files.h"

namespace {

namespace fs = std::filesystem;
using platform::gtk::SdlSound;
using testing_support::MidiMelodyFileBytes;
using testing_support::ToneWaveFileBytes;
using Bytes = std::vector<uint8_t>;

constexpr char kSoundFont[] = "/usr/share/sounds/sf2/TimGM6mb.sf2";

const fs::path& Folder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "sdl_sound_test_XXXXXX").string();
    return fs::path(mkdtemp(pattern.data()));
  }();
  return folder;
}

fs::path WriteFile(const std::string& name, const Bytes& bytes) {
  const fs::path path = Folder() / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  return path;
}

Bytes LoopingTone() { return ToneWaveFileBytes(2000, 440); }  // a quarter second
// Four seconds of notes: still playing whenever a test stops it.
Bytes Melody() { return MidiMelodyFileBytes({60, 64, 67, 72, 67, 64, 60, 64}); }

// The loudest of the signed 16-bit samples.
int Peak(const Bytes& bytes) {
  int peak = 0;
  for (size_t at = 0; at + 2 <= bytes.size(); at += 2) {
    int16_t sample = 0;
    std::memcpy(&sample, &bytes[at], 2);
    peak = std::max(peak, std::abs(static_cast<int>(sample)));
  }
  return peak;
}
// FluidSynth dithers its output by one step even while no note sounds.
bool Silent(const Bytes& bytes) { return Peak(bytes) <= 1; }

// Removes the run's files at the end.
class FolderCleanup : public ::testing::Environment {
 public:
  void TearDown() override { fs::remove_all(Folder()); }
};
const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new FolderCleanup);

class SdlSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::replace(name.begin(), name.end(), '/', '_');
    output_ = Folder() / (name + ".raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output_.c_str(), 1);
    // SDL_mixer falls back to its own Timidity when FluidSynth cannot play a
    // MIDI file; without patches it cannot, so only the sound font decides.
    setenv("TIMIDITY_CFG", (Folder() / "no-timidity.cfg").c_str(), 1);
  }
  void TearDown() override {
    sound().SetSoundFontForTests(kSoundFont);
    sound().Shutdown();
  }
  static SdlSound& sound() { return SdlSound::Instance(); }

  // Bytes of output per second of sound, from the mix the device opened with.
  static size_t BytesPerSecond() {
    int rate = 0;
    int channels = 0;
    Uint16 format = 0;
    EXPECT_EQ(Mix_QuerySpec(&rate, &format, &channels), 1) << "audio is not open";
    EXPECT_EQ(format, AUDIO_S16SYS) << "the samples are read as signed 16-bit";
    return static_cast<size_t>(rate) * channels * SDL_AUDIO_BITSIZE(format) / 8;
  }
  size_t OutputSize() const {
    std::error_code error;
    const auto size = fs::file_size(output_, error);
    return error ? 0 : static_cast<size_t>(size);
  }
  // Waits until `seconds` more of sound came out and returns everything from `from` on.
  Bytes OutputAfter(size_t from, double seconds) const {
    const size_t wanted = from + static_cast<size_t>(seconds * BytesPerSecond());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (OutputSize() < wanted && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(OutputSize(), wanted) << "the disk driver stopped writing";
    std::ifstream file(output_, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(from));
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  // After a stop: what came out once the mixing pass under way was written.
  Bytes OutputAfterStop() const {
    const size_t settled = OutputSize() + static_cast<size_t>(0.1 * BytesPerSecond());
    return OutputAfter(settled, 0.4);
  }

  fs::path output_;
};

TEST_F(SdlSoundTest, WaveIsHeardUntilStopped) {
  Bytes tone = LoopingTone();
  sound().PlayWave(tone.data(), tone.size(), true);
  // The mixer plays its own decoded copy: the caller's image may change.
  std::fill(tone.begin(), tone.end(), 0);
  EXPECT_FALSE(Silent(OutputAfter(0, 0.5)));
  // Opening audio kept SDL from taking over SIGTERM.
  struct sigaction action = {};
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &action), 0);
  EXPECT_EQ(action.sa_handler, SIG_DFL);

  sound().StopWave();
  EXPECT_TRUE(Silent(OutputAfterStop()));
}

TEST_F(SdlSoundTest, MidiIsHeardUntilStopped) {
  sound().PlayMidiFromStart(WriteFile("melody.mid", Melody()).string());
  const size_t started = OutputSize();
  EXPECT_FALSE(Silent(OutputAfter(started, 0.5)));
  sound().StopMidi();
  EXPECT_TRUE(Silent(OutputAfterStop()));
}

// What cannot be played is silence, and the program goes on.
struct Unplayable {
  const char* name;
  std::function<void()> play;
};
void PrintTo(const Unplayable& unplayable, std::ostream* out) { *out << unplayable.name; }
std::string NameOf(const ::testing::TestParamInfo<Unplayable>& param) { return param.param.name; }

Bytes WithByte(Bytes bytes, size_t offset, uint8_t value) {
  bytes.at(offset) = value;
  return bytes;
}
Bytes Prefix(const Bytes& bytes, size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }
void PlayWaveImage(const Bytes& wave) { SdlSound::Instance().PlayWave(wave.data(), wave.size(), true); }
void PlayMidiFile(const Bytes& midi) {
  SdlSound::Instance().PlayMidiFromStart(WriteFile("damaged.mid", midi).string());
}

// Offsets in the tone's header: format tag 20, channels 22; "fmt " at 12, "data" at 36.
// In the melody: "MTrk" at 14, its first event's status byte at 23.
const Unplayable kUnplayables[] = {
    {"wave_without_channels", [] { PlayWaveImage(WithByte(LoopingTone(), 22, 0)); }},
    {"wave_unknown_encoding", [] { PlayWaveImage(WithByte(LoopingTone(), 20, 0x77)); }},
    {"wave_without_format", [] { PlayWaveImage(WithByte(LoopingTone(), 12, 'x')); }},
    {"wave_without_data", [] { PlayWaveImage(WithByte(LoopingTone(), 36, 'x')); }},
    {"wave_header_cut_short", [] { PlayWaveImage(Prefix(LoopingTone(), 30)); }},
    {"midi_header_cut_short", [] { PlayMidiFile(Prefix(Melody(), 10)); }},
    {"midi_without_track", [] { PlayMidiFile(Prefix(Melody(), 14)); }},
    {"midi_track_tag_damaged", [] { PlayMidiFile(WithByte(Melody(), 14, 'x')); }},
    {"midi_running_status_first", [] { PlayMidiFile(WithByte(Melody(), 23, 0x3C)); }},
};

class UnplayableSound : public SdlSoundTest, public ::testing::WithParamInterface<Unplayable> {};

TEST_P(UnplayableSound, IsSilent) {
  GetParam().play();
  EXPECT_TRUE(Silent(OutputAfter(0, 0.3)));
}
INSTANTIATE_TEST_SUITE_P(SdlSound, UnplayableSound, ::testing::ValuesIn(kUnplayables), NameOf);

TEST_F(SdlSoundTest, MidiWithoutAUsableSoundFontIsSilent) {
  const std::string melody = WriteFile("melody.mid", Melody()).string();
  const Bytes notAFont = LoopingTone();  // a RIFF form, but not "sfbk"
  // A SoundFont's header with nothing but an empty "INFO" list after it.
  const Bytes damagedFont = {'R', 'I', 'F', 'F', 16, 0, 0, 0, 's', 'f', 'b', 'k',
                             'L', 'I', 'S', 'T', 4,  0, 0, 0, 'I', 'N', 'F', 'O'};
  const struct {
    fs::path font;
    bool synthesises;  // FluidSynth runs, without instruments
  } cases[] = {{Folder() / "missing.sf2", false},
               {WriteFile("not-a-font.sf2", notAFont), false},
               {WriteFile("damaged.sf2", damagedFont), true}};
  for (const auto& [font, synthesises] : cases) {
    SCOPED_TRACE(font.string());
    sound().SetSoundFontForTests(font.string());
    sound().PlayMidiFromStart(melody);
    EXPECT_EQ(Mix_PlayingMusic(), synthesises ? 1 : 0);
    EXPECT_TRUE(Silent(OutputAfter(OutputSize(), 0.3)));
  }
}

// No driver by that name, or a driver whose device cannot open (the disk
// driver's file in a missing folder).
TEST_F(SdlSoundTest, FallsBackToSilentDriverWithoutADevice) {
  const Bytes tone = LoopingTone();
  const std::string unwritable = (Folder() / "missing" / "out.raw").string();
  for (const auto& [driver, file] : {std::pair<const char*, std::string>{"nonexistent", ""},
                                     {"disk", unwritable}}) {
    SCOPED_TRACE(driver);
    setenv("SDL_AUDIODRIVER", driver, 1);
    if (!file.empty()) setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    sound().PlayWave(tone.data(), tone.size(), true);
    ASSERT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
    EXPECT_EQ(Mix_Playing(-1), 1);
    sound().Shutdown();
  }

  // Opened again after Shutdown, audio tries the chosen device first.
  setenv("SDL_DISKAUDIOFILE", output_.c_str(), 1);
  sound().PlayWave(tone.data(), tone.size(), true);
  EXPECT_STREQ(SDL_GetCurrentAudioDriver(), "disk");
  EXPECT_FALSE(Silent(OutputAfter(0, 0.2)));
}

}  // namespace
