#include "stage/image_motion.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/fatal_error.h"

namespace dukon {

namespace {

// Starting value of the best measure for a search window of kNoBestArea
// pixels (a 640 x 480 frame searched +-20); a candidate must score below it,
// so a frame unlike its reference keeps the shift at zero.
constexpr uint64_t kNoBest = 9999999;
constexpr uint64_t kNoBestArea = 600 * 440;
// Shifts whose |x| + |y| is below this are too small to apply.
constexpr int kMinApplied = 6;
// Margin around the worm's box left out of the measure, pixels.
constexpr int kWormMargin = 3;

// Sum of |a[i] - b[i]| over n bytes. Inlined: it runs once or twice per row
// of every candidate.
inline __attribute__((always_inline)) uint64_t absDiffSum(const uint8_t* a, const uint8_t* b,
                                                          int n) {
  uint64_t sum = 0;
  int i = 0;
#if defined(__SSE2__)
  // psadbw sums 8 absolute differences into each 64-bit half.
  __m128i acc0 = _mm_setzero_si128();
  __m128i acc1 = _mm_setzero_si128();
  for (; i + 32 <= n; i += 32) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + 16));
    const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 16));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(a0, b0));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(a1, b1));
  }
  for (; i + 16 <= n; i += 16) {
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
    const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
    acc0 = _mm_add_epi64(acc0, _mm_sad_epu8(a0, b0));
  }
  if (i + 8 <= n) {  // the upper halves load as zeros and add nothing
    const __m128i a0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + i));
    const __m128i b0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + i));
    acc1 = _mm_add_epi64(acc1, _mm_sad_epu8(a0, b0));
    i += 8;
  }
  const __m128i acc = _mm_add_epi64(acc0, acc1);
  sum = static_cast<uint64_t>(_mm_cvtsi128_si64(acc)) +
        static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
#endif
  for (; i < n; ++i) sum += static_cast<uint64_t>(std::abs(a[i] - b[i]));
  return sum;
}

}  // namespace

ImageMotion::ImageMotion(int step, int range, int width, int height)
    : step_(step),
      range_(range),
      width_(width),
      height_(height),
      innerWidth_(width - 2 * range),
      innerHeight_(height - 2 * range) {
  if (step < 1 || range < 0 || width <= 2 * range || height <= 2 * range) {
    std::ostringstream msg;
    msg << "Frame size " << width << "x" << height
        << " is too small for image-based stage motion: both sides must exceed " << 2 * range
        << " pixels (twice the search range of " << range << ")";
    if (step < 1) msg << ", and the search step must be at least 1";
    msg << "\n";
    throw FatalError(msg.str());
  }
  const uint64_t area = static_cast<uint64_t>(innerWidth_) * static_cast<uint64_t>(innerHeight_);
  noBest_ = area > kNoBestArea
                ? kNoBest / kNoBestArea * area + kNoBest % kNoBestArea * area / kNoBestArea
                : kNoBest;
  // The coarse grid, in scan order.
  const int side = 2 * range_ + 1;
  for (int sy = 0; sy < side; sy += step_)
    for (int sx = 0; sx < side; sx += step_) grid_.emplace_back(sx, sy);
}

cv::Mat ImageMotion::mask() const {
  cv::Mat m(innerHeight_, innerWidth_, CV_8UC1, cv::Scalar(1));
  m(wormRect_).setTo(0);
  return m;
}

// The sum of absolute differences between the reference's window and the
// frame's window at shift position (sx, sy), without the worm's rectangle;
// given up, row by row, as soon as it reaches `bound`.
uint64_t ImageMotion::measure(const cv::Mat& bw, int sx, int sy, uint64_t bound) const {
  const int rx0 = wormRect_.x;
  const int rx1 = wormRect_.x + wormRect_.width;
  uint64_t sum = 0;
  for (int y = 0; y < innerHeight_; ++y) {
    const uint8_t* cur = bw.ptr<uint8_t>(sy + y) + sx;
    const uint8_t* ref = previous_.ptr<uint8_t>(range_ + y) + range_;
    if (y >= wormRect_.y && y < wormRect_.y + wormRect_.height) {
      sum += absDiffSum(cur, ref, rx0);
      sum += absDiffSum(cur + rx1, ref + rx1, innerWidth_ - rx1);
    } else {
      sum += absDiffSum(cur, ref, innerWidth_);
    }
    // The sum only grows: once it reaches the bound it cannot win.
    if (sum >= bound) return sum;
  }
  return sum;
}

