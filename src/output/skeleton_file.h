// The skeleton file skel.csv: every record's chain, appended run after run
// (format: docs/formats/skel.md). Points are frame pixels.
#ifndef DUKON_OUTPUT_SKELETON_FILE_H_
#define DUKON_OUTPUT_SKELETON_FILE_H_

#include <ostream>
#include <vector>

#include "base/skel_record.h"

namespace dukon {

// Writes one block per record: "Frame number: N", then one "x,y" line per
// chain point (none for a record without a chain).
void writeSkeletons(std::ostream& os, const std::vector<SkelRecord>& records);

}  // namespace dukon

#endif  // DUKON_OUTPUT_SKELETON_FILE_H_
