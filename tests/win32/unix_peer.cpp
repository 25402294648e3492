// Unix commands from a Windows program under Wine. Wine starts a Unix program
// named to CreateProcess, but gives it neither the pipe handles nor a process
// to wait for (it is detached), so the command runs in a small shell script
// that sends its output to a file and writes its exit status last, which the
// caller waits for.
#include "tests/win32/unix_peer.h"

#include <windows.h>

#include <fstream>
#include <vector>
#include <string>

#include "tests/support/test_support.h"

namespace testing_support {
namespace win32 {

namespace {

// Wine's own export: the Unix path of a Windows path, in a block of the
// process heap. Absent on Windows itself.
using UnixFileNameFunction = char*(CDECL*)(const wchar_t*);

FARPROC WineUnixFileName() {
  return GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
}

std::string UnixPathOf(const std::wstring& windowsPath) {
  // Through void (*)(): FARPROC is a function of another type.
  auto convert = reinterpret_cast<UnixFileNameFunction>(
      reinterpret_cast<void (*)()>(WineUnixFileName()));
  if (convert == nullptr) return "";
  char* unixPath = convert(windowsPath.c_str());
  if (unixPath == nullptr) return "";
  std::string path = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return path;
}

std::string TempBase() {
  wchar_t windowsPath[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, windowsPath);
  if (length == 0 || length > MAX_PATH) return "";
  const std::string unixPath = UnixPathOf(windowsPath);
  if (!unixPath.empty()) return unixPath;
  // Windows itself: a Windows path, and no Unix programs to share it with.
  char ansiPath[MAX_PATH + 1];
  return GetTempPathA(MAX_PATH + 1, ansiPath) != 0 ? std::string(ansiPath) : std::string();
}

bool UnderWine() { return WineUnixFileName() != nullptr; }

}  // namespace

std::string MakeTempRoot() {
  std::string base = TempBase();
  if (base.empty()) return "";
  if (base.back() != '/' && base.back() != '\\') base += '/';
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string path = base + "tessary-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(attempt);
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return "";
  }
  return "";
}

}  // namespace win32

int RunCommand(const std::string& command, std::string* output) {
  if (!win32::UnderWine()) return -1;  // no Unix shell to run it
  const std::string folder = TempDir();
  if (folder.empty()) return -1;
  const std::string script = folder + "/command.sh";
  const std::string outputFile = folder + "/output";
  const std::string statusFile = folder + "/status";
  {
    // Binary: the shell wants LF line ends.
    std::ofstream out(script, std::ios::binary);
    out << "exec </dev/null\n"
        << "(\n" << command << "\n) >'" << outputFile << "'\n"
        << "echo $? >'" << statusFile << ".part'\n"
        << "mv '" << statusFile << ".part' '" << statusFile << "'\n";
    if (!out) return -1;
  }
  std::string commandLine = "/bin/sh \"" + script + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA("/bin/sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // The status file appears, whole, when the command has finished.
  constexpr DWORD kPatienceMilliseconds = 15 * 60 * 1000;
  const DWORD start = GetTickCount();
  while (GetFileAttributesA(statusFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > kPatienceMilliseconds) return -1;
    Sleep(2);
  }
  int status = -1;
  std::ifstream(statusFile) >> status;
  if (output != nullptr) {
    const std::vector<uint8_t> bytes = ReadWholeFile(outputFile);
    output->assign(bytes.begin(), bytes.end());
  }
  return status;
}

}  // namespace testing_support
