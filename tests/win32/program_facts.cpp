// What a Windows program carries, read as Windows reads it, and the code page
// this program itself runs in:
//
//   program_facts [EXE...]
//
// prints "code page N" (GetACP), then for each EXE its version strings
// ("EXE ProductName: Tessary") and the text of its manifest's
// activeCodePage element ("EXE activeCodePage: UTF-8", empty for none).
// Built twice: with the tool's manifest and without, so that a run under
// Wine shows whether the manifest's code page takes effect.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// The version block's strings are kept under U.S. English in Unicode.
constexpr char kStringTable[] = "\\StringFileInfo\\040904B0\\";
const char* const kVersionStrings[] = {"ProductName", "FileDescription", "FileVersion",
                                       "ProductVersion"};

void PrintVersionStrings(const char* exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(exe, &ignored);
  std::vector<char> block(size);
  if (size == 0 || !GetFileVersionInfoA(exe, 0, size, block.data())) {
    std::printf("%s: no version information\n", exe);
    return;
  }
  for (const char* name : kVersionStrings) {
    const std::string key = std::string(kStringTable) + name;
    char* value = nullptr;
    UINT length = 0;
    const bool found = VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value),
                                      &length) != FALSE;
    std::printf("%s %s: %s\n", exe, name, found && value != nullptr ? value : "");
  }
}

// The text inside <activeCodePage ...>...</activeCodePage>, or "".
std::string ActiveCodePage(const std::string& manifest) {
  const size_t element = manifest.find("<activeCodePage");
  if (element == std::string::npos) return "";
  const size_t start = manifest.find('>', element);
  const size_t end = manifest.find('<', start);
  if (start == std::string::npos || end == std::string::npos) return "";
  return manifest.substr(start + 1, end - start - 1);
}

void PrintManifestCodePage(const char* exe) {
  HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  std::string manifest;
  if (module != nullptr) {
    HRSRC found = FindResourceA(module, CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char* text = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (text != nullptr) manifest.assign(text, SizeofResource(module, found));
    FreeLibrary(module);
  }
  std::printf("%s activeCodePage: %s\n", exe, ActiveCodePage(manifest).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("code page %u\n", GetACP());
  for (int i = 1; i < argc; ++i) {
    PrintVersionStrings(argv[i]);
    PrintManifestCodePage(argv[i]);
  }
  return 0;
}
