#include "skeleton/fit_target.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

// A disc of radius 10 at (50, 50) in a 100 x 100 mask.
FitTarget discTarget(int margin, int stride) {
  cv::Mat mask = cv::Mat::zeros(100, 100, CV_8U);
  cv::circle(mask, {50, 50}, 10, cv::Scalar(1), cv::FILLED);
  FitTarget t;
  t.build(mask, margin, stride);
  return t;
}

// The signed distance is about the distance to the disc's outline, positive
// inside, negative outside, and keeps falling beyond the region it covers;
// its gradient points inwards.
TEST(FitTargetTest, SignedDistanceToTheOutline) {
  const FitTarget t = discTarget(5, 4);
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.region(), cv::Rect(35, 35, 31, 31));
  struct Case {
    cv::Point2d at;
    double distance;
  };
  const Case cases[] = {
      {{50, 50}, 9.5}, {{55, 50}, 4.5}, {{60.5, 50}, 0}, {{64, 50}, -3.5}, {{50, 90}, -29.5}};
  for (const Case& c : cases) {
    cv::Point2d grad;
    EXPECT_NEAR(t.distance(c.at, &grad), c.distance, 0.2) << c.at;
    if (c.at != cv::Point2d(50, 50)) {
      EXPECT_LT(grad.dot(c.at - cv::Point2d(50, 50)), 0) << c.at;
    }
  }
  EXPECT_NEAR(t.area(), CV_PI * 100, 0.1 * CV_PI * 100);
  for (const cv::Point2f& s : t.samples()) {
    EXPECT_EQ(static_cast<int>(s.x) % 4, 0);
    EXPECT_LE(cv::norm(s - cv::Point2f(50, 50)), 10.1);
  }
  EXPECT_NEAR(t.samples().size(), t.area() / 16.0, 5);
  FitTarget empty;
  empty.build(cv::Mat::zeros(10, 10, CV_8U), 5, 4);
  EXPECT_TRUE(empty.empty());
}

// The segmenter's closing fills the corner between two touching body parts
// and its edges leave thin spurs; another dark object lies apart from the
// worm. The fit's mask keeps only the dark body.
TEST(FitTargetTest, FitMaskKeepsTheDarkBodyOnly) {
  cv::Mat grey(120, 160, CV_8U, cv::Scalar(190));
  const cv::Rect bodyBox(20, 50, 120, 16);
  cv::rectangle(grey, bodyBox, cv::Scalar(90), cv::FILLED);
  cv::rectangle(grey, cv::Rect(5, 5, 8, 8), cv::Scalar(80), cv::FILLED);  // the other object
  cv::Mat mask = cv::Mat::zeros(grey.size(), CV_8U);
  mask(bodyBox).setTo(1);
  mask(cv::Rect(60, 35, 30, 15)).setTo(1);              // the filled corner
  cv::line(mask, {140, 58}, {155, 58}, cv::Scalar(1));  // the spur
  cv::Point origin;
  const cv::Mat dark = fitMask(grey, mask, &origin);
  EXPECT_EQ(origin, bodyBox.tl());
  EXPECT_EQ(dark.size(), bodyBox.size());
  EXPECT_EQ(cv::countNonZero(dark), bodyBox.area());
  EXPECT_TRUE(fitMask(grey, cv::Mat::zeros(grey.size(), CV_8U), &origin).empty());
}

}  // namespace
}  // namespace dukon
