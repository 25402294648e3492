// The tests' hooks over the system's own services: before main, the entries
// of the program's import address table for GlobalAlloc, GlobalFree,
// OutputDebugStringA, GetModuleFileNameA and MessageBoxA are pointed at the
// functions below, which count, fail on demand or record, and call the real
// ones. The program is linked statically, so every call the library and the
// tests make to those functions goes through that one table.
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

namespace {

// --- The real functions ---------------------------------------------------------

using GlobalAllocFunction = HGLOBAL(WINAPI*)(UINT, SIZE_T);
using GlobalFreeFunction = HGLOBAL(WINAPI*)(HGLOBAL);
using OutputDebugStringFunction = void(WINAPI*)(LPCSTR);
using GetModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, LPSTR, DWORD);
using MessageBoxFunction = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

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

// --- The import address table ------------------------------------------------------------

struct Replacement {
  const char* dll;
  const char* function;
  void* hook;
};

// Points the program's import of dll!function at the hook. False when the
// program does not import it (then nothing calls it through the table).
bool PatchImport(const Replacement& replacement) {
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return false;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), replacement.dll) != 0) continue;
    if (import->OriginalFirstThunk == 0) continue;  // no names to match against
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), replacement.function) != 0) continue;
      DWORD oldProtection;
      if (!VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE,
                          &oldProtection)) {
        return false;
      }
      addresses->u1.Function = reinterpret_cast<ULONG_PTR>(replacement.hook);
      VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, oldProtection, &oldProtection);
      return true;
    }
  }
  return false;
}

// A function of kernel32 by name, as the type it has.
template <typename Function>
Function KernelFunction(const char* name) {
  // Through void (*)(): FARPROC is a function of another type.
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

struct InstallHooks {
  InstallHooks() {
    // The real functions, which the hooks call.
    realGlobalAlloc = KernelFunction<GlobalAllocFunction>("GlobalAlloc");
    realGlobalFree = KernelFunction<GlobalFreeFunction>("GlobalFree");
    realGetModuleFileName = KernelFunction<GetModuleFileNameFunction>("GetModuleFileNameA");
    const Replacement replacements[] = {
        {"kernel32.dll", "GlobalAlloc", reinterpret_cast<void*>(&CountedGlobalAlloc)},
        {"kernel32.dll", "GlobalFree", reinterpret_cast<void*>(&CountedGlobalFree)},
        {"kernel32.dll", "OutputDebugStringA", reinterpret_cast<void*>(&RecordedOutputDebugString)},
        {"kernel32.dll", "GetModuleFileNameA", reinterpret_cast<void*>(&OverriddenGetModuleFileName)},
        {"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&RecordedMessageBox)},
    };
    for (const Replacement& replacement : replacements) PatchImport(replacement);
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
