#include "run/debug_display.h"

#include <cmath>
#include <cstdio>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

constexpr const char* kWindowName = "debug";
// Panels are never narrower than this, so small scales stay readable.
constexpr int kMinPanelWidth = 256;
// Larger panels are refused rather than allocated.
constexpr double kMaxPanelSide = 8192;

constexpr uchar kBackgroundGrey = 150;
constexpr uchar kWormGrey = 0;
constexpr uchar kSkeletonGrey = 255;
constexpr uchar kHeadGrey = 70;
constexpr uchar kTextGrey = 0;

// Panel size and the scale actually used; !ok when the panel would be empty
// or oversized.
struct Panel {
  bool ok = false;
  int w = 0, h = 0;
  double scale = 0;
};

Panel choosePanel(cv::Size frame, double scale) {
  Panel p;
  if (frame.width <= 0 || frame.height <= 0 || scale == 0.0 || std::isnan(scale)) return p;
  double wd = frame.width * scale;
  double hd = frame.height * scale;
  if (wd < kMinPanelWidth) {
    scale = static_cast<double>(kMinPanelWidth) / frame.width;
    wd = kMinPanelWidth;
    hd = frame.height * scale;
  }
  if (!(wd <= kMaxPanelSide && hd <= kMaxPanelSide && hd >= 1)) return p;
  p.ok = true;
  p.w = static_cast<int>(wd);
  p.h = static_cast<int>(hd);
  p.scale = scale;
  return p;
}

// Scales one frame coordinate into the panel, truncating; far-off values
// are pinned well outside the panel instead of overflowing.
int scaleCoordinate(int v, double scale) {
  const double d = v * scale;
  if (d > 1e6) return 1000000;
  if (d < -1e6) return -1000000;
  return static_cast<int>(d);
}

}  // namespace

cv::Size DebugDisplay::panelSize(cv::Size frame, double scale) {
  const Panel p = choosePanel(frame, scale);
  return cv::Size(p.w, p.h);
}

cv::Mat DebugDisplay::render(double scale, const cv::Mat& bw, const cv::Mat& bin,
                             const cv::Mat& skel, cv::Point head, bool headKnown, int frameNumber) {
  const Panel p = choosePanel(bw.size(), scale);
  if (!p.ok || bw.type() != CV_8UC1 || bin.empty() || bin.type() != CV_8UC1 || skel.empty() ||
      skel.type() != CV_8UC1) {
    return cv::Mat();
  }
  const cv::Size size(p.w, p.h);
  cv::Mat debug(size.height, 2 * size.width, CV_8UC1);
  cv::Mat left = debug(cv::Rect(0, 0, size.width, size.height));
  cv::Mat right = debug(cv::Rect(size.width, 0, size.width, size.height));
  cv::resize(bw, left, size, 0, 0, cv::INTER_LINEAR);

  cv::Mat binMask;
  cv::resize(bin, binMask, size, 0, 0, cv::INTER_LINEAR);
  right.setTo(kBackgroundGrey);
  right.setTo(kWormGrey, binMask);
  cv::resize(skel, binMask, size, 0, 0, cv::INTER_LINEAR);
  right.setTo(kSkeletonGrey, binMask);

  if (headKnown) {
    const cv::Point at(scaleCoordinate(head.x, p.scale), scaleCoordinate(head.y, p.scale));
    cv::putText(right, "H", at, cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(kHeadGrey), 1, cv::LINE_8);
  }
  char text[16];
  std::snprintf(text, sizeof text, "%3d", frameNumber);
  cv::putText(right, text, cv::Point(10, size.height - 10), cv::FONT_HERSHEY_PLAIN, 1.0,
              cv::Scalar(kTextGrey), 1, cv::LINE_8);
  return debug;
}

void DebugDisplay::show(double scale, const cv::Mat& bw, const cv::Mat& bin, const cv::Mat& skel,
                        cv::Point head, bool headKnown, int frameNumber) {
  if (scale == 0.0 || std::isnan(scale)) return;
  if (!windows_.available()) return;
  const cv::Mat debug = render(scale, bw, bin, skel, head, headKnown, frameNumber);
  if (debug.empty()) return;
  try {
    // Without the toolbar and status bar the window is exactly the image.
    cv::namedWindow(kWindowName, cv::WINDOW_AUTOSIZE | cv::WINDOW_GUI_NORMAL);
    cv::imshow(kWindowName, debug);
    cv::waitKey(1);
  } catch (const cv::Exception&) {
    windows_.turnOff();
  }
}

}  // namespace dukon
