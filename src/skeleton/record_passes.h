// The passes over the run's records after the frame loop that judge and
// orient the skeleton chains, in the order the run driver calls them:
// median length, consistency, loop spreading, head/tail orientation.
#ifndef DUKON_SKELETON_RECORD_PASSES_H_
#define DUKON_SKELETON_RECORD_PASSES_H_

#include <vector>

#include "base/skel_record.h"

namespace dukon {

// Median chain length over records with a chain, in whole pixels.
int medianLength(const std::vector<SkelRecord>& records, int mmpix);

// Marks records consistent (chain, no loop, length and mid within 9% of the
// median); returns how many are.
int consistencyPass(std::vector<SkelRecord>& records, int median);

// Spreads `loop` over the failed frames around each loop frame; returns the
// number of loop records.
int loopSpreading(std::vector<SkelRecord>& records);

// Orients the records from index `start` on, run by run. A run starts at its first record
// that is consistent and headKnown and ends before the next loop or ignored
// record; within it each record's ends are matched to the previous consistent
// record's by distance, and the whole run is turned so that `head` lies where
// the majority of its decided consistent frames put it (a tie overrules the
// run's first frame). Every record with a chain from the run's search start
// to its end is then oriented so its chain runs from head to tail. Works
// iteratively: the number of runs does not grow the stack.
void orientHeadTail(std::vector<SkelRecord>& records, int start = 0);

}  // namespace dukon

#endif  // DUKON_SKELETON_RECORD_PASSES_H_
