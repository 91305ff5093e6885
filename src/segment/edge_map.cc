#include "segment/edge_map.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <opencv2/imgproc.hpp>

#include "base/cpu_features.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define DUKON_EDGE_MAP_AVX2 1
#endif

namespace dukon {

namespace {

// tan(22.5 degrees) in fixed point with 15 fraction bits: the direction
// test of the non-maximum suppression, as the image library makes it.
constexpr int kShift = 15;
constexpr int kTan22 = static_cast<int>(0.4142135623730950488016887242097 * (1 << kShift) + 0.5);

#if defined(__SSE2__)
inline __m128i abs16(__m128i v) {
  return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}
inline __m128i load16(const int16_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#endif

#if defined(DUKON_EDGE_MAP_AVX2)
// The two passes of gradientRow, 16 columns at a time, for processors with
// AVX2; they return the first column left for the narrower loops. The
// arithmetic is that of those loops, lane for lane. (Helpers are macros:
// a lambda would not inherit the target.)
#define DUKON_BYTES16(p) _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))
#define DUKON_LOAD16(p) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))

__attribute__((target("avx2"))) int smoothRowsAvx2(const uchar* a, const uchar* b, const uchar* c,
                                                   int w, int16_t* v, int16_t* d) {
  int i = 0;
  for (; i + 16 <= w; i += 16) {
    const __m256i va = DUKON_BYTES16(a + i), vb = DUKON_BYTES16(b + i), vc = DUKON_BYTES16(c + i);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(v + i),
                        _mm256_add_epi16(_mm256_add_epi16(va, vc), _mm256_add_epi16(vb, vb)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i), _mm256_sub_epi16(vc, va));
  }
  return i;
}

__attribute__((target("avx2"))) int magnitudesAvx2(const int16_t* v, const int16_t* d, int w,
                                                   int low, int16_t* mag, std::vector<int>& over) {
  const __m256i lowV = _mm256_set1_epi16(static_cast<short>(std::clamp(low, -32768, 32767)));
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m256i dx = _mm256_sub_epi16(DUKON_LOAD16(v + x + 1), DUKON_LOAD16(v + x - 1));
    const __m256i mid = DUKON_LOAD16(d + x);
    const __m256i dy =
        _mm256_add_epi16(_mm256_add_epi16(DUKON_LOAD16(d + x - 1), DUKON_LOAD16(d + x + 1)),
                         _mm256_add_epi16(mid, mid));
    const __m256i m = _mm256_add_epi16(_mm256_abs_epi16(dx), _mm256_abs_epi16(dy));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(mag + x), m);
    // Two mask bits per lane; the even ones mark the lanes.
    unsigned bits =
        static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpgt_epi16(m, lowV))) & 0x55555555u;
    while (bits != 0) {
      over.push_back(x + __builtin_ctz(bits) / 2);
      bits &= bits - 1;
    }
  }
  return x;
}
#undef DUKON_BYTES16
#undef DUKON_LOAD16
#endif

}  // namespace

EdgeMap::EdgeMap(double low, double high, Vectors vectors) {
#if defined(DUKON_EDGE_MAP_AVX2)
  wide_ = vectors == Vectors::kWidest && cpuHasAvx2();
#else
  (void)vectors;
#endif
  if (low > high) std::swap(low, high);
  low_ = static_cast<int>(std::floor(low));
  high_ = static_cast<int>(std::floor(high));
}

void EdgeMap::prepareMap(cv::Size size) {
  if (size == mapSize_) return;
  mapSize_ = size;
  map_.assign(static_cast<size_t>(size.width + 2) * (size.height + 2), 1);
}

// Sobel derivatives of row y: dx = v(x + 1) - v(x - 1) with the vertical
// smoothing v = above + 2 row + below, dy = d(x - 1) + 2 d(x) + d(x + 1)
// with the vertical difference d = below - above. Rows and columns beyond
// the image repeat the border ones, so v and d of column -1 and width are
// those of the first and last column. `out`'s rows are sized by detect().
void EdgeMap::gradientRow(const cv::Mat& grey, int y, GradientRow& out) {
  const int w = grey.cols, h = grey.rows;
  const uchar* a = grey.ptr<uchar>(std::max(y - 1, 0));
  const uchar* b = grey.ptr<uchar>(y);
  const uchar* c = grey.ptr<uchar>(std::min(y + 1, h - 1));
  int16_t* v = out.v.data() + 1;  // v[-1] .. v[w] are used
  int16_t* d = out.d.data() + 1;
  int i = 0;
#if defined(DUKON_EDGE_MAP_AVX2)
  if (wide_) i = smoothRowsAvx2(a, b, c, w, v, d);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  auto bytes8 = [&zero](const uchar* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  };
  for (; i + 8 <= w; i += 8) {
    const __m128i va = bytes8(a + i), vb = bytes8(b + i), vc = bytes8(c + i);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v + i),
                     _mm_add_epi16(_mm_add_epi16(va, vc), _mm_add_epi16(vb, vb)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_sub_epi16(vc, va));
  }
#endif
  for (; i < w; ++i) {
    v[i] = static_cast<int16_t>(a[i] + 2 * b[i] + c[i]);
    d[i] = static_cast<int16_t>(c[i] - a[i]);
  }
  v[-1] = v[0];
  v[w] = v[w - 1];
  d[-1] = d[0];
  d[w] = d[w - 1];

  // The pixels above the low threshold are listed as the magnitudes are
  // made: on a plate they are few, and only they are looked at again.
  out.over.clear();
  int x = 0;
