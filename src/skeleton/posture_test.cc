#include "skeleton/posture.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/worm_bodies.h"

namespace dukon {
namespace {

using testing_support::coilPosture;
using testing_support::sinePosture;

// The fit steps along these derivatives: each must match the centreline's
// change when its parameter changes a little.
TEST(PostureTest, DerivativesMatchTheCentrelinesChange) {
  const Posture p = sinePosture({100, 80});
  std::vector<PointGradient> dx, dy;
  const Centreline line = centrelineOf(p, 200, &dx, &dy);
  const double h = 1e-6;
  for (int i = 0; i < kPostureParams; ++i) {
    auto q = p.params();
    q[i] += h;
    const Centreline moved = centrelineOf(Posture::fromParams(q), 200);
    for (int k = 0; k < kCentrelinePoints; ++k) {
      EXPECT_NEAR((moved[k].x - line[k].x) / h, dx[k][i], 1e-4) << "param " << i << " point " << k;
      EXPECT_NEAR((moved[k].y - line[k].y) / h, dy[k][i], 1e-4) << "param " << i << " point " << k;
    }
  }
}

// A centreline made from a posture gives that posture back, and with it
// the same centreline; the pieces are length / 48 long, the middle point is
// the centre.
TEST(PostureTest, PostureOfAPosturesCentrelineIsThatPosture) {
  for (const Posture& p : {sinePosture({100, 80}), coilPosture({-20, 300})}) {
    const Centreline line = centrelineOf(p, 200);
    EXPECT_EQ(line[kCentrelinePoints / 2], p.centre);
    EXPECT_NEAR(polylineLength(line), 200, 1e-9);
    const Posture back = postureOf(line);
    EXPECT_LT(meanPointDistance(centrelineOf(back, 200), line), 1e-6);
    for (int i = 0; i < kPostureKnots; ++i) EXPECT_NEAR(back.angle[i], p.angle[i], 1e-6) << i;
  }
}

// Sliding along the body moves a straight worm along its own axis, head
// first for a positive slide, and keeps a coil on its ring.
TEST(PostureTest, SlidingAlongTheBodyFollowsTheBody) {
  const Posture straight = testing_support::postureFrom([](double) { return 0.0; }, {0, 0});
  const Centreline moved = centrelineOf(slidAlongBody(straight, 5, 200), 200);
  const Centreline line = centrelineOf(straight, 200);
  for (int k = 0; k < kCentrelinePoints; ++k) EXPECT_NEAR(moved[k].x, line[k].x - 5, 1e-9) << k;

  const Posture coil = coilPosture({0, 0});
  const Centreline ring = centrelineOf(coil, 200);
  const double radius = 0.8 * 200 / (2 * CV_PI);
  // The ring's centre: a quarter turn to the left of the middle point.
  const double a = coil.angle[kPostureKnots / 2];
  const cv::Point2d centre =
      ring[kCentrelinePoints / 2] + radius * cv::Point2d(-std::sin(a), std::cos(a));
  const Centreline slid = centrelineOf(slidAlongBody(coil, 7, 200), 200);
  for (int k = 5; k < kCentrelinePoints - 5; ++k)  // the ends go straight on
    EXPECT_NEAR(cv::norm(slid[k] - centre), radius, 0.2) << k;
  EXPECT_GT(meanPointDistance(slid, ring), 6);
}

}  // namespace
}  // namespace dukon
