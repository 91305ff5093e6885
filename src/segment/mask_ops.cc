#include "segment/mask_ops.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <opencv2/imgproc.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/cpu_features.h"

namespace dukon {

namespace {

constexpr uint64_t kAll = ~uint64_t{0};

int countTrailingZeros(uint64_t w) {
  return __builtin_ctzll(w);
}

// Bits lo .. hi - 1 of a 64-bit word, 0 <= lo <= hi <= 64.
uint64_t bitRange(int lo, int hi) {
  const uint64_t upTo = hi >= 64 ? kAll : (uint64_t{1} << hi) - 1;
  return upTo & ~((uint64_t{1} << lo) - 1);
}

// Sets pixels x0 .. x1 - 1 of one packed row.
void setBits(uint64_t* row, int x0, int x1) {
  while (x0 < x1) {
    const int word = x0 >> 6;
    const int hi = std::min(x1 - (word << 6), 64);
    row[word] |= bitRange(x0 & 63, hi);
    x0 = (word << 6) + hi;
  }
}

// 16 pixels of `p` as 16 bits, set where `keep` holds for the byte.
#if defined(__SSE2__)
inline uint64_t nonZeroBits16(const uchar* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const int zero = _mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128()));
  return static_cast<uint64_t>(~zero & 0xFFFF);
}
inline uint64_t atMostBits16(const uchar* p, __m128i thr) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, thr), v)));
}
#endif

// Packs one row of `width` bytes: bit x set where keep(p[x]).
template <typename Keep16, typename Keep1>
void packRow(const uchar* p, int width, uint64_t* out, Keep16 keep16, Keep1 keep1) {
  int x = 0;
  for (int w = 0; x < width; ++w) {
    uint64_t bits = 0;
    int b = 0;
#if defined(__SSE2__)
    for (; b < 64 && x + 16 <= width; b += 16, x += 16) bits |= keep16(p + x) << b;
#endif
    for (; b < 64 && x < width; ++b, ++x) bits |= static_cast<uint64_t>(keep1(p[x])) << b;
    out[w] = bits;
  }
}

// One horizontal step over words [a, b] of a packed row: each pixel combined
// with its left and right neighbour, OR for a dilation and AND for an
// erosion. Words of the row outside [a, b] are clear (a dilation's spread
// never leaves the set words widened by one, and an erosion never leaves
// the set words); outside the image counts as clear for a dilation and as
// set for an erosion, the image library's default border for each.
template <bool kDilate>
void spreadWords(const uint64_t* in, uint64_t* out, int a, int b, int words, uint64_t lastMask) {
  const uint64_t outside = kDilate ? 0 : kAll;
  const uint64_t pad = kDilate ? 0 : ~lastMask;  // the last word's bits beyond the width
  auto combine = [](uint64_t prev, uint64_t x, uint64_t next) {
    const uint64_t left = (x << 1) | (prev >> 63);   // the value of pixel x - 1
    const uint64_t right = (x >> 1) | (next << 63);  // the value of pixel x + 1
    return kDilate ? (x | left | right) : (x & left & right);
  };
  uint64_t prev = a > 0 ? 0 : outside;
  uint64_t x = in[a] | (a == words - 1 ? pad : 0);
  for (int i = a; i < b; ++i) {
    const uint64_t next = in[i + 1] | (i + 2 == words ? pad : 0);
    out[i] = combine(prev, x, next);
    prev = x;
    x = next;
  }
  out[b] = combine(prev, x, b + 1 < words ? 0 : outside);
  if (b == words - 1) out[b] &= lastMask;
}

// Half-widths of the rows of the 7 x 7 ellipse the image library builds,
// top to bottom; every row is a run centred on the anchor.
const std::array<int, 7>& ellipseHalfWidths() {
  static const std::array<int, 7> kHalf = [] {
    const cv::Mat k = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7), cv::Point(3, 3));
    std::array<int, 7> half{};
    for (int y = 0; y < 7; ++y) {
      const int n = cv::countNonZero(k.row(y));
      CV_Assert(n % 2 == 1 && k.at<uchar>(y, 3 - n / 2) != 0 && k.at<uchar>(y, 3 + n / 2) != 0);
      half[y] = n / 2;
    }
    return half;
  }();
  return kHalf;
}

