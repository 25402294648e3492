// The library core: error texts, per-thread records, the progress rule, the
// movable global memory of the platform layer and the size checks.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <algorithm>
#include <cstddef>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "imaging/core/codec.h"
#include "imaging/core/error_text.h"
#include "imaging/core/image_size.h"
#include "imaging/core/owners.h"
#include "imaging/core/reader_table.h"
#include "imaging/core/thread_state.h"
#include "platform/winapi/test_hooks.h"

namespace {

TEST(ErrorText, FixedTexts) {
  EXPECT_EQ(ErrorText(0), "No error");
  EXPECT_EQ(ErrorText(1), "Error : out of memory");
  EXPECT_EQ(ErrorText(2), "Error on file open");
  EXPECT_EQ(ErrorText(3), "Error on file read");
  EXPECT_EQ(ErrorText(4), "Error on file write");
  EXPECT_EQ(ErrorText(5), "Bad user param");
  EXPECT_EQ(ErrorText(6), "Bad BMP file");
  EXPECT_EQ(ErrorText(7), "We don't do RLE BMP files");
  EXPECT_EQ(ErrorText(8), "Bad GIF file");
  EXPECT_EQ(ErrorText(9), "Bad jpg file");
  EXPECT_EQ(ErrorText(10), "Device error");
  EXPECT_EQ(ErrorText(11), "GetDIBits error");
  EXPECT_EQ(ErrorText(12), "No GIF support..");
  EXPECT_EQ(ErrorText(13), "Resource Not Found");
  EXPECT_EQ(ErrorText(14), "Operation cancelled by callback");
  EXPECT_EQ(ErrorText(15), "Bad PNG file");
  EXPECT_EQ(ErrorText(16), "Internal PNG creation error - possibly bad params");
  EXPECT_EQ(ErrorText(17), "Internal Pelorn error");
  EXPECT_EQ(ErrorText(18), "Font creation error");
  EXPECT_EQ(ErrorText(20), "Bad TIF file");
  EXPECT_EQ(ErrorText(22), "Bad PCX file");
  EXPECT_EQ(ErrorText(26), "Device cannot stretch bitmaps");
  EXPECT_EQ(ErrorText(35), "Bad TGA file");
}

// Every code the library sets has words; only codes it never sets are numbered.
TEST(ErrorText, EveryCodeTheLibrarySetsHasWords) {
  for (PelornError code :
       {kPelornOk, kPelornOutOfMemory, kPelornFileOpen, kPelornFileRead, kPelornFileWrite,
        kPelornBadParam, kPelornBadBmp, kPelornNoRle, kPelornBadGif, kPelornBadJpeg,
        kPelornDeviceError, kPelornCancelled, kPelornPngReadError, kPelornPngCreate,
        kPelornInternal, kPelornBadTiff, kPelornBadPcx, kPelornCannotStretch, kPelornBadTga}) {
    EXPECT_EQ(ErrorText(code).find("Error #"), std::string::npos) << code;
  }
}

TEST(ErrorText, CodesWithoutTextAreNumbered) {
  for (int code : {19, 21, 23, 100, -1, 2147483647}) {
    EXPECT_EQ(ErrorText(code), "Error #" + std::to_string(code)) << code;
  }
}

TEST(ThreadState, NewThreadStartsWithoutAnErrorOrAnotherThreadsCallback) {
  SetProgressCallback([](int32_t, int32_t) -> int32_t { return 1; });
  FlipRows(nullptr, 3, 3);  // an error on this thread
  PelornError firstError = -1;
  PelornProgressCallback callback = nullptr;
  std::thread([&] {
    firstError = GetLastImageError();
    callback = GetThreadState().progressCallback;
  }).join();
  SetProgressCallback(nullptr);
  EXPECT_EQ(firstError, 0);
  EXPECT_EQ(callback, nullptr);
}

TEST(ThreadState, ErrorsStayOnTheirThread) {
  FlipRows(nullptr, 3, 3);  // a missing buffer stores 5 on this thread
  ASSERT_EQ(GetLastImageError(), 5);
  PelornError other = -1;
  std::thread([&] { other = GetLastImageError(); }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(GetLastImageError(), 5) << "reading the code does not reset it";
}

TEST(ThreadState, RecordsOfEndedThreadsStayInTheRegistry) {
  GetThreadState();
  const size_t before = ThreadStateRecordCount();
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([] { GetLastImageError(); });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(ThreadStateRecordCount(), before + 4);
}

std::vector<std::pair<int, int>> progressCalls;
int32_t progressAnswer = 1;
int32_t RecordProgress(int32_t done, int32_t total) {
  progressCalls.emplace_back(done, total);
  return progressAnswer;
}

TEST(ThreadState, ProgressReachesTheCallbackOnlyAtDepthOne) {
  progressCalls.clear();
  progressAnswer = 1;
  SetProgressCallback(RecordProgress);
  EXPECT_TRUE(ReportProgress(1, 2));  // depth 0: silent
  {
    PelornCodec outer;
    EXPECT_TRUE(ReportProgress(3, 4));
    {
      OperationDepthGuard nested;  // a buffer operation inside a codec call
      EXPECT_TRUE(ReportProgress(5, 6));
    }
    progressAnswer = 0;
    EXPECT_FALSE(ReportProgress(7, 8));
  }
  SetProgressCallback(nullptr);
  {
    PelornCodec alone;
    EXPECT_TRUE(ReportProgress(9, 10)) << "no callback means go on";
  }
  EXPECT_EQ(progressCalls, (std::vector<std::pair<int, int>>{{3, 4}, {7, 8}}));
  EXPECT_EQ(GetThreadState().operationDepth, 0);
}

TEST(ThreadState, SetProgressCallbackLeavesTheLastErrorAlone) {
  FlipRows(nullptr, 1, 1);
  SetProgressCallback(nullptr);
  EXPECT_EQ(GetLastImageError(), 5);
}

TEST(GlobalMemory, MovableBlocksCountTheirLocks) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 10);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 10u);
  auto* first = static_cast<uint8_t*>(GlobalLock(block));
  ASSERT_NE(first, nullptr);
  EXPECT_NE(static_cast<void*>(first), static_cast<void*>(block)) << "a handle is not a pointer";
  for (int i = 0; i < 10; ++i) EXPECT_EQ(first[i], 0);
  EXPECT_EQ(GlobalLock(block), first);
  EXPECT_TRUE(GlobalUnlock(block)) << "still locked once";
  SetLastError(12345);
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR));
  EXPECT_FALSE(GlobalUnlock(block));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_LOCKED));
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, ZeroSizeBlockExistsButCannotBeLocked) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), 0u);
  EXPECT_EQ(GlobalLock(block), nullptr);
  EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, PictureSizedBlocksComeBackZeroedWhenReused) {
  // Large blocks live in mappings of their own, and the last one freed is
  // kept for the next picture: a reused block must still honour ZEROINIT.
  const size_t bytes = size_t{12} << 20;
  for (size_t size : {bytes, bytes - 1000, bytes / 2 + (size_t{2} << 20)}) {
    HGLOBAL dirty = GlobalAlloc(GMEM_MOVEABLE, bytes);
    ASSERT_NE(dirty, nullptr);
    auto* written = static_cast<uint8_t*>(GlobalLock(dirty));
    ASSERT_NE(written, nullptr);
    std::memset(written, 0xAB, bytes);
    GlobalUnlock(dirty);
    GlobalFree(dirty);

    HGLOBAL fresh = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GlobalSize(fresh), size);
    const auto* pixels = static_cast<const uint8_t*>(GlobalLock(fresh));
    ASSERT_NE(pixels, nullptr);
    size_t nonZero = 0;
    for (size_t i = 0; i < size; ++i) nonZero += pixels[i] != 0;
    EXPECT_EQ(nonZero, 0u) << size;
    GlobalUnlock(fresh);
    GlobalFree(fresh);
  }
}

