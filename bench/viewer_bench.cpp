// What a user of the viewer waits for, on the headless back end:
//   viewer_next_4000x3000_jpeg   a click on Next until the window is painted
//                                with nothing decoded ahead (decode, fit to the
//                                picture area, paint), beside ReadJpegFile alone
//                                on the same file;
//   viewer_next_prefetched_4000x3000_jpeg
//                                the same click with the next page decoded ahead;
//   viewer_paging_burst_4000x3000_jpeg
//                                20 Next in a row, each painted, as fast as they
//                                come, beside 20 ReadJpegFile: CPU time of the
//                                whole process, the decode-ahead worker's included;
//   viewer_scan_20000_pictures   scanning an album folder of 20,000 pictures,
//                                beside a bare listing of the same folder.
// The benchmarks run inside the viewer's modal loop, as a step of its script.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/viewer_dlg.h"
#include "bench/bench_support.h"
#include "imaging/core/pelorn.h"
#include "platform/headless/headless.h"

namespace {

namespace fs = std::filesystem;

constexpr int kScanPictureCount = 20000;
constexpr int kBurstSteps = 20;
CViewerDlg* g_viewer = nullptr;

std::string g_disc;
std::string g_bigAlbum;
std::string g_jpeg;

// The Next zone's middle, in client pixels.
constexpr int kNextX = 690;
constexpr int kNextY = 575;

void PrepareDisc() {
  g_disc = bench_support::InputDir() + "/viewer_disc_with_burst";
  g_bigAlbum = bench_support::InputDir() + "/viewer_scan_album";
  fs::create_directories(g_disc);
  const std::string photo = bench_support::MakeWithImageMagick("viewer_4000x3000.jpg", "-quality 85");
  for (const char* name : {"a.jpg", "b.jpg"}) {
    const fs::path target = fs::path(g_disc) / name;
    if (!fs::exists(target)) fs::copy_file(photo, target);
  }
  g_jpeg = g_disc + "/b.jpg";
  // The burst's album: one picture more than it has steps, so that its last
  // step has no page after it to decode.
  fs::create_directories(g_disc + "/burst");
  for (int i = 0; i <= kBurstSteps; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/burst/%02d.jpg", i);
    const fs::path target = g_disc + name;
    if (!fs::exists(target)) fs::copy_file(photo, target);
  }
  std::FILE* program = std::fopen((g_disc + "/tessary").c_str(), "wb");
  if (program != nullptr) std::fclose(program);

  fs::create_directories(g_bigAlbum);
  for (int i = 0; i < kScanPictureCount; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/p%05d.jpg", (i * 7919) % kScanPictureCount);
    const std::string path = g_bigAlbum + name;
    if (!fs::exists(path)) std::fclose(std::fopen(path.c_str(), "wb"));
  }
}

void ClickNext(CViewerDlg& viewer) {
  const LPARAM point = MAKELPARAM(kNextX, kNextY);
  viewer.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, point);
  viewer.SendMessage(WM_LBUTTONUP, 0, point);
  viewer.UpdateWindow();
}

void ShowAlbum(CViewerDlg& viewer, int album) {
  viewer.m_albumListBox.SetCurSel(album);
  viewer.SelectAlbum();
}

// The root's first picture on show, and Next leading to the second: ready,
// or not decoded (the first stays ready, so that the worker has nothing to
// do while Next runs).
void ReadyForNext(CViewerDlg& viewer, bool prefetched) {
  if (viewer.m_navigation.Album() != 0) ShowAlbum(viewer, 0);
  viewer.m_currentIndex = 0;
  if (prefetched) {
    viewer.DecodeAheadFromHere();
  } else {
    viewer.m_decodeAhead.Want({viewer.m_pictureList.GetAt(0)});
  }
  viewer.m_decodeAhead.WaitUntilIdle();
}

void NextUntilPainted(benchmark::State& state, bool prefetched) {
  CViewerDlg& viewer = *g_viewer;
  for (auto _ : state) {
    state.PauseTiming();
    ReadyForNext(viewer, prefetched);
    if (viewer.m_decodeAhead.IsReady(g_jpeg.c_str()) != prefetched) {
      state.SkipWithError("the next page is not as the benchmark needs it");
      break;
    }
    state.ResumeTiming();
    ClickNext(viewer);
    if (viewer.m_currentIndex != 1 || viewer.m_pictureWidth != 549) {
      state.SkipWithError("Next did not show the second picture");
      break;
    }
  }
  viewer.m_decodeAhead.WaitUntilIdle();
}

