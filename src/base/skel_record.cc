// Point operations, basic measures, validation and the passes over the run's
// records.
#include "base/skel_record.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

namespace dukon {

void SkelRecord::reverse(int from, int to) {
  std::vector<cv::Point>& list = bucketMode ? bucket : points;
  const int count = static_cast<int>(list.size());
  if (to == -1 || to >= count) to = count - 1;
  if (from < 0) from = 0;
  while (from < to) {
    std::swap(list[from], list[to]);
    ++from;
    --to;
  }
}

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
  const int n = numsklpts;
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
  if (rec.numsklpts == 0) return false;
  const int minimum = static_cast<int>(0.3 * mmpix);
  if (rec.numsklpts < minimum) {
    if (verbose) {
      err << "[short=" << static_cast<double>(rec.numsklpts) / static_cast<double>(mmpix) << "mm] ";
    }
    return false;
  }
  for (int i = 1; i < rec.numsklpts; ++i) {
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

int medianLength(const std::vector<SkelRecord>& records, int mmpix) {
  const int bins = 2 * std::max(mmpix, 0) + 1;
  std::vector<int> hist(bins, 0);
  int total = 0;
  for (const SkelRecord& rec : records) {
    if (rec.numsklpts == 0) continue;
    // A NaN or negative length cannot index the histogram; it counts as 0.
    const double len = std::isfinite(rec.len) && rec.len > 0.0 ? rec.len : 0.0;
    if (len <= 2.0 * mmpix) {
      ++hist[static_cast<int>(len)];
    } else {
      ++hist[bins - 1];
    }
    ++total;
  }
  if (total == 0) return 0;
  // The running sum must reach at least one record: with a single chain,
  // total / 2 is 0 and bin 0 would be returned although it is empty, so
  // that frame could never be consistent. For two or more chains this is
  // the plain total / 2.
  const int half = std::max(1, total / 2);
  int sum = 0;
  for (int b = 0; b < bins; ++b) {
    sum += hist[b];
    if (sum >= half) return b;
  }
  return bins - 1;
}

int consistencyPass(std::vector<SkelRecord>& records, int median) {
  const double tolerance = 0.09 * median;
  const int n = static_cast<int>(records.size());
  int count = 0;
  for (int i = 0; i < n; ++i) {
    SkelRecord& rec = records[i];
    if (rec.numsklpts == 0 || rec.loop) {
      rec.consistent = false;
      continue;
    }
    rec.consistent = !(std::fabs(rec.len - median) > tolerance);
    if (i > 0 && rec.located && records[i - 1].located) {
      if (pointDistance(rec.mid, records[i - 1].mid) > tolerance) rec.consistent = false;
    }
    if (rec.consistent) ++count;
  }
  return count;
}

// Every run of failed frames (neither consistent nor ignored) that borders a
// loop frame is marked as loop too: such frames are most likely the same coil.
// A frame without a worm ends the walk like an ignored one. The backward walk
// never reaches record 0.
int loopSpreading(std::vector<SkelRecord>& records) {
  const int n = static_cast<int>(records.size());
  int count = 0;
  for (int i = 0; i < n; ++i) {
    if (records[i].ignored || !records[i].loop) continue;
    ++count;
    auto spreads = [&](int j) {
      return !records[j].consistent && !records[j].ignored && !records[j].noWorm;
    };
    for (int j = i - 1; j >= 1 && spreads(j); --j) {
      records[j].loop = true;
      ++count;
    }
    int k = i + 1;
    for (; k < n && spreads(k); ++k) {
      records[k].loop = true;
      ++count;
    }
    i = k;  // the loop's ++i continues after the record that stopped the walk
  }
  return count;
}

}  // namespace dukon
