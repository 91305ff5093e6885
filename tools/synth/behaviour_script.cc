#include "synth/behaviour_script.h"

#include <opencv2/core.hpp>

namespace dukon {
namespace synth {
namespace {

Bout bout(double startS, Motion motion, Manoeuvre manoeuvre = Manoeuvre::kNone,
          double turnDeg = 0.0, double holdS = 0.0) {
  Bout b;
  b.startS = startS;
  b.motion = motion;
  b.manoeuvre = manoeuvre;
  b.turnDeg = turnDeg;
  b.holdS = holdS;
  return b;
}

// Three bouts of `motion`, each `b` long, with equal forward stretches around
// them. After backward crawling the worm sets off in a new direction.
std::vector<Bout> threeBouts(double seconds, double b, Motion motion, cv::RNG& rng) {
  double gap = (seconds - 3.0 * b) / 4.0;
  std::vector<Bout> bouts{bout(0.0, Motion::kForward)};
  for (int k = 0; k < 3; ++k) {
    double start = gap + k * (gap + b);
    bouts.push_back(bout(start, motion));
    if (motion == Motion::kBackward) {
      double turn = rng.uniform(60.0, 120.0) * (rng.uniform(0, 2) ? 1 : -1);
      bouts.push_back(bout(start + b, Motion::kForward, Manoeuvre::kTurn, turn));
    } else {
      bouts.push_back(bout(start + b, Motion::kForward));
    }
  }
  return bouts;
}

double side(cv::RNG& rng) {
  return rng.uniform(0, 2) ? 1.0 : -1.0;
}

// Mixed behaviour: forward runs broken by reversals (each followed by a turn
// or an omega turn), pauses, spontaneous omega turns, gentle turns and coils.
std::vector<Bout> mixedBouts(double seconds, cv::RNG& rng) {
  std::vector<Bout> bouts{bout(0.0, Motion::kForward)};
  double t = rng.uniform(4.0, 10.0);
  int coils = 0;
  while (t < seconds - 2.0) {
    double r = rng.uniform(0.0, 1.0);
    if (r < 0.35) {
      double b = rng.uniform(2.0, 4.5);
      bouts.push_back(bout(t, Motion::kBackward));
      t += b;
      if (rng.uniform(0.0, 1.0) < 0.3) {
        bouts.push_back(bout(t, Motion::kForward, Manoeuvre::kOmega, side(rng)));
        t += rng.uniform(9.0, 14.0);
      } else {
        bouts.push_back(
            bout(t, Motion::kForward, Manoeuvre::kTurn, rng.uniform(60.0, 150.0) * side(rng)));
        t += rng.uniform(4.0, 12.0);
      }
    } else if (r < 0.55) {
      bouts.push_back(bout(t, Motion::kPause));
      t += rng.uniform(2.0, 5.0);
      bouts.push_back(bout(t, Motion::kForward));
      t += rng.uniform(4.0, 12.0);
    } else if (r < 0.65) {
      bouts.push_back(bout(t, Motion::kForward, Manoeuvre::kOmega, side(rng)));
      t += rng.uniform(10.0, 15.0);
    } else if (r < 0.70 && coils < 2) {
      ++coils;
      bouts.push_back(
          bout(t, Motion::kForward, Manoeuvre::kCoil, side(rng), rng.uniform(2.0, 4.0)));
      t += rng.uniform(12.0, 16.0);
    } else {
      bouts.push_back(
          bout(t, Motion::kForward, Manoeuvre::kTurn, rng.uniform(20.0, 60.0) * side(rng)));
      t += rng.uniform(4.0, 12.0);
    }
  }
  return bouts;
}

}  // namespace

BehaviourScript buildScript(const SynthConfig& config) {
  // A stream of its own, so that the script does not shift when the
  // kinematics draws more or fewer numbers.
  cv::RNG rng(config.seed * 2654435761ULL + 17);
  BehaviourScript script;
  const double T = config.seconds;
  const std::string& s = config.scenario;
  if (s == "reversals") {
    script.bouts = threeBouts(T, effectiveBoutS(config), Motion::kBackward, rng);
  } else if (s == "pauses") {
    script.bouts = threeBouts(T, effectiveBoutS(config), Motion::kPause, rng);
  } else if (s == "omega") {
    script.bouts = {bout(0.0, Motion::kForward),
                    bout(0.3 * T, Motion::kForward, Manoeuvre::kOmega, side(rng))};
  } else if (s == "coil") {
    script.bouts = {bout(0.0, Motion::kForward), bout(0.25 * T, Motion::kForward, Manoeuvre::kCoil,
                                                      side(rng), effectiveBoutS(config))};
  } else if (s == "long") {
    script.bouts = mixedBouts(T, rng);
  } else {
    script.bouts = {bout(0.0, Motion::kForward)};
  }
  int eggs = effectiveEggCount(config);
  for (int k = 0; k < eggs; ++k) {
    script.eggTimesS.push_back(T * (k + 0.875) / (eggs + 1));
  }
  return script;
}

double backwardSeconds(const BehaviourScript& script, double seconds) {
  double total = 0.0;
  for (size_t i = 0; i < script.bouts.size(); ++i) {
    if (script.bouts[i].motion != Motion::kBackward) continue;
    double end = i + 1 < script.bouts.size() ? script.bouts[i + 1].startS : seconds;
    if (end > script.bouts[i].startS) total += end - script.bouts[i].startS;
  }
  return total;
}

}  // namespace synth
}  // namespace dukon
