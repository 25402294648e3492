// The program's stand-ins for glibc 2.35 and 2.36 functions, built with the
// static C++ runtime as the shipped programs are, and with the object walk
// that answers on glibc 2.34 (whatever this system's C library has).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstdint>
#include <random>
#include <set>
#include <stdexcept>
#include <string>

extern "C" uint32_t arc4random(void);

namespace {

[[gnu::noinline]] int ThrowFrom(int depth) {
  if (depth == 0) throw std::runtime_error("deep");
  return ThrowFrom(depth - 1) + 1;
}

TEST(OlderGlibc, ExceptionsUnwindThroughTheObjectWalk) {
  for (int depth : {0, 1, 20}) {
    try {
      ThrowFrom(depth);
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "deep");
    }
  }
  // Through a comparison function called back from the C library.
  int values[] = {3, 1, 2};
  EXPECT_THROW(qsort(values, 3, sizeof(int),
                     [](const void*, const void*) -> int { throw std::logic_error("in qsort"); }),
               std::logic_error);
}

TEST(OlderGlibc, TheObjectWalkFindsTheCodesObject) {
  dl_find_object found = {};
  void* inLibc = reinterpret_cast<void*>(&qsort);
  ASSERT_EQ(_dl_find_object(inLibc, &found), 0);
  EXPECT_LE(found.dlfo_map_start, inLibc);
  EXPECT_GT(found.dlfo_map_end, inLibc);
  EXPECT_NE(found.dlfo_eh_frame, nullptr);
  Dl_info info = {};
  ASSERT_NE(dladdr(inLibc, &info), 0);
  EXPECT_EQ(found.dlfo_map_start, info.dli_fbase);
  // Not code of any object.
  int onTheStack = 0;
  EXPECT_EQ(_dl_find_object(&onTheStack, &found), -1);
}

TEST(OlderGlibc, RandomNumbersVary) {
  std::set<uint32_t> seen;
  for (int i = 0; i < 64; ++i) seen.insert(arc4random());
  EXPECT_GT(seen.size(), 60u);
  std::random_device device;
  std::set<unsigned> fromDevice;
  for (int i = 0; i < 64; ++i) fromDevice.insert(device());
  EXPECT_GT(fromDevice.size(), 60u);
}

}  // namespace