// First and last set word of every row of `mask`; first > last for a clear
// row.
void scanWords(const BitMask& mask, WordRanges& r) {
  const int words = mask.wordsPerRow();
  r.first.resize(static_cast<size_t>(mask.height()));
  r.last.resize(static_cast<size_t>(mask.height()));
  for (int y = 0; y < mask.height(); ++y) {
    const uint64_t* row = mask.row(y);
    int first = 0;
    while (first < words && row[first] == 0) ++first;
    int last = words - 1;
    while (last >= first && row[last] == 0) --last;
    r.first[y] = first;
    r.last[y] = last;
  }
}

// One dilation (kDilate) or erosion of `in` into `out` with the ellipse.
// `inWords` are the set words of `in`; `outWords` those of `out` on entry
// (cleared here) and of the result on return. For each set row,
// w.spread[h - 1] holds it combined h times horizontally (h = 1 .. 3) over the
// words that can be set; rows outside the image count as clear for a
// dilation and are passed over by an erosion.
template <bool kDilate>
void morphPass(const BitMask& in, const WordRanges& inWords, BitMask& out, WordRanges& outWords,
               MorphWork& w) {
  const int words = in.wordsPerRow(), height = in.height();
  const std::array<int, 7>& half = ellipseHalfWidths();
  const size_t rowWords = static_cast<size_t>(words);
  int top = height, bottom = -1;  // the set rows of `in`
  for (int y = 0; y < height; ++y) {
    if (outWords.first[y] <= outWords.last[y]) {
      uint64_t* r = out.row(y);
      std::fill(r + outWords.first[y], r + outWords.last[y] + 1, 0);
    }
    outWords.first[y] = words;
    outWords.last[y] = -1;
    if (inWords.first[y] <= inWords.last[y]) {
      top = std::min(top, y);
      bottom = y;
    }
  }
  if (top > bottom) return;  // nothing set: both operations give nothing
  for (int h = 1; h <= 3; ++h) w.spread[h - 1].resize(rowWords * height);
  // The words of row y that its spreads may set.
  auto span = [&](int y, int* a, int* b) {
    *a = kDilate ? std::max(inWords.first[y] - 1, 0) : inWords.first[y];
    *b = kDilate ? std::min(inWords.last[y] + 1, words - 1) : inWords.last[y];
  };
  for (int y = top; y <= bottom; ++y) {
    if (inWords.first[y] > inWords.last[y]) continue;
    int a, b;
    span(y, &a, &b);
    const uint64_t* src = in.row(y);
    for (int h = 1; h <= 3; ++h) {
      uint64_t* dst = w.spread[h - 1].data() + y * rowWords;
      spreadWords<kDilate>(src, dst, a, b, words, in.lastWordMask());
      // A dilation reads a spread row over the span of its window, wider
      // than the row's own: the rest of the row is made clear.
      if (kDilate) {
        std::fill(dst, dst + a, 0);
        std::fill(dst + b + 1, dst + words, 0);
      }
      src = dst;
    }
  }
  auto level = [&](int sy, int h) {
    return h == 0 ? in.row(sy) : w.spread[h - 1].data() + sy * rowWords;
  };
  // Rows that add nothing to the window: clear ones for a dilation, set ones
  // for an erosion (the rows beyond the image).
  w.neutral.assign(rowWords, kDilate ? 0 : kAll);
  const uint64_t* neutral = w.neutral.data();
  // The set words of an output row, from the range it was written over.
  auto note = [&](int y, const uint64_t* dst, int a, int b) {
    while (a <= b && dst[a] == 0) ++a;
    while (b >= a && dst[b] == 0) --b;
    outWords.first[y] = a;
    outWords.last[y] = b;
  };
  // A dilation reaches 3 rows beyond the set rows; an erosion never leaves them.
  const int from = kDilate ? std::max(top - 3, 0) : top;
  const int to = kDilate ? std::min(bottom + 3, height - 1) : bottom;
  // Each output word is combined from the seven rows of its window in
  // registers and stored once.
  const uint64_t* rows[7];
  for (int y = from; y <= to; ++y) {
    uint64_t* dst = out.row(y);
    int a, b;
    if (kDilate) {
      // The union of the window's spans; words outside a row's span are
      // clear in it.
      a = words;
      b = -1;
      for (int k = 0; k < 7; ++k) {
        const int sy = y + k - 3;
        rows[k] = neutral;
        if (sy < 0 || sy >= height || inWords.first[sy] > inWords.last[sy]) continue;
        int sa, sb;
        span(sy, &sa, &sb);
        rows[k] = level(sy, half[k]);
        a = std::min(a, sa);
        b = std::max(b, sb);
      }
      if (a > b) continue;
      for (int i = a; i <= b; ++i)
        dst[i] = rows[0][i] | rows[1][i] | rows[2][i] | rows[3][i] | rows[4][i] | rows[5][i] |
                 rows[6][i];
    } else {
      // An erosion sets a word only where every row of the window inside
      // the image has it among its set words.
      a = 0;
      b = words - 1;
      for (int k = 0; k < 7; ++k) {
        const int sy = y + k - 3;
        rows[k] = neutral;
        if (sy < 0 || sy >= height) continue;
        rows[k] = level(sy, half[k]);
        a = std::max(a, inWords.first[sy]);
        b = std::min(b, inWords.last[sy]);
      }
      if (a > b) continue;
      for (int i = a; i <= b; ++i)
        dst[i] = rows[0][i] & rows[1][i] & rows[2][i] & rows[3][i] & rows[4][i] & rows[5][i] &
                 rows[6][i];
      if (b == words - 1) dst[b] &= in.lastWordMask();
    }
    note(y, dst, a, b);
  }
}

}  // namespace