// Candidate `index` (its place in the scan order of the search) at shift
// position (sx, sy). It wins with a lower score, or with an equal one when
// it comes earlier in the scan order, so candidates may be measured in any
// order and the winner is the one the scan order would pick.
void ImageMotion::consider(const cv::Mat& bw, int sx, int sy, int index) {
  const bool winsTies = index < bestIndex_;
  const uint64_t bound = winsTies ? best_ + 1 : best_;
  const uint64_t m = measure(bw, sx, sy, bound);
  if (m < best_ || (winsTies && m == best_)) {
    best_ = m;
    bestIndex_ = index;
    bestX_ = sx;
    bestY_ = sy;
  }
}

// Measures the candidates of one pass, given in scan order, starting with
// the one nearest `hint` (a likely winner, whose score bounds the others).
void ImageMotion::searchFrom(const cv::Mat& bw, const std::vector<cv::Point>& candidates,
                             int firstIndex, cv::Point hint) {
  if (candidates.empty()) return;
  size_t start = 0;
  int nearest = std::numeric_limits<int>::max();
  for (size_t k = 0; k < candidates.size(); ++k) {
    const cv::Point d = candidates[k] - hint;
    const int dist = std::abs(d.x) + std::abs(d.y);
    if (dist < nearest) {
      nearest = dist;
      start = k;
    }
  }
  consider(bw, candidates[start].x, candidates[start].y, firstIndex + static_cast<int>(start));
  for (size_t k = 0; k < candidates.size(); ++k)
    if (k != start)
      consider(bw, candidates[k].x, candidates[k].y, firstIndex + static_cast<int>(k));
}

std::optional<cv::Point> ImageMotion::findMovement(const cv::Mat& bw, const WormBox& worm,
                                                   std::ostream& out) {
  if (bw.type() != CV_8UC1 || bw.cols != width_ || bw.rows != height_) return std::nullopt;
  if (previous_.empty()) {  // the first frame only becomes the reference
    renew(bw, worm);
    hint_ = cv::Point(range_, range_);
    return cv::Point(0, 0);
  }
  // Nothing scoring below the limit leaves the shift at zero: the starting
  // best wins every tie. Larger windows get a proportionally larger limit:
  // with the fixed one, sensor noise alone would exceed it on a 1280 x 960
  // frame and no shift would ever be found.
  best_ = noBest_;
  bestIndex_ = -1;
  bestX_ = range_;
  bestY_ = range_;
  const int side = 2 * range_ + 1;
  searchFrom(bw, grid_, 0, hint_);

  // Fine pass around the best grid point; its bounds are fixed before it
  // starts, and the grid cells, measured already, are skipped. Its
  // candidates come after the grid's in the scan order.
  const int y0 = std::max(bestY_ - step_, 0), y1 = std::min(bestY_ + step_, side);
  const int x0 = std::max(bestX_ - step_, 0), x1 = std::min(bestX_ + step_, side);
  fine_.clear();
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (x % step_ != 0 || y % step_ != 0) fine_.emplace_back(x, y);
  searchFrom(bw, fine_, static_cast<int>(grid_.size()), hint_);

  const cv::Point shift(bestX_ - range_, bestY_ - range_);
  // The next frame most likely shows the same shift from a kept reference,
  // and none from a renewed one.
  hint_ = cv::Point(bestX_, bestY_);
  if (shift != cv::Point(0, 0)) {
    out << "found relative movement of x=" << shift.x << " y=" << shift.y << "\n";
    if (std::abs(shift.x) + std::abs(shift.y) < kMinApplied) return std::nullopt;
  }
  renew(bw, worm);
  hint_ = cv::Point(range_, range_);
  return shift;
}

void ImageMotion::renew(const cv::Mat& bw, const WormBox& worm) {
  const int minX = worm.minX, minY = worm.minY, maxX = worm.maxX, maxY = worm.maxY;
  bw.copyTo(previous_);
  // The worm's box widened by the margin, in window coordinates; the origin
  // is clamped at 0 without shortening the box, then the box is cut at the
  // window's far edges. 64-bit arithmetic keeps absurd boxes harmless.
  const int64_t x = std::max<int64_t>(int64_t{minX} - kWormMargin - range_, 0);
  const int64_t y = std::max<int64_t>(int64_t{minY} - kWormMargin - range_, 0);
  const int64_t w = std::min<int64_t>(int64_t{maxX} - minX + 2 * kWormMargin, innerWidth_ - x);
  const int64_t h = std::min<int64_t>(int64_t{maxY} - minY + 2 * kWormMargin, innerHeight_ - y);
  if (w <= 0 || h <= 0)
    wormRect_ = cv::Rect();
  else
    wormRect_ = cv::Rect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(w),
                         static_cast<int>(h));
}

}  // namespace dukon
