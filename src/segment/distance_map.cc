#include "segment/distance_map.h"

#include <algorithm>
#include <climits>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

// The image library's 5 x 5 chamfer weights for the Euclidean distance, in
// fixed point with 16 fraction bits: a horizontal or vertical step, a
// diagonal one and a knight's move; and the distance of a pixel that sees no
// background, which counts as far away.
constexpr int kShift = 16;
const unsigned kStep = static_cast<unsigned>(cvRound(1.0 * (1 << kShift)));
const unsigned kDiagonal = static_cast<unsigned>(cvRound(1.4 * (1 << kShift)));
const unsigned kKnight = static_cast<unsigned>(cvRound(2.1969 * (1 << kShift)));
constexpr unsigned kFar = static_cast<unsigned>(INT_MAX >> 2);

inline unsigned lower(unsigned a, unsigned b) {
  return a < b ? a : b;
}

}  // namespace

cv::Point chamferDistance(const cv::Mat& mask, cv::Mat& dist, std::vector<unsigned>& work,
                          double* maxVal) {
  CV_Assert(mask.type() == CV_8UC1);
  const int w = mask.cols, h = mask.rows, step = w + 4;
  const size_t size = static_cast<size_t>(step) * (h + 4);
  if (work.size() < size) work.resize(size);
  unsigned* base = work.data();
  std::fill(base, base + 2 * step, kFar);  // two rows above and below
  std::fill(base + static_cast<size_t>(step) * (h + 2), base + size, kFar);
  unsigned* t = base + 2 * step + 2;
  // Forward: each pixel from the neighbours above and to the left.
  for (int y = 0; y < h; ++y) {
    const uchar* src = mask.ptr<uchar>(y);
    unsigned* r = t + static_cast<ptrdiff_t>(y) * step;
    const unsigned* u1 = r - step;
    const unsigned* u2 = r - 2 * step;
    r[-2] = r[-1] = r[w] = r[w + 1] = kFar;
    for (int x = 0; x < w; ++x) {
      if (src[x] == 0) {
        r[x] = 0;
        continue;
      }
      const unsigned knight = lower(lower(u2[x - 1], u2[x + 1]), lower(u1[x - 2], u1[x + 2]));
      const unsigned d = lower(lower(knight + kKnight, lower(u1[x - 1], u1[x + 1]) + kDiagonal),
                               lower(u1[x], r[x - 1]) + kStep);
      r[x] = d > kFar ? kFar : d;
    }
  }
  // Backward: from the neighbours below and to the right, writing the
  // distances and keeping the first largest one in raster order.
  dist.create(h, w, CV_32FC1);
  const float scale = 1.0f / (1 << kShift);
  float best = 0.0f;
  cv::Point at(-1, -1);
  for (int y = h - 1; y >= 0; --y) {
    unsigned* r = t + static_cast<ptrdiff_t>(y) * step;
    const unsigned* v1 = r + step;
    const unsigned* v2 = r + 2 * step;
    float* out = dist.ptr<float>(y);
    for (int x = w - 1; x >= 0; --x) {
      unsigned d = r[x];
      if (d > kStep) {
        const unsigned knight = lower(lower(v2[x + 1], v2[x - 1]), lower(v1[x + 2], v1[x - 2]));
        d = lower(d, lower(lower(knight + kKnight, lower(v1[x + 1], v1[x - 1]) + kDiagonal),
                           lower(v1[x], r[x + 1]) + kStep));
        r[x] = d;
      }
      const float value = static_cast<float>(d * scale);
      out[x] = value;
      // Compared as stored, so that the earliest in raster order wins a tie.
      if (d != 0 && value >= best) {
        best = value;
        at = cv::Point(x, y);
      }
    }
  }
  *maxVal = static_cast<double>(best);
  return at;
}

cv::Point distanceMap(const cv::Mat& mask, bool useRoi, cv::Mat& dist, cv::Rect& roi,
                      double* maxVal, const cv::Rect* knownBox, std::vector<unsigned>* work) {
  *maxVal = 0.0;
  cv::Point maxLoc(-1, -1);
  if (!useRoi) {
    cv::distanceTransform(mask, dist, cv::DIST_L2, cv::DIST_MASK_5);
    cv::minMaxLoc(dist, nullptr, maxVal, nullptr, &maxLoc, mask);
    return maxLoc;
  }
  if (!roi.empty()) dist(roi).setTo(0);
  const cv::Rect box = knownBox != nullptr ? *knownBox : cv::boundingRect(mask);
  roi = box.empty()
            ? cv::Rect()
            : (box - cv::Point(1, 1) + cv::Size(2, 2)) & cv::Rect(0, 0, mask.cols, mask.rows);
  if (roi.empty()) return maxLoc;
  cv::Mat roiDist = dist(roi);
  std::vector<unsigned> local;
  maxLoc = chamferDistance(mask(roi), roiDist, work != nullptr ? *work : local, maxVal);
  if (maxLoc.x >= 0) maxLoc += roi.tl();
  return maxLoc;
}

}  // namespace dukon
