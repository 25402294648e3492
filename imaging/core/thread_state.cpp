#include "imaging/core/thread_state.h"

#include <cstdlib>
#include <new>

namespace {

struct RecordNode {
  PelornThreadState* record;
  RecordNode* next;
};

struct ThreadStateRegistry {
  DWORD slotIndex = TLS_OUT_OF_INDEXES;
  RecordNode* records = nullptr;  // newest first
  CRITICAL_SECTION listLock{};
  bool ready = false;
};

ThreadStateRegistry registry;

void FreeRegistry() {
  if (registry.slotIndex != TLS_OUT_OF_INDEXES) {
    TlsFree(registry.slotIndex);
    registry.slotIndex = TLS_OUT_OF_INDEXES;
  }
  EnterCriticalSection(&registry.listLock);
  RecordNode* node = registry.records;
  while (node != nullptr) {
    RecordNode* next = node->next;
    delete node->record;
    delete node;
    node = next;
  }
  registry.records = nullptr;
  LeaveCriticalSection(&registry.listLock);
  DeleteCriticalSection(&registry.listLock);
  registry.ready = false;
}

// Runs during static initialisation, before the application's own start-up.
struct RegistryStartup {
  RegistryStartup() {
    registry.slotIndex = TlsAlloc();
    if (registry.slotIndex == TLS_OUT_OF_INDEXES) throw TlsException(GetLastError());
    registry.records = nullptr;
    InitializeCriticalSection(&registry.listLock);
    registry.ready = true;
    std::atexit(FreeRegistry);
  }
};

RegistryStartup registryStartup;

}  // namespace

PelornThreadState& GetThreadState() {
  void* stored = TlsGetValue(registry.slotIndex);
  if (stored != nullptr) return *static_cast<PelornThreadState*>(stored);

  auto* record = new PelornThreadState();
  if (!TlsSetValue(registry.slotIndex, record)) {
    const DWORD systemError = GetLastError();
    delete record;
    throw TlsException(systemError);
  }
  auto* node = new RecordNode{record, nullptr};
  EnterCriticalSection(&registry.listLock);
  node->next = registry.records;
  registry.records = node;
  LeaveCriticalSection(&registry.listLock);
  return *record;
}

bool ReportProgress(int32_t done, int32_t total) {
  PelornThreadState& state = GetThreadState();
  if (state.operationDepth != 1 || state.progressCallback == nullptr) return true;
  return state.progressCallback(done, total) != 0;
}

size_t ThreadStateRecordCount() {
  size_t count = 0;
  EnterCriticalSection(&registry.listLock);
  for (RecordNode* node = registry.records; node != nullptr; node = node->next) ++count;
  LeaveCriticalSection(&registry.listLock);
  return count;
}

void SetProgressCallback(PelornProgressCallback callback) {
  GetThreadState().progressCallback = callback;
}

PelornError GetLastImageError() { return GetThreadState().lastError; }
