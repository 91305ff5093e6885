#include "segment/worm_check.h"

#include <array>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

// A mask touching this many frame borders, or covering more than this share
// of the frame, is not a worm.
constexpr int kMaxBorders = 3;
constexpr double kMaxCover = 0.5;

// A mean grey level more than this many levels above the median makes the
// object brighter than the plate.
constexpr double kBrightObjectMargin = 1.0;

int bordersTouched(const cv::Rect& box, cv::Size frame) {
  return (box.x <= 0) + (box.y <= 0) + (box.x + box.width >= frame.width) +
         (box.y + box.height >= frame.height);
}

}  // namespace

std::string notAWormReason(const cv::Mat& bin, const cv::Rect& box) {
  const cv::Rect inside = box & cv::Rect(0, 0, bin.cols, bin.rows);
  if (inside.empty()) return "";
  // The box may be wider than the mask: both tests are made exact only when
  // the box alone would fail the frame, which a worm's box never does.
  if (bordersTouched(inside, bin.size()) >= kMaxBorders) {
    const cv::Rect tight = cv::boundingRect(bin(inside)) + inside.tl();
    const int touched = bordersTouched(tight, bin.size());
    if (!tight.empty() && touched >= kMaxBorders)
      return "the mask touches " + std::to_string(touched) + " frame borders";
  }
  const double frameArea = static_cast<double>(bin.cols) * bin.rows;
  if (inside.area() > kMaxCover * frameArea) {
    const int area = cv::countNonZero(bin(inside));
    if (area > kMaxCover * frameArea)
      return "the mask covers " + std::to_string(static_cast<int>(100.0 * area / frameArea)) +
             "% of the frame";
  }
  return "";
}

bool plateDarkerThanObject(const cv::Mat& bw) {
  CV_Assert(bw.type() == CV_8UC1);
  std::array<long long, 256> hist{};
  for (int r = 0; r < bw.rows; ++r) {
    const uchar* row = bw.ptr<uchar>(r);
    for (int c = 0; c < bw.cols; ++c) ++hist[row[c]];
  }
  const long long total = static_cast<long long>(bw.rows) * bw.cols;
  if (total == 0) return false;
  long long below = 0, sum = 0;
  int median = -1;
  for (int g = 0; g < 256; ++g) {
    below += hist[g];
    sum += hist[g] * g;
    if (median < 0 && 2 * below >= total) median = g;
  }
  return static_cast<double>(sum) / total > median + kBrightObjectMargin;
}

}  // namespace dukon
