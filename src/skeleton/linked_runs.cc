#include "skeleton/linked_runs.h"

#include <algorithm>

namespace dukon {

namespace {

// A match of two frames' ends holds when the better pairing's summed end
// distance is at most this share of the other pairing's ...
constexpr double kDecisiveRatio = 0.5;
// ... each end moved by at most this share of the body length on average ...
constexpr double kMaxEndMove = 0.5;
// ... and the frames lie at most this many seconds apart.
constexpr double kMaxGapSeconds = 2.0;

bool hasChain(const SkelRecord& r) {
  return r.numsklpts > 0 && !r.loop && !r.ignored && !r.noWorm;
}

struct Match {
  bool holds = false;
  bool reversed = false;  // `r`'s chain starts at the reference's end B
};

// Matches the ends of `r` to those of the reference member `ref`.
Match matchEnds(const SkelRecord& ref, const RunMember& refMember, const SkelRecord& r,
                double maxGapFrames) {
  Match m;
  if (std::abs(r.frame - ref.frame) > maxGapFrames) return m;
  const cv::Point a = worldPoint(ref, endA(ref, refMember));
  const cv::Point b = worldPoint(ref, endB(ref, refMember));
  const cv::Point first = worldPoint(r, r.points.front());
  const cv::Point last = worldPoint(r, r.points.back());
  const double same = pointDistance(first, a) + pointDistance(last, b);
  const double swapped = pointDistance(first, b) + pointDistance(last, a);
  const double better = std::min(same, swapped);
  m.reversed = swapped < same;
  m.holds =
      better <= kDecisiveRatio * std::max(same, swapped) && better / 2 <= kMaxEndMove * ref.len;
  return m;
}

}  // namespace

cv::Point endA(const SkelRecord& rec, const RunMember& m) {
  return m.reversed ? rec.points.back() : rec.points.front();
}

cv::Point endB(const SkelRecord& rec, const RunMember& m) {
  return m.reversed ? rec.points.front() : rec.points.back();
}

std::vector<LinkedRun> linkRuns(const std::vector<SkelRecord>& records, double rate) {
  const double maxGap = kMaxGapSeconds * (rate > 0 ? rate : 1.0);
  std::vector<LinkedRun> runs;
  std::vector<int> pending;  // chains no run took so far, since the last run began
  RunMember ref{-1, false};  // the open run's last consistent member
  for (int i = 0; i < static_cast<int>(records.size()); ++i) {
    const SkelRecord& r = records[i];
    if (!hasChain(r)) continue;
    if (ref.index >= 0) {
      const Match m = matchEnds(records[ref.index], ref, r, maxGap);
      if (m.holds) {
        runs.back().members.push_back({i, m.reversed});
        if (r.consistent) ref = runs.back().members.back();
        continue;
      }
    }
    if (!r.consistent) {
      pending.push_back(i);
      continue;
    }
    // A new run from this chain, with the earlier chains that match it.
    runs.emplace_back();
    const RunMember start{i, false};
    for (int p : pending) {
      const Match m = matchEnds(r, start, records[p], maxGap);
      if (m.holds) runs.back().members.push_back({p, m.reversed});
    }
    pending.clear();
    runs.back().members.push_back(start);
    ref = start;
  }
  return runs;
}

}  // namespace dukon
