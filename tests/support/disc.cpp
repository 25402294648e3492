#include "tests/support/disc.h"

#include <filesystem>
#include <fstream>

#include "imaging/core/pelorn.h"
#include "platform/backend.h"
#include "platform/headless/headless.h"
#include "tests/support/sound_files.h"
#include "tests/support/test_support.h"

namespace testing_support {

namespace fs = std::filesystem;

namespace {

void MakeParent(const std::string& path) { fs::create_directories(fs::path(path).parent_path()); }

}  // namespace

void KnownPixel(int seed, int x, int y, uint8_t rgb[3]) {
  rgb[0] = static_cast<uint8_t>(x * 3 + seed * 40);
  rgb[1] = static_cast<uint8_t>(y * 5 + seed * 17);
  rgb[2] = static_cast<uint8_t>((x ^ y) + seed * 90);
}

std::vector<uint8_t> KnownPicture(int seed, int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) KnownPixel(seed, x, y, &rgb[(static_cast<size_t>(y) * width + x) * 3]);
  return rgb;
}

Disc::Disc() : root_(TempDir() + "/disc") {
  fs::create_directories(root_);
  Text("tessary", "program");
}

void DiscFixture::SetUp() {
  HeadlessFixture::SetUp();
  headless::SetModuleFileName(disc_.ProgramPath());
}

void Disc::Folder(const std::string& relative) { fs::create_directories(Path(relative)); }

std::string Disc::Bmp(const std::string& relative, int width, int height, int seed) {
  const std::string path = Path(relative);
  MakeParent(path);
  const std::vector<uint8_t> rgb = KnownPicture(seed, width, height);
  EXPECT_NE(WriteBmp24File(path.c_str(), rgb.data(), width, height), 0) << path;
  return path;
}

std::string Disc::Jpeg(const std::string& relative, int width, int height, int seed) {
  const std::string path = Path(relative);
  MakeParent(path);
  const std::vector<uint8_t> rgb = KnownPicture(seed, width, height);
  EXPECT_NE(WriteJpegFile(path.c_str(), rgb.data(), static_cast<uint32_t>(width),
                          static_cast<uint32_t>(height), 95, 1, 0),
            0)
      << path;
  return path;
}

std::string Disc::Text(const std::string& relative, const std::string& content) {
  const std::string path = Path(relative);
  MakeParent(path);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string Disc::Wave(const std::string& relative, int tone) {
  const uint32_t sampleCount = 800;
  std::vector<uint8_t> samples;
  for (uint32_t i = 0; i < sampleCount; ++i)
    samples.push_back(static_cast<uint8_t>(128 + ((i * tone / 4) % 2 ? 60 : -60)));
  const std::string path = Path(relative);
  MakeParent(path);
  EXPECT_TRUE(WriteWholeFile(path, WaveFileBytes(samples)));
  return path;
}

std::string Disc::Midi(const std::string& relative, int note) {
  const std::string path = Path(relative);
  MakeParent(path);
  EXPECT_TRUE(WriteWholeFile(path, MidiFileBytes(static_cast<uint8_t>(note))));
  return path;
}

std::string WaveNowPlaying(const std::vector<std::string>& candidates) {
  std::vector<uint8_t> playing;
  if (!headless::WavePlaying(&playing)) return "-";
  for (const std::string& path : candidates) {
    if (ReadWholeFile(path) == playing) return fs::path(path).filename().string();
  }
  return "(unknown wave)";
}

void StartBrowsing(Scenario& scenario, CWnd& viewer) {
  scenario.Click("splash click", viewer, 500, 360).AdvanceClock("splash timer due", 500);
}

uint32_t WindowPixel(CWnd& viewer, int x, int y) {
  const platform::WindowImage image = platform::ComposeWindow(viewer.m_hWnd);
  if (x < 0 || y < 0 || x >= image.width || y >= image.height) return 0xFFFFFFFF;
  const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * 4];
  return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

}  // namespace testing_support