void BitMask::reset(cv::Size size) {
  width_ = std::max(size.width, 0);
  height_ = std::max(size.height, 0);
  words_ = (width_ + 63) / 64;
  lastMask_ = width_ % 64 == 0 ? kAll : (uint64_t{1} << (width_ % 64)) - 1;
  bits_.assign(static_cast<size_t>(words_) * height_, 0);
}

void BitMask::clear() {
  std::fill(bits_.begin(), bits_.end(), 0);
}

void BitMask::fromNonZero(const cv::Mat& img) {
  CV_Assert(img.type() == CV_8UC1);
  if (img.size() != size()) reset(img.size());
  for (int y = 0; y < height_; ++y) {
    packRow(
        img.ptr<uchar>(y), width_, row(y),
        [](const uchar* p) {
#if defined(__SSE2__)
          return nonZeroBits16(p);
#else
          (void)p;
          return uint64_t{0};
#endif
        },
        [](uchar v) { return v != 0; });
  }
}

void BitMask::fromThresholdInv(const cv::Mat& grey, int thr) {
  CV_Assert(grey.type() == CV_8UC1);
  if (grey.size() != size()) reset(grey.size());
  if (thr < 0) {
    clear();
    return;
  }
  const uchar t = static_cast<uchar>(std::min(thr, 255));
#if defined(__SSE2__)
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
#endif
  for (int y = 0; y < height_; ++y) {
    packRow(
        grey.ptr<uchar>(y), width_, row(y),
        [&](const uchar* p) {
#if defined(__SSE2__)
          return atMostBits16(p, tv);
#else
          (void)p;
          return uint64_t{0};
#endif
        },
        [t](uchar v) { return v <= t; });
  }
}

void BitMask::toMat(cv::Mat& img) const {
  img.create(height_, width_, CV_8UC1);
  // Eight pixels of a byte of bits at once.
  static const std::array<uint64_t, 256> kBytes = [] {
    std::array<uint64_t, 256> t{};
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i)
        if (b >> i & 1) t[b] |= uint64_t{1} << (8 * i);
    return t;
  }();
  for (int y = 0; y < height_; ++y) {
    const uint64_t* src = row(y);
    uchar* dst = img.ptr<uchar>(y);
    int x = 0;
    for (int w = 0; w < words_; ++w) {
      uint64_t bits = src[w];
      if (bits == 0 && x + 64 <= width_) {
        std::memset(dst + x, 0, 64);
        x += 64;
        continue;
      }
      for (int b = 0; b < 8 && x < width_; ++b, bits >>= 8) {
        const uint64_t bytes = kBytes[bits & 0xFF];
        if (x + 8 <= width_) {
          std::memcpy(dst + x, &bytes, 8);
          x += 8;
        } else {
          std::memcpy(dst + x, &bytes, static_cast<size_t>(width_ - x));
          x = width_;
        }
      }
    }
  }
}

