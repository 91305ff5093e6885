#include "skeleton/body_model.h"

#include <gtest/gtest.h>

#include "support/worm_bodies.h"

namespace dukon {
namespace {

using namespace testing_support;

// The mismatch of a body with the mask it drew is nil, also for a coil that
// lies on itself (its pixels count once); a body beside its worm, or drawn
// where there is none, mismatches.
TEST(BodyModelTest, MismatchCountsEachPixelOnce) {
  const BodyModel model = testModel();
  const cv::Size size(320, 320);
  for (const Posture& p : {sinePosture({160, 160}), coilPosture({160, 160})}) {
    const Centreline line = centrelineOf(p, model.length);
    const FitTarget target = bodyTarget(model, line, size);
    EXPECT_EQ(bodyMismatch(model, line, target), 0);
    EXPECT_GT(bodyMismatch(model, shifted(line, {0, 6}), target), 0.3);
  }
  const Centreline line = centrelineOf(sinePosture({160, 160}), model.length);
  EXPECT_EQ(bodyMismatch(model, line, FitTarget()), std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace dukon
