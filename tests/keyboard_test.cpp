// GetKeyState over the key state a back end records while it delivers keys.
#include <gtest/gtest.h>

#include "platform/backend.h"
#include "platform/win32.h"

namespace {

bool Down(int key) { return (static_cast<unsigned>(GetKeyState(key)) & 0x8000u) != 0; }

class KeyStateTest : public ::testing::TestWithParam<UINT> {
 protected:
  void TearDown() override { platform::ReleaseAllKeys(); }
};

TEST_P(KeyStateTest, HighBitFollowsTheKey) {
  const UINT key = GetParam();
  EXPECT_FALSE(Down(static_cast<int>(key)));
  platform::SetKeyDown(key, true);
  EXPECT_TRUE(Down(static_cast<int>(key)));
  EXPECT_LT(GetKeyState(static_cast<int>(key)), 0);  // a SHORT, negative while down
  EXPECT_FALSE(Down(key == VK_CONTROL ? VK_SHIFT : VK_CONTROL));
  platform::SetKeyDown(key, false);
  EXPECT_EQ(GetKeyState(static_cast<int>(key)), 0);
  platform::SetKeyDown(key, true);
  platform::ReleaseAllKeys();
  EXPECT_FALSE(Down(static_cast<int>(key)));
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyStateTest,
                         ::testing::Values(VK_CONTROL, VK_SHIFT, static_cast<UINT>('C'), VK_F1,
                                           static_cast<UINT>(255)));

TEST(KeyState, CodesOutsideTheTableAreNeverDown) {
  platform::SetKeyDown(256, true);
  platform::SetKeyDown(100000, true);
  for (int key : {-1, 256, 100000}) EXPECT_EQ(GetKeyState(key), 0) << key;
  EXPECT_EQ(GetKeyState(0), 0);
}

}  // namespace
