#include "commands/decode_ahead.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "commands/decoded_picture.h"
#include "imaging/core/pelorn.h"

namespace {

// The worker's decodes stop at their next progress report once this is set;
// every other thread's stay as they are.
thread_local const std::atomic<bool>* t_stopRequest = nullptr;

int32_t StopWhenAsked(int32_t, int32_t) {
  return t_stopRequest != nullptr && t_stopRequest->load() ? 0 : 1;
}

// Pages kept besides a decode under way: the one on show, after and before.
constexpr size_t kMostPagesKept = 3;

}  // namespace

FileStamp StampOf(const char* path) {
  namespace fs = std::filesystem;
  FileStamp stamp;
  std::error_code error;
  const fs::path file(path);
  const uintmax_t size = fs::file_size(file, error);
  if (error) return stamp;
  const fs::file_time_type modified = fs::last_write_time(file, error);
  if (error) return stamp;
  stamp.exists = true;
  stamp.size = size;
  stamp.modified = std::chrono::duration_cast<std::chrono::nanoseconds>(modified.time_since_epoch()).count();
  return stamp;
}

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_stopping = true;
    m_stopRequested = true;
  }
  m_changed.notify_all();
  if (m_worker.joinable()) m_worker.join();
}

void DecodeAhead::SetArea(int32_t width, int32_t height) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_areaWidth = width;
  m_areaHeight = height;
}

DecodeAhead::Page DecodeAhead::PageFor(const std::string& path) {
  Page page;
  page.path = path;
  return page;
}

DecodeAhead::Page* DecodeAhead::Find(const std::string& path, bool evenUnwanted) {
  for (Page& page : m_pages) {
    if (page.path == path && (page.wanted || evenUnwanted)) return &page;
  }
  return nullptr;
}

DecodeAhead::Page* DecodeAhead::NextQueued() {
  for (Page& page : m_pages) {
    if (page.wanted && page.state == State::kQueued) return &page;
  }
  return nullptr;
}

bool DecodeAhead::Idle() {
  return std::none_of(m_pages.begin(), m_pages.end(), [](const Page& page) {
    return page.state == State::kDecoding || (page.wanted && page.state == State::kQueued);
  });
}

FittedPicture DecodeAhead::Take(const CString& path) {
  const std::string key = path.GetString();
  const FileStamp stamp = StampOf(key.c_str());
  int32_t areaWidth = 0;
  int32_t areaHeight = 0;
  bool keep = false;  // navigation has started: the page joins the cache
  {
    std::unique_lock<std::mutex> hold(m_lock);
    areaWidth = m_areaWidth;
    areaHeight = m_areaHeight;
    Page* page = Find(key, true);
    if (page != nullptr && page->state == State::kDecoding) {
      page->wanted = true;  // a decode under way is never started twice
      m_changed.wait(hold, [&] { return page->state != State::kDecoding; });
    }
    if (page != nullptr && page->state != State::kQueued && page->stamp == stamp) {
      return CopyOf(page->picture);  // a remembered failure is empty too
    }
    // Queued, or made from another version of the file: decoded here.
    if (page != nullptr) page->state = State::kDecoding;
    keep = page != nullptr || m_active;
    ++m_decodesStarted;
  }
  FittedPicture fresh = DecodeFittedPicture(key.c_str(), areaWidth, areaHeight);
  if (keep) {
    FittedPicture kept = CopyOf(fresh);
    if (kept.IsEmpty() && !fresh.IsEmpty()) {
      // No memory for the cache's copy: the page is not kept, rather than
      // remembered as failed.
      std::lock_guard<std::mutex> hold(m_lock);
      m_pages.remove_if([&](const Page& p) { return p.path == key && p.state == State::kDecoding; });
      m_changed.notify_all();
    } else {
      Store(key, stamp, std::move(kept));
    }
  }
  return fresh;
}

