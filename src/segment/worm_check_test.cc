#include "segment/worm_check.h"

#include <gtest/gtest.h>

namespace dukon {
namespace {

TEST(NotAWormReason, BordersAndCover) {
  struct Case {
    const char* name;
    cv::Rect filled;  // in a 100 x 80 mask
    const char* reason;
  };
  const Case cases[] = {
      {"a worm inside the frame", {10, 10, 60, 8}, ""},
      {"a worm across a corner: two borders", {0, 0, 60, 8}, ""},
      {"across the frame: three borders", {0, 0, 100, 8}, "the mask touches 3 frame borders"},
      {"the whole plate", {0, 0, 100, 80}, "the mask touches 4 frame borders"},
      {"half the frame, two borders", {10, 0, 50, 80}, ""},
      {"more than half", {1, 1, 98, 60}, "the mask covers 73% of the frame"},
      {"empty", {0, 0, 0, 0}, ""},
  };
  for (const Case& c : cases) {
    cv::Mat bin = cv::Mat::zeros(80, 100, CV_8UC1);
    bin(c.filled).setTo(1);
    // The box handed over may be larger than the mask.
    EXPECT_EQ(notAWormReason(bin, cv::Rect(0, 0, 100, 80)), c.reason) << c.name;
    EXPECT_EQ(notAWormReason(bin, c.filled), c.reason) << c.name;
  }
}

TEST(PlateDarkerThanObject, FromTheMinorityAgainstTheMedian) {
  cv::Mat frame(80, 100, CV_8UC1, cv::Scalar(180));
  frame(cv::Rect(10, 10, 60, 8)).setTo(60);
  EXPECT_FALSE(plateDarkerThanObject(frame));
  EXPECT_TRUE(plateDarkerThanObject(255 - frame));
  EXPECT_FALSE(plateDarkerThanObject(cv::Mat(80, 100, CV_8UC1, cv::Scalar(3))));
}

}  // namespace
}  // namespace dukon
