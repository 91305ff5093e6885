#include "segment/egg.h"

#include <gtest/gtest.h>

namespace dukon {
namespace {

TEST(EggTest, OverlapIsStrictInWorldPixels) {
  // World centres (10+3, 0+4) and (0+13, 0+4+7): 7 apart; sizes 2 + 3 + 2.
  const Egg a(10, 0, 5, 2.0, 3, 4, 100.0f);
  const Egg touching(0, 0, 6, 3.0, 13, 11, 120.0f);
  EXPECT_FALSE(a.overlaps(touching));
  EXPECT_FALSE(touching.overlaps(a));
  const Egg closer(0, 0, 6, 3.001, 13, 11, 120.0f);
  EXPECT_TRUE(a.overlaps(closer));
  EXPECT_TRUE(closer.overlaps(a));
}

TEST(EggTest, LocationIsSetOnlyOnce) {
  Egg e(-1, -1, -1, 1.5, 7, 8, -1.0f);
  e.setLocationOnce(100, 200, 30);
  EXPECT_EQ(e.xLoc(), 100);
  EXPECT_EQ(e.yLoc(), 200);
  EXPECT_EQ(e.frame(), 30);
  e.setLocationOnce(5, 6, 7);
  EXPECT_EQ(e.xLoc(), 100);
  EXPECT_EQ(e.yLoc(), 200);
  EXPECT_EQ(e.frame(), 30);
  EXPECT_EQ(e.xpos(), 7);
  EXPECT_EQ(e.ypos(), 8);
  EXPECT_DOUBLE_EQ(e.size(), 1.5);
  EXPECT_FLOAT_EQ(e.ts(), -1.0f);
}

TEST(EggTest, VerificationKeepsFirstFrameAndZeroCounts) {
  Egg e(0, 0, 0, 1.0, 0, 0, 0.0f);
  EXPECT_FALSE(e.isVerified());
  EXPECT_EQ(e.verified(), 4294967295u);
  e.setVerifiedOnce(0);
  EXPECT_TRUE(e.isVerified());
  e.setVerifiedOnce(12);
  EXPECT_EQ(e.verified(), 0u);
}

}  // namespace
}  // namespace dukon
