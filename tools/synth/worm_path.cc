#include "synth/worm_path.h"

#include <algorithm>
#include <cmath>

namespace dukon {
namespace synth {
namespace {
constexpr double kTwoPi = 6.28318530717958647692;
}  // namespace

WormPath::WormPath(const Shape& shape, cv::Point2d origin, double heading, double phase,
                   cv::RNG* rng)
    : shape_(shape), rng_(rng) {
  nodes_.push_back(Node{origin, heading, 0.0, phase, 1.0, PathTag::kNone});
}

void WormPath::extendTo(double s) {
  while (length() < s) grow();
}

void WormPath::grow() {
  const Node& last = nodes_.back();
  double bias = 0.0, ampTarget = 1.0;
  PathTag tag = PathTag::kNone;
  if (!queue_.empty()) {
    const PathSegment& seg = queue_.front();
    bias = seg.curvature;
    ampTarget = seg.amplitude;
    tag = seg.tag;
    used_ += kStep;
    if (used_ >= seg.length - 1e-9) {
      queue_.pop_front();
      used_ = 0.0;
    }
  }
  Node n = last;
  // Ornstein-Uhlenbeck curvature: the mean heading wanders on the scale of
  // a few millimetres. It is not applied inside manoeuvres, whose geometry
  // must come out as designed.
  double k = kStep / shape_.driftLength;
  n.drift += -n.drift * k + shape_.driftSigma * std::sqrt(2.0 * k) * rng_->gaussian(1.0);
  n.meanHeading += (tag == PathTag::kNone ? n.drift : 0.0) * kStep + bias * kStep;
  n.phase = std::fmod(n.phase + kTwoPi * kStep / shape_.wavelength, kTwoPi);
  double rate = kStep / std::max(shape_.rampLength, kStep);
  if (n.amp < ampTarget) n.amp = std::min(ampTarget, n.amp + rate);
  if (n.amp > ampTarget) n.amp = std::max(ampTarget, n.amp - rate);
  n.tag = tag;
  double heading = n.meanHeading + shape_.amplitudeRad * n.amp * std::sin(n.phase);
  double prevHeading = last.meanHeading + shape_.amplitudeRad * last.amp * std::sin(last.phase);
  // Midpoint heading keeps the step length exact and the path smooth.
  double mid = 0.5 * (heading + prevHeading);
  n.p = last.p + kStep * cv::Point2d(std::cos(mid), std::sin(mid));
  nodes_.push_back(n);
  if (tag == PathTag::kOmegaApex || tag == PathTag::kCoilRing) noteTag(length(), tag);
}

void WormPath::noteTag(double s, PathTag tag) {
  if (!spans_.empty() && spans_.back().tag == tag && s - spans_.back().end <= kStep * 1.5) {
    spans_.back().end = s;
  } else {
    spans_.push_back(TaggedSpan{s - kStep, s, tag});
  }
}

cv::Point2d WormPath::at(double s) const {
  double x = std::clamp(s / kStep, 0.0, static_cast<double>(nodes_.size() - 1));
  size_t i = static_cast<size_t>(x);
  if (i + 1 >= nodes_.size()) return nodes_.back().p;
  double f = x - i;
  return nodes_[i].p * (1.0 - f) + nodes_[i + 1].p * f;
}

void WormPath::truncateAfter(double s) {
  size_t keep = static_cast<size_t>(std::max(0.0, s / kStep)) + 2;
  if (keep < nodes_.size()) nodes_.resize(keep);
  queue_.clear();
  used_ = 0.0;
  double end = length();
  while (!spans_.empty() && spans_.back().start >= end) spans_.pop_back();
  if (!spans_.empty()) spans_.back().end = std::min(spans_.back().end, end);
}

}  // namespace synth
}  // namespace dukon
