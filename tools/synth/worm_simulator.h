// Worm kinematics: the worm's body in every frame of the movie, in world
// pixels, with its behaviour state and the true body-wave numbers.
//
// The head travels along a WormPath at the speed the behaviour script asks
// for (forward, backward, pause, with short accelerations); the body is the
// last body length of the path behind the head, sampled about once a pixel.
// Backward crawling moves the head back along the path it came, tail first.
#ifndef DUKON_SYNTH_WORM_SIMULATOR_H_
#define DUKON_SYNTH_WORM_SIMULATOR_H_

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/behaviour_script.h"
#include "synth/synth_config.h"

namespace dukon {
namespace synth {

enum class State { kForward, kBackward, kPause, kOmega, kCoil };

// "forward", "backward", "pause", "omega", "coil".
const char* stateName(State state);

struct FramePose {
  std::vector<cv::Point2f> centreline;  // head first, tail last, world pixels
  State state = State::kForward;
  double speedPxS = 0.0;      // along the path, positive forward
  double wavelengthPx = 0.0;  // arc length per wave; NaN in omega and coil
  double freqHz = 0.0;        // |speed| / wavelength; NaN in omega and coil
};

struct LaidEgg {
  int frameIndex = 0;     // first frame (0-based) that shows the egg
  cv::Point2d centre;     // world pixels
  double angleDeg = 0.0;  // long axis, along the body at laying
  double side = 1.0;      // +1 or -1: which side of the body
  double offsetPx = 0.0;  // distance of the centre from the centre line
};

// Places `egg` beside the middle of `pose`, touching the body, laid at frame
// `frameIndex`.
void placeEgg(const FramePose& pose, int frameIndex, LaidEgg* egg);

struct Kinematics {
  std::vector<FramePose> frames;
  std::vector<LaidEgg> eggs;
};

// Runs `script` for config.frameCount() frames.
Kinematics simulateWorm(const SynthConfig& config, const BehaviourScript& script);

// Moves everything in `kin` by `shift` world pixels.
void shiftWorld(Kinematics* kin, cv::Point2d shift);

// True when two parts of the centreline at least a few body widths apart
// along the body come so close that the body outlines touch. `radii` holds
// the half width at each centreline point.
bool touchesItself(const std::vector<cv::Point2f>& centreline, const std::vector<double>& radii);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_WORM_SIMULATOR_H_
