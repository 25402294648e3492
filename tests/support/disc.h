// Disc folders for the viewer's tests: a program file in a fresh folder,
// pictures whose every pixel the test knows, title pages and sound files,
// and a viewer started on it as a user would (the splash click's timer).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/framework/afx_wnd.h"
#include "tests/support/scenario.h"

namespace testing_support {

// The colour of pixel (x, y) of every picture a Disc writes: a pattern that
// differs from pixel to pixel and from one picture to another (`seed`).
void KnownPixel(int seed, int x, int y, uint8_t rgb[3]);
std::vector<uint8_t> KnownPicture(int seed, int width, int height);

class Disc {
 public:
  // A fresh folder holding a program file "tessary".
  Disc();
  std::string ProgramPath() const { return Path("tessary"); }
  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

  // A 24-bit BMP of KnownPicture(seed, ...) at root/relative (folders made).
  std::string Bmp(const std::string& relative, int width, int height, int seed = 1);
  // A JPEG of KnownPicture(seed, ...), quality 95.
  std::string Jpeg(const std::string& relative, int width, int height, int seed = 1);
  std::string Text(const std::string& relative, const std::string& content);
  // A short mono 8-bit wave file; `tone` makes each file's bytes different.
  std::string Wave(const std::string& relative, int tone = 1);
  // A format-0 MIDI file of one note.
  std::string Midi(const std::string& relative, int note = 60);
  void Folder(const std::string& relative);

 private:
  std::string root_;
};

// A headless test on a fresh disc: GetModuleFileNameA answers the disc's
// program file.
class DiscFixture : public HeadlessFixture {
 protected:
  void SetUp() override;
  Disc disc_;
};

// The bare name of the wave playing now ("-" when none), found by matching its
// bytes against `candidates` (full paths).
std::string WaveNowPlaying(const std::vector<std::string>& candidates);

// Appends the splash click and the timer that starts browsing.
void StartBrowsing(Scenario& scenario, CWnd& viewer);

// The window's pixel at a client point as 0x00RRGGBB (its framebuffer as a
// user sees it, controls included).
uint32_t WindowPixel(CWnd& viewer, int x, int y);

}  // namespace testing_support
