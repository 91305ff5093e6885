// Linked runs: stretches of frames over which the two ends of the worm can be
// followed from frame to frame, so that one decision on the head holds for
// the whole stretch.
//
// Each chain's ends are matched to those of the last consistent chain before
// it, by distance in world pixels. A match holds only when it is decisive:
// the better pairing's summed end distance is at most half the other's, the
// ends moved by at most half a body length, and the frames lie at most two
// seconds apart. Where it does not hold the ends jumped (lost frames, a
// coil, a large stage jump): a consistent chain then starts a new run, and
// any other chain is left out of every run. Loop, ignored and no-worm frames
// carry no chain and are passed over, so a run goes on across a short break
// when the ends on both sides still match.
#ifndef DUKON_SKELETON_LINKED_RUNS_H_
#define DUKON_SKELETON_LINKED_RUNS_H_

#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"

namespace dukon {

// One frame of a run. The run calls the end of its first chain's first point
// "end A" and the other "end B"; `reversed` says that this frame's chain
// starts at end B.
struct RunMember {
  int index = 0;  // into the records
  bool reversed = false;
};

// The frames of one run, in frame order. The first member is the earliest
// consistent chain that could be matched to the run; chains before it that
// match it are members too, and so may come first.
struct LinkedRun {
  std::vector<RunMember> members;
};

// The runs of `records` (chains in frame pixels, stage locations set), in
// frame order; `rate` is frames per second. Only records with a chain that
// are not loops become members.
std::vector<LinkedRun> linkRuns(const std::vector<SkelRecord>& records, double rate);

// End A and end B of a member's chain, frame pixels.
cv::Point endA(const SkelRecord& rec, const RunMember& m);
cv::Point endB(const SkelRecord& rec, const RunMember& m);

}  // namespace dukon

#endif  // DUKON_SKELETON_LINKED_RUNS_H_