// Keeps a picture decoded on the window's thread as a page of the cache once
// navigation has started; the next Want decides whether it stays.
void DecodeAhead::Store(const std::string& path, const FileStamp& stamp, FittedPicture picture) {
  std::lock_guard<std::mutex> hold(m_lock);
  Page* page = Find(path, true);
  if (page == nullptr) {
    if (!m_active) return;
    const size_t kept = std::count_if(m_pages.begin(), m_pages.end(),
                                      [](const Page& p) { return p.wanted; });
    if (kept >= kMostPagesKept) {
      const auto done = std::find_if(m_pages.begin(), m_pages.end(), [](const Page& p) {
        return p.state == State::kReady || p.state == State::kFailed;
      });
      if (done != m_pages.end()) m_pages.erase(done);
    }
    m_pages.push_back(PageFor(path));
    page = &m_pages.back();
  }
  page->wanted = true;
  page->stamp = stamp;
  page->state = picture.IsEmpty() ? State::kFailed : State::kReady;
  page->picture = std::move(picture);
  m_changed.notify_all();
}

void DecodeAhead::Want(const std::vector<CString>& paths) {
  bool queued = false;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    m_active = true;
    for (Page& page : m_pages) page.wanted = false;
    std::list<Page> ordered;
    for (const CString& wantedPath : paths) {
      const std::string path = wantedPath.GetString();
      const bool listed = std::any_of(ordered.begin(), ordered.end(),
                                      [&](const Page& page) { return page.path == path; });
      if (path.empty() || listed) continue;
      const auto found = std::find_if(m_pages.begin(), m_pages.end(),
                                      [&](const Page& page) { return page.path == path; });
      if (found != m_pages.end()) {
        found->wanted = true;
        ordered.splice(ordered.end(), m_pages, found);
      } else {
        ordered.push_back(PageFor(path));
        queued = true;
      }
    }
    // What is left is no longer wanted: dropped, or thrown away once its
    // decode ends.
    m_pages.remove_if([](const Page& page) { return page.state != State::kDecoding; });
    m_pages.splice(m_pages.end(), ordered);
    queued = queued || NextQueued() != nullptr;
    if (queued && !m_worker.joinable()) m_worker = std::thread([this] { Work(); });
  }
  m_changed.notify_all();
}

void DecodeAhead::Forget() { Want({}); }

void DecodeAhead::Begin() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_active = true;
}

void DecodeAhead::WaitUntilIdle() {
  std::unique_lock<std::mutex> hold(m_lock);
  m_changed.wait(hold, [this] { return Idle(); });
}

bool DecodeAhead::IsReady(const CString& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  const Page* page = Find(path.GetString());
  return page != nullptr && page->state == State::kReady;
}

bool DecodeAhead::IsFailed(const CString& path) {
  std::lock_guard<std::mutex> hold(m_lock);
  const Page* page = Find(path.GetString());
  return page != nullptr && page->state == State::kFailed;
}

int DecodeAhead::DecodesStarted() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_decodesStarted;
}

void DecodeAhead::Work() {
  t_stopRequest = &m_stopRequested;
  std::unique_lock<std::mutex> hold(m_lock);
  for (;;) {
    m_changed.wait(hold, [this] { return m_stopping || NextQueued() != nullptr; });
    if (m_stopping) break;
    Page& page = *NextQueued();
    page.state = State::kDecoding;
    ++m_decodesStarted;
    const std::string path = page.path;
    const int32_t areaWidth = m_areaWidth;
    const int32_t areaHeight = m_areaHeight;
    hold.unlock();

    const FileStamp stamp = StampOf(path.c_str());
    FittedPicture picture;
    SetProgressCallback(StopWhenAsked);
    try {
      picture = DecodeFittedPicture(path.c_str(), areaWidth, areaHeight);
    } catch (...) {
      picture = FittedPicture();  // out of memory outside the library: a failed page
      picture.error = kPelornOutOfMemory;
    }
    SetProgressCallback(nullptr);

    hold.lock();
    // The page's node stays in the list while its decode runs.
    page.stamp = stamp;
    page.state = picture.IsEmpty() ? State::kFailed : State::kReady;
    page.picture = std::move(picture);
    if (!page.wanted) {
      m_pages.remove_if([&](const Page& p) { return &p == &page; });
    }
    m_changed.notify_all();
  }
}
