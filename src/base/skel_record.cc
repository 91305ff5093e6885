// Basic measures and validation of one record.
#include "base/skel_record.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace dukon {

void SkelRecord::basicMeasures(const cv::Mat& mask, const cv::Rect* box) {
  computeMid();
  computeLength();
  computeArea(mask, box);
}

// Length along about 20 chords: step = n / 20 points per chord, and the rest
// of the division is split over both ends, one pixel per left-over point.
// Chains of fewer than 20 points (only possible with a tiny mmpix, or for loop
// frames) are measured point by point instead of dividing by a zero step.
void SkelRecord::computeLength() {
  const int n = chainSize();
  len = 0.0;
  if (n < 2) return;
  const int step = std::max(1, n / 20);
  const int rest = n % step;
  len = 2 * (rest / 2);
  for (int i = rest / 2 + step; i < n; i += step) {
    len += pointDistance(points[i], points[i - step]);
  }
}

// Counts mask pixels of rows 0 .. height-2 and columns 0 .. width-3 and sums
// their one-based row and column indices. Without any counted pixel the
// centre of mass stays (0, 0); without a length the thickness is NaN (an
// undefined value that statistics skip) rather than a division by zero.
void SkelRecord::computeArea(const cv::Mat& mask, const cv::Rect* knownBox) {
  CV_Assert(mask.type() == CV_8UC1);
  int64_t rowSum = 0, colSum = 0, count = 0;
  // Mask row r - 1 and column c - 1 count for r = 1 .. rows - 1 and
  // c = 1 .. cols - 2; only the box around the non-zero pixels can add to
  // the sums, so the scan is limited to it.
  const cv::Rect box = knownBox != nullptr ? *knownBox : cv::boundingRect(mask);
  const int rFirst = std::max(1, box.y + 1), rLast = std::min(mask.rows - 1, box.y + box.height);
  const int cFirst = std::max(1, box.x + 1), cLast = std::min(mask.cols - 2, box.x + box.width);
  for (int r = rFirst; r <= rLast; ++r) {
    const uchar* row = mask.ptr<uchar>(r - 1);
    for (int c = cFirst; c <= cLast; ++c) {
      if (row[c - 1] != 0) {
        rowSum += r;
        colSum += c;
        ++count;
      }
    }
  }
  area = static_cast<double>(count);
  if (count > 0) {
    cmass[0] = static_cast<int>(static_cast<double>(rowSum) / area);
    cmass[1] = static_cast<int>(static_cast<double>(colSum) / area);
    // The sums hold one-based indices.
    centroid = cv::Point2d(static_cast<double>(colSum) / area - 1.0,
                           static_cast<double>(rowSum) / area - 1.0);
  } else {
    cmass = {{0, 0}};
    centroid = cv::Point2d(0.0, 0.0);
  }
  thickness = len > 0.0 ? area / len : kNaN;
}

bool validate(const SkelRecord& rec, int mmpix, bool verbose, std::ostream& err) {
  if (rec.chainSize() == 0) return false;
  const int minimum = static_cast<int>(0.3 * mmpix);
  if (rec.chainSize() < minimum) {
    if (verbose) {
      err << "[short=" << static_cast<double>(rec.chainSize()) / static_cast<double>(mmpix)
          << "mm] ";
    }
    return false;
  }
  for (int i = 1; i < rec.chainSize(); ++i) {
    const cv::Point& a = rec.points[i - 1];
    const cv::Point& b = rec.points[i];
    if (a == b) {
      if (verbose) err << "[repeat@" << i << "] ";
      return false;
    }
    if (std::abs(b.x - a.x) > 1 || std::abs(b.y - a.y) > 1) {
      if (verbose) {
        err << "[disconnect@" << i << "] " << a.x << "," << a.y << "->" << b.x << "," << b.y << " ";
      }
      return false;
    }
  }
  return true;
}

}  // namespace dukon
