#include "synth/worm_simulator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "synth/body_model.h"
#include "synth/posture.h"
#include "synth/worm_path.h"

namespace dukon {
namespace synth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAccelS = 0.25;  // seconds from rest to full speed
const double kNaN = std::numeric_limits<double>::quiet_NaN();

double rad(double deg) {
  return deg * kPi / 180.0;
}

// A gentle change of direction spread over half a body length; the wave
// goes on meanwhile.
void queueTurn(WormPath* path, double L, double turnDeg) {
  path->queue(PathSegment{0.5 * L, rad(turnDeg) / (0.5 * L), 1.0, PathTag::kNone});
}

// Omega turn: the wave fades, the head swings a little outwards, then round
// by 180 + 2 * 20 degrees on a tight arc and back inwards, so that it comes
// out heading the other way beside its own body, one fifth of a body length
// away centreline to centreline: near, but with a gap wide enough that
// morphological closing of a mask does not join head and body into a loop.
// It then bends away from the body and the wave returns.
void queueOmega(WormPath* path, double L, double rampLength, double side) {
  const double alpha = rad(20.0);
  const double ra = 0.37 * L;  // radius of the outward swings
  const double rb = 0.13 * L;  // radius of the apex
  path->queue(PathSegment{rampLength, 0.0, 0.0, PathTag::kManoeuvre});
  path->queue(PathSegment{ra * alpha, -side / ra, 0.0, PathTag::kManoeuvre});
  path->queue(PathSegment{rb * (kPi + 2 * alpha), side / rb, 0.0, PathTag::kOmegaApex});
  path->queue(PathSegment{ra * alpha, -side / ra, 0.0, PathTag::kManoeuvre});
  path->queue(PathSegment{0.4 * L, -side * rad(50.0) / (0.4 * L), 0.0, PathTag::kManoeuvre});
}

// Coil: the head curls onto a ring whose circumference is 0.8 body lengths
// and runs round it, so that the head meets and crosses its own rear body;
// the ring is left where the exit tangent does not cross the way in.
void queueCoil(WormPath* path, double L, double R, double rampLength, double side, double holdS,
               double speedPxS) {
  const double c = 0.8 * L;
  const double rc = c / (2 * kPi);
  const double touch = 1.5 * R;  // centreline distance at which outlines meet
  double ring = std::max(c, speedPxS * holdS + 2 * c - L - 2 * touch);
  double turns = ring / c, frac = turns - std::floor(turns);
  if (frac < 0.55) ring += (0.55 - frac) * c;
  if (frac > 0.95) ring += (1.55 - frac) * c;
  const int steps = 8;
  const double ease = 0.15 * L / steps;
  path->queue(PathSegment{rampLength, 0.0, 0.0, PathTag::kManoeuvre});
  for (int k = 0; k < steps; ++k) {
    path->queue(PathSegment{ease, side * (k + 0.5) / steps / rc, 0.0, PathTag::kManoeuvre});
  }
  path->queue(PathSegment{ring, side / rc, 0.0, PathTag::kCoilRing});
  for (int k = steps - 1; k >= 0; --k) {
    path->queue(PathSegment{ease, side * (k + 0.5) / steps / rc, 0.0, PathTag::kManoeuvre});
  }
}

bool apexInside(const std::vector<TaggedSpan>& spans, double tailS, double headS) {
  for (const TaggedSpan& sp : spans) {
    if (sp.tag == PathTag::kOmegaApex && sp.start >= tailS && sp.end <= headS) return true;
  }
  return false;
}

class Simulator {
 public:
  Simulator(const SynthConfig& config, const BehaviourScript& script)
      : config_(config),
        script_(script),
        body_(config),
        rng_(config.seed),
        L_(body_.length()),
        n_(std::max(20, static_cast<int>(std::lround(L_)))) {
    for (int j = 0; j <= n_; ++j) radii_.push_back(body_.radiusAt(static_cast<double>(j) / n_));
  }

  Kinematics run();

 private:
  Kinematics holdPosture();
  void startBout(const Bout& bout, Motion previous);
  void layEgg(int frameIndex, const FramePose& pose, Kinematics* kin);
  FramePose pose(Motion motion) const;

