#include "imaging/core/owners.h"

#include <atomic>

namespace pelorn {

namespace {
std::atomic<long long> plainAllocations{0};
std::atomic<long long> failingPlainAllocation{0};
}  // namespace

void* PlainAllocate(size_t bytes, bool zeroed) {
  const long long ordinal = ++plainAllocations;
  const long long failing = failingPlainAllocation.load();
  if (failing != 0 && ordinal == failing) {
    failingPlainAllocation = 0;
    return nullptr;
  }
  return zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
}

void FailNthPlainAllocation(long long n) {
  failingPlainAllocation = n <= 0 ? 0 : plainAllocations.load() + n;
}

}  // namespace pelorn
