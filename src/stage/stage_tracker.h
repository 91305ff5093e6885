// StageTracker: the worm's stage position from frame to frame, in frame
// pixels, and whether a frame is usable for tracking.
//
// In stage-log mode the position is the stage log's sample at the frame's
// time (stage mm x mmpixstage, floored); in image-motion mode it moves
// against the background shift found between frames. Either way a frame is
// usable when the next stage sample lies more than `stageskip` frame
// intervals from the frame's time, so the stage is not about to move.
#ifndef DUKON_STAGE_STAGE_TRACKER_H_
#define DUKON_STAGE_STAGE_TRACKER_H_

#include <opencv2/core.hpp>

namespace dukon {

class Params;
class StageUtil;

// The settings the stage position uses.
struct StageTrackerSettings {
  double rate = 0.0;   // frames per second
  int stageskip = 1;   // stage-sample spacing, frames, beyond which a frame is usable
  int mmpixstage = 1;  // pixels per mm of stage travel
};
// The settings from the parameters, at the run's frame rate.
StageTrackerSettings stageTrackerSettings(const Params& prms, double rate);

// A frame's stage position in frame pixels, and whether the frame is usable
// for tracking (the stage is not about to move).
struct StagePosition {
  cv::Point loc;
  bool usable = false;
};

class StageTracker {
 public:
  // Rewinds `stage`'s cursor and starts at the log's first sample. `stage`
  // must outlive the tracker; only the tracker moves its cursor from now on.
  StageTracker(StageUtil& stage, const StageTrackerSettings& settings);
  StageTracker(const StageTracker&) = delete;
  StageTracker& operator=(const StageTracker&) = delete;

  // Stage-log mode: walks the stage cursor to the frame time (ms) and gives
  // the stage position there.
  StagePosition addStagePosition(double timeMs);
  // Image-motion mode: moves the stage position against the image shift
  // (pixels, the content's movement since the reference frame) and gives it.
  StagePosition addImageMotion(cv::Point shift, double timeMs);

  // The position last given (the log's first sample before any frame).
  cv::Point stagePx() const { return cv::Point(xLocPx_, yLocPx_); }

 private:
  StagePosition position(double timeMs) const;

  const StageTrackerSettings settings_;
  StageUtil& stage_;
  int xLocPx_ = 0, yLocPx_ = 0;
};

}  // namespace dukon

#endif  // DUKON_STAGE_STAGE_TRACKER_H_
