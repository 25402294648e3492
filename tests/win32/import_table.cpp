#include "tests/win32/import_table.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

namespace testing_support {
namespace win32 {

bool PatchImport(const char* dll, const char* function, void* hook) {
  auto* base = reinterpret_cast<uint8_t*>(GetModuleHandleA(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return false;
  for (auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), dll) != 0) continue;
    if (import->OriginalFirstThunk == 0) continue;  // no names to match against
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
      DWORD oldProtection;
      if (!VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, PAGE_READWRITE,
                          &oldProtection)) {
        return false;
      }
      addresses->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
      VirtualProtect(&addresses->u1.Function, sizeof addresses->u1.Function, oldProtection, &oldProtection);
      return true;
    }
  }
  return false;
}

void (*DllFunction(const char* dll, const char* name))() {
  HMODULE module = GetModuleHandleA(dll);
  if (module == nullptr) module = LoadLibraryA(dll);
  return reinterpret_cast<void (*)()>(GetProcAddress(module, name));
}

}  // namespace win32
}  // namespace testing_support
