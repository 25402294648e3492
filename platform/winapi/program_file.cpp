// The running program's file. See program_file.h.
#include "platform/winapi/program_file.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

namespace platform {
namespace {

std::string ResolvedPath(const char* path) {
  char resolved[PATH_MAX];
  return path != nullptr && path[0] != '\0' && realpath(path, resolved) != nullptr ? resolved : "";
}

std::string ProcessImagePath() {
  std::vector<char> link(4096);
  const ssize_t length = readlink("/proc/self/exe", link.data(), link.size() - 1);
  return length > 0 ? std::string(link.data(), static_cast<size_t>(length)) : std::string();
}

// The loader's file names begin "ld-" (ld-linux-x86-64.so.2, ld-linux.so.2)
// or "ld." (ld.so), whatever folder holds them.
bool IsDynamicLoader(const std::string& path) {
  const std::string name = path.substr(path.rfind('/') + 1);
  return name.rfind("ld-", 0) == 0 || name.rfind("ld.", 0) == 0;
}

}  // namespace

std::string RunningProgramPath() {
  const std::string image = ProcessImagePath();
  if (!IsDynamicLoader(image)) return image;
  // The loader names the program it was asked to run after this code's object.
  Dl_info info = {};
  if (dladdr(reinterpret_cast<void*>(&RunningProgramPath), &info) == 0) return image;
  const std::string program = ResolvedPath(info.dli_fname);
  return program.empty() ? image : program;
}

}  // namespace platform
