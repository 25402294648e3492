// The program's resource table: what the resource compiler (resources/)
// generates and FindResourceA, LoadStringA and LoadIconA read. Not part of the
// Windows API; on Windows the same resources come from resources/tessary.rc.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/winapi/win_types.h"

namespace platform {

struct ResourceEntry {
  const char* typeName;  // "BIN", or nullptr for a numbered type
  WORD typeId;           // 6 = RT_STRING, 14 = RT_GROUP_ICON (an .ico file) when typeName is null
  WORD id;
  const uint8_t* data;   // a string's bytes are its text, without terminator
  DWORD size;
};

// Called once by the generated table at start-up; later calls add entries.
void RegisterProgramResources(const ResourceEntry* entries, size_t count);

// Tests: replace one resource's bytes, or (bytes == nullptr) make it missing.
void OverrideResourceForTests(const char* typeName, WORD id, const std::vector<uint8_t>* bytes);
void ClearResourceOverridesForTests();

}  // namespace platform
