// Decode-ahead: pages decoded on the worker thread are the fresh decode byte
// for byte; a file changed, replaced or deleted since is decoded again; a
// failure is remembered; a decode under way is waited for, never repeated;
// unwanted pages are dropped; destruction stops the worker with nothing left.
// Then the viewer: Next onto a ready page decodes nothing on its own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/viewer_dlg.h"
#include "commands/decode_ahead.h"
#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"
#include "tests/support/disc.h"
#include "tests/support/scenario.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t kAreaWidth = 549;
constexpr int32_t kAreaHeight = 470;

std::vector<uint8_t> Bytes(const FittedPicture& picture) {
  if (picture.IsEmpty()) return {};
  return std::vector<uint8_t>(picture.rgb.get(), picture.rgb.get() + picture.Bytes());
}

class DecodeAheadTest : public testing_support::DiscFixture {
 protected:
  DecodeAheadTest() { ahead_.SetArea(kAreaWidth, kAreaHeight); }

  // What loading the file afresh on this thread shows.
  static std::vector<uint8_t> Fresh(const std::string& path) {
    return Bytes(DecodeFittedPicture(path.c_str(), kAreaWidth, kAreaHeight));
  }
  std::vector<uint8_t> Taken(const std::string& path) { return Bytes(ahead_.Take(path.c_str())); }
  void Want(const std::vector<std::string>& paths) {
    std::vector<CString> pages;
    for (const std::string& path : paths) pages.push_back(path.c_str());
    ahead_.Want(pages);
  }

  DecodeAhead ahead_;
};

TEST_F(DecodeAheadTest, ReadyPagesAreTheFreshDecodeByteForByte) {
  // A small BMP is shown at its own size: its pixels are known exactly.
  const std::string small = disc_.Bmp("small.bmp", 60, 40, 3);
  const std::string wide = disc_.Bmp("wide.bmp", 1200, 300, 4);
  const std::string photo = disc_.Jpeg("photo.jpg", 900, 700, 5);
  Want({small, wide, photo});
  ahead_.WaitUntilIdle();
  EXPECT_EQ(ahead_.DecodesStarted(), 3);
  for (const std::string& path : {small, wide, photo}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(ahead_.IsReady(path.c_str()));
    const std::vector<uint8_t> taken = Taken(path);
    ASSERT_FALSE(taken.empty());
    EXPECT_TRUE(taken == Fresh(path));
  }
  EXPECT_TRUE(Taken(small) == testing_support::KnownPicture(3, 60, 40));
  EXPECT_EQ(ahead_.DecodesStarted(), 3) << "ready pages are not decoded again";
}

TEST_F(DecodeAheadTest, ChangedReplacedOrDeletedFilesShowWhatAFreshLoadShows) {
  const std::string resized = disc_.Bmp("resized.bmp", 50, 40, 1);
  const std::string rewritten = disc_.Bmp("rewritten.bmp", 50, 40, 2);
  const std::string deleted = disc_.Bmp("deleted.bmp", 50, 40, 3);
  const std::string replaced = disc_.Bmp("replaced.bmp", 50, 40, 4);
  Want({resized, rewritten, deleted});
  ahead_.WaitUntilIdle();
  disc_.Bmp("resized.bmp", 70, 40, 5);
  // Same size, other pixels: only the modification time tells.
  const auto written = fs::last_write_time(rewritten);
  disc_.Bmp("rewritten.bmp", 50, 40, 6);
  fs::last_write_time(rewritten, written + std::chrono::seconds(2));
  fs::remove(deleted);
  EXPECT_TRUE(Taken(resized) == testing_support::KnownPicture(5, 70, 40));
  EXPECT_TRUE(Taken(rewritten) == testing_support::KnownPicture(6, 50, 40));
  EXPECT_TRUE(Taken(deleted).empty());
  // A file replaced by one that cannot be read while its page is queued.
  Want({replaced});
  ahead_.WaitUntilIdle();
  disc_.Text("replaced.bmp", "no longer a picture");
  EXPECT_TRUE(Taken(replaced).empty());
}

TEST_F(DecodeAheadTest, FailedDecodesAreRememberedForTheirFile) {
  const std::string damaged = disc_.Text("damaged.jpg", "not a JPEG at all");
  const std::string good = disc_.Bmp("good.bmp", 20, 20, 1);
  Want({damaged, good});
  ahead_.WaitUntilIdle();
  EXPECT_TRUE(ahead_.IsFailed(damaged.c_str()));
  const int decodes = ahead_.DecodesStarted();
  EXPECT_TRUE(Taken(damaged).empty());
  EXPECT_EQ(ahead_.DecodesStarted(), decodes) << "the failure is remembered";
  // Mended, it is decoded again.
  disc_.Jpeg("damaged.jpg", 30, 30, 2);
  fs::last_write_time(damaged, fs::last_write_time(damaged) + std::chrono::seconds(2));
  const std::vector<uint8_t> mended = Taken(damaged);
  EXPECT_FALSE(mended.empty());
  EXPECT_TRUE(mended == Fresh(damaged));
  EXPECT_EQ(ahead_.DecodesStarted(), decodes + 1);
}

