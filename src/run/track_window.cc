#include "run/track_window.h"

#include <unistd.h>

#include <cstdio>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

namespace dukon {

cv::Mat TrackWindow::liveView(const cv::Mat& bw, cv::Rect region, int frameNumber) {
  if (bw.type() != CV_8UC1 || region.empty() ||
      (region & cv::Rect(0, 0, bw.cols, bw.rows)) != region)
    return cv::Mat();
  cv::Mat view(bw.size(), CV_8UC1, cv::Scalar(255));
  cv::Mat small;
  cv::resize(bw, small, region.size(), 0, 0, cv::INTER_LINEAR);
  small.copyTo(view(region));
  char text[16];
  std::snprintf(text, sizeof text, "%3d", frameNumber);
  cv::putText(view, text, cv::Point(10, view.rows - 10), cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(0),
              1, cv::LINE_8);
  return view;
}

void TrackWindow::showFrame(const cv::Mat& bw, cv::Rect region, int frameNumber) {
  // The view is built only when a window can show it.
  if (!on_ || !windows_.available()) return;
  const cv::Mat view = liveView(bw, region, frameNumber);
  if (view.empty()) return;
  try {
    cv::namedWindow("out", cv::WINDOW_AUTOSIZE);
    cv::imshow("out", view);
    cv::waitKey(1);
  } catch (const cv::Exception&) {
    windows_.turnOff();  // a build without window support: the view is optional
  }
}

void TrackWindow::showTrack(const cv::Mat& trackImg) {
  if (!on_ || trackImg.empty() || !windows_.available()) return;
  try {
    cv::namedWindow("Track", cv::WINDOW_NORMAL);
    cv::imshow("Track", trackImg);
    cv::waitKey(canWaitForKey() ? 0 : 1);
  } catch (const cv::Exception&) {
    windows_.turnOff();
  }
}

bool TrackWindow::canWaitForKey() {
  return environmentDisplayReachable() && isatty(STDIN_FILENO) == 1;
}

}  // namespace dukon
