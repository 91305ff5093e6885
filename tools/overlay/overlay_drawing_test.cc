// Drawing of one annotated frame: where the marks land at any scale, and
// what the banner shows for each state.
#include "overlay/overlay_drawing.h"

#include <gtest/gtest.h>

#include <functional>

#include <opencv2/imgproc.hpp>

#include "results/test_samples.h"

namespace dukon {
namespace overlay {
namespace {

using Predicate = std::function<bool(const cv::Vec3b&)>;

bool isHeadRed(const cv::Vec3b& p) {
  return p[2] > 200 && p[1] < 50 && p[0] < 50;
}
bool isTailBlue(const cv::Vec3b& p) {
  return p[0] > 200 && p[1] > 80 && p[1] < 140 && p[2] < 50;
}

// Centroid (canvas coordinates) and count of the pixels of `area` that match.
cv::Point2d centroid(const cv::Mat& canvas, cv::Rect area, const Predicate& match, int* count) {
  cv::Point2d sum(0, 0);
  *count = 0;
  for (int y = area.y; y < area.br().y; ++y) {
    for (int x = area.x; x < area.br().x; ++x) {
      if (!match(canvas.at<cv::Vec3b>(y, x))) continue;
      sum += cv::Point2d(x, y);
      ++*count;
    }
  }
  return *count ? sum / *count : sum;
}

int countColour(const cv::Mat& canvas, cv::Rect area, const cv::Scalar& colour) {
  cv::Mat mask;
  cv::inRange(canvas(area), colour, colour, mask);
  return cv::countNonZero(mask);
}

// A grey plate with a dark worm along the chain.
cv::Mat plateWithWorm(const std::vector<cv::Point>& chain) {
  cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(185, 185, 185));
  cv::polylines(frame, chain, false, cv::Scalar(70, 70, 70), 9);
  return frame;
}

FrameAnnotation wormAnnotation(FrameState state) {
  FrameAnnotation a;
  a.frame = 40;
  a.state = state;
  a.movement = {"forward", false};
  if (state == FrameState::kConsistent || state == FrameState::kGood ||
      state == FrameState::kLoop) {
    a.chain = results::samples::straightChain({250, 60}, {70, 170});
    a.hasEnds = state != FrameState::kLoop;
    a.head = a.chain.front();
    a.tail = a.chain.back();
  }
  return a;
}

TEST(DrawOverlay, HeadAndTailMarksSitOnTheChainEndsAtEveryScale) {
  FrameAnnotation a = wormAnnotation(FrameState::kConsistent);
  cv::Mat frame = plateWithWorm(a.chain);
  for (double scale : {0.3, 0.5, 1.0, 1.7, 3.0}) {
    OverlayLayout layout = makeLayout(frame.size(), scale);
    cv::Mat canvas;
    drawOverlay(frame, a, 1300.0, layout, 280, &canvas);
    ASSERT_EQ(canvas.size(), layout.canvas());
    EXPECT_EQ(canvas.cols % 2, 0);
    EXPECT_EQ(canvas.rows % 2, 0);
    EXPECT_NEAR(layout.sx, scale, 0.02);
    int heads = 0, tails = 0;
    cv::Point2d head = centroid(canvas, layout.imageArea(), isHeadRed, &heads);
    cv::Point2d tail = centroid(canvas, layout.imageArea(), isTailBlue, &tails);
    ASSERT_GT(heads, 8) << scale;
    ASSERT_GT(tails, 4) << scale;
    EXPECT_LT(cv::norm(head - layout.toCanvas(a.head)), 1.0) << scale;
    EXPECT_LT(cv::norm(tail - layout.toCanvas(a.tail)), 1.0) << scale;
  }
}

TEST(DrawOverlay, BannerChipCarriesTheStateColour) {
  const FrameState states[] = {FrameState::kConsistent, FrameState::kGood, FrameState::kLoop,
                               FrameState::kRejected, FrameState::kIgnored};
  for (FrameState state : states) {
    FrameAnnotation a = wormAnnotation(state);
    cv::Mat frame = plateWithWorm(results::samples::straightChain({250, 60}, {70, 170}));
    OverlayLayout layout = makeLayout(frame.size(), 1.0);
    cv::Mat canvas;
    // No scale bar: its anti-aliased greys could match the ignored grey.
    drawOverlay(frame, a, 0.0, layout, 0, &canvas);
    cv::Rect banner(0, 0, canvas.cols, layout.bannerHeight);
    EXPECT_GT(countColour(canvas, banner, stateColour(state)), 100) << stateName(state);
    for (FrameState other :
         {FrameState::kConsistent, FrameState::kGood, FrameState::kLoop, FrameState::kRejected}) {
      if (other == state) continue;
      EXPECT_EQ(countColour(canvas, banner, stateColour(other)), 0)
          << stateName(state) << " shows " << stateName(other);
    }
    int heads = 0;
    centroid(canvas, layout.imageArea(), isHeadRed, &heads);
    const bool marked = state == FrameState::kConsistent || state == FrameState::kGood;
    EXPECT_EQ(heads > 0, marked) << stateName(state);
    const int chainPixels = countColour(canvas, layout.imageArea(), stateColour(state));
    EXPECT_EQ(chainPixels > 0, marked || state == FrameState::kLoop) << stateName(state);
  }
}

// A loop frame with a fitted centreline: the line in its own colour, head
// and tail marks on its ends, its mismatch in the banner's text.
TEST(DrawOverlay, FittedCentrelineHasItsColourAndTheEnds) {
  FrameAnnotation a = wormAnnotation(FrameState::kLoop);
  for (int k = 0; k < 49; ++k) a.fitted.emplace_back(240 - 3.5 * k, 65 + 2 * k);
  a.fitError = 0.0312;
  cv::Mat frame = plateWithWorm(a.chain);
  OverlayLayout layout = makeLayout(frame.size(), 1.0);
  cv::Mat canvas;
  drawOverlay(frame, a, 0.0, layout, 0, &canvas);
  EXPECT_GT(countColour(canvas, layout.imageArea(), kFittedColour), 100);
  int heads = 0, tails = 0;
  const cv::Point2d head = centroid(canvas, layout.imageArea(), isHeadRed, &heads);
  const cv::Point2d tail = centroid(canvas, layout.imageArea(), isTailBlue, &tails);
  ASSERT_GT(heads, 8);
  ASSERT_GT(tails, 4);
  EXPECT_LT(cv::norm(head - layout.toCanvas(a.fitted.front())), 1.0);
  EXPECT_LT(cv::norm(tail - layout.toCanvas(a.fitted.back())), 1.0);
}

TEST(DrawOverlay, FrameLineHoldsNumberTimeAndMovement) {
  FrameAnnotation a = wormAnnotation(FrameState::kRejected);
  EXPECT_EQ(frameLine(a, 1300.0), "frame 40   1.300 s   forward");
  a.movement = {"backward", true};
  EXPECT_EQ(frameLine(a, 1333.3), "frame 40   1.333 s   backward, reversal starts");
  a.movement = {"", false};
  EXPECT_EQ(frameLine(a, 0.0), "frame 40   0.000 s   no movement class");
  a.state = FrameState::kIgnored;
  EXPECT_EQ(frameLine(a, 0.0), "frame 40   0.000 s");
  EXPECT_EQ(stateName(FrameState::kRejected), "rejected");
  EXPECT_EQ(stateExplanation(FrameState::kRejected), "skeleton failed validation");
}

TEST(DrawOverlay, GreyFramesAreDrawnInColour) {
  FrameAnnotation a = wormAnnotation(FrameState::kConsistent);
  cv::Mat grey(240, 320, CV_8UC1, cv::Scalar(180));
  OverlayLayout layout = makeLayout(grey.size(), 0.5);
  cv::Mat canvas;
  drawOverlay(grey, a, 0.0, layout, 0, &canvas);
  EXPECT_EQ(canvas.type(), CV_8UC3);
  int heads = 0;
  centroid(canvas, layout.imageArea(), isHeadRed, &heads);
  EXPECT_GT(heads, 0);
  // Away from the marks the frame's grey comes through unchanged.
  EXPECT_EQ(canvas.at<cv::Vec3b>(layout.bannerHeight + 100, 10), cv::Vec3b(180, 180, 180));
}

}  // namespace
}  // namespace overlay
}  // namespace dukon