TEST_F(DecodeAheadTest, ADecodeUnderWayIsWaitedForNeverStartedTwice) {
  const std::string big = disc_.Jpeg("big.jpg", 2400, 1800, 7);
  Want({big});
  const std::vector<uint8_t> taken = Taken(big);  // queued or under way: one decode either way
  EXPECT_EQ(ahead_.DecodesStarted(), 1);
  EXPECT_TRUE(taken == Fresh(big));
}

TEST_F(DecodeAheadTest, UnwantedPagesAreDroppedAndARunningDecodeThrownAway) {
  const std::string a = disc_.Bmp("a.bmp", 20, 20, 1);
  const std::string b = disc_.Bmp("b.bmp", 20, 20, 2);
  const std::string big = disc_.Jpeg("big.jpg", 2400, 1800, 3);
  Want({a, b});
  ahead_.WaitUntilIdle();
  Want({big, a});
  Want({b});  // big may be under way: it ends and is thrown away
  ahead_.WaitUntilIdle();
  EXPECT_FALSE(ahead_.IsReady(big.c_str()));
  EXPECT_FALSE(ahead_.IsReady(a.c_str()));
  EXPECT_TRUE(ahead_.IsReady(b.c_str()));
  const int decodes = ahead_.DecodesStarted();
  ahead_.Forget();
  EXPECT_FALSE(ahead_.IsReady(b.c_str()));
  EXPECT_FALSE(Taken(b).empty());
  EXPECT_EQ(ahead_.DecodesStarted(), decodes + 1);
}

TEST_F(DecodeAheadTest, DestructionStopsTheWorkerWithNothingLeft) {
  const std::string big = disc_.Jpeg("big.jpg", 2400, 1800, 3);
  const int64_t blocksBefore = platform::LiveGlobalBlocks();
  {
    DecodeAhead ahead;
    ahead.SetArea(kAreaWidth, kAreaHeight);
    ahead.Want({big.c_str(), big.c_str()});
    // Let the worker start: its decode is under way when the owner goes.
    for (int i = 0; i < 500 && ahead.DecodesStarted() == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), blocksBefore);
}

// --- In the viewer ---------------------------------------------------------------------

class ViewerDecodeAheadTest : public testing_support::DiscFixture {};

TEST_F(ViewerDecodeAheadTest, NextOntoAReadyPagePaintsItWithoutDecoding) {
  const std::string p0 = disc_.Jpeg("p0.jpg", 800, 600, 1);
  const std::string p1 = disc_.Jpeg("p1.jpg", 1000, 400, 2);
  const std::string p2 = disc_.Bmp("p2.bmp", 300, 200, 3);
  const std::string a1 = disc_.Bmp("A/a1.bmp", 30, 20, 4);
  CViewerDlg viewer;
  testing_support::Scenario scenario;
  testing_support::StartBrowsing(scenario, viewer);
  scenario.Call("next onto the ready page", [&] {
    DecodeAhead& ahead = viewer.m_decodeAhead;
    ahead.WaitUntilIdle();
    EXPECT_EQ(ahead.DecodesStarted(), 2) << "the first picture once, the next one ahead";
    EXPECT_TRUE(ahead.IsReady(p1.c_str()));
    viewer.Next();
    ahead.WaitUntilIdle();
    EXPECT_EQ(ahead.DecodesStarted(), 3) << "only the worker's decode of the page after";
    // The picture on show is what a fresh load shows.
    ASSERT_NE(viewer.m_pictureBitmap, nullptr);
    const std::vector<uint8_t> fresh = Bytes(DecodeFittedPicture(p1.c_str(), kAreaWidth, kAreaHeight));
    const size_t shown = static_cast<size_t>(viewer.m_pictureWidth) * viewer.m_pictureHeight * 3;
    ASSERT_EQ(shown, fresh.size());
    EXPECT_EQ(std::memcmp(viewer.m_pictureBitmap, fresh.data(), shown), 0);
    EXPECT_TRUE(ahead.IsReady(p2.c_str()));
    EXPECT_TRUE(ahead.IsReady(p0.c_str())) << "the page before";
    // At the album's end the next album's first picture is decoded ahead.
    viewer.Next();
    ahead.WaitUntilIdle();
    EXPECT_TRUE(ahead.IsReady(a1.c_str()));
    EXPECT_FALSE(ahead.IsReady(p0.c_str()));
    // Choosing another album drops the pages of this one.
    viewer.m_albumListBox.SetCurSel(1);
    viewer.SelectAlbum();
    ahead.WaitUntilIdle();
    EXPECT_FALSE(ahead.IsReady(p1.c_str()));
    EXPECT_TRUE(ahead.IsReady(a1.c_str()));
    EXPECT_TRUE(ahead.IsReady(p2.c_str())) << "the root's last picture is the page before";
    EXPECT_EQ(headless::WaitCursorCount(), 0);
  });
  scenario.Key("close", VK_ESCAPE);
  scenario.Run(viewer, IDCANCEL);
}

}  // namespace
