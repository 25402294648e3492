// The program's own resources: FindResourceA, LoadResource, SizeofResource,
// LockResource, LoadStringA and LoadIconA over the table that the resource
// compiler builds into the program (resources/CMakeLists.txt).
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/backend.h"
#include "platform/winapi/gdi_internal.h"
#include "platform/winapi/resources_internal.h"
#include "platform/winapi/win_kernel.h"
#include "platform/winapi/win_user.h"

namespace {

// One resource as handed out: HRSRC and the HGLOBAL of LoadResource both
// point at it. It lives for the rest of the run, as a module's resources do.
struct LoadedResource {
  const uint8_t* data;
  DWORD size;
  std::vector<uint8_t> ownBytes;  // for test overrides
};

// Types by name in upper case; numbered types as "#<n>".
typedef std::pair<std::string, WORD> ResourceKey;

struct ResourceStore {
  std::map<ResourceKey, const platform::ResourceEntry*> table;
  std::map<ResourceKey, std::unique_ptr<LoadedResource>> handed;  // stable handles
  std::map<ResourceKey, std::unique_ptr<LoadedResource>> overrides;
  std::map<WORD, HICON> icons;
};

ResourceStore& Store() {
  static auto* store = new ResourceStore();
  return *store;
}

std::string TypeKey(const char* typeName, WORD typeId) {
  if (typeName == nullptr) return "#" + std::to_string(typeId);
  std::string key = typeName;
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

// A resource name or type: MAKEINTRESOURCEA(n), "#n" or a name.
bool ParseId(LPCSTR name, WORD* id) {
  if (IS_INTRESOURCE(name)) {
    *id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    return true;
  }
  if (name[0] == '#') {
    *id = static_cast<WORD>(std::strtoul(name + 1, nullptr, 10));
    return true;
  }
  return false;
}

std::string TypeKeyOf(LPCSTR type) {
  WORD typeId = 0;
  if (ParseId(type, &typeId)) return TypeKey(nullptr, typeId);
  return TypeKey(type, 0);
}

const LoadedResource* Find(const std::string& typeKey, WORD id) {
  ResourceStore& s = Store();
  ResourceKey key(typeKey, id);
  auto over = s.overrides.find(key);
  if (over != s.overrides.end()) return over->second.get();  // nullptr: made missing
  auto entry = s.table.find(key);
  if (entry == s.table.end()) return nullptr;
  auto& handle = s.handed[key];
  if (!handle) handle.reset(new LoadedResource{entry->second->data, entry->second->size, {}});
  return handle.get();
}

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The 32-bit image nearest 32 x 32 in an .ico file, as top-down BGRA pixels.
// Images stored as PNG or at other depths are skipped; every offset and size
// is checked against the file.
HICON IconFromIcoFile(const uint8_t* file, DWORD size) {
  if (size < 6 || Read16(file) != 0 || Read16(file + 2) != 1) return nullptr;
  uint16_t count = Read16(file + 4);
  if (6u + 16u * count > size) return nullptr;
  const uint8_t* best = nullptr;
  int bestWidth = 0, bestHeight = 0, bestDistance = 1 << 30;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = file + 6 + 16 * i;
    uint32_t bytes = Read32(entry + 8);
    uint32_t offset = Read32(entry + 12);
    if (offset > size || bytes > size - offset || bytes < 40) continue;
    const uint8_t* image = file + offset;
    int32_t width = static_cast<int32_t>(Read32(image + 4));
    int32_t doubleHeight = static_cast<int32_t>(Read32(image + 8));
    if (Read32(image) != 40 || Read16(image + 14) != 32 || width <= 0 || width > 256 ||
        doubleHeight <= 0 || doubleHeight > 512) {
      continue;
    }
    int32_t height = doubleHeight / 2;
    uint64_t pixelBytes = static_cast<uint64_t>(width) * height * 4;
    if (40 + pixelBytes > bytes) continue;
    int distance = std::abs(width - 32) + std::abs(height - 32);
    if (distance < bestDistance) {
      best = image;
      bestWidth = width;
      bestHeight = height;
      bestDistance = distance;
    }
  }
  if (best == nullptr) return nullptr;
  // Rows are stored bottom-up after the header.
  std::vector<uint8_t> topDown(static_cast<size_t>(bestWidth) * bestHeight * 4);
  size_t rowBytes = static_cast<size_t>(bestWidth) * 4;
  for (int y = 0; y < bestHeight; ++y) {
    std::memcpy(&topDown[static_cast<size_t>(y) * rowBytes],
                best + 40 + static_cast<size_t>(bestHeight - 1 - y) * rowBytes, rowBytes);
  }
  return platform::CreateIconFromPixels(bestWidth, bestHeight, topDown.data());
}

// The icon of a module without one: a plain 32 x 32 square.
HICON DefaultIcon() {
  static HICON icon = [] {
    std::vector<uint8_t> pixels(32 * 32 * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
      pixels[i] = 160;
      pixels[i + 1] = 120;
      pixels[i + 2] = 40;
      pixels[i + 3] = 255;
    }
    return platform::CreateIconFromPixels(32, 32, pixels.data());
  }();
  return icon;
}

}  // namespace

