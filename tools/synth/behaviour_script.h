// BehaviourScript: what the worm does when, as a list of bouts in movie time.
//
// A bout runs from its start to the next bout's start (the last one to the
// end of the movie). Turns, omega turns and coils are manoeuvres of the head
// path that begin with a forward bout; the kinematics carries them out.
#ifndef DUKON_SYNTH_BEHAVIOUR_SCRIPT_H_
#define DUKON_SYNTH_BEHAVIOUR_SCRIPT_H_

#include <vector>

#include "synth/synth_config.h"

namespace dukon {
namespace synth {

enum class Motion { kForward, kBackward, kPause };
enum class Manoeuvre { kNone, kTurn, kOmega, kCoil };

struct Bout {
  double startS = 0.0;  // movie time, seconds
  Motion motion = Motion::kForward;
  Manoeuvre manoeuvre = Manoeuvre::kNone;  // only with kForward
  double turnDeg = 0.0;  // kTurn: signed heading change; kOmega, kCoil: its sign picks the side
  double holdS = 0.0;    // kCoil: how long the body stays closed on itself
};

struct BehaviourScript {
  std::vector<Bout> bouts;        // ascending startS, the first at 0
  std::vector<double> eggTimesS;  // ascending movie times at which an egg is laid
};

// The script of config.scenario for config.seconds; deterministic in the seed.
BehaviourScript buildScript(const SynthConfig& config);

// Seconds of backward crawling in `script` up to `seconds`.
double backwardSeconds(const BehaviourScript& script, double seconds);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_BEHAVIOUR_SCRIPT_H_
