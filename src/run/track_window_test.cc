#include "run/track_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace dukon {
namespace {

TEST(TrackWindowTest, LiveViewShowsTheShrunkFrameInItsRegionOnWhite) {
  const cv::Mat bw(480, 640, CV_8UC1, cv::Scalar(180));
  const cv::Rect region(100, 50, 394, 296);
  const cv::Mat view = TrackWindow::liveView(bw, region, 7);
  ASSERT_EQ(view.size(), bw.size());
  EXPECT_EQ(view.at<uchar>(60, 110), 180);
  EXPECT_EQ(view.at<uchar>(40, 110), 255);
  EXPECT_EQ(view.at<uchar>(60, 500), 255);
  // "  7" in black near the lower left corner.
  EXPECT_GT(cv::countNonZero(view(cv::Rect(10, 455, 40, 20)) == 0), 5);
  // A region outside the view, or a colour frame, gives no view.
  EXPECT_TRUE(TrackWindow::liveView(bw, cv::Rect(600, 0, 100, 10), 1).empty());
  EXPECT_TRUE(TrackWindow::liveView(cv::Mat(480, 640, CV_8UC3), region, 1).empty());
}

// With debugimg set but no display, nothing is shown and nothing waits: an
// unattended run goes straight on.
TEST(TrackWindowTest, NoDisplayMeansNoWindowAndNoWait) {
  const char* saved = std::getenv("DISPLAY");
  const std::string keep = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(TrackWindow::canWaitForKey());
  TrackWindow window(1.0);
  window.showFrame(cv::Mat(480, 640, CV_8UC1, cv::Scalar(180)), cv::Rect(0, 0, 100, 100), 1);
  window.showTrack(cv::Mat(480, 640, CV_8UC1, cv::Scalar(255)));
  if (saved) setenv("DISPLAY", keep.c_str(), 1);
}

}  // namespace
}  // namespace dukon
