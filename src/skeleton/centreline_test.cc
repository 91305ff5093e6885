#include "skeleton/centreline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace dukon {
namespace {

// Resampling keeps both ends and spaces the points evenly along the line,
// whatever the spacing of the points it is given; a line without length
// has no centreline.
TEST(CentrelineTest, ResamplingSpacesPointsEvenlyByArcLength) {
  struct Case {
    const char* name;
    std::vector<cv::Point2d> line;
  };
  const Case cases[] = {
      {"two points", {{0, 0}, {96, 0}}},
      {"uneven points", {{0, 0}, {1, 0}, {1.5, 0}, {60, 0}, {96, 0}}},
      {"repeated points", {{0, 0}, {0, 0}, {48, 0}, {48, 0}, {96, 0}}},
  };
  for (const Case& c : cases) {
    const std::vector<cv::Point2d> r = resampleByArcLength(c.line, kCentrelinePoints);
    ASSERT_EQ(r.size(), static_cast<size_t>(kCentrelinePoints)) << c.name;
    for (int k = 0; k < kCentrelinePoints; ++k) {
      EXPECT_NEAR(r[k].x, 2.0 * k, 1e-9) << c.name << " point " << k;
      EXPECT_EQ(r[k].y, 0) << c.name;
    }
  }
  EXPECT_TRUE(resampleByArcLength({{3, 4}, {3, 4}}, kCentrelinePoints).empty());
  EXPECT_TRUE(resampleByArcLength({{3, 4}}, kCentrelinePoints).empty());
}

// A digital line climbing one pixel in three, as a chain draws it: its
// staircase is about 5% longer than the line; the centreline follows the
// line itself from end to end.
TEST(CentrelineTest, ChainCentrelineSmoothsTheStaircase) {
  std::vector<cv::Point> chain;
  for (int x = 0; x <= 150; ++x) chain.emplace_back(x, (x + 1) / 3);
  const Centreline c = chainCentreline(chain);
  ASSERT_EQ(c.size(), static_cast<size_t>(kCentrelinePoints));
  EXPECT_EQ(c.front(), cv::Point2d(0, 0));
  EXPECT_EQ(c.back(), cv::Point2d(150, 50));
  const double trueLength = std::hypot(150, 50);
  EXPECT_NEAR(polylineLength(c), trueLength, 0.01 * trueLength);
  for (const cv::Point2d& p : c) EXPECT_LT(std::fabs(p.y - p.x / 3), 0.5) << p;
}

}  // namespace
}  // namespace dukon