#if defined(DUKON_EDGE_MAP_AVX2)
  if (wide_) x = magnitudesAvx2(v, d, w, low_, out.mag.data() + 1, out.over);
#endif
#if defined(__SSE2__)
  const __m128i low = _mm_set1_epi16(static_cast<short>(std::clamp(low_, -32768, 32767)));
  for (; x + 8 <= w; x += 8) {
    const __m128i dx = _mm_sub_epi16(load16(v + x + 1), load16(v + x - 1));
    const __m128i mid = load16(d + x);
    const __m128i dy =
        _mm_add_epi16(_mm_add_epi16(load16(d + x - 1), load16(d + x + 1)), _mm_add_epi16(mid, mid));
    const __m128i mag = _mm_add_epi16(abs16(dx), abs16(dy));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&out.mag[x + 1]), mag);
    // Two mask bits per lane; the even ones mark the lanes.
    unsigned over = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi16(mag, low))) & 0x5555u;
    while (over != 0) {
      out.over.push_back(x + __builtin_ctz(over) / 2);
      over &= over - 1;
    }
  }
#endif
  for (; x < w; ++x) {
    const int dx = v[x + 1] - v[x - 1];
    const int dy = d[x - 1] + 2 * d[x] + d[x + 1];
    const int m = std::abs(dx) + std::abs(dy);
    out.mag[x + 1] = static_cast<int16_t>(m);
    if (m > low_) out.over.push_back(x);
  }
}

// Non-maximum suppression of row y: a pixel above the low threshold is a
// candidate when its magnitude beats the two neighbours across its gradient
// direction (horizontal, vertical or one of the diagonals), strictly on one
// side and at least equal on the other, as the library compares them.
void EdgeMap::suppressRow(int y, const GradientRow& above, const GradientRow& row,
                          const GradientRow& below) {
  const int step = width_ + 2;
  const int16_t* mag = row.mag.data() + 1;  // mag[-1] and mag[width] are 0
  const int16_t* up = above.mag.data() + 1;
  const int16_t* down = below.mag.data() + 1;
  const int16_t* v = row.v.data() + 1;
  const int16_t* d = row.d.data() + 1;
  for (int x : row.over) {
    const int m = mag[x];
    const int xs = v[x + 1] - v[x - 1], ys = d[x - 1] + 2 * d[x] + d[x + 1];
    const int ax = std::abs(xs), ay = std::abs(ys) << kShift;
    const int tg22x = ax * kTan22;
    bool peak;
    if (ay < tg22x) {
      peak = m > mag[x - 1] && m >= mag[x + 1];
    } else if (ay > tg22x + (ax << (kShift + 1))) {
      peak = m > up[x] && m >= down[x];
    } else {
      const int s = (xs ^ ys) < 0 ? -1 : 1;
      peak = m > up[x - s] && m > down[x + s];
    }
    if (!peak) continue;
    const int idx = (y + 1) * step + x + 1;
    candidates_.push_back(idx);
    if (m > high_) {
      map_[idx] = 2;
      stack_.push_back(idx);
    } else {
      map_[idx] = 0;
    }
  }
}

void EdgeMap::detect(const cv::Mat& grey, BitMask& edges) {
  CV_Assert(grey.type() == CV_8UC1);
  edges.reset(grey.size());
  if (grey.empty()) return;
  width_ = grey.cols;
  prepareMap(grey.size());
  candidates_.clear();
  stack_.clear();
  const size_t w = static_cast<size_t>(width_);
  for (GradientRow& r : rows_) {
    r.v.resize(w + 2);
    r.d.resize(w + 2);
    r.mag.resize(w + 2);
    r.mag.front() = r.mag.back() = 0;  // the comparisons' border
  }

  // Rows y - 1, y and y + 1 of gradients; beyond the image a row of zero
  // magnitudes.
  GradientRow& zero = rows_[0];
  std::fill(zero.mag.begin(), zero.mag.end(), 0);
  zero.over.clear();
  GradientRow* above = &zero;
  GradientRow* row = &rows_[1];
  GradientRow* below = &rows_[2];
  GradientRow& spare = rows_[3];
  gradientRow(grey, 0, *row);
  for (int y = 0; y < grey.rows; ++y) {
    GradientRow* next = below;
    if (y + 1 < grey.rows) {
      gradientRow(grey, y + 1, *next);
    } else {
      std::fill(next->mag.begin(), next->mag.end(), 0);
      next->over.clear();
    }
    suppressRow(y, *above, *row, *next);
    // Rotate: the row becomes the one above, the next the row.
    GradientRow* freed = above == &zero ? &spare : above;
    above = row;
    row = next;
    below = freed;
  }

  // Hysteresis: every candidate 8-connected to an edge becomes one.
  const int step = width_ + 2;
  const int around[8] = {-step - 1, -step, -step + 1, -1, 1, step - 1, step, step + 1};
  while (!stack_.empty()) {
    const int idx = stack_.back();
    stack_.pop_back();
    for (int d : around) {
      if (map_[idx + d] == 0) {
        map_[idx + d] = 2;
        stack_.push_back(idx + d);
      }
    }
  }
  for (int idx : candidates_) {
    if (map_[idx] == 2) edges.set(idx % step - 1, idx / step - 1);
    map_[idx] = 1;
  }
}

}  // namespace dukon
