#include "skeleton/body_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

// Sub-pixel bits of the drawing calls.
constexpr int kShift = 4;
constexpr double kScale = 1 << kShift;

}  // namespace

double BodyModel::radiusAt(double at) const {
  const int last = kCentrelinePoints - 1;
  const double a = std::clamp(at, 0.0, static_cast<double>(last));
  const int i = std::min(static_cast<int>(a), last - 1);
  const double t = a - i;
  return (1 - t) * radius[i] + t * radius[i + 1];
}

void drawBody(const BodyModel& model, const Centreline& line, cv::Point2d origin, cv::Mat& canvas,
              int value) {
  // Discs about one pixel apart along every piece.
  for (size_t k = 0; k + 1 < line.size(); ++k) {
    const cv::Point2d a = line[k] - origin, b = line[k + 1] - origin;
    const int steps = std::max(1, static_cast<int>(std::ceil(cv::norm(b - a))));
    for (int i = 0; i < steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const cv::Point2d p = a + t * (b - a);
      const double r = model.radiusAt(k + t);
      cv::circle(canvas, cv::Point(cvRound(p.x * kScale), cvRound(p.y * kScale)),
                 cvRound(r * kScale), cv::Scalar(value), cv::FILLED, cv::LINE_8, kShift);
    }
  }
  const cv::Point2d end = line.back() - origin;
  cv::circle(canvas, cv::Point(cvRound(end.x * kScale), cvRound(end.y * kScale)),
             cvRound(model.radius.back() * kScale), cv::Scalar(value), cv::FILLED, cv::LINE_8,
             kShift);
}

double bodyMismatch(const BodyModel& model, const Centreline& line, const FitTarget& target) {
  if (target.empty()) return std::numeric_limits<double>::infinity();
  const cv::Rect& r = target.region();
  cv::Mat body = cv::Mat::zeros(r.size(), CV_8U);
  drawBody(model, line, cv::Point2d(r.x, r.y), body, 1);
  cv::Mat differ;
  cv::compare(body, target.mask(), differ, cv::CMP_NE);
  return static_cast<double>(cv::countNonZero(differ)) / target.area();
}

}  // namespace dukon
