// Replacing the program's own imports: the tests' hooks over the system's
// services. The programs are linked statically, so every call the library and
// the tests make to a DLL's function goes through the one import table.
#pragma once

namespace testing_support {
namespace win32 {

// Points the program's import of dll!function at hook. False when the
// program does not import it (then nothing calls it through the table).
bool PatchImport(const char* dll, const char* function, void* hook);

// A DLL's function by name, as the type it has.
void (*DllFunction(const char* dll, const char* name))();
template <typename Function>
Function RealFunction(const char* dll, const char* name) {
  // Through void (*)(): FARPROC is a function of another type.
  return reinterpret_cast<Function>(DllFunction(dll, name));
}

}  // namespace win32
}  // namespace testing_support
