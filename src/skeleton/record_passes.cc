// The passes over the run's records after the frame loop that judge and
// orient the skeleton chains.
#include "skeleton/record_passes.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/geometry.h"

namespace dukon {

int medianLength(const std::vector<SkelRecord>& records, int mmpix) {
  const int bins = 2 * std::max(mmpix, 0) + 1;
  std::vector<int> hist(bins, 0);
  int total = 0;
  for (const SkelRecord& rec : records) {
    if (rec.points.empty()) continue;
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
    if (rec.points.empty() || rec.loop) {
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
    if (r.points.empty()) continue;
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
      if (r.points.empty()) continue;
      if (sign[k] == flip) std::swap(r.head, r.tail);
      r.orient();
    }
    start = end;
  }
}

}  // namespace dukon
