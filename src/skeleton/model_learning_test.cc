#include "skeleton/model_learning.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/worm_bodies.h"

namespace dukon {
namespace {

using namespace testing_support;

// Bodies of a known model in several postures, each with a chain that
// zigzags about the centreline a pixel either way and runs two pixels out
// at each end, as skeleton chains do: the model comes back, length and
// widths, from the masks.
TEST(ModelLearningTest, LearnsLengthAndWidthsFromTheMasks) {
  const BodyModel truth = testModel(200, 8);
  const cv::Size size(320, 320);
  std::vector<Centreline> lines, chains;
  for (int i = 0; i < 6; ++i) {
    const Posture p = postureFrom(
        [i](double u) { return 0.4 * i + 0.7 * std::sin(2 * CV_PI * (1.2 * u + 0.1 * i)); },
        {160, 160});
    lines.push_back(centrelineOf(p, truth.length));
    Centreline chain = centrelineOf(p, truth.length + 4);
    for (int k = 1; k + 1 < kCentrelinePoints; ++k)
      chain[k] += cv::Point2d(k % 2 ? 1 : -1, k % 2 ? -1 : 1) * (1 / std::sqrt(2.0));
    chains.push_back(chain);
  }
  FitSettings fit;
  const LearntModel learnt = learnBodyModel(
      chains, [&](size_t k, FitTarget& t) { t = bodyTarget(truth, lines[k], size); }, fit);
  ASSERT_TRUE(learnt.ok);
  EXPECT_NEAR(learnt.model.length, truth.length, 2);
  for (int k = 8; k < kCentrelinePoints - 8; ++k)
    EXPECT_NEAR(learnt.model.radius[k], truth.radius[k], 1.0) << k;
  ASSERT_EQ(learnt.mismatches.size(), chains.size());
  for (double m : learnt.mismatches) EXPECT_LT(m, 0.08);
  EXPECT_FALSE(learnBodyModel(
                   {}, [](size_t, FitTarget&) {}, fit)
                   .ok);
}

}  // namespace
}  // namespace dukon
