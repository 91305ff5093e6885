#include "skeleton/fit_target.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

constexpr int kFitMaskMargin = 20;  // pixels around the mask's box for the background grey

uchar medianOf(std::vector<uchar>& v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace

cv::Mat fitMask(const cv::Mat& grey, const cv::Mat& mask, cv::Point* origin) {
  const cv::Rect box = cv::boundingRect(mask);
  *origin = box.tl();
  if (box.empty()) return cv::Mat();
  const cv::Rect region =
      cv::Rect(box.x - kFitMaskMargin, box.y - kFitMaskMargin, box.width + 2 * kFitMaskMargin,
               box.height + 2 * kFitMaskMargin) &
      cv::Rect(0, 0, mask.cols, mask.rows);
  cv::Mat worm, near, core;
  cv::compare(mask(region), 0, worm, cv::CMP_NE);
  cv::dilate(worm, near, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7)));
  cv::erode(worm, core, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5)));
  const cv::Mat g = grey(region);
  std::vector<uchar> inside, outside;
  for (int y = 0; y < g.rows; ++y) {
    const uchar* gp = g.ptr<uchar>(y);
    const uchar* cp = core.ptr<uchar>(y);
    const uchar* np = near.ptr<uchar>(y);
    for (int x = 0; x < g.cols; ++x) {
      if (cp[x])
        inside.push_back(gp[x]);
      else if (!np[x])
        outside.push_back(gp[x]);
    }
  }
  cv::Mat dark;
  if (inside.empty() || outside.empty()) {
    dark = worm;  // too thin or too crowded to tell the greys apart
  } else {
    const double threshold = 0.5 * (medianOf(inside) + medianOf(outside));
    cv::compare(g, threshold, dark, cv::CMP_LE);
    dark &= near;
  }
  const cv::Rect body = cv::boundingRect(dark);
  *origin = region.tl() + body.tl();
  return body.empty() ? cv::Mat() : dark(body).clone();
}

void FitTarget::build(const cv::Mat& mask, int margin, int stride) {
  const cv::Rect box = cv::boundingRect(mask);
  build(mask(box), box.tl(), mask.size(), margin, stride);
}

void FitTarget::build(const cv::Mat& crop, cv::Point origin, cv::Size frame, int margin,
                      int stride) {
  samples_.clear();
  area_ = 0;
  const cv::Rect box = cv::Rect(origin, crop.size()) & cv::Rect(cv::Point(0, 0), frame);
  if (box.empty() || box.size() != crop.size() || cv::countNonZero(crop) == 0) {
    region_ = cv::Rect();
    mask_.release();
    signed_.release();
    return;
  }
  region_ =
      cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
      cv::Rect(cv::Point(0, 0), frame);
  mask_ = cv::Mat::zeros(region_.size(), CV_8U);
  cv::Mat inRegion = mask_(cv::Rect(box.tl() - region_.tl(), box.size()));
  cv::compare(crop, 0, inRegion, cv::CMP_NE);  // 255 on the worm
  cv::Mat inside, outside, background;
  cv::distanceTransform(mask_, inside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
  cv::bitwise_not(mask_, background);
  cv::distanceTransform(background, outside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
  signed_.create(region_.size(), CV_32F);
  for (int y = 0; y < region_.height; ++y) {
    const uchar* m = mask_.ptr<uchar>(y);
    const float* in = inside.ptr<float>(y);
    const float* out = outside.ptr<float>(y);
    float* s = signed_.ptr<float>(y);
    const int fy = y + region_.y;
    for (int x = 0; x < region_.width; ++x) {
      if (m[x] == 0) {
        s[x] = 0.5f - out[x];
        continue;
      }
      s[x] = in[x] - 0.5f;
      ++area_;
      const int fx = x + region_.x;
      if (fx % stride == 0 && fy % stride == 0)
        samples_.emplace_back(static_cast<float>(fx), static_cast<float>(fy));
    }
  }
  mask_ /= 255;
}

double FitTarget::distance(cv::Point2d p, cv::Point2d* grad) const {
  if (signed_.empty() || !std::isfinite(p.x) || !std::isfinite(p.y)) {
    if (grad) *grad = cv::Point2d(0, 0);
    return -1e6;
  }
  const double w = region_.width - 1, h = region_.height - 1;
  double x = p.x - region_.x, y = p.y - region_.y;
  // Beyond the region: the edge's value less the distance to the edge,
  // sloping away from the region.
  const double cx = std::clamp(x, 0.0, w), cy = std::clamp(y, 0.0, h);
  const double ox = x - cx, oy = y - cy, off = std::hypot(ox, oy);
  const int x0 = std::min(static_cast<int>(cx), std::max(0, region_.width - 2));
  const int y0 = std::min(static_cast<int>(cy), std::max(0, region_.height - 2));
  const int x1 = std::min(x0 + 1, region_.width - 1), y1 = std::min(y0 + 1, region_.height - 1);
  const double fx = cx - x0, fy = cy - y0;
  const double v00 = signed_.at<float>(y0, x0), v01 = signed_.at<float>(y0, x1);
  const double v10 = signed_.at<float>(y1, x0), v11 = signed_.at<float>(y1, x1);
  const double top = v00 + fx * (v01 - v00), bottom = v10 + fx * (v11 - v10);
  double value = top + fy * (bottom - top);
  if (grad) {
    *grad = cv::Point2d((1 - fy) * (v01 - v00) + fy * (v11 - v10), bottom - top);
    if (off > 0) *grad = cv::Point2d(-ox / off, -oy / off);
  }
  if (off > 0) value -= off;
  return value;
}

}  // namespace dukon
