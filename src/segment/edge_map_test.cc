#include "segment/edge_map.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

// The pixels the packed edges and the library's Canny disagree on.
int differences(const cv::Mat& grey, double low, double high,
                EdgeMap::Vectors vectors = EdgeMap::Vectors::kWidest) {
  cv::Mat want;
  cv::Canny(grey, want, low, high, 3);
  EdgeMap edges(low, high, vectors);
  BitMask got;
  edges.detect(grey, got);
  cv::Mat mine;
  got.toMat(mine);
  return cv::countNonZero(mine != (want != 0) / 255);
}

// Grey frames of many kinds: noise of every strength, smooth ramps, lines
// and discs at all angles (every gradient direction and tie), a dark worm on
// a noisy plate, and content running off every border.
std::vector<cv::Mat> frames(cv::Size size, std::mt19937& rng) {
  std::vector<cv::Mat> out;
  for (double sd : {2.0, 12.0, 40.0, 90.0}) {
    cv::Mat f(size, CV_8UC1);
    cv::randn(f, 128, sd);
    out.push_back(f);
  }
  cv::Mat ramp(size, CV_8UC1);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      ramp.at<uchar>(y, x) = static_cast<uchar>((7 * x + 3 * y) % 256);
  out.push_back(ramp);
  std::uniform_int_distribution<int> x(-10, size.width + 10), y(-10, size.height + 10),
      grey(0, 255), r(1, 30);
  for (int k = 0; k < 4; ++k) {
    cv::Mat f(size, CV_8UC1, cv::Scalar(grey(rng)));
    for (int n = 0; n < 6; ++n) {
      cv::line(f, {x(rng), y(rng)}, {x(rng), y(rng)}, grey(rng), 1 + n % 4);
      cv::circle(f, {x(rng), y(rng)}, r(rng), grey(rng), n % 2 ? -1 : 2);
    }
    if (k % 2) cv::GaussianBlur(f, f, cv::Size(5, 5), 1.2);
    cv::Mat noise(size, CV_8SC1);
    cv::randn(noise, 0, 2 + k);
    cv::add(f, noise, f, cv::noArray(), CV_8U);
    out.push_back(f);
  }
  return out;
}

TEST(EdgeMapTest, SameEdgesAsTheLibrary) {
  std::mt19937 rng(1);
  const cv::Size sizes[] = {{1, 1},   {1, 17},  {23, 1},  {2, 2},    {3, 5},    {9, 8},
                            {17, 13}, {64, 31}, {65, 40}, {130, 70}, {640, 120}};
  int compared = 0;
  for (cv::Size size : sizes) {
    for (const cv::Mat& f : frames(size, rng)) {
      // Both instruction sets, whichever this processor would pick.
      for (EdgeMap::Vectors v : {EdgeMap::Vectors::kWidest, EdgeMap::Vectors::kBaseline})
        ASSERT_EQ(differences(f, 60, 120, v), 0) << size << " frame " << compared;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 11 * 9);
}

TEST(EdgeMapTest, OtherThresholdsAndSwappedOnes) {
  std::mt19937 rng(2);
  for (const cv::Mat& f : frames(cv::Size(97, 61), rng)) {
    EXPECT_EQ(differences(f, 10, 30), 0);
    EXPECT_EQ(differences(f, 120, 60), 0);  // the library swaps them
    EXPECT_EQ(differences(f, 59.5, 119.9), 0);
    EXPECT_EQ(differences(f, 0, 0), 0);
  }
}

TEST(EdgeMapTest, ReusedAcrossFramesAndSizes) {
  // The hysteresis map is kept between frames; nothing of one frame may
  // reach the next, whatever the sizes.
  std::mt19937 rng(3);
  EdgeMap edges(60, 120);
  for (cv::Size size : {cv::Size(80, 60), cv::Size(80, 60), cv::Size(33, 90), cv::Size(80, 60)}) {
    for (const cv::Mat& f : frames(size, rng)) {
      cv::Mat want, mine;
      cv::Canny(f, want, 60, 120, 3);
      BitMask got;
      edges.detect(f, got);
      got.toMat(mine);
      ASSERT_EQ(cv::countNonZero(mine != (want != 0) / 255), 0) << size;
    }
  }
}

}  // namespace
}  // namespace dukon
