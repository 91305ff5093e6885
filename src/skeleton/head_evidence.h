// Head evidence: what one linked run of frames says about which of its two
// ends (end A, end B; see linked_runs.h) is the head.
//
// Four cues, each a score that is positive for end A and negative for end B,
// weighed by how consistent it is over the run and how much of it there is:
//   brightness  the per-frame brightness decisions, each vote weighted by its
//               grey-level margin;
//   head swing  the head end sweeps from side to side more than the tail:
//               the tangent angles near each end change faster over time;
//   body wave   the body wave travels from head to tail while the worm crawls
//               forward: the direction in which the tangent-angle profile
//               moves along the body;
//   travel      the end that leads while the body (its centre of mass) moves
//               through the world.
// Head swing and brightness do not depend on the direction of crawling. Body
// wave and travel give the leading end, which is the head only while the
// worm crawls forward; as worms back up for seconds at a time, they count
// fully only over runs much longer than a reversal.
//
// The body-wave and head-swing cues compare frames a tenth of a second apart
// within the run; travel uses such pairs whose two frames are both located.
#ifndef DUKON_SKELETON_HEAD_EVIDENCE_H_
#define DUKON_SKELETON_HEAD_EVIDENCE_H_

#include <array>
#include <vector>

#include "base/skel_record.h"
#include "skeleton/linked_runs.h"

namespace dukon {

struct HeadEvidence {
  double brightness = 0;
  double swing = 0;
  double wave = 0;
  double travel = 0;
  int brightnessVotes = 0;  // consistent frames with a brightness decision
  int framePairs = 0;       // frame pairs that measured swing and wave
  int travelVotes = 0;      // frame pairs that measured travel
  double total() const { return brightness + swing + wave + travel; }
};

// Weighs the evidence of `run` over its consistent members. `rate` is frames
// per second.
HeadEvidence weighEvidence(const std::vector<SkelRecord>& records, const LinkedRun& run,
                           double rate);

// The number of tangent angles a chain is resampled to.
constexpr int kTangentCount = 48;
using TangentAngles = std::array<float, kTangentCount>;

// Tangent angles of a chain (from its last point when `reversed`) resampled
// to kTangentCount equal steps of arc length: radians, unwrapped along the
// body, their mean removed. A chain without length gives zeros.
TangentAngles tangentAngles(const std::vector<cv::Point>& chain, bool reversed);

}  // namespace dukon

#endif  // DUKON_SKELETON_HEAD_EVIDENCE_H_