void PagingBurst(benchmark::State& state) {
  CViewerDlg& viewer = *g_viewer;
  for (auto _ : state) {
    state.PauseTiming();
    viewer.m_decodeAhead.Forget();
    viewer.m_decodeAhead.WaitUntilIdle();
    // The album's first picture on show a moment, decode-ahead settled.
    ShowAlbum(viewer, 1);
    viewer.m_decodeAhead.WaitUntilIdle();
    state.ResumeTiming();
    for (int i = 0; i < kBurstSteps; ++i) ClickNext(viewer);
    state.PauseTiming();
    viewer.m_decodeAhead.WaitUntilIdle();
    const bool done = viewer.m_currentIndex == kBurstSteps && viewer.m_pictureWidth == 549;
    state.ResumeTiming();
    if (!done) {
      state.SkipWithError("the burst did not reach the album's last picture");
      break;
    }
  }
}

void ReadJpegBurst(benchmark::State& state) {
  for (auto _ : state) {
    for (int i = 0; i < kBurstSteps; ++i) {
      uint32_t width = 0;
      uint32_t height = 0;
      HGLOBAL block = ReadJpegFile(g_jpeg.c_str(), &width, &height);
      if (block == nullptr) {
        state.SkipWithError("decode failed");
        return;
      }
      GlobalFree(block);
    }
  }
}

void ReadJpegAlone(benchmark::State& state) {
  for (auto _ : state) {
    uint32_t width = 0;
    uint32_t height = 0;
    HGLOBAL block = ReadJpegFile(g_jpeg.c_str(), &width, &height);
    if (block == nullptr) {
      state.SkipWithError("decode failed");
      break;
    }
    GlobalFree(block);
  }
}

void ScanAlbum(benchmark::State& state) {
  for (auto _ : state) {
    g_viewer->ScanAlbum(g_bigAlbum.c_str());
    if (g_viewer->m_pictureList.GetSize() != kScanPictureCount) {
      state.SkipWithError("the scan missed pictures");
      break;
    }
  }
}

void ListFolder(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<std::string> paths;
    DIR* folder = opendir(g_bigAlbum.c_str());
    while (dirent* entry = readdir(folder)) paths.push_back(g_bigAlbum + "/" + entry->d_name);
    closedir(folder);
    benchmark::DoNotOptimize(paths.data());
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PrepareDisc();
  // The window's thread is what a user waits for: its CPU time, as the peer's.
  benchmark::RegisterBenchmark("viewer_next_4000x3000_jpeg/ours", NextUntilPainted, false)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("viewer_next_4000x3000_jpeg/peer", ReadJpegAlone)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("viewer_next_prefetched_4000x3000_jpeg/ours", NextUntilPainted, true)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("viewer_next_prefetched_4000x3000_jpeg/peer", ReadJpegAlone)
      ->Unit(benchmark::kMillisecond);
  // The burst's work is shared with the worker: the whole process's CPU time.
  benchmark::RegisterBenchmark("viewer_paging_burst_4000x3000_jpeg/ours", PagingBurst)
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->MinTime(3);
  benchmark::RegisterBenchmark("viewer_paging_burst_4000x3000_jpeg/peer", ReadJpegBurst)
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime()
      ->MinTime(3);
  benchmark::RegisterBenchmark("viewer_scan_20000_pictures/ours", ScanAlbum)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("viewer_scan_20000_pictures/peer", ListFolder)
      ->Unit(benchmark::kMillisecond);

  headless::Reset();
  headless::SetModuleFileName(g_disc + "/tessary");
  CViewerDlg viewer;
  g_viewer = &viewer;
  // The splash click's timer starts browsing: the first picture is on show.
  headless::PostCall([&viewer] { viewer.SetTimer(1, 500, nullptr); });
  headless::PostAdvanceClock(500);
  headless::PostCall([] { benchmark::RunSpecifiedBenchmarks(); });
  headless::PostKey(VK_ESCAPE);
  viewer.DoModal();
  g_viewer = nullptr;
  benchmark::Shutdown();
  return 0;
}
