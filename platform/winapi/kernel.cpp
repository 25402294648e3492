// Kernel services of the platform layer: global memory, thread-local storage,
// critical sections, last error, debugger output, tick count, module file name.
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/winapi/program_file.h"
#include "platform/winapi/test_hooks.h"
#include "platform/winapi/win_kernel.h"

// --- Last error ---------------------------------------------------------------

namespace {
thread_local DWORD lastErrorOfThread = NO_ERROR;
}

DWORD GetLastError() { return lastErrorOfThread; }
void SetLastError(DWORD errorCode) { lastErrorOfThread = errorCode; }

// --- Global memory --------------------------------------------------------------
// A handle points at a small owner record; the bytes live in a separate
// allocation so that a locked pointer is never the handle itself (callers that
// confuse the two fail loudly under the sanitizers instead of working by luck).

namespace {

constexpr uint32_t kBlockMagic = 0x474c4f42;  // "GLOB"

struct GlobalBlock {
  uint32_t magic;
  UINT flags;
  SIZE_T size;
  unsigned lockCount;
  unsigned char* bytes;
  size_t mappedBytes;  // non-zero when the bytes are a mapping of their own
};

#if defined(__SANITIZE_ADDRESS__)
#define TESSARY_PLAIN_HEAP_ONLY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TESSARY_PLAIN_HEAP_ONLY 1
#endif
#endif

// Picture-sized blocks (a 12-megapixel RGB buffer is 36 MB) get a mapping of
// their own backed by transparent huge pages where the kernel offers them:
// the first touch of a fresh block then costs a few dozen page faults instead
// of thousands, which is most of what a decoder pays beyond its own work.
// Anonymous mappings arrive zeroed, so GMEM_ZEROINIT costs nothing extra.
// Sanitizer builds keep every block on the heap so overruns stay visible.
constexpr size_t kLargeBlockBytes = size_t{4} << 20;
constexpr size_t kHugePageBytes = size_t{2} << 20;

// The mappings of the last two large blocks freed, kept for the next
// allocations of about their size: a viewer frees one picture and decodes the
// next, and turning a picture upright (Copy, Export, full view) holds the
// decoded block and its upright copy at once; reusing warm pages saves the
// kernel's faults and zeroing (about a tenth of a 12-megapixel decode).
struct SpareMapping {
  unsigned char* bytes = nullptr;
  size_t mappedBytes = 0;
};
constexpr int kSpareMappings = 2;
std::mutex spareMutex;
SpareMapping spareMappings[kSpareMappings];  // the older first

void ReleaseLargeBlock(unsigned char* bytes, size_t mappedBytes) {
  SpareMapping dropped;
  {
    std::lock_guard<std::mutex> hold(spareMutex);
    // The spares stay in the order they were freed, the newest last.
    SpareMapping kept[kSpareMappings + 1];
    int count = 0;
    for (const SpareMapping& spare : spareMappings) {
      if (spare.bytes != nullptr) kept[count++] = spare;
    }
    kept[count++] = {bytes, mappedBytes};
    const int first = count > kSpareMappings ? 1 : 0;
    if (first == 1) dropped = kept[0];
    for (int i = 0; i < kSpareMappings; ++i) {
      spareMappings[i] = first + i < count ? kept[first + i] : SpareMapping{};
    }
  }
  if (dropped.bytes != nullptr) munmap(dropped.bytes, dropped.mappedBytes);
}

#if !defined(TESSARY_PLAIN_HEAP_ONLY)
// The smallest spare mapping that fits `rounded` bytes without wasting more
// than half of itself; else null.
unsigned char* TakeSpareMapping(size_t rounded, size_t* mappedBytes) {
  std::lock_guard<std::mutex> hold(spareMutex);
  SpareMapping* best = nullptr;
  for (SpareMapping& spare : spareMappings) {
    const bool fits = spare.bytes != nullptr && spare.mappedBytes >= rounded &&
                      spare.mappedBytes / 2 <= rounded;
    if (fits && (best == nullptr || spare.mappedBytes < best->mappedBytes)) best = &spare;
  }
  if (best == nullptr) return nullptr;
  unsigned char* bytes = best->bytes;
  *mappedBytes = best->mappedBytes;
  *best = {};
  return bytes;
}
#endif

unsigned char* MapLargeBlock(size_t bytes, UINT flags, size_t* mappedBytes) {
#if defined(TESSARY_PLAIN_HEAP_ONLY)
  (void)bytes;
  (void)flags;
  (void)mappedBytes;
  return nullptr;
#else
  if (bytes < kLargeBlockBytes || bytes > SIZE_MAX - 2 * kHugePageBytes) return nullptr;
  const size_t rounded = (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  if (unsigned char* reused = TakeSpareMapping(rounded, mappedBytes)) {
    if (flags & GMEM_ZEROINIT) std::memset(reused, 0, bytes);
    return reused;
  }
  const size_t length = rounded + kHugePageBytes;
  void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  // Trim the mapping to a huge-page boundary at both ends.
  const uintptr_t base = reinterpret_cast<uintptr_t>(mapping);
  const uintptr_t start = (base + kHugePageBytes - 1) & ~(uintptr_t{kHugePageBytes} - 1);
  const size_t head = start - base;
  const size_t tail = length - head - rounded;
  if (head != 0) munmap(mapping, head);
  if (tail != 0) munmap(reinterpret_cast<void*>(start + rounded), tail);
  madvise(reinterpret_cast<void*>(start), rounded, MADV_HUGEPAGE);
  *mappedBytes = rounded;
  return reinterpret_cast<unsigned char*>(start);
#endif
}

std::atomic<int64_t> allocationCount{0};
std::atomic<int64_t> failingAllocation{0};  // absolute count that fails; 0 = none
std::atomic<int64_t> liveBlocks{0};

GlobalBlock* BlockOf(HGLOBAL handle) {
  auto* block = reinterpret_cast<GlobalBlock*>(handle);
  if (block == nullptr || block->magic != kBlockMagic) return nullptr;
  return block;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  const int64_t ordinal = ++allocationCount;
  const int64_t failing = failingAllocation.load();
  if (failing != 0 && ordinal == failing) {
    failingAllocation = 0;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* block = static_cast<GlobalBlock*>(std::malloc(sizeof(GlobalBlock)));
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  block->magic = kBlockMagic;
  block->flags = flags;
  block->size = bytes;
  block->lockCount = 0;
  block->bytes = nullptr;
  block->mappedBytes = 0;
  if (bytes != 0) block->bytes = MapLargeBlock(bytes, flags, &block->mappedBytes);
  if (bytes != 0 && block->bytes == nullptr) {
    block->bytes = static_cast<unsigned char*>((flags & GMEM_ZEROINIT) ? std::calloc(bytes, 1)
                                                                       : std::malloc(bytes));
    if (block->bytes == nullptr) {
      std::free(block);
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  ++liveBlocks;
  return reinterpret_cast<HGLOBAL>(block);
}

LPVOID GlobalLock(HGLOBAL handle) {
  GlobalBlock* block = BlockOf(handle);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (block->bytes == nullptr) {  // a zero-size block has nothing to pin
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  ++block->lockCount;
  return block->bytes;
}

BOOL GlobalUnlock(HGLOBAL handle) {
  GlobalBlock* block = BlockOf(handle);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (block->lockCount == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  --block->lockCount;
  if (block->lockCount == 0) {
    SetLastError(NO_ERROR);
    return FALSE;
  }
  return TRUE;
}

HGLOBAL GlobalFree(HGLOBAL handle) {
  if (handle == nullptr) return nullptr;
  GlobalBlock* block = BlockOf(handle);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return handle;
  }
  block->magic = 0;
  if (block->mappedBytes != 0) {
    ReleaseLargeBlock(block->bytes, block->mappedBytes);
  } else {
    std::free(block->bytes);
  }
  std::free(block);
  --liveBlocks;
  return nullptr;
}

SIZE_T GlobalSize(HGLOBAL handle) {
  GlobalBlock* block = BlockOf(handle);
  if (block == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return block->size;
}

namespace platform {

void FailNthGlobalAlloc(int64_t n) {
  failingAllocation = n <= 0 ? 0 : allocationCount.load() + n;
}
int64_t GlobalAllocCount() { return allocationCount.load(); }
int64_t LiveGlobalBlocks() { return liveBlocks.load(); }

}  // namespace platform

// --- Thread-local storage -----------------------------------------------------------

namespace {

constexpr DWORD kTlsSlots = 64;  // TLS_MINIMUM_AVAILABLE on Windows
std::mutex tlsMutex;
bool tlsSlotUsed[kTlsSlots];
pthread_key_t tlsKeys[kTlsSlots];

}  // namespace

DWORD TlsAlloc() {
  std::lock_guard<std::mutex> hold(tlsMutex);
  for (DWORD i = 0; i < kTlsSlots; ++i) {
    if (tlsSlotUsed[i]) continue;
    if (pthread_key_create(&tlsKeys[i], nullptr) != 0) break;
    tlsSlotUsed[i] = true;
    return i;
  }
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return TLS_OUT_OF_INDEXES;
}

LPVOID TlsGetValue(DWORD index) {
  if (index >= kTlsSlots || !tlsSlotUsed[index]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  SetLastError(NO_ERROR);
  return pthread_getspecific(tlsKeys[index]);
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
  if (index >= kTlsSlots || !tlsSlotUsed[index]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pthread_setspecific(tlsKeys[index], value) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return TRUE;
}

BOOL TlsFree(DWORD index) {
  std::lock_guard<std::mutex> hold(tlsMutex);
  if (index >= kTlsSlots || !tlsSlotUsed[index]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pthread_key_delete(tlsKeys[index]);
  tlsSlotUsed[index] = false;
  return TRUE;
}

// --- Critical sections ----------------------------------------------------------------

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  section->lock = new std::recursive_mutex();  // Windows sections are re-entrant
}
void EnterCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->lock)->lock();
}
void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  static_cast<std::recursive_mutex*>(section->lock)->unlock();
}
void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  delete static_cast<std::recursive_mutex*>(section->lock);
  section->lock = nullptr;
}

// --- Debugger output ---------------------------------------------------------------------

namespace {
std::mutex debugMutex;
std::string& DebugSink() {
  static std::string* sink = new std::string();  // outlives static destructors
  return *sink;
}
bool echoDebugOutput = false;
}  // namespace

void OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  std::lock_guard<std::mutex> hold(debugMutex);
  DebugSink() += text;
  // Keep the sink bounded: a long run of warnings must not grow without end.
  if (DebugSink().size() > (1u << 20)) DebugSink().erase(0, DebugSink().size() - (1u << 19));
  if (echoDebugOutput) std::fputs(text, stderr);
}

namespace platform {

std::string TakeDebugOutput() {
  std::lock_guard<std::mutex> hold(debugMutex);
  std::string taken;
  taken.swap(DebugSink());
  return taken;
}
void EchoDebugOutput(bool on) { echoDebugOutput = on; }

}  // namespace platform

// --- Time ------------------------------------------------------------------------------

DWORD GetTickCount() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// --- Module file name ------------------------------------------------------------------

namespace {
std::mutex moduleMutex;
std::string& ModuleFileOverride() {
  static std::string* path = new std::string();
  return *path;
}
}  // namespace

namespace platform {
void SetModuleFileNameForTests(const std::string& path) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  ModuleFileOverride() = path;
}
}  // namespace platform

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  // Only the program's own module exists; any non-null handle names it.
  static char programModule;
  return moduleName == nullptr ? reinterpret_cast<HMODULE>(&programModule) : nullptr;
}

DWORD GetModuleFileNameA(HMODULE /*module*/, LPSTR fileName, DWORD size) {
  std::string path;
  {
    std::lock_guard<std::mutex> hold(moduleMutex);
    path = ModuleFileOverride();
  }
  if (path.empty()) {
    path = platform::RunningProgramPath();
    if (path.empty()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
  }
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Windows truncates to size - 1 characters, terminates, and returns size.
  if (path.size() >= size) {
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, path.c_str(), path.size() + 1);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(path.size());
}