namespace {

// Set bits of words[0 .. n - 1]. On x86-64 the processor's own bit-count
// instruction is used where it has one (the baseline build calls a library
// routine); the choice is made at run time, without an indirect-function
// resolver, which the sanitizers cannot run before they start. The loop is
// inlined into each caller, so each gets its own instructions.
inline __attribute__((always_inline)) long countBitsBaseline(const uint64_t* words, size_t n) {
  long total = 0;
  for (size_t i = 0; i < n; ++i) total += __builtin_popcountll(words[i]);
  return total;
}

#if defined(__GNUC__) && defined(__x86_64__)
__attribute__((target("popcnt"))) long countBitsPopcnt(const uint64_t* words, size_t n) {
  return countBitsBaseline(words, n);
}

long countBits(const uint64_t* words, size_t n) {
  return cpuHasPopcnt() ? countBitsPopcnt(words, n) : countBitsBaseline(words, n);
}
#else
long countBits(const uint64_t* words, size_t n) {
  return countBitsBaseline(words, n);
}
#endif

}  // namespace

int BitMask::count() const {
  return static_cast<int>(countBits(bits_.data(), bits_.size()));
}

void BitMask::orWith(const BitMask& other) {
  CV_Assert(other.size() == size());
  for (size_t i = 0; i < bits_.size(); ++i) bits_[i] |= other.bits_[i];
}

cv::Rect BitMask::boundingBox(cv::Rect area) const {
  area = area.empty() ? cv::Rect(0, 0, width_, height_) : area & cv::Rect(0, 0, width_, height_);
  if (area.empty()) return cv::Rect();
  const int w0 = area.x >> 6, w1 = (area.br().x - 1) >> 6;
  int x0 = width_, x1 = -1, y0 = -1, y1 = -1;
  for (int y = area.y; y < area.br().y; ++y) {
    const uint64_t* r = row(y);
    for (int i = w0; i <= w1; ++i) {
      const int lo = i == w0 ? area.x - (i << 6) : 0;
      const int hi = i == w1 ? area.br().x - (i << 6) : 64;
      const uint64_t bits = r[i] & bitRange(lo, hi);
      if (bits == 0) continue;
      x0 = std::min(x0, (i << 6) + countTrailingZeros(bits));
      x1 = std::max(x1, (i << 6) + 63 - __builtin_clzll(bits));
      if (y0 < 0) y0 = y;
      y1 = y;
    }
  }
  if (y0 < 0) return cv::Rect();
  return cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
}

void closeEllipse(BitMask& mask, int iterations, MorphWork& work) {
  if (iterations <= 0 || mask.width() == 0 || mask.height() == 0) return;
  work.other.reset(mask.size());
  scanWords(mask, work.maskWords);
  scanWords(work.other, work.otherWords);
  // Each pass reads one mask and writes the other, then the two swap.
  for (int i = 0; i < 2 * iterations; ++i) {
    if (i < iterations)
      morphPass<true>(mask, work.maskWords, work.other, work.otherWords, work);
    else
      morphPass<false>(mask, work.maskWords, work.other, work.otherWords, work);
    std::swap(mask, work.other);
    std::swap(work.maskWords, work.otherWords);
  }
}

void closeMask(cv::Mat& img, int iterations) {
  static const cv::Mat kElement =
      cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7), cv::Point(3, 3));
  cv::morphologyEx(img, img, cv::MORPH_CLOSE, kElement, cv::Point(3, 3), iterations);
}

int MaskObjects::find(int r) {
  while (parent_[r] != r) {
    parent_[r] = parent_[parent_[r]];
    r = parent_[r];
  }
  return r;
}

