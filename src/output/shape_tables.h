// The shape tables: the short table of wxo.txt (space and bar separated,
// after the run summary) and the full table wxd.txt (comma separated), one
// row per record in frame order. Format: docs/formats/wxo.md and
// docs/formats/wxd.md.
//
// Head, mid, tail and the centre of mass are written in world pixels (the
// record's frame position plus its stage location). Numbers are written at
// each stream's precision in general notation, with the per-column
// precisions of the format; the streams are left at precision 2. A NaN is
// written as "nan".
#ifndef DUKON_OUTPUT_SHAPE_TABLES_H_
#define DUKON_OUTPUT_SHAPE_TABLES_H_

#include <ostream>
#include <vector>

#include "base/skel_record.h"

namespace dukon {

// Writes the header and one row per record into `wxo` and `wxd`.
void writeShapeTables(std::ostream& wxo, std::ostream& wxd, const std::vector<SkelRecord>& records);

// The movement label of a record as the tables write it: "loop" for a loop
// record when `loopByFlag` (the shape tables), else the words of its class
// and reversal mark ("fwd", "bckwd", "reversal", "pause", "omega", and
// "loop" by class when not `loopByFlag`, the speed table).
void writeMovementLabel(std::ostream& os, const SkelRecord& r, bool loopByFlag);

}  // namespace dukon

#endif  // DUKON_OUTPUT_SHAPE_TABLES_H_
