#include "skeleton/posture_fit.h"

#include <gtest/gtest.h>

#include "support/worm_bodies.h"

namespace dukon {
namespace {

using namespace testing_support;

// A start a few pixels and a tenth of a radian off, with its bends
// smoothed away.
Posture offStart(const Posture& p) {
  Posture s = postureOf(centrelineOf(p, 200));
  s.centre += cv::Point2d(3, -2);
  double mean = 0;
  for (double a : s.angle) mean += a / kPostureKnots;
  for (double& a : s.angle) a = 0.7 * a + 0.3 * mean + 0.1;
  return s;
}

// From such a start the fit finds the body that drew the mask: a crawling
// worm, and a coil lying on itself, where the motion term (pulling towards
// the true centreline along the body) settles how far round the ring the
// body lies.
TEST(PostureFitTest, FindsTheBodyThatDrewTheMask) {
  const BodyModel model = testModel();
  struct Case {
    const char* name;
    Posture truth;
    bool motion;
  };
  const Case cases[] = {{"sine", sinePosture({160, 160}), false},
                        {"coil", coilPosture({160, 160}), true}};
  for (const Case& c : cases) {
    const Centreline truth = centrelineOf(c.truth, model.length);
    const FitTarget target = bodyTarget(model, truth, {320, 320});
    const Posture start = offStart(c.truth);
    const FitSettings settings;
    const Centreline expected = c.motion ? truth : Centreline();
    const double before = postureCost(model, target, start, model.length, settings);
    const FitResult r = fitPosture(model, target, start, settings, 60, expected);
    const Centreline fitted = centrelineOf(r.posture, model.length);
    EXPECT_LT(r.cost, 0.1 * before) << c.name;
    EXPECT_LT(meanPointDistance(fitted, truth), 1.0) << c.name;
    EXPECT_LT(bodyMismatch(model, fitted, target), 0.05) << c.name;
  }
}

// With the length free the fit finds the length of the body too.
TEST(PostureFitTest, FreeLengthFindsTheBodysLength) {
  const BodyModel model = testModel(200);
  const Posture truth = sinePosture({160, 160});
  const FitTarget target = bodyTarget(model, centrelineOf(truth, 200), {320, 320});
  BodyModel guess = model;
  guess.length = 180;
  FitSettings settings;
  settings.freeLength = true;
  const FitResult r = fitPosture(guess, target, postureOf(centrelineOf(truth, 180)), settings, 60);
  EXPECT_NEAR(r.length, 200, 3);
}

}  // namespace
}  // namespace dukon
