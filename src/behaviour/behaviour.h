// Behaviour classification and the behaviour summary report.
//
// One pass over the merged movement segments gives each its behaviour
// (loop, reversal, forward, backward, omega, pause), writes one line per
// segment to wxs.txt, counts and times each behaviour and ends with a summary
// block of rates, time shares, speeds and path figures. A second pass writes
// the behaviour code `mv` and the `reversal` mark into the records for the
// per-frame tables.
//
// Figures that would divide by zero (no segment, a span of zero minutes, zero
// segment frames, no moving distance) and the path figures when no record
// has a trusted position are written as "n/a" in place of the number; the
// surrounding text is unchanged.
#ifndef DUKON_BEHAVIOUR_BEHAVIOUR_H_
#define DUKON_BEHAVIOUR_BEHAVIOUR_H_

#include <ostream>
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
  double pathDistance = 0;  // pixels, start point to end point
};

// Classifies `movements` (the caller's copy; reversal flags are set in it),
// writes the segment lines and the summary block to `wxs`, then labels the
// records. Returns the counters behind the report.
BehaviourSummary classifyBehaviour(std::vector<MvVec> movements, std::vector<SkelRecord>& records,
                                   std::ostream& wxs, const MovementSettings& settings);

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
