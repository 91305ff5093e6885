#include "stage/image_motion.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DUKON_IMAGE_MOTION_AVX2 1
#endif

#include "base/cpu_features.h"
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

// One row of the search: the sums of absolute differences between `ref`'s
// window (`size`, at (range, range)) and `bw`'s windows at (xs[k], sy) for
// k < n, without the columns of `worm` in its rows. Each row of the two
// frames is read once for all n windows, which then find it in the cache:
// a window at a time, the search was bound by memory traffic. A sum is
// given up, row by row, once it reaches bounds[k]: sums[k] then holds some
// partial sum >= bounds[k]. `Sum` adds one row's part.
template <uint64_t (*Sum)(const uint8_t*, const uint8_t*, int)>
inline __attribute__((always_inline)) void windowSads(const cv::Mat& bw, const cv::Mat& ref,
                                                      const int* xs, int sy, int n, int range,
                                                      cv::Size size, const cv::Rect& worm,
                                                      const uint64_t* bounds, uint64_t* sums) {
  const int rx0 = worm.x;
  const int rx1 = worm.x + worm.width;
  int live = 0;
  for (int k = 0; k < n; ++k) {
    sums[k] = 0;
    live += bounds[k] > 0;
  }
  for (int y = 0; y < size.height && live > 0; ++y) {
    const uint8_t* row = bw.ptr<uint8_t>(sy + y);
    const uint8_t* prev = ref.ptr<uint8_t>(range + y) + range;
    const bool split = y >= worm.y && y < worm.y + worm.height;
    for (int k = 0; k < n; ++k) {
      if (sums[k] >= bounds[k]) continue;
      const uint8_t* cur = row + xs[k];
      sums[k] += split ? Sum(cur, prev, rx0) + Sum(cur + rx1, prev + rx1, size.width - rx1)
                       : Sum(cur, prev, size.width);
      // The sum only grows: once it reaches the bound it cannot win.
      if (sums[k] >= bounds[k]) --live;
    }
  }
}

void windowSadsBaseline(const cv::Mat& bw, const cv::Mat& ref, const int* xs, int sy, int n,
                        int range, cv::Size size, const cv::Rect& worm, const uint64_t* bounds,
                        uint64_t* sums) {
  windowSads<absDiffSum>(bw, ref, xs, sy, n, range, size, worm, bounds, sums);
}

#if defined(DUKON_IMAGE_MOTION_AVX2)
// absDiffSum with 32 bytes per instruction.
__attribute__((target("avx2"))) uint64_t absDiffSumAvx2(const uint8_t* a, const uint8_t* b, int n) {
  __m256i acc0 = _mm256_setzero_si256();
  __m256i acc1 = _mm256_setzero_si256();
  int i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i + 32));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i + 32));
    acc0 = _mm256_add_epi64(acc0, _mm256_sad_epu8(a0, b0));
    acc1 = _mm256_add_epi64(acc1, _mm256_sad_epu8(a1, b1));
  }
  if (i + 32 <= n) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
    acc0 = _mm256_add_epi64(acc0, _mm256_sad_epu8(a0, b0));
    i += 32;
  }
  const __m256i acc = _mm256_add_epi64(acc0, acc1);
  const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
  const uint64_t sum = static_cast<uint64_t>(_mm_cvtsi128_si64(half)) +
                       static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half)));
  return sum + absDiffSum(a + i, b + i, n - i);
}

__attribute__((target("avx2"))) void windowSadsAvx2(const cv::Mat& bw, const cv::Mat& ref,
                                                    const int* xs, int sy, int n, int range,
                                                    cv::Size size, const cv::Rect& worm,
                                                    const uint64_t* bounds, uint64_t* sums) {
  windowSads<absDiffSumAvx2>(bw, ref, xs, sy, n, range, size, worm, bounds, sums);
}
#endif

}  // namespace

ImageMotion::ImageMotion(int step, int range, int width, int height, Vectors vectors)
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
#if defined(DUKON_IMAGE_MOTION_AVX2)
  wide_ = vectors == Vectors::kWidest && cpuHasAvx2();
#else
  (void)vectors;
#endif
  const uint64_t area = static_cast<uint64_t>(innerWidth_) * static_cast<uint64_t>(innerHeight_);
  noBest_ = area > kNoBestArea
                ? kNoBest / kNoBestArea * area + kNoBest % kNoBestArea * area / kNoBestArea
                : kNoBest;
  // The coarse grid, in scan order.
  const int side = 2 * range_ + 1;
  for (int sy = 0; sy < side; sy += step_)
    for (int sx = 0; sx < side; sx += step_) grid_.emplace_back(sx, sy);
  rowX_.resize(side);
  rowIndex_.resize(side);
  rowBound_.resize(side);
  rowSum_.resize(side);
}

cv::Mat ImageMotion::mask() const {
  cv::Mat m(innerHeight_, innerWidth_, CV_8UC1, cv::Scalar(1));
  m(wormRect_).setTo(0);
  return m;
}

// The sums of absolute differences between the reference's window and the
// frame's windows at shift positions (xs[k], sy), k < n, without the worm's
// rectangle; each given up, row by row, as soon as it reaches bounds[k].
void ImageMotion::measure(const cv::Mat& bw, const int* xs, int sy, int n, const uint64_t* bounds,
                          uint64_t* sums) const {
  const cv::Size window(innerWidth_, innerHeight_);
#if defined(DUKON_IMAGE_MOTION_AVX2)
  if (wide_) {
    windowSadsAvx2(bw, previous_, xs, sy, n, range_, window, wormRect_, bounds, sums);
    return;
  }
#endif
  windowSadsBaseline(bw, previous_, xs, sy, n, range_, window, wormRect_, bounds, sums);
}

// The bound a candidate must stay below to win: it wins with a lower score,
// or with an equal one when it comes earlier in the scan order than the
// best so far, so candidates may be measured in any order and the winner is
// the one the scan order would pick.
uint64_t ImageMotion::boundFor(int index) const {
  return index < bestIndex_ ? best_ + 1 : best_;
}

// Candidate `index` (its place in the scan order) at (sx, sy) scored `m`.
void ImageMotion::accept(uint64_t m, int sx, int sy, int index) {
  if (m < best_ || (index < bestIndex_ && m == best_)) {
    best_ = m;
    bestIndex_ = index;
    bestX_ = sx;
    bestY_ = sy;
  }
}

// Measures the candidates of one pass, given in scan order, starting with
// the one nearest `hint` (a likely winner, whose score bounds the others),
// then the others a row of shifts (one sy) at a time. A row's bounds are
// those before it; they are never below the bounds of measuring its
// candidates one by one, so the same candidate wins.
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
  const int startIndex = firstIndex + static_cast<int>(start);
  const cv::Point first = candidates[start];
  const uint64_t firstBound = boundFor(startIndex);
  uint64_t firstSum = 0;
  measure(bw, &first.x, first.y, 1, &firstBound, &firstSum);
  accept(firstSum, first.x, first.y, startIndex);
  for (size_t k = 0; k < candidates.size();) {
    const int sy = candidates[k].y;
    int n = 0;
    for (; k < candidates.size() && candidates[k].y == sy; ++k) {
      if (k == start) continue;
      rowX_[n] = candidates[k].x;
      rowIndex_[n] = firstIndex + static_cast<int>(k);
      rowBound_[n] = boundFor(rowIndex_[n]);
      ++n;
    }
    measure(bw, rowX_.data(), sy, n, rowBound_.data(), rowSum_.data());
    for (int j = 0; j < n; ++j) accept(rowSum_[j], rowX_[j], sy, rowIndex_[j]);
  }
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
