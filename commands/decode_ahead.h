// Decode-ahead: while the user looks at a page, one worker thread decodes
// and fits the pages Next and Prev lead to, so that turning the page shows a
// picture that is ready.
//
// The cache holds at most three fitted pictures (the page on show, the one
// after, the one before), each with the size and modification time its file
// had when it was decoded; a file changed or gone since is decoded again, so
// a page always shows what a fresh load would. A failed decode (damaged file,
// out of memory, over the size bound) is remembered as failed for that file.
//
// Take, on the window's thread, finds a page ready, waits for a decode of it
// under way (never starting a second one), or decodes it there and then.
// Want names the pages wanted next; the others are dropped, and a decode
// under way for one of them is let finish and thrown away. Destruction tells
// the worker to stop at its decode's next progress report and joins it.
//
// Until navigation starts (Begin or the first Want) nothing is kept: a
// picture loaded outside navigation is decoded afresh each time.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands/fitted_picture.h"
#include "platform/framework/afx_string.h"

// What a file looked like when it was read: a file replaced, rewritten or
// deleted since no longer matches.
struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  int64_t modified = 0;  // nanoseconds, as the file system keeps them
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size && modified == other.modified;
  }
};
FileStamp StampOf(const char* path);

class DecodeAhead {
 public:
  DecodeAhead() = default;
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // The area pictures are fitted to; set before the first Want.
  void SetArea(int32_t width, int32_t height);
  // From now on pictures Take decodes are kept as pages of the cache.
  void Begin();
  // The fitted picture of `path` (a copy the caller owns); empty when it
  // cannot be decoded.
  FittedPicture Take(const CString& path);
  // The pages wanted now, the one on show first, then in the order they are
  // to be decoded (after, then before). Empty paths are passed over.
  void Want(const std::vector<CString>& paths);
  // Forgets every page (a running decode is thrown away when it ends).
  void Forget();
  // Returns when the worker has nothing left to do.
  void WaitUntilIdle();

  // For the benchmarks and tests: whether a page is ready, failed, or
  // decoded by the worker; how many decodes have been started in all.
  bool IsReady(const CString& path);
  bool IsFailed(const CString& path);
  int DecodesStarted();

 private:
  enum class State { kQueued, kDecoding, kReady, kFailed };
  struct Page {
    std::string path;
    State state = State::kQueued;
    bool wanted = true;
    FileStamp stamp;
    FittedPicture picture;
  };

  static Page PageFor(const std::string& path);  // queued, wanted
  // m_lock held for these.
  Page* Find(const std::string& path, bool evenUnwanted = false);
  Page* NextQueued();
  bool Idle();
  void Store(const std::string& path, const FileStamp& stamp, FittedPicture picture);
  void Work();

  int32_t m_areaWidth = 0;
  int32_t m_areaHeight = 0;
  std::mutex m_lock;
  std::condition_variable m_changed;  // a page's state, the queue or the stop request
  std::list<Page> m_pages;            // wanted pages, and decodes under way no longer wanted
  bool m_active = false;              // navigation has started
  bool m_stopping = false;
  std::atomic<bool> m_stopRequested{false};  // read by the decode's progress callback
  int m_decodesStarted = 0;
  std::thread m_worker;
};
