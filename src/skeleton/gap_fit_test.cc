#include "skeleton/gap_fit.h"

#include <gtest/gtest.h>

#include <cmath>

#include <opencv2/imgproc.hpp>

#include "support/worm_bodies.h"

namespace dukon {
namespace {

using namespace testing_support;

constexpr double kLength = 200;
constexpr double kStep = 3;  // pixels crawled per frame

// A worm crawling head first along a path that runs straight and then
// round a ring 0.8 body lengths round, so that its head comes round onto
// its own body: the body is the last body length of the path behind the
// head. World pixels; head at path position s.
Centreline crawlingWorm(double s) {
  const double r = 0.8 * kLength / (2 * CV_PI);
  std::vector<cv::Point2d> line;
  for (int k = 0; k < kCentrelinePoints; ++k) {
    const double at = s - kLength * k / (kCentrelinePoints - 1);
    line.push_back(at < 0
                       ? cv::Point2d(160 + at, 100)
                       : cv::Point2d(160 + r * std::sin(at / r), 100 + r * (1 - std::cos(at / r))));
  }
  return line;
}

// The gap's frames: frame i has its head at path position first + i * kStep
// and the stage moves once, half-way.
class CrawlFrames : public GapFrames {
 public:
  CrawlFrames(const BodyModel& model, double first, int n) : model_(model), first_(first), n_(n) {}
  int size() const override { return n_; }
  int frame(int i) const override { return 1 + i; }
  cv::Point2d stage(int i) const override {
    return i < n_ / 2 ? cv::Point2d(0, 0) : cv::Point2d(25, -15);
  }
  const FitTarget& target(int i) override {
    if (i == blank_) {
      target_ = FitTarget();
    } else if (i == blob_) {
      cv::Mat mask = cv::Mat::zeros(320, 320, CV_8U);
      cv::circle(mask, {150, 150}, 40, cv::Scalar(1), cv::FILLED);
      target_.build(mask, 40, 3);
    } else {
      target_ = bodyTarget(model_, shifted(truth(i), -stage(i)), {320, 320});
    }
    return target_;
  }
  Centreline truth(int i) const { return crawlingWorm(first_ + kStep * i); }

  int blank_ = -1, blob_ = -1;  // a frame without a worm, a frame with a blob instead

 private:
  const BodyModel& model_;
  double first_;
  int n_;
  FitTarget target_;
};

TrackSettings settings() {
  TrackSettings s;
  s.crawlStepPx = kStep;
  s.maxMismatch = 0.1;
  return s;
}

// Forward from the frame before the gap and backward from the one after,
// the worm is followed into its coil, head first, in world pixels; the
// frames where the body lies on itself are fitted as well as the others.
TEST(GapFitTest, FollowsTheWormIntoItsCoilHeadFirst) {
  const BodyModel model = testModel(kLength, 8);
  CrawlFrames frames(model, 0.4 * kLength, 50);
  const TrackStart before{crawlingWorm(0.4 * kLength - kStep),
                          crawlingWorm(0.4 * kLength - 2 * kStep)};
  const TrackStart after{crawlingWorm(0.4 * kLength + 50 * kStep),
                         crawlingWorm(0.4 * kLength + 51 * kStep)};
  const std::vector<FrameFit> fits = fitGap(model, frames, before, after, settings());
  ASSERT_EQ(fits.size(), 50u);
  for (int i = 0; i < 50; ++i) {
    const Centreline truth = frames.truth(i);
    EXPECT_TRUE(fits[i].accepted) << "frame " << i << " mismatch " << fits[i].mismatch;
    ASSERT_EQ(fits[i].line.size(), static_cast<size_t>(kCentrelinePoints));
    EXPECT_LT(meanPointDistance(fits[i].line, truth), 2.0) << "frame " << i;
    EXPECT_LT(cv::norm(fits[i].line.front() - truth.front()),
              cv::norm(fits[i].line.front() - truth.back()));
  }
}

// Where the whole body lies round a ring its image cannot tell how far it
// slid along itself: the track expects the slide of the frames elapsed
// since its last frame (more than one where frames were left out).
TEST(GapFitTest, ExpectsTheSlideOfTheFramesElapsed) {
  const BodyModel model = testModel(kLength, 8);
  const double s = 1.3 * kLength;  // head position: the tail is on the ring too
  for (int elapsed : {1, 4}) {
    TrackState state{postureOf(crawlingWorm(s)), kStep};
    const Centreline truth = crawlingWorm(s + elapsed * kStep);
    const FrameFit fit = trackFrame(model, bodyTarget(model, truth, {320, 320}), {0, 0}, settings(),
                                    &state, elapsed);
    ASSERT_EQ(fit.line.size(), static_cast<size_t>(kCentrelinePoints));
    EXPECT_LT(meanPointDistance(fit.line, truth), 2.0) << elapsed;
  }
}

// A frame without a worm gets no fit, one whose mask is no worm is fitted
// badly and refused; the frames after them are fitted all the same.
TEST(GapFitTest, RefusesWhatIsNoWorm) {
  const BodyModel model = testModel(kLength, 8);
  CrawlFrames frames(model, 0.2 * kLength, 12);
  frames.blank_ = 4;
  frames.blob_ = 7;
  const TrackStart before{crawlingWorm(0.2 * kLength - kStep),
                          crawlingWorm(0.2 * kLength - 2 * kStep)};
  const std::vector<FrameFit> fits = fitGap(model, frames, before, TrackStart(), settings());
  EXPECT_FALSE(fits[4].accepted);
  EXPECT_TRUE(fits[4].line.empty());
  EXPECT_FALSE(fits[7].accepted);
  EXPECT_GT(fits[7].mismatch, 0.1);
  for (int i : {3, 5, 6, 8, 11}) {
    EXPECT_TRUE(fits[i].accepted) << i;
    EXPECT_LT(meanPointDistance(fits[i].line, frames.truth(i)), 2.0) << i;
  }
}

}  // namespace
}  // namespace dukon
