// Movement segmentation: cuts the worm's path into segments of a fixed
// duration, then merges neighbouring segments of the same kind.
//
// Runs once after the frame loop, after the consistency and loop passes and
// the body-wave features, and before the records are moved into world
// coordinates (so `mid` and `head` are still frame pixels and the stage
// location is added here).
#ifndef DUKON_BEHAVIOUR_MOVEMENT_SEGMENTATION_H_
#define DUKON_BEHAVIOUR_MOVEMENT_SEGMENTATION_H_

#include <iostream>
#include <ostream>
#include <vector>

#include "base/skel_record.h"
#include "behaviour/mv_vec.h"

namespace dukon {

// Segment length in frames: rate * seglen truncated, at least 2 (with two
// messages on `err` when raised), and the run's span when that is not longer
// (with a message on `err`).
int movementSegmentFrames(const MovementSettings& settings, std::ostream& err = std::cerr);

// Cuts the records into segments of `segFrames` frames. Runs of `loop`
// records become loop segments; `ignored` and `noWorm` records and loop runs close the
// segment in progress at its last usable record. Consecutive segments share
// their boundary record.
std::vector<MvVec> cutMovements(const std::vector<SkelRecord>& records, int segFrames,
                                const MovementSettings& settings, std::ostream& err = std::cerr);

// Merges neighbouring segments of the same kind in place: same direction,
// both pauses, both turns or both loops, but never a pause with a non-pause
// nor a turn with a non-turn, and never a segment whose end record is
// followed by an ignored or `noWorm` record with the segment after it.
void mergeMovements(std::vector<MvVec>& v, const std::vector<SkelRecord>& records,
                    const MovementSettings& settings);

// The whole step: cut, merge, and write the line "Movements compressed from
// ..." with a blank line to `wxs`. With no segment at all the reduction is
// written as "n/a". `err` takes the segment-length and inconsistency
// messages.
std::vector<MvVec> segmentMovements(const std::vector<SkelRecord>& records, std::ostream& wxs,
                                    const MovementSettings& settings,
                                    std::ostream& err = std::cerr);

}  // namespace dukon

#endif  // DUKON_BEHAVIOUR_MOVEMENT_SEGMENTATION_H_
