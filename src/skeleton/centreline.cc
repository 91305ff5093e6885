#include "skeleton/centreline.h"

#include <algorithm>
#include <cmath>

namespace dukon {

double polylineLength(const std::vector<cv::Point2d>& line) {
  double len = 0;
  for (size_t i = 1; i < line.size(); ++i) len += cv::norm(line[i] - line[i - 1]);
  return len;
}

std::vector<cv::Point2d> resampleByArcLength(const std::vector<cv::Point2d>& line, int n) {
  const double total = polylineLength(line);
  if (!(total > 0) || n < 2) return {};
  std::vector<cv::Point2d> out;
  out.reserve(n);
  out.push_back(line.front());
  size_t seg = 1;
  double before = 0;  // arc length at line[seg - 1]
  double piece = cv::norm(line[1] - line[0]);
  for (int k = 1; k < n - 1; ++k) {
    const double s = total * k / (n - 1);
    while (seg + 1 < line.size() && before + piece < s) {
      before += piece;
      ++seg;
      piece = cv::norm(line[seg] - line[seg - 1]);
    }
    const double t = piece > 0 ? std::clamp((s - before) / piece, 0.0, 1.0) : 0.0;
    out.push_back(line[seg - 1] + t * (line[seg] - line[seg - 1]));
  }
  out.push_back(line.back());
  return out;
}

Centreline chainCentreline(const std::vector<cv::Point>& chain) {
  constexpr int kHalf = 3;
  const int n = static_cast<int>(chain.size());
  std::vector<cv::Point2d> smooth(n);
  for (int i = 0; i < n; ++i) {
    // A window symmetric about i that fits the chain: the ends keep their
    // place, so the line still reaches the outline.
    const int h = std::min({kHalf, i, n - 1 - i});
    cv::Point2d sum(0, 0);
    for (int j = i - h; j <= i + h; ++j) sum += cv::Point2d(chain[j]);
    smooth[i] = sum / (2 * h + 1);
  }
  return resampleByArcLength(smooth, kCentrelinePoints);
}

Centreline shifted(const Centreline& line, cv::Point2d offset) {
  Centreline out(line);
  for (cv::Point2d& p : out) p += offset;
  return out;
}

double meanPointDistance(const Centreline& a, const Centreline& b) {
  const size_t n = std::min(a.size(), b.size());
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += cv::norm(a[i] - b[i]);
  return n > 0 ? sum / n : 0.0;
}

}  // namespace dukon
