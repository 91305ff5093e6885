#include "base/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace dukon {
namespace {

TEST(DirectionAngleTest, QuadrantsUseTheSevenDigitPi) {
  const double a = std::atan(0.5) * 180.0 / 3.1415926;
  EXPECT_DOUBLE_EQ(directionAngle(2, 1), a);
  EXPECT_DOUBLE_EQ(directionAngle(-2, 1), 180 - a);
  EXPECT_DOUBLE_EQ(directionAngle(-2, -1), 180 + a);
  EXPECT_DOUBLE_EQ(directionAngle(2, -1), 360 - a);
  // The short pi makes 45 degrees come out slightly above 45.
  EXPECT_NEAR(directionAngle(1, 1), 45.00000077, 1e-8);
}

TEST(DirectionAngleTest, DeadZonesOnBothAxes) {
  EXPECT_EQ(directionAngle(0, 0), 0.0);
  EXPECT_EQ(directionAngle(0, 5), 90.0);
  EXPECT_EQ(directionAngle(0, -5), 270.0);
  EXPECT_EQ(directionAngle(0.001, 5), 90.0);  // |dx| <= 0.001 is zero
  EXPECT_EQ(directionAngle(-0.001, -5), 270.0);
  EXPECT_NE(directionAngle(0.0011, 5), 90.0);  // just outside the zone
  EXPECT_EQ(directionAngle(0.0005, 0.0009), 0.0);
  EXPECT_EQ(directionAngle(0, 0.0009), 0.0);  // both in their zones
  EXPECT_EQ(directionAngle(5, 0), 0.0);
  EXPECT_EQ(directionAngle(-5, 0), 180.0);
  EXPECT_EQ(directionAngle(5, -0.0009), 0.0);  // |dy| < 0.001 is zero
  EXPECT_EQ(directionAngle(-5, 0.0009), 180.0);
  EXPECT_NE(directionAngle(-5, 0.001), 180.0);  // the y zone is strict
}

TEST(DirectionAngleTest, AlwaysInRange) {
  for (double dx : {-1e9, -3.0, -0.5, 0.0, 0.5, 3.0, 1e9}) {
    for (double dy : {-1e9, -1e-3, -0.5, 0.0, 0.5, 1e-3, 1e9}) {
      const double a = directionAngle(dx, dy);
      EXPECT_GE(a, 0.0) << dx << "," << dy;
      EXPECT_LT(a, 360.0) << dx << "," << dy;
    }
  }
  // A vanishing angle below +x must not round up to 360.
  EXPECT_LT(directionAngle(1e300, -0.002), 360.0);
}

}  // namespace
}  // namespace dukon
