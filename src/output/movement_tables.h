// The movement tables: speed (spd.txt), displacement (dsp.txt) and turning
// angle (ang.txt), from the path measures. Format: docs/formats/spd.md,
// docs/formats/dsp.md, docs/formats/ang.md.
//
// Numbers are written at each stream's precision in general notation; a
// value that was not measured is written as "  -  " (speeds) or "-".
#ifndef DUKON_OUTPUT_MOVEMENT_TABLES_H_
#define DUKON_OUTPUT_MOVEMENT_TABLES_H_

#include <ostream>
#include <vector>

#include "base/skel_record.h"
#include "behaviour/path_measures.h"

namespace dukon {

// Writes the three tables of `path`, measured over `records` (which give the
// frame numbers and movement labels of the speed lines).
void writeMovementTables(std::ostream& spd, std::ostream& dsp, std::ostream& ang,
                         const PathMeasures& path, const std::vector<SkelRecord>& records);

}  // namespace dukon

#endif  // DUKON_OUTPUT_MOVEMENT_TABLES_H_