#if !defined(_WIN32)
// A picture decoded and turned upright holds two picture-sized blocks at
// once; both mappings are kept when they are freed, so the next picture's
// pair starts on warm pages: touching it all takes no page fault (a fresh
// 12 MB mapping takes 6 on huge pages, 3072 without), and it still comes
// back zeroed.
long MinorPageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

TEST(GlobalMemory, BothBlocksOfAPictureAndItsTurnAreReused) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "sanitizer builds keep every block on the heap";
#endif
  const size_t bytes = size_t{12} << 20;
  long faults = 0;
  for (int round = 0; round < 2; ++round) {
    const long before = MinorPageFaults();
    HGLOBAL pair[2] = {GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes),
                       GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes)};
    for (HGLOBAL block : pair) {
      ASSERT_NE(block, nullptr);
      auto* pixels = static_cast<uint8_t*>(GlobalLock(block));
      ASSERT_NE(pixels, nullptr);
      EXPECT_EQ(std::count(pixels, pixels + bytes, 0), static_cast<std::ptrdiff_t>(bytes));
      std::memset(pixels, 0xCD, bytes);
      GlobalUnlock(block);
    }
    faults = MinorPageFaults() - before;
    for (HGLOBAL block : pair) GlobalFree(block);
  }
  EXPECT_LT(faults, 4);
}
#endif