void MaskObjects::label(const BitMask& mask) {
  runs_.clear();
  rowStart_.assign(static_cast<size_t>(mask.height()) + 1, 0);
  const int words = mask.wordsPerRow();
  for (int y = 0; y < mask.height(); ++y) {
    rowStart_[y] = static_cast<int>(runs_.size());
    const uint64_t* r = mask.row(y);
    int start = -1;  // first pixel of a run that reaches the end of a word
    for (int i = 0; i < words; ++i) {
      uint64_t w = r[i];
      const int base = i << 6;
      if (start >= 0) {
        if (w == kAll) continue;
        const int ones = countTrailingZeros(~w);
        runs_.push_back({y, start, base + ones});
        start = -1;
        w &= ~bitRange(0, ones);
      }
      while (w != 0) {
        const int s = countTrailingZeros(w);
        const uint64_t rest = ~(w >> s);
        const int len = rest == 0 ? 64 - s : countTrailingZeros(rest);
        if (s + len >= 64) {
          start = base + s;
          break;
        }
        runs_.push_back({y, base + s, base + s + len});
        w &= ~bitRange(s, s + len);
      }
    }
    if (start >= 0) runs_.push_back({y, start, mask.width()});
  }
  rowStart_[mask.height()] = static_cast<int>(runs_.size());

  const int n = static_cast<int>(runs_.size());
  parent_.resize(n);
  for (int i = 0; i < n; ++i) parent_[i] = i;
  // A run touches a run of the row above (8-connected) when their pixel
  // ranges, the upper one widened by one pixel on each side, overlap.
  for (int y = 1; y < mask.height(); ++y) {
    int j = rowStart_[y - 1];
    const int upEnd = rowStart_[y];
    for (int a = rowStart_[y]; a < rowStart_[y + 1]; ++a) {
      while (j < upEnd && runs_[j].x1 < runs_[a].x0) ++j;
      for (int k = j; k < upEnd && runs_[k].x0 <= runs_[a].x1; ++k) {
        const int ra = find(a), rk = find(k);
        if (ra != rk) parent_[std::max(ra, rk)] = std::min(ra, rk);
      }
    }
  }
  // Roots are the smallest run of their set, i.e. the object's first run in
  // raster order, so numbering roots in order numbers the objects in raster
  // order of their first pixel.
  object_.resize(n);
  pixels_.clear();
  boxes_.clear();
  for (int i = 0; i < n; ++i) {
    const int root = find(i);
    const Run& run = runs_[i];
    const cv::Rect span(run.x0, run.y, run.x1 - run.x0, 1);
    if (root == i) {
      object_[i] = static_cast<int>(pixels_.size());
      pixels_.push_back(0);
      boxes_.push_back(span);
    }
    const int k = object_[i] = object_[root];
    pixels_[k] += run.x1 - run.x0;
    boxes_[k] |= span;
  }
}

int MaskObjects::largest() const {
  int best = -1;
  for (int k = 0; k < count(); ++k)
    if (best < 0 || pixels_[k] > pixels_[best]) best = k;
  return best;
}

void MaskObjects::keepOnly(int k, BitMask& mask) const {
  mask.clear();
  for (size_t i = 0; i < runs_.size(); ++i)
    if (object_[i] == k) setBits(mask.row(runs_[i].y), runs_[i].x0, runs_[i].x1);
}

void MaskObjects::paint(int k, const cv::Rect& area, cv::Mat& img) const {
  img.create(area.size(), CV_8UC1);
  img.setTo(0);
  const int y0 = std::max(area.y, 0);
  const int y1 = std::min(area.br().y, static_cast<int>(rowStart_.size()) - 1);
  for (int y = y0; y < y1; ++y) {
    uchar* dst = img.ptr<uchar>(y - area.y);
    for (int i = rowStart_[y]; i < rowStart_[y + 1]; ++i) {
      if (object_[i] != k) continue;
      const int x0 = std::max(runs_[i].x0, area.x), x1 = std::min(runs_[i].x1, area.br().x);
      if (x0 < x1) std::memset(dst + (x0 - area.x), 1, static_cast<size_t>(x1 - x0));
    }
  }
}

void clearFilledHole(cv::Mat& mask, const cv::Mat& reference, int x, int y) {
  CV_Assert(mask.type() == CV_8UC1 && reference.type() == CV_8UC1 &&
            mask.size() == reference.size());
  if (x < 0 || y < 0 || x >= mask.cols || y >= mask.rows) return;
  static constexpr int kDx[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  static constexpr int kDy[8] = {0, 1, -1, -1, 1, 1, 0, -1};
  // Explicit stack: the region can span much of the frame.
  std::vector<cv::Point> stack;
  mask.at<uchar>(y, x) = 0;
  stack.emplace_back(x, y);
  while (!stack.empty()) {
    const cv::Point p = stack.back();
    stack.pop_back();
    for (int d = 0; d < 8; ++d) {
      const int nx = p.x + kDx[d], ny = p.y + kDy[d];
      if (nx < 0 || ny < 0 || nx >= mask.cols || ny >= mask.rows) continue;
      if (reference.at<uchar>(ny, nx) != 0 || mask.at<uchar>(ny, nx) == 0) continue;
      mask.at<uchar>(ny, nx) = 0;
      stack.emplace_back(nx, ny);
    }
  }
}

}  // namespace dukon