  const SynthConfig& config_;
  const BehaviourScript& script_;
  BodyModel body_;
  cv::RNG rng_;
  double L_;
  int n_;  // centreline segments
  std::vector<double> radii_;
  std::unique_ptr<WormPath> path_;
  double head_ = 0.0;   // arc position of the head on the path
  double speed_ = 0.0;  // px / s, positive forward
};

Kinematics Simulator::run() {
  if (!config_.postureRad.empty()) return holdPosture();
  WormPath::Shape shape;
  shape.wavelength = config_.wavelengthPx();
  shape.amplitudeRad = rad(config_.bendDeg);
  shape.rampLength = 0.25 * shape.wavelength;
  double heading = rng_.uniform(0.0, 2 * kPi), phase = rng_.uniform(0.0, 2 * kPi);
  path_ = std::make_unique<WormPath>(shape, cv::Point2d(0, 0), heading, phase, &rng_);
  // The worm has crawled here before the movie starts; that track is long
  // enough for every backward bout of the script.
  double behind = L_ + 1.2 * config_.backSpeedPxS() * backwardSeconds(script_, config_.seconds);
  head_ = behind + shape.wavelength;
  path_->extendTo(head_ + 2.0);

  Kinematics kin;
  const int frames = config_.frameCount();
  const double dt = 1.0 / config_.fps;
  size_t bout = 0, egg = 0;
  Motion motion = script_.bouts.empty() ? Motion::kForward : script_.bouts[0].motion;
  speed_ = motion == Motion::kForward    ? config_.speedPxS()
           : motion == Motion::kBackward ? -config_.backSpeedPxS()
                                         : 0.0;
  if (!script_.bouts.empty()) startBout(script_.bouts[0], Motion::kForward);
  for (int i = 0; i < frames; ++i) {
    double t = i * dt;
    while (bout + 1 < script_.bouts.size() && script_.bouts[bout + 1].startS <= t) {
      ++bout;
      startBout(script_.bouts[bout], motion);
      motion = script_.bouts[bout].motion;
    }
    double target = motion == Motion::kForward    ? config_.speedPxS()
                    : motion == Motion::kBackward ? -config_.backSpeedPxS()
                                                  : 0.0;
    if (i > 0) {
      double dv = config_.speedPxS() / kAccelS * dt;
      speed_ = std::clamp(target, speed_ - dv, speed_ + dv);
      head_ = std::max(L_ + 1.0, head_ + speed_ * dt);
    }
    path_->extendTo(head_ + 2.0);
    kin.frames.push_back(pose(motion));
    while (egg < script_.eggTimesS.size() && script_.eggTimesS[egg] <= t) {
      layEgg(i, kin.frames.back(), &kin);
      ++egg;
    }
  }
  return kin;
}

// The still worm of the posture scenario: the same centreline in every
// frame, at a random heading; a pause, or a coil if the shape touches itself.
Kinematics Simulator::holdPosture() {
  const double heading = rng_.uniform(0.0, 2 * kPi);
  FramePose p;
  p.centreline = postureCentreline(config_.postureRad, L_, heading, cv::Point2d(0, 0), n_ + 1);
  p.state = touchesItself(p.centreline, radii_) ? State::kCoil : State::kPause;
  p.wavelengthPx = kNaN;
  p.freqHz = p.state == State::kCoil ? kNaN : 0.0;
  Kinematics kin;
  kin.frames.assign(config_.frameCount(), p);
  size_t egg = 0;
  for (int i = 0; i < config_.frameCount(); ++i) {
    while (egg < script_.eggTimesS.size() && script_.eggTimesS[egg] <= i / config_.fps) {
      layEgg(i, p, &kin);
      ++egg;
    }
  }
  return kin;
}

void Simulator::startBout(const Bout& bout, Motion previous) {
  if (bout.motion != Motion::kForward) return;
  bool newWay = previous == Motion::kBackward || bout.manoeuvre != Manoeuvre::kNone;
  if (!newWay) return;
  // The worm leaves the track it came by; what lay ahead is forgotten.
  path_->truncateAfter(head_);
  double side = bout.turnDeg < 0 ? -1.0 : 1.0;
  double ramp = 0.25 * config_.wavelengthPx();
  switch (bout.manoeuvre) {
    case Manoeuvre::kTurn:
      queueTurn(path_.get(), L_, bout.turnDeg);
      break;
    case Manoeuvre::kOmega:
      queueOmega(path_.get(), L_, ramp, side);
      break;
    case Manoeuvre::kCoil:
      queueCoil(path_.get(), L_, body_.maxRadius(), ramp, side, bout.holdS, config_.speedPxS());
      break;
    case Manoeuvre::kNone:
      break;
  }
}

FramePose Simulator::pose(Motion motion) const {
  FramePose p;
  p.centreline.reserve(n_ + 1);
  for (int j = 0; j <= n_; ++j) {
    cv::Point2d q = path_->at(head_ - L_ * j / n_);
    p.centreline.emplace_back(static_cast<float>(q.x), static_cast<float>(q.y));
  }
  p.speedPxS = speed_;
  p.wavelengthPx = config_.wavelengthPx();
  p.freqHz = std::abs(speed_) / p.wavelengthPx;
  p.state = motion == Motion::kForward    ? State::kForward
            : motion == Motion::kBackward ? State::kBackward
                                          : State::kPause;
  if (apexInside(path_->spans(), head_ - L_, head_)) {
    p.state = State::kOmega;
  } else if (touchesItself(p.centreline, radii_)) {
    p.state = State::kCoil;
  }
  if (p.state == State::kOmega || p.state == State::kCoil) {
    p.wavelengthPx = kNaN;
    p.freqHz = kNaN;
  }
  return p;
}

void Simulator::layEgg(int frameIndex, const FramePose& pose, Kinematics* kin) {
  LaidEgg e;
  e.side = rng_.uniform(0, 2) ? 1.0 : -1.0;
  const double minor = 4.0 * config_.mmpix / 280.0;
  e.offsetPx = radii_[n_ / 2] + minor - 1.5;
  placeEgg(pose, frameIndex, &e);
  kin->eggs.push_back(e);
}

}  // namespace