TEST(GlobalMemory, NthAllocationFailsOnDemand) {
  const int64_t live = platform::LiveGlobalBlocks();
  platform::FailNthGlobalAlloc(2);
  HGLOBAL first = GlobalAlloc(GHND, 4);
  HGLOBAL second = GlobalAlloc(GHND, 4);
  HGLOBAL third = GlobalAlloc(GHND, 4);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(second, nullptr);
  EXPECT_NE(third, nullptr);
  GlobalFree(first);
  GlobalFree(third);
  EXPECT_EQ(platform::LiveGlobalBlocks(), live);
}

TEST(GlobalMemory, OwnerFreesOnEveryWayOut) {
  const int64_t live = platform::LiveGlobalBlocks();
  {
    pelorn::GlobalBlockOwner owner;
    ASSERT_TRUE(owner.AllocateAndLock(16));
    owner.bytes()[15] = 7;
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), live);
  HGLOBAL handed;
  {
    pelorn::GlobalBlockOwner owner;
    ASSERT_TRUE(owner.AllocateAndLock(16));
    handed = owner.Release();
  }
  EXPECT_EQ(platform::LiveGlobalBlocks(), live + 1);
  EXPECT_FALSE(GlobalUnlock(handed)) << "a released block comes back unlocked";
  GlobalFree(handed);
  platform::FailNthGlobalAlloc(1);
  pelorn::GlobalBlockOwner failing;
  EXPECT_FALSE(failing.AllocateAndLock(16));
  EXPECT_EQ(failing.handle(), nullptr);
}

TEST(SizeChecks, ProductsThatDoNotFitAreRefused) {
  size_t bytes = 0;
  EXPECT_TRUE(pelorn::CheckedProduct(70000, 700, 3, &bytes));
  EXPECT_EQ(bytes, 147000000u);
  EXPECT_FALSE(pelorn::CheckedProduct(0xFFFFFFFFu, 0xFFFFFFFFu, 3, &bytes));
  EXPECT_FALSE(pelorn::CheckedProduct(uint64_t{1} << 32, uint64_t{1} << 32, 1, &bytes));
  EXPECT_TRUE(pelorn::CheckedProduct(0, 0xFFFFFFFFu, 3, &bytes));
  EXPECT_EQ(bytes, 0u);
  size_t stride = 0;
  EXPECT_TRUE(pelorn::CheckedDibStride(9, 1, &stride));
  EXPECT_EQ(stride, 4u);
  EXPECT_TRUE(pelorn::CheckedDibStride(9, 4, &stride));
  EXPECT_EQ(stride, 8u);
  EXPECT_TRUE(pelorn::CheckedDibStride(1, 24, &stride));
  EXPECT_EQ(stride, 4u);
  EXPECT_TRUE(pelorn::CheckedDibStride(5, 32, &stride));
  EXPECT_EQ(stride, 20u);
  EXPECT_FALSE(pelorn::CheckedDibStride(uint64_t{1} << 62, 32, &stride));
}