namespace platform {

void RegisterProgramResources(const ResourceEntry* entries, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    Store().table[ResourceKey(TypeKey(entries[i].typeName, entries[i].typeId), entries[i].id)] =
        &entries[i];
  }
}

// Handles given out stay valid: replaced overrides are set aside, not freed.
static void Retire(std::unique_ptr<LoadedResource>& resource) {
  static auto* retired = new std::vector<std::unique_ptr<LoadedResource>>();
  if (resource) retired->push_back(std::move(resource));
}

void OverrideResourceForTests(const char* typeName, WORD id, const std::vector<uint8_t>* bytes) {
  ResourceKey key(TypeKeyOf(typeName), id);
  Retire(Store().overrides[key]);
  if (bytes == nullptr) return;  // an empty override: the resource is missing
  auto loaded = std::make_unique<LoadedResource>();
  loaded->ownBytes = *bytes;
  loaded->data = loaded->ownBytes.data();
  loaded->size = static_cast<DWORD>(loaded->ownBytes.size());
  Store().overrides[key] = std::move(loaded);
}

void ClearResourceOverridesForTests() {
  for (auto& entry : Store().overrides) Retire(entry.second);
  Store().overrides.clear();
}

}  // namespace platform

HRSRC FindResourceA(HMODULE, LPCSTR name, LPCSTR type) {
  WORD id = 0;
  if (name == nullptr || type == nullptr || !ParseId(name, &id)) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  std::string typeKey = TypeKeyOf(type);
  platform::TheUserBackend().LogCall("FindResourceA " + typeKey + " " + std::to_string(id));
  const LoadedResource* found = Find(typeKey, id);
  if (found == nullptr) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HRSRC>(const_cast<LoadedResource*>(found));
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  // The handle of a loaded resource is the resource itself; it is never freed.
  return reinterpret_cast<HGLOBAL>(resource);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (resource == nullptr) return 0;
  return reinterpret_cast<const LoadedResource*>(resource)->size;
}

LPVOID LockResource(HGLOBAL resourceData) {
  if (resourceData == nullptr) return nullptr;
  return const_cast<uint8_t*>(reinterpret_cast<const LoadedResource*>(resourceData)->data);
}

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) return 0;
  const LoadedResource* found = Find(TypeKey(nullptr, 6), static_cast<WORD>(id));
  if (found == nullptr) {
    buffer[0] = '\0';
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return 0;
  }
  size_t n = std::min(static_cast<size_t>(found->size), static_cast<size_t>(bufferSize) - 1);
  std::memcpy(buffer, found->data, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  WORD id = 0;
  if (name == nullptr || !ParseId(name, &id)) return nullptr;
  if (instance == nullptr) return id == 32512 ? DefaultIcon() : nullptr;  // IDI_APPLICATION
  platform::TheUserBackend().LogCall("LoadIconA " + std::to_string(id));
  ResourceStore& s = Store();
  auto cached = s.icons.find(id);
  if (cached != s.icons.end()) return cached->second;
  const LoadedResource* found = Find(TypeKey(nullptr, 14), id);
  if (found == nullptr) {
    SetLastError(ERROR_RESOURCE_NOT_FOUND);
    return nullptr;
  }
  HICON icon = IconFromIcoFile(found->data, found->size);
  // Shared icons live for the whole run, as LoadIcon's do on Windows.
  if (icon != nullptr) s.icons[id] = icon;
  return icon;
}
