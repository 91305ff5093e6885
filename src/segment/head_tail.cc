#include "segment/head_tail.h"

#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

// Grey-level histogram of one end sample: 256 bins over [0, 255), so bin g
// holds grey level g for g < 255 and grey 255 falls outside (bin 255 stays
// empty).
using GreyHistogram = std::array<int, 256>;

// The sample square of side s centred between chain points a and b, as the
// corner arithmetic has always rounded it (division toward zero).
cv::Rect sampleSquare(cv::Point a, cv::Point b, int s) {
  return cv::Rect((a.x + b.x - s) / 2, (a.y + b.y - s) / 2, s, s);
}

// Histograms `bw` over the body pixels of `square` that survive two 3 x 3
// erosions of the mask cut to the square (outside the square counts as body,
// so only the outline erodes). Returns the number of such pixels, or -1 when
// the square is not wholly inside the frame.
int sampleEnd(const cv::Mat& bw, const cv::Mat& bin, const cv::Rect& square, GreyHistogram& hist) {
  hist.fill(0);
  const cv::Rect frame(0, 0, bw.cols, bw.rows);
  if (square.area() <= 0 || (square & frame) != square) return -1;
  cv::Mat body = bin(square).clone();
  cv::erode(body, body, cv::Mat(), cv::Point(-1, -1), 2);
  const cv::Mat grey = bw(square);
  for (int y = 0; y < square.height; ++y) {
    const uchar* m = body.ptr<uchar>(y);
    const uchar* g = grey.ptr<uchar>(y);
    for (int x = 0; x < square.width; ++x) {
      if (m[x] != 0 && g[x] < 255) ++hist[g[x]];
    }
  }
  return cv::countNonZero(body);
}

// Mean grey level of at least the `n` brightest sampled pixels, walking whole
// bins from 254 down; NaN when the sample holds no pixel, which makes every
// brightness comparison fail.
float brightestMean(const GreyHistogram& hist, int n) {
  long long c = 0;
  long long sum = 0;
  for (int g = 255; g >= 0 && c < n; --g) {
    c += hist[g];
    sum += static_cast<long long>(hist[g]) * g;
  }
  if (c == 0) return std::numeric_limits<float>::quiet_NaN();
  return static_cast<float>(sum) / static_cast<float>(c);
}

}  // namespace

void decideHeadTail(const cv::Mat& bw, const cv::Mat& bin, SkelRecord& rec, int mmpix) {
  rec.headKnown = false;
  rec.headContrast = SkelRecord::kNaN;
  const int N = rec.numsklpts;
  if (N <= 0 || static_cast<int>(rec.points.size()) < N) return;
  const std::vector<cv::Point>& p = rec.points;
  rec.head = p[0];
  rec.tail = p[N - 1];

  const int s = mmpix / 10;
  if (s < 1 || N < s + 3 || bw.type() != CV_8UC1 || bin.type() != CV_8UC1 ||
      bw.size() != bin.size()) {
    return;
  }
  GreyHistogram histA, histB;
  const int bodyA = sampleEnd(bw, bin, sampleSquare(p[2], p[s], s), histA);
  const int bodyB = sampleEnd(bw, bin, sampleSquare(p[N - 3], p[N - 3 - s], s), histB);
  if (bodyA < 0 || bodyB < 0) return;

  // The brightest fifth of the start sample, at least 5 pixels, sets the
  // count for both ends.
  int n = static_cast<int>(bodyA * 0.2);
  if (n < 5) n = 5;
  const float meanA = brightestMean(histA, n);
  const float meanB = brightestMean(histB, n);

  rec.headKnown = true;
  rec.headContrast = std::fabs(static_cast<double>(meanA) - meanB);
  if (meanA > meanB + 2.0) {
    // head and tail already at the chain's first and last point
  } else if (meanB > meanA + 2.0) {
    rec.head = p[N - 1];
    rec.tail = p[0];
  } else {
    rec.headKnown = false;
  }
}

namespace {

double distance(cv::Point a, cv::Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// First record in [from, n) that is consistent and headKnown, or n.
int findRunStart(const std::vector<SkelRecord>& records, int n, int from) {
  for (int v = from; v < n; ++v) {
    if (records[v].consistent && records[v].headKnown) return v;
  }
  return n;
}

// Follows the ends from record v on, giving each record with a chain its sign
// (+1 same orientation as v, -1 swapped) until a loop or ignored record,
// whose index is returned (n when the run reaches the end). `agree` and
// `disagree` count the decided consistent frames, v included.
int followRun(const std::vector<SkelRecord>& records, int n, int v, std::vector<int>& sign,
              int& agree, int& disagree) {
  sign[v] = 1;
  agree = 1;
  disagree = 0;
  int ref = v;
  for (int j = v + 1; j < n; ++j) {
    const SkelRecord& r = records[j];
    if (r.loop || r.ignored) return j;
    if (r.numsklpts == 0) continue;
    const SkelRecord& q = records[ref];
    const double same = distance(r.head, q.head) + distance(r.tail, q.tail);
    const double swapped = distance(r.head, q.tail) + distance(r.tail, q.head);
    sign[j] = swapped > same ? sign[ref] : -sign[ref];
    if (r.consistent) {
      if (r.headKnown) (sign[j] == 1 ? agree : disagree) += 1;
      ref = j;
    }
  }
  return n;
}

}  // namespace

void orientHeadTail(std::vector<SkelRecord>& records, int start) {
  const int n = static_cast<int>(records.size());
  if (start < 0) start = 0;
  // One sign per record; each run writes only its own index range, so the
  // array needs no clearing between runs.
  std::vector<int> sign(n > 0 ? n : 0, 0);
  while (start < n) {
    const int v = findRunStart(records, n, start);
    if (v == n) return;
    int agree = 0, disagree = 0;
    const int end = followRun(records, n, v, sign, agree, disagree);
    // The majority keeps its orientation; a tie turns the start frame over.
    const int flip = agree > disagree ? -1 : 1;
    for (int k = start; k < end; ++k) {
      SkelRecord& r = records[k];
      if (r.numsklpts == 0) continue;
      if (sign[k] == flip) std::swap(r.head, r.tail);
      r.orient();
    }
    start = end;
  }
}

}  // namespace dukon