TEST(ReaderTable, LastFourCharactersInAnyLetterCase) {
  EXPECT_STREQ(FindPictureReader("a/b.jpg")->formatName, "jpeg");
  EXPECT_STREQ(FindPictureReader("a/b.Jpg")->formatName, "jpeg");
  EXPECT_STREQ(FindPictureReader("PIC.TIF")->formatName, "tiff");
  EXPECT_EQ(FindPictureReader("PIC.TIF")->blockBytesPerPixel, 4);
  EXPECT_STREQ(FindPictureReader(".gif")->formatName, "gif");
  EXPECT_EQ(FindPictureReader("photo.jpeg"), nullptr);
  EXPECT_EQ(FindPictureReader("scan.tiff"), nullptr);
  EXPECT_EQ(FindPictureReader("gif"), nullptr);
  EXPECT_EQ(FindPictureReader(""), nullptr);
  EXPECT_EQ(FindPictureReader(nullptr), nullptr);
  EXPECT_EQ(FindPictureReader("notes.txt"), nullptr);
}

// Every file reader starts alike: the given outputs zeroed, a missing or
// empty name or a missing output refused with 5, an unopenable file with 2.
TEST(ReaderPrelude, EveryFileReaderTreatsArgumentsAndOutputsAlike) {
  const std::string missing = (std::filesystem::temp_directory_path() / "no-such-picture.x").string();
  struct Case {
    const char* path;
    bool withOutputs;
    PelornError expected;
  };
  const Case cases[] = {{"", true, kPelornBadParam},
                        {nullptr, true, kPelornBadParam},
                        {missing.c_str(), false, kPelornBadParam},
                        {missing.c_str(), true, kPelornFileOpen}};
  const auto readScaled = [](const char* path, uint32_t* width, uint32_t* height) {
    uint32_t fullWidth = 77;
    uint32_t fullHeight = 77;
    HGLOBAL block = ReadJpegFileScaled(path, 100, 100, width, height, &fullWidth, &fullHeight);
    EXPECT_EQ(fullWidth, 0u);
    EXPECT_EQ(fullHeight, 0u);
    return block;
  };
  std::vector<std::pair<const char*, HGLOBAL (*)(const char*, uint32_t*, uint32_t*)>> readers;
  for (const PictureReader& reader : kPictureReaders) readers.emplace_back(reader.formatName, reader.read);
  readers.emplace_back("jpeg scaled", readScaled);
  for (const auto& [name, read] : readers) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(name) + " path " + (c.path ? c.path : "null"));
      uint32_t width = 77;
      uint32_t height = 77;
      EXPECT_EQ(read(c.path, c.withOutputs ? &width : nullptr, &height), nullptr);
      EXPECT_EQ(GetLastImageError(), c.expected);
      EXPECT_EQ(height, 0u);
      if (c.withOutputs) {
        EXPECT_EQ(width, 0u);
      }
    }
  }
}

TEST(ModuleFileName, TestsCanPointItAtAFolder) {
  platform::SetModuleFileNameForTests("/discs/holiday/tessary");
  char name[260];
  EXPECT_EQ(GetModuleFileNameA(nullptr, name, sizeof name), 22u);
  EXPECT_STREQ(name, "/discs/holiday/tessary");
  char tiny[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, tiny, sizeof tiny), 8u) << "truncated, as Windows does";
  EXPECT_STREQ(tiny, "/discs/");
  platform::SetModuleFileNameForTests("");
  EXPECT_GT(GetModuleFileNameA(nullptr, name, sizeof name), 0u);
  EXPECT_TRUE(std::filesystem::path(name).is_absolute()) << name;  // the running program
}

}  // namespace
