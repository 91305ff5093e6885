// fitGap: centrelines for a run of frames that have a worm but no
// consistent chain, fitted by tracking the body model through them.
//
// The track starts from the resolved frame before the gap and runs forward
// through it, and from the resolved frame after it and runs backward. The
// worm is expected to go on sliding along its body as it did (crawling
// forward or backward): each frame is fitted from the posture of the frame
// fitted just before in that direction, slid on by the track's slide per
// frame and then by none, one or minus one crawl step more (the best of the
// three goes on to the full fit), with the slid posture as the expected
// centreline of the fit's motion term. The slide per frame starts as the one
// between the resolved frame and its neighbour away from the gap, and
// follows the fits. Head and tail carry over from
// the resolved frame the track started at. Where frames between two of the
// track's frames were left out (broken or dropped), the slide expected is
// that of the frames elapsed. Of the two fits of a frame the
// one with the smaller mismatch is kept, and it is accepted only when the
// mismatch is at most the threshold: a bad fit gives no centreline rather
// than a wrong one. Postures are carried in world pixels, so that a stage
// move between frames does not disturb the track.
#ifndef DUKON_SKELETON_GAP_FIT_H_
#define DUKON_SKELETON_GAP_FIT_H_

#include <limits>
#include <vector>

#include <opencv2/core.hpp>

#include "skeleton/body_model.h"
#include "skeleton/centreline.h"
#include "skeleton/fit_target.h"
#include "skeleton/posture_fit.h"

namespace dukon {

// The frames of one gap, in frame order, as fitGap asks for them.
class GapFrames {
 public:
  virtual ~GapFrames() = default;
  virtual int size() const = 0;
  // The target of the gap's frame i (0 to size() - 1), frame pixels; empty
  // when the frame shows no worm. Valid until the next call.
  virtual const FitTarget& target(int i) = 0;
  // Frame i's stage location: world pixel = frame pixel + stage.
  virtual cv::Point2d stage(int i) const = 0;
  // Frame i's number; numbers ascend with i, and may skip frames.
  virtual int frame(int i) const = 0;
};

struct TrackSettings {
  FitSettings fit;
  double crawlStepPx = 2.0;   // how far the body moves along itself in a frame
  double maxMismatch = 0.2;   // largest mismatch (bodyMismatch) accepted
  double bendTrialRad = 0.6;  // turn of the leading end tried as a start
  int trialIterations = 3;    // steps of each start before the best is chosen
  int iterations = 12;        // further steps of the best start
};

// A resolved frame a track starts from: its centreline and that of the
// frame beside it away from the gap (empty when that one is not resolved),
// world pixels, and its frame number (0: unknown, taken as next to the gap).
struct TrackStart {
  Centreline line;
  Centreline beyond;
  int frame = 0;
};

// Where a track stands: the last fitted posture (world pixels) and how far
// the body slid along itself from one frame to the next, pixels towards the
// head in the track's direction.
struct TrackState {
  Posture posture;
  double slide = 0;
};

struct FrameFit {
  bool accepted = false;
  // bodyMismatch of the kept fit; infinity when none was made.
  double mismatch = std::numeric_limits<double>::infinity();
  Centreline line;  // world pixels, head first; empty when none was made
};

// The track's state at a resolved frame.
TrackState startTrack(const BodyModel& model, const TrackStart& start,
                      const TrackSettings& settings);

// One fitted frame from `state`, `elapsed` frames (at least 1) after the
// state's frame; the state moves on to the fit, or to the expected posture
// when the fit is refused or the target is empty (no fit made). Frame
// pixels are world pixels less `stage`.
FrameFit trackFrame(const BodyModel& model, const FitTarget& target, cv::Point2d stage,
                    const TrackSettings& settings, TrackState* state, int elapsed = 1);

// Fits every frame of `frames` from `before` (the resolved frame before the
// gap; an empty line when there is none) and `after` (the one after it).
// One entry per frame of the gap.
std::vector<FrameFit> fitGap(const BodyModel& model, GapFrames& frames, const TrackStart& before,
                             const TrackStart& after, const TrackSettings& settings);

}  // namespace dukon

#endif  // DUKON_SKELETON_GAP_FIT_H_
