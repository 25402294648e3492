// Title pages, title music and sounds, and the music and sound beside each
// picture, driven through the viewer window on the headless back end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

using testing_support::MidiFileBytes;
using testing_support::WaveFileBytes;
using Events = std::vector<std::string>;

std::vector<uint8_t> Text(const std::string& text) { return {text.begin(), text.end()}; }

class TitleSoundTest : public testing_support::DiscFixture {
 protected:
  // Writes disc/<relative>, making its folders.
  std::string Write(const std::string& relative, const std::vector<uint8_t>& bytes) {
    const std::string path = At(relative);
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(testing_support::WriteWholeFile(path, bytes));
    return path;
  }
  std::string At(const std::string& relative) const { return disc_.Path(relative); }

  // Runs `steps` on a viewer once its modal loop waits for input (the sounds
  // of its start-up taken), then closes and destroys it.
  static void RunInViewer(const std::string& name, const std::function<void(CViewerDlg&)>& steps) {
    CViewerDlg viewer;
    testing_support::Scenario scenario;
    scenario
        .Call(name,
              [&] {
                headless::TakeSounds();
                steps(viewer);
              })
        .Key("close", VK_ESCAPE);
    scenario.Run(viewer, IDCANCEL);
  }
};

TEST_F(TitleSoundTest, MusicChangesOnlyForADifferentMidiFile) {
  Write("a.mid", MidiFileBytes(60));
  Write("b.mid", MidiFileBytes(64));
  Write("d.mid", Text("not a MIDI file"));
  struct Step {
    const char* picture;
    std::string playing;      // after the step
    std::string currentPath;  // the viewer's current MIDI path after the step
    Events events;
  } steps[] = {
      {"a.jpg", At("a.mid"), At("a.mid"), {"midi open " + At("a.mid"), "midi play " + At("a.mid")}},
      {"b.jpg", At("b.mid"), At("b.mid"),
       {"midi stop " + At("a.mid"), "midi close " + At("a.mid"), "midi open " + At("b.mid"),
        "midi play " + At("b.mid")}},
      {"c.jpg", At("b.mid"), At("b.mid"), {}},  // no c.mid: the music goes on
      {"b.jpg", At("b.mid"), At("b.mid"), {}},  // already playing: not restarted
      {"a.jpg", At("a.mid"), At("a.mid"),
       {"midi stop " + At("b.mid"), "midi close " + At("b.mid"), "midi open " + At("a.mid"),
        "midi play " + At("a.mid")}},
      // A file the sequencer refuses silences the music and still counts as started.
      {"d.jpg", "", At("d.mid"), {"midi stop " + At("a.mid"), "midi close " + At("a.mid")}},
      {"d.jpg", "", At("d.mid"), {}},
  };
  RunInViewer("pictures in turn", [&](CViewerDlg& viewer) {
    for (const Step& step : steps) {
      viewer.PlayMusicFor(At(step.picture).c_str());
      EXPECT_EQ(headless::MidiPlaying(), step.playing) << step.picture;
      EXPECT_EQ(viewer.m_currentMidiPath.str(), step.currentPath) << step.picture;
      EXPECT_EQ(headless::TakeSounds(), step.events) << step.picture;
    }
  });
}

TEST_F(TitleSoundTest, CompanionFilesAreFoundWhateverTheirCase) {
  const std::string music = Write("Album/TITLE.MID", MidiFileBytes());
  const std::vector<uint8_t> wave = WaveFileBytes(30);
  Write("Album/Photo.WAV", wave);
  RunInViewer("any-case lookups", [&](CViewerDlg& viewer) {
    viewer.PlayMusicFor(At("Album/title.mid").c_str());
    EXPECT_EQ(headless::MidiPlaying(), music);
    viewer.PlaySoundFor(At("Album/photo.jpg").c_str());
    std::vector<uint8_t> playing;
    EXPECT_TRUE(headless::WavePlaying(&playing));
    EXPECT_EQ(playing, wave);
  });
}

TEST_F(TitleSoundTest, EachPictureWithAWaveFilePlaysItOnce) {
  const std::vector<uint8_t> first = WaveFileBytes(10, 1);
  const std::vector<uint8_t> third = WaveFileBytes(20, 3);
  std::vector<uint8_t> cut = WaveFileBytes(50, 4);
  cut.resize(30);
  Write("a.wav", first);
  Write("c.wav", third);
  Write("d.wav", cut);
  struct Step {
    const char* picture;
    const std::vector<uint8_t>* playing;  // nullptr: no wave sound
    Events events;
  } steps[] = {
      {"a.jpg", &first, {"wave play 54 bytes"}},
      {"b.jpg", &first, {}},  // no b.wav: nothing changes
      {"c.jpg", &third, {"wave stop", "wave play 64 bytes"}},
      {"d.jpg", nullptr, {"wave stop"}},  // cannot be read whole: not played
  };
  const int64_t blocksBefore = platform::LiveGlobalBlocks();
  RunInViewer("pictures in turn", [&](CViewerDlg& viewer) {
    for (const Step& step : steps) {
      viewer.PlaySoundFor(At(step.picture).c_str());
      std::vector<uint8_t> playing;
      EXPECT_EQ(headless::WavePlaying(&playing), step.playing != nullptr) << step.picture;
      if (step.playing != nullptr) {
        EXPECT_EQ(playing, *step.playing) << step.picture;
      }
      EXPECT_EQ(headless::TakeSounds(), step.events) << step.picture;
    }
  });
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore);
}

TEST_F(TitleSoundTest, ClosingTheViewerStopsTheMusicAndTheSound) {
  Write("a.mid", MidiFileBytes());
  Write("a.wav", WaveFileBytes(10));
  const int64_t blocksBefore = platform::LiveGlobalBlocks();
  RunInViewer("music and sound started", [&](CViewerDlg& viewer) {
    viewer.PlayMusicFor(At("a.jpg").c_str());
    viewer.PlaySoundFor(At("a.jpg").c_str());
    ASSERT_EQ(headless::MidiPlaying(), At("a.mid"));
    ASSERT_TRUE(headless::WavePlaying());
    headless::TakeSounds();
  });
  EXPECT_EQ(headless::MidiPlaying(), "");
  EXPECT_FALSE(headless::WavePlaying());
  EXPECT_EQ(headless::TakeSounds(),
            (Events{"midi stop " + At("a.mid"), "midi close " + At("a.mid"), "wave stop"}));
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore);
}

}  // namespace
