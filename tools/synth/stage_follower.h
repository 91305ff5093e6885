// Stage follower: the motorised stage that keeps the worm in view.
//
// When the worm's middle drifts more than config.recentrePx from the frame
// centre, or its body comes close to the frame border, the stage re-centres
// the middle over a few frames with an eased move (at most about 15 pixels
// per frame, so that image-motion tracking can follow). Stage positions are
// whole frame pixels: the frame shows the world shifted by the stage offset,
// world pixel = frame pixel + offset.
//
// A move is made of quick steps between frames. The controller logs a
// sample at movie time 0, at the start of every move, at the end of each of
// its steps (so also at the end of the move), and about once a second while
// the stage stands; a movie shorter than a second gets a closing sample a
// frame and a half after its last frame. Sample times are whole milliseconds
// and never coincide with a frame time: a move's start is logged just after
// the last frame before it, each step's end just before the next frame. So
// the last sample before a frame's time always gives the position that frame
// shows, and every frame of a move, and the one before it, has a sample less
// than a frame interval ahead (the analyser does not count such frames as
// located).
#ifndef DUKON_SYNTH_STAGE_FOLLOWER_H_
#define DUKON_SYNTH_STAGE_FOLLOWER_H_

#include <vector>

#include <opencv2/core.hpp>

#include "synth/synth_config.h"
#include "synth/worm_simulator.h"

namespace dukon {
namespace synth {

struct StageSample {
  double timeMs = 0.0;  // whole milliseconds of movie time
  cv::Point px;         // stage offset, frame pixels
};

struct StageTrack {
  std::vector<cv::Point> offset;  // per frame
  std::vector<bool> moving;       // per frame: shown part way through a move
  std::vector<StageSample> samples;
};

// Movie time of frame `index` (0-based), milliseconds, as the movie reports it.
inline double frameTimeMs(int index, double fps) {
  return index * 1000.0 / fps;
}

StageTrack followWorm(const Kinematics& kin, const SynthConfig& config);

// Adds `shift` to every offset and sample.
void shiftStage(StageTrack* track, cv::Point shift);

// Smallest logged x and y.
cv::Point minimumSample(const StageTrack& track);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_STAGE_FOLLOWER_H_
