// Behaviour classification: one pass over the merged movement segments gives
// each its behaviour (loop, reversal, forward, backward, omega, pause) and
// counts and times each behaviour, for the behaviour report of wxs.txt
// (output/behaviour_report.h). A second pass writes the behaviour code `mv`
// and the `reversal` mark into the records for the per-frame tables.
#ifndef DUKON_BEHAVIOUR_BEHAVIOUR_H_
#define DUKON_BEHAVIOUR_BEHAVIOUR_H_

#include <vector>

#include "base/skel_record.h"
#include "behaviour/mv_vec.h"

namespace dukon {

// What the classification counted; the report is written from these.
struct BehaviourSummary {
  int totalFrames = 0;  // frames spanned by all segments
  int pauseFrames = 0, omegaFrames = 0, loopFrames = 0;
  int pauseCount = 0, omegaCount = 0, loopCount = 0, reversalCount = 0;
  double omegaDistance = 0;  // pixels
  int movFrames = 0, fwdFrames = 0, bwdFrames = 0;
  double movDistance = 0, fwdDistance = 0, bwdDistance = 0;  // pixels
  double movSpeed = 0, fwdSpeed = 0, bwdSpeed = 0;           // mm per second
  bool haveSpan = false;    // at least one segment gave first and last frames
  double minutes = 0;       // movie time from the first to the last segment frame
  bool havePath = false;    // a record with a trusted position exists
  double pathDistance = 0;  // world pixels, start point to end point
};

// The classified segments and the figures of the behaviour report.
struct Classification {
  std::vector<MvVec> segments;  // the movement segments, reversal flags set
  // Per segment: frame number of the omega frame of a turn segment (its first
  // record that passes the turn test); -1 when none does, or for any other
  // segment.
  std::vector<int> omegaFrames;
  BehaviourSummary summary;
};

// True when segment `m` spans records of an array of `n` records; the
// classification and the report pass over any other segment.
inline bool spansRecords(const MvVec& m, int n) {
  return m.start() >= 0 && m.end() >= m.start() && m.end() < n;
}

// Classifies `movements` (taken by value; the reversal flags are set in the
// copy returned) over `records`, the array they were cut from.
Classification classifyBehaviour(std::vector<MvVec> movements,
                                 const std::vector<SkelRecord>& records,
                                 const MovementSettings& settings);

// The first record (at index 1 or above when searching from the end) that is
// consistent, located and not ignored; -1 when there is none.
int firstTrustedRecord(const std::vector<SkelRecord>& records);
int lastTrustedRecord(const std::vector<SkelRecord>& records);

// Writes `mv` and `reversal` of the records from the classified segments.
void labelRecords(const std::vector<MvVec>& movements, std::vector<SkelRecord>& records);

// Movement class of one segment: forward, backward, pause, turn (omega) or
// loop, the later rule winning.
MovementCode movementCode(const MvVec& m);

}  // namespace dukon

#endif  // DUKON_BEHAVIOUR_BEHAVIOUR_H_
