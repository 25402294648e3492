// Hours of paging: Next and Prev over a disc of 300 pictures in 30 albums
// (title pages, music and waves among them). After the first pass the
// process's resident memory grows by at most 8 MiB, and the library's live
// blocks, the GDI objects and the open files come back to their counts; no
// thread is left when the viewer has gone. TESSARY_SOAK_STEPS sets the number
// of steps (2,000 here; tools/soak-paging.sh runs 10,000).
#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/viewer_dlg.h"
#include "platform/headless/headless.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"

namespace {

constexpr int kAlbums = 30;
constexpr int kPicturesPerAlbum = 10;
constexpr long kMostGrowthBytes = 8L * 1024 * 1024;

long ResidentBytes() {
  long pages = 0;
  long resident = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return -1;
  const bool read = std::fscanf(statm, "%ld %ld", &pages, &resident) == 2;
  std::fclose(statm);
  return read ? resident * sysconf(_SC_PAGESIZE) : -1;
}

int EntriesOf(const char* folder) {
  DIR* directory = opendir(folder);
  if (directory == nullptr) return -1;
  int count = 0;
  while (dirent* entry = readdir(directory)) count += entry->d_name[0] != '.';
  closedir(directory);
  return count - 1;  // the listing's own descriptor
}

struct Counts {
  long resident = 0;
  int64_t blocks = 0;
  int64_t gdiObjects = 0;
  int openFiles = 0;
};

Counts Measure() {
  return {ResidentBytes(), platform::LiveGlobalBlocks(), platform::LiveGdiObjects(), EntriesOf("/proc/self/fd")};
}

int SoakSteps() {
  const char* steps = std::getenv("TESSARY_SOAK_STEPS");
  return steps != nullptr && std::atoi(steps) > 0 ? std::atoi(steps) : 2000;
}

class PagingSoakTest : public testing_support::DiscFixture {
 protected:
  void MakeDisc() {
    for (int a = 0; a < kAlbums; ++a) {
      char album[16];
      std::snprintf(album, sizeof album, "A%02d/", a);
      if (a % 3 == 0) disc_.Text(std::string(album) + "title.txt", "Album " + std::to_string(a));
      if (a % 4 == 0) disc_.Midi(std::string(album) + "title.mid", 60 + a % 12);
      if (a % 5 == 0) disc_.Wave(std::string(album) + "title.wav", a + 1);
      for (int p = 0; p < kPicturesPerAlbum; ++p) {
        const std::string name = std::string(album) + "p" + std::to_string(p);
        disc_.Bmp(name + ".bmp", 200 + 40 * p, 150 + 30 * (p % 4), a * kPicturesPerAlbum + p);
        if (p % 4 == 1) disc_.Wave(name + ".wav", p + 2);
        if (p % 6 == 2) disc_.Midi(name + ".mid", 50 + p);
      }
    }
  }
};

// Steps forward to the last page, as the first pass does; true when it moved.
bool NextUntilTheEnd(CViewerDlg& viewer) {
  bool moved = false;
  for (int guard = 0; guard < 2 * kAlbums * (kPicturesPerAlbum + 2); ++guard) {
    const int album = viewer.m_navigation.Album();
    const int index = viewer.m_currentIndex;
    viewer.Next();
    viewer.UpdateWindow();
    if (album == viewer.m_navigation.Album() && index == viewer.m_currentIndex) break;
    moved = true;
  }
  viewer.m_decodeAhead.WaitUntilIdle();
  return moved;
}

TEST_F(PagingSoakTest, MemoryHandlesAndThreadsStayLevel) {
  MakeDisc();
  const int threadsBefore = EntriesOf("/proc/self/task") + 1;
  {
    CViewerDlg viewer;
    testing_support::Scenario scenario;
    testing_support::StartBrowsing(scenario, viewer);
    scenario.Call("page for hours", [&] {
      ASSERT_TRUE(NextUntilTheEnd(viewer));
      ASSERT_EQ(viewer.m_navigation.Album(), kAlbums);
      const Counts first = Measure();
      // Mostly forward, sometimes back: a walk that crosses albums both ways.
      uint32_t seed = 12345;
      int steps = 0;
      while (steps < SoakSteps()) {
        seed = seed * 1103515245u + 12345u;
        const bool forward = (seed >> 16) % 10 < 6 || viewer.m_navigation.Album() <= 1;
        const int run = 1 + static_cast<int>((seed >> 8) % 7);
        for (int i = 0; i < run && steps < SoakSteps(); ++i, ++steps) {
          if (forward) {
            viewer.Next();
          } else {
            viewer.Prev();
          }
          viewer.UpdateWindow();
        }
      }
      NextUntilTheEnd(viewer);  // the same place as after the first pass
      const Counts last = Measure();
      std::printf("after %d steps: resident %+ld bytes since the first pass, %lld live blocks, "
                  "%lld GDI objects, %d open files\n",
                  steps, last.resident - first.resident, static_cast<long long>(last.blocks),
                  static_cast<long long>(last.gdiObjects), last.openFiles);
      EXPECT_LE(last.resident - first.resident, kMostGrowthBytes);
      EXPECT_EQ(last.blocks, first.blocks);
      EXPECT_EQ(last.gdiObjects, first.gdiObjects);
      EXPECT_EQ(last.openFiles, first.openFiles);
      EXPECT_EQ(headless::WaitCursorCount(), 0);
    });
    scenario.Key("close", VK_ESCAPE);
    scenario.Run(viewer, IDCANCEL);
  }
  EXPECT_EQ(EntriesOf("/proc/self/task") + 1, threadsBefore) << "the worker has ended";
}

}  // namespace
