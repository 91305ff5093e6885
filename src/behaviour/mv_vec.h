// MvVec: one movement segment of the worm's path.
//
// A segment spans the records from `start` to `end` (indices into the run's
// record array) and carries the straight-line displacement of the worm's mid
// point between them, the angle of travel, the speed and whether the worm
// went forward, backward, paused, lay coiled (loop) or showed a strong
// one-sided bend (turn). The movement segmentation cuts and merges segments;
// the behaviour classification reads them and sets `reversal`.
//
// Units: distances in world pixels, angles in degrees counter-clockwise on
// screen from +x (the image's y is negated), speeds in mm per second of movie
// time.
#ifndef DUKON_BEHAVIOUR_MV_VEC_H_
#define DUKON_BEHAVIOUR_MV_VEC_H_

#include <iostream>
#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"

namespace dukon {

class Params;
struct FrameRange;

// The settings the movement segments use.
struct MovementSettings {
  double rate = 0.0;          // frames per second
  int mmpix = 1;              // pixels per mm
  double seglen = 0.5;        // segment length, seconds
  double pausespdlim = 0.05;  // speed below which a segment is a pause, mm/s
  int span = 0;               // the run's length in frames (FrameRange::span)
};
// The movement settings from the parameters and the run's frame range.
MovementSettings movementSettings(const Params& prms, const FrameRange& frames);

// The turn test of one record: a strong bend to one side (a normalised
// maximum amplitude above 0.33), exactly two crossings of the head-tail line,
// and an amplitude clearly biased to one side.
bool isTurnRecord(const SkelRecord& r);

class MvVec {
 public:
  // An empty segment: distance 0, start and end 0, direction 0, all flags
  // false.
  MvVec() = default;

  // Fills the segment from records `s` (start) and `e` (end) with the turn
  // flag `turn`. A start record with `loop` makes a loop segment, whose
  // direction, angle, speed and points stay unset. A start or end record that
  // is not usable is reported on `err` and used all the same.
  void fill(const std::vector<SkelRecord>& records, int s, int e, bool turn,
            const MovementSettings& settings, std::ostream& err = std::cerr);

  // Grows this segment over `next`, the segment that follows it: takes its
  // end record, adds its distance and recomputes the speed. The angle and the
  // end point are measured afresh from the mid points of this segment's start
  // record and the new end record, so a loop segment gets an angle here too
  // though its start point stays unset. Direction, pause, turn and loop flags
  // are kept; the caller merges only segments of the same kind.
  void absorb(const MvVec& next, const std::vector<SkelRecord>& records,
              const MovementSettings& settings);

  // (distance / mmpix) / (frames / rate) for `frames` > 0, else 0, so a
  // segment of no duration never yields an infinite or undefined speed.
  static double speedOf(double distance, int frames, const MovementSettings& settings);

  double distance() const { return distance_; }
  double angle() const { return angle_; }
  double speed() const { return speed_; }
  int start() const { return start_; }
  int end() const { return end_; }
  const cv::Point& startPoint() const { return startPoint_; }
  const cv::Point& endPoint() const { return endPoint_; }
  int direction() const { return direction_; }  // +1 forward, -1 backward, 0 pause
  bool pause() const { return pause_; }
  bool reversal() const { return reversal_; }
  bool turn() const { return turn_; }
  bool loop() const { return loop_; }

  void setReversal(bool r) { reversal_ = r; }

 private:
  double distance_ = 0;
  double angle_ = 0;
  double speed_ = 0;
  int start_ = 0;
  int end_ = 0;
  cv::Point startPoint_{0, 0};
  cv::Point endPoint_{0, 0};
  int direction_ = 0;
  bool pause_ = false;
  bool reversal_ = false;
  bool turn_ = false;
  bool loop_ = false;

  // Speed from `distance` and the frame numbers of the start and end records.
  void recomputeSpeed(const std::vector<SkelRecord>& records, const MovementSettings& settings);
};

}  // namespace dukon

#endif  // DUKON_BEHAVIOUR_MV_VEC_H_