void placeEgg(const FramePose& pose, int frameIndex, LaidEgg* egg) {
  // Eggs leave through the vulva at mid-body and stay beside the body,
  // touching it, wherever the worm then goes.
  const int n = static_cast<int>(pose.centreline.size()) - 1;
  const int m = n / 2, d = std::max(1, n / 40);
  cv::Point2d a(pose.centreline[m - d]), b(pose.centreline[m + d]), mid(pose.centreline[m]);
  cv::Point2d along = a - b;
  double len = std::max(1e-9, std::hypot(along.x, along.y));
  cv::Point2d normal(-along.y / len, along.x / len);
  egg->frameIndex = frameIndex;
  egg->centre = mid + normal * (egg->side * egg->offsetPx);
  egg->angleDeg = std::atan2(along.y, along.x) * 180.0 / kPi;
}

const char* stateName(State state) {
  switch (state) {
    case State::kForward:
      return "forward";
    case State::kBackward:
      return "backward";
    case State::kPause:
      return "pause";
    case State::kOmega:
      return "omega";
    case State::kCoil:
      return "coil";
  }
  return "forward";
}

bool touchesItself(const std::vector<cv::Point2f>& c, const std::vector<double>& radii) {
  const size_t n = std::min(c.size(), radii.size());
  // Arc length between neighbouring points is about one pixel; parts closer
  // along the body than three outline gaps are neighbours, not contacts.
  for (size_t a = 0; a < n; a += 2) {
    for (size_t b = a + 2; b < n; b += 2) {
      double reach = radii[a] + radii[b];
      if (static_cast<double>(b - a) <= 3.0 * reach) continue;
      double dx = c[a].x - c[b].x, dy = c[a].y - c[b].y;
      if (dx * dx + dy * dy < (reach + 1.0) * (reach + 1.0)) return true;
    }
  }
  return false;
}

Kinematics simulateWorm(const SynthConfig& config, const BehaviourScript& script) {
  return Simulator(config, script).run();
}

void shiftWorld(Kinematics* kin, cv::Point2d shift) {
  cv::Point2f s(static_cast<float>(shift.x), static_cast<float>(shift.y));
  for (FramePose& f : kin->frames) {
    for (cv::Point2f& p : f.centreline) p += s;
  }
  for (LaidEgg& e : kin->eggs) e.centre += shift;
}

}  // namespace synth
}  // namespace dukon
