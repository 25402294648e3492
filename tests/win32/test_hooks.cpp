// The tests' kernel and user hooks over the system's own services: before
// main, the program's imports of GlobalAlloc, GlobalFree, OutputDebugStringA,
// GetModuleFileNameA and MessageBoxA are pointed at the functions below,
// which count, fail on demand or record, and call the real ones.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/headless/headless.h"
#include "platform/winapi/test_hooks.h"
#include "tests/win32/import_table.h"

namespace {

// --- The real functions ---------------------------------------------------------

using GlobalAllocFunction = HGLOBAL(WINAPI*)(UINT, SIZE_T);
using GlobalFreeFunction = HGLOBAL(WINAPI*)(HGLOBAL);
using GetModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, LPSTR, DWORD);

GlobalAllocFunction realGlobalAlloc = nullptr;
GlobalFreeFunction realGlobalFree = nullptr;
GetModuleFileNameFunction realGetModuleFileName = nullptr;

// --- Global blocks ------------------------------------------------------------------

std::atomic<int64_t> allocationCount{0};
std::atomic<int64_t> failingAllocation{0};
std::mutex blocksMutex;
std::unordered_set<HGLOBAL>& LiveBlocks() {
  static auto* blocks = new std::unordered_set<HGLOBAL>();  // outlives static destructors
  return *blocks;
}

HGLOBAL WINAPI CountedGlobalAlloc(UINT flags, SIZE_T bytes) {
  const int64_t ordinal = ++allocationCount;
  const int64_t failing = failingAllocation.load();
  if (failing != 0 && ordinal == failing) {
    failingAllocation = 0;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HGLOBAL block = realGlobalAlloc(flags, bytes);
  if (block != nullptr) {
    std::lock_guard<std::mutex> hold(blocksMutex);
    LiveBlocks().insert(block);
  }
  return block;
}

HGLOBAL WINAPI CountedGlobalFree(HGLOBAL block) {
  HGLOBAL failed = realGlobalFree(block);
  if (failed == nullptr && block != nullptr) {
    std::lock_guard<std::mutex> hold(blocksMutex);
    LiveBlocks().erase(block);
  }
  return failed;
}

// --- Debugger output ------------------------------------------------------------------

std::mutex debugMutex;
std::string& DebugSink() {
  static auto* sink = new std::string();
  return *sink;
}
std::atomic<bool> echoDebugOutput{false};

void WINAPI RecordedOutputDebugString(LPCSTR text) {
  if (text == nullptr) return;
  std::lock_guard<std::mutex> hold(debugMutex);
  DebugSink() += text;
  // Bounded: a long run of warnings must not grow without end.
  if (DebugSink().size() > (1u << 20)) DebugSink().erase(0, DebugSink().size() - (1u << 19));
  if (echoDebugOutput) std::fputs(text, stderr);
}

// --- Module file name -------------------------------------------------------------------

std::mutex moduleMutex;
std::string& ModuleFileOverride() {
  static auto* path = new std::string();
  return *path;
}

DWORD WINAPI OverriddenGetModuleFileName(HMODULE module, LPSTR fileName, DWORD size) {
  std::string path;
  if (module == nullptr) {
    std::lock_guard<std::mutex> hold(moduleMutex);
    path = ModuleFileOverride();
  }
  if (path.empty()) return realGetModuleFileName(module, fileName, size);
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // A buffer too small gets the name cut to size - 1 characters and a
  // terminator, and the call returns size (Windows Vista onwards).
  if (path.size() >= size) {
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  std::memcpy(fileName, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

// --- Message boxes -------------------------------------------------------------------------

std::mutex boxesMutex;
std::vector<headless::MessageBoxShown>& Boxes() {
  static auto* boxes = new std::vector<headless::MessageBoxShown>();
  return *boxes;
}

// The answer a user pressing the box's first button gives.
int FirstButton(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL:
    case MB_YESNO: return IDYES;
    case MB_RETRYCANCEL: return IDRETRY;
    default: return IDOK;
  }
}

int WINAPI RecordedMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const int answer = FirstButton(type);
  std::lock_guard<std::mutex> hold(boxesMutex);
  Boxes().push_back({owner, caption != nullptr ? caption : "Error", text != nullptr ? text : "",
                     type, answer});
  return answer;
}

struct InstallHooks {
  InstallHooks() {
    using testing_support::win32::PatchImport;
    using testing_support::win32::RealFunction;
    realGlobalAlloc = RealFunction<GlobalAllocFunction>("kernel32.dll", "GlobalAlloc");
    realGlobalFree = RealFunction<GlobalFreeFunction>("kernel32.dll", "GlobalFree");
    realGetModuleFileName =
        RealFunction<GetModuleFileNameFunction>("kernel32.dll", "GetModuleFileNameA");
    PatchImport("kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(&CountedGlobalAlloc));
    PatchImport("kernel32.dll", "GlobalFree", reinterpret_cast<void*>(&CountedGlobalFree));
    PatchImport("kernel32.dll", "OutputDebugStringA",
                reinterpret_cast<void*>(&RecordedOutputDebugString));
    PatchImport("kernel32.dll", "GetModuleFileNameA",
                reinterpret_cast<void*>(&OverriddenGetModuleFileName));
    PatchImport("user32.dll", "MessageBoxA", reinterpret_cast<void*>(&RecordedMessageBox));
  }
};
const InstallHooks installHooks;

}  // namespace

namespace platform {

void FailNthGlobalAlloc(int64_t n) { failingAllocation = n <= 0 ? 0 : allocationCount.load() + n; }
int64_t GlobalAllocCount() { return allocationCount.load(); }
int64_t LiveGlobalBlocks() {
  std::lock_guard<std::mutex> hold(blocksMutex);
  return static_cast<int64_t>(LiveBlocks().size());
}

std::string TakeDebugOutput() {
  std::lock_guard<std::mutex> hold(debugMutex);
  std::string taken;
  taken.swap(DebugSink());
  return taken;
}
void EchoDebugOutput(bool on) { echoDebugOutput = on; }

void SetModuleFileNameForTests(const std::string& path) {
  std::lock_guard<std::mutex> hold(moduleMutex);
  ModuleFileOverride() = path;
}

}  // namespace platform

namespace headless {

std::vector<MessageBoxShown> TakeMessageBoxes() {
  std::lock_guard<std::mutex> hold(boxesMutex);
  std::vector<MessageBoxShown> taken;
  taken.swap(Boxes());
  return taken;
}

}  // namespace headless
