#include "segment/distance_map.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

// Masks of many kinds and sizes: noise, full frames (nothing to measure
// from: every pixel far away), blobs, blobs with holes, thin lines, and
// single pixels at the borders.
std::vector<cv::Mat> masks() {
  std::mt19937 rng(1);
  std::vector<cv::Mat> out;
  for (int trial = 0; trial < 240; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 140), h = 1 + static_cast<int>(rng() % 90);
    cv::Mat m = cv::Mat::zeros(h, w, CV_8UC1);
    switch (trial % 5) {
      case 0:
        cv::randu(m, 0, 2);
        break;
      case 1:
        m.setTo(1);
        break;
      case 4:
        m.at<uchar>(static_cast<int>(rng() % h), w - 1) = 1;
        m.at<uchar>(0, static_cast<int>(rng() % w)) = 1;
        break;
      default:
        for (int k = 0; k < 5; ++k)
          cv::ellipse(m, {static_cast<int>(rng() % w), static_cast<int>(rng() % h)},
                      {1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 25)},
                      static_cast<double>(rng() % 180), 0, 360, 1, trial % 5 == 3 ? 2 : -1);
        if (trial % 5 == 2) {
          cv::Mat holes(h, w, CV_8UC1);
          cv::randu(holes, 0, 12);
          m.setTo(0, holes == 0);
        }
    }
    out.push_back(m);
  }
  // A blob far wider than 256 pixels: distances whose fixed-point values
  // round to the same float.
  cv::Mat big = cv::Mat::zeros(700, 760, CV_8UC1);
  cv::circle(big, {380, 350}, 340, 1, -1);
  out.push_back(big);
  return out;
}

TEST(ChamferDistanceTest, SameAsTheLibrarysTransform) {
  std::vector<unsigned> work;
  int compared = 0;
  for (const cv::Mat& m : masks()) {
    cv::Mat want, got;
    cv::distanceTransform(m, want, cv::DIST_L2, cv::DIST_MASK_5);
    double wantMax = 0.0;
    cv::Point wantAt(-1, -1);
    cv::minMaxLoc(want, nullptr, &wantMax, nullptr, &wantAt, m);
    double gotMax = -1.0;
    const cv::Point gotAt = chamferDistance(m, got, work, &gotMax);
    ASSERT_EQ(cv::countNonZero(want != got), 0) << m.size() << " mask " << compared;
    if (cv::countNonZero(m) > 0) {
      EXPECT_EQ(gotAt, wantAt) << m.size();
      EXPECT_EQ(gotMax, wantMax) << m.size();
    } else {
      EXPECT_EQ(gotAt, cv::Point(-1, -1));
      EXPECT_EQ(gotMax, 0.0);
    }
    ++compared;
  }
  EXPECT_EQ(compared, 241);
}

// The map of a mask's box alone, placed in the frame, is the whole frame's.
TEST(DistanceMapTest, BoxAloneGivesTheWholeFramesMap) {
  cv::Mat mask = cv::Mat::zeros(120, 200, CV_8UC1);
  cv::ellipse(mask, {60, 40}, {50, 12}, 20, 0, 360, 1, -1);
  cv::rectangle(mask, {190, 100}, {199, 119}, 1, -1);  // at the frame's corner
  DistanceMap fast, plain;
  fast.reset(mask.size());
  plain.reset(mask.size());
  fast.make(mask, true);
  plain.make(mask, false);
  EXPECT_EQ(cv::countNonZero(fast.dist != plain.dist), 0);
  EXPECT_EQ(fast.maxLoc, plain.maxLoc);
  EXPECT_EQ(fast.maxVal, plain.maxVal);
  // A later, smaller mask leaves nothing of the earlier one behind.
  cv::Mat small = cv::Mat::zeros(mask.size(), CV_8UC1);
  cv::circle(small, {100, 60}, 5, 1, -1);
  fast.make(small, true);
  plain.make(small, false);
  EXPECT_EQ(cv::countNonZero(fast.dist != plain.dist), 0);
}

}  // namespace
}  // namespace dukon
