// The behaviour report wxs.txt: the reduction line of the movement
// segmentation, one line per movement segment, and the summary block of
// rates, time shares, speeds and path figures (format: docs/formats/wxs.md).
//
// Figures that would divide by zero (no segment, a span of zero minutes,
// zero segment frames, no moving distance) and the path figures when no
// record has a trusted position are written as "n/a" in place of the
// number; the surrounding text is unchanged.
#ifndef DUKON_OUTPUT_BEHAVIOUR_REPORT_H_
#define DUKON_OUTPUT_BEHAVIOUR_REPORT_H_

#include <cstddef>
#include <ostream>
#include <vector>

#include "base/skel_record.h"
#include "behaviour/behaviour.h"

namespace dukon {

// Writes the whole report: `cutCount` segments were cut before the merge
// into `c.segments`, which were classified over `records`.
void writeBehaviourReport(std::ostream& wxs, size_t cutCount, const Classification& c,
                          const std::vector<SkelRecord>& records);

}  // namespace dukon

#endif  // DUKON_OUTPUT_BEHAVIOUR_REPORT_H_
