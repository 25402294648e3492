/* Two functions that the static C++ runtime (libstdc++.a and libgcc_eh.a of
 * GCC 12 built on glibc 2.36) calls but glibc 2.34 lacks, defined in the
 * program itself so that it asks nothing newer than GLIBC_2.34 of the
 * system's C library:
 *   - arc4random (glibc 2.36), which std::random_device may use;
 *   - _dl_find_object (glibc 2.35), with which the exception unwinder finds
 *     the unwind tables of the code a frame belongs to. Where the C library
 *     has it, it answers; otherwise the loaded objects are walked with
 *     dl_iterate_phdr, as unwinders did before it existed.
 * Both are hidden: they stand in for the program's own calls only. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <elf.h>
#include <link.h>
#include <stdint.h>
#include <string.h>
#include <sys/random.h>

#define HIDDEN __attribute__((visibility("hidden")))

HIDDEN uint32_t arc4random(void) {
  uint32_t value = 0;
  unsigned char* bytes = (unsigned char*)&value;
  size_t filled = 0;
  while (filled < sizeof value) {
    const ssize_t got = getrandom(bytes + filled, sizeof value - filled, 0);
    if (got > 0) filled += (size_t)got;
  }
  return value;
}

struct object_search {
  uintptr_t address;
  struct dl_find_object* result;
  int found;
};

static int match_object(struct dl_phdr_info* info, size_t size, void* data) {
  struct object_search* search = data;
  const ElfW(Phdr)* eh_frame_header = NULL;
  uintptr_t start = UINTPTR_MAX;
  uintptr_t end = 0;
  int contains = 0;
  (void)size;
  for (ElfW(Half) index = 0; index < info->dlpi_phnum; ++index) {
    const ElfW(Phdr)* header = &info->dlpi_phdr[index];
    const uintptr_t segment = info->dlpi_addr + header->p_vaddr;
    if (header->p_type == PT_GNU_EH_FRAME) eh_frame_header = header;
    if (header->p_type != PT_LOAD) continue;
    if (segment < start) start = segment;
    if (segment + header->p_memsz > end) end = segment + header->p_memsz;
    if (search->address >= segment && search->address < segment + header->p_memsz) contains = 1;
  }
  if (!contains) return 0;
  memset(search->result, 0, sizeof *search->result);
  search->result->dlfo_map_start = (void*)start;
  search->result->dlfo_map_end = (void*)end;
  if (eh_frame_header != NULL)
    search->result->dlfo_eh_frame = (void*)(info->dlpi_addr + eh_frame_header->p_vaddr);
  search->found = 1;
  return 1;
}

typedef int (*find_object_function)(void*, struct dl_find_object*);

HIDDEN int _dl_find_object(void* address, struct dl_find_object* result) {
#ifndef OLDER_GLIBC_WALK_ONLY /* a test build checks the walk on any glibc */
  static find_object_function system_find_object;
  static int looked_up;
  if (!__atomic_load_n(&looked_up, __ATOMIC_ACQUIRE)) {
    __atomic_store_n(&system_find_object,
                     (find_object_function)dlvsym(RTLD_DEFAULT, "_dl_find_object", "GLIBC_2.35"),
                     __ATOMIC_RELAXED);
    __atomic_store_n(&looked_up, 1, __ATOMIC_RELEASE);
  }
  find_object_function system = __atomic_load_n(&system_find_object, __ATOMIC_RELAXED);
  if (system != NULL) return system(address, result);
#endif
  struct object_search search = {(uintptr_t)address, result, 0};
  dl_iterate_phdr(match_object, &search);
  return search.found ? 0 : -1;
}
