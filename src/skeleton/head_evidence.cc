#include "skeleton/head_evidence.h"

#include <algorithm>
#include <cmath>

namespace dukon {

namespace {

// Frames compared for swing, wave and travel lie this many seconds before
// and after the frame in the middle.
constexpr double kPairSeconds = 0.1;
// Head swing compares the change of kEndAngles tangent angles at each end,
// the kEndSkip outermost left out, with that of the middle of the body
// (angles kMidFirst to kMidLast): the chain's last points are unsure (the
// walk is prolonged to the outline, a tapered tail tip wiggles), and a
// swinging end moves more than the middle. The body wave is measured at
// the angles at least kWaveMargin from either end.
constexpr int kEndSkip = 2;
constexpr int kEndAngles = 5;
constexpr int kMidFirst = 18;
constexpr int kMidLast = 29;
constexpr int kWaveMargin = 4;

// A brightness vote counts fully from this margin on, grey levels.
constexpr double kFullContrast = 20;
// The log ratio of the two ends' swing that counts as clear, and the log
// ratio of the swinging end's to the middle's at which the swing counts
// fully (none when no end moves more than the middle).
constexpr double kClearSwing = 0.5;
constexpr double kClearExcess = 0.3;
// Least speed along the body, body lengths per second, at which a frame pair
// votes for the leading end: about the speed below which a 1 mm worm
// pauses, and well above the jitter of the chain's mid point.
constexpr double kMinTravel = 0.05;

// Weights of the cues, from measurements on real and synthetic movies: head
// swing was right on every run of the real sample at every scale, brightness
// on most, and the leading end only where the worm crawled forward.
constexpr double kBrightnessWeight = 1.0;
constexpr double kSwingWeight = 1.5;
constexpr double kMotionWeight = 1.0;
// Amount: a cue with this many votes counts half, and fully with many.
constexpr double kHalfAmount = 5;
// Body wave and travel count half over a run of this many seconds: a
// longer run is more and more likely to be mostly forward crawling.
constexpr double kHalfMotionSeconds = 10;

constexpr double kPi = 3.14159265358979323846;

double amount(double n, double half) {
  return n / (n + half);
}

// The consistent members of a run with their tangent angles.
struct Frame {
  int index;
  bool reversed;
  TangentAngles angles;
};

double brightnessScore(const std::vector<SkelRecord>& records, const std::vector<Frame>& frames,
                       int* votes) {
  double sum = 0;
  *votes = 0;
  for (const Frame& f : frames) {
    const SkelRecord& r = records[f.index];
    if (!r.headKnown || !std::isfinite(r.headContrast)) continue;
    const RunMember m{f.index, f.reversed};
    const double weight = std::min(r.headContrast, kFullContrast) / kFullContrast;
    sum += r.head == endA(r, m) ? weight : -weight;
    ++*votes;
  }
  if (*votes == 0) return 0;
  return kBrightnessWeight * sum / *votes * amount(*votes, kHalfAmount);
}

// What one pair of frames (before, after) around `centre` measures.
struct PairMeasure {
  double swingA = 0, swingB = 0, swingMid = 0;  // mean squared change of the angles
  int wave = 0;                                 // +1: the wave travels from end A to end B
  int travel = 0;                               // +1: the body moves towards end A; 0: not measured
};

PairMeasure measurePair(const std::vector<SkelRecord>& records, const Frame& before,
                        const Frame& centre, const Frame& after, double seconds) {
  PairMeasure p;
  const TangentAngles& a = before.angles;
  const TangentAngles& b = after.angles;
  const TangentAngles& c = centre.angles;
  for (int s = kEndSkip; s < kEndSkip + kEndAngles; ++s) {
    const double da = b[s] - a[s];
    const double db = b[kTangentCount - 1 - s] - a[kTangentCount - 1 - s];
    p.swingA += da * da / kEndAngles;
    p.swingB += db * db / kEndAngles;
  }
  for (int s = kMidFirst; s <= kMidLast; ++s)
    p.swingMid += (b[s] - a[s]) * (b[s] - a[s]) / (kMidLast - kMidFirst + 1);
  // The profile moves along the body: its change over time against its
  // slope along the body (the wave equation's two sides) gives the sign of
  // the wave's speed.
  double flow = 0;
  for (int s = kWaveMargin; s < kTangentCount - kWaveMargin; ++s)
    flow += (b[s] - a[s]) * (c[s + 1] - c[s - 1]) / 2;
  p.wave = flow < 0 ? 1 : flow > 0 ? -1 : 0;

  const SkelRecord& r0 = records[before.index];
  const SkelRecord& r1 = records[after.index];
  const SkelRecord& rc = records[centre.index];
  if (!r0.located || !r1.located) return p;
  // The centre of mass of the mask, stored as (row, column) each plus one.
  auto massCentre = [](const SkelRecord& r) {
    return worldPoint(r, cv::Point(r.cmass[1], r.cmass[0]));
  };
  const cv::Point2d move = massCentre(r1) - massCentre(r0);
  const RunMember m{centre.index, centre.reversed};
  const cv::Point2d axis = endA(rc, m) - endB(rc, m);
  const double axisLength = std::hypot(axis.x, axis.y);
  if (axisLength <= 0) return p;
  const double along = move.dot(axis) / axisLength;
  if (std::fabs(along) > kMinTravel * rc.len * seconds) p.travel = along > 0 ? 1 : -1;
  return p;
}

}  // namespace

TangentAngles tangentAngles(const std::vector<cv::Point>& chain, bool reversed) {
  TangentAngles out{};
  const int n = static_cast<int>(chain.size());
  if (n < 2) return out;
  auto at = [&](int i) { return cv::Point2d(chain[reversed ? n - 1 - i : i]); };
  std::vector<double> arc(n, 0.0);
  for (int i = 1; i < n; ++i) {
    const cv::Point2d d = at(i) - at(i - 1);
    arc[i] = arc[i - 1] + std::hypot(d.x, d.y);
  }
  if (arc.back() <= 0) return out;
  // Resampled points at equal arc length, linear between chain points.
  std::array<cv::Point2d, kTangentCount + 1> p;
  int j = 0;
  for (int k = 0; k <= kTangentCount; ++k) {
    const double s = arc.back() * k / kTangentCount;
    while (j < n - 2 && arc[j + 1] < s) ++j;
    const double span = arc[j + 1] - arc[j];
    const double t = span > 0 ? std::clamp((s - arc[j]) / span, 0.0, 1.0) : 0.0;
    p[k] = at(j) + t * (at(j + 1) - at(j));
  }
  double previous = 0, sum = 0;
  std::array<double, kTangentCount> theta;
  for (int k = 0; k < kTangentCount; ++k) {
    const cv::Point2d d = p[k + 1] - p[k];
    double angle = std::atan2(d.y, d.x);
    if (k > 0) angle += 2 * kPi * std::round((previous - angle) / (2 * kPi));
    theta[k] = previous = angle;
    sum += angle;
  }
  for (int k = 0; k < kTangentCount; ++k)
    out[k] = static_cast<float>(theta[k] - sum / kTangentCount);
  return out;
}

HeadEvidence weighEvidence(const std::vector<SkelRecord>& records, const LinkedRun& run,
                           double rate) {
  HeadEvidence e;
  if (!(rate > 0)) rate = 1;
  std::vector<Frame> frames;
  for (const RunMember& m : run.members) {
    const SkelRecord& r = records[m.index];
    if (r.consistent) frames.push_back({m.index, m.reversed, tangentAngles(r.points, m.reversed)});
  }
  if (frames.empty()) return e;
  e.brightness = brightnessScore(records, frames, &e.brightnessVotes);

  // Frame number -> position in `frames`, over the run's span.
  const int first = records[frames.front().index].frame;
  const int last = records[frames.back().index].frame;
  std::vector<int> at(static_cast<size_t>(last - first) + 1, -1);
  for (size_t k = 0; k < frames.size(); ++k) at[records[frames[k].index].frame - first] = k;
  const int step = std::max(1, static_cast<int>(std::lround(rate * kPairSeconds)));
  double swingA = 0, swingB = 0, swingMid = 0;
  int wave = 0, travel = 0;
  for (const Frame& centre : frames) {
    const int f = records[centre.index].frame - first;
    if (f - step < 0 || f + step > last - first || at[f - step] < 0 || at[f + step] < 0) continue;
    const PairMeasure p =
        measurePair(records, frames[at[f - step]], centre, frames[at[f + step]], 2.0 * step / rate);
    swingA += p.swingA;
    swingB += p.swingB;
    swingMid += p.swingMid;
    wave += p.wave;
    ++e.framePairs;
    if (p.travel != 0) {
      travel += p.travel;
      ++e.travelVotes;
    }
  }
  if (e.framePairs > 0 && swingA > 0 && swingB > 0) {
    // A middle that does not move at all leaves the ends' swing as it is.
    const double excess =
        swingMid > 0 ? std::log(std::max(swingA, swingB) / swingMid) / kClearExcess : 1.0;
    e.swing = kSwingWeight * std::tanh(std::log(swingA / swingB) / kClearSwing) *
              std::clamp(excess, 0.0, 1.0) * amount(e.framePairs, kHalfAmount);
  }
  // Body wave and travel both name the leading end: each counts by how
  // consistently and how often it does, so that one without a direction
  // (travel where the frames carry no world motion) does not water the
  // other down.
  const double w = e.framePairs > 0 ? amount(e.framePairs, kHalfAmount) * wave / e.framePairs : 0;
  const double t =
      e.travelVotes > 0 ? amount(e.travelVotes, kHalfAmount) * travel / e.travelVotes : 0;
  const double consistency = std::fabs(w) + std::fabs(t);
  if (consistency > 0) {
    const double weight =
        kMotionWeight * amount(frames.size() / rate, kHalfMotionSeconds) / consistency;
    e.wave = weight * w * std::fabs(w);
    e.travel = weight * t * std::fabs(t);
  }
  return e;
}

}  // namespace dukon
