// Head and tail: which end of the skeleton chain is the worm's head.
//
// Per frame, the brightest body pixels near each end of the chain are
// compared (the head end is the brighter one). After the frame loop, the ends
// are followed by proximity through runs of frames and every run is turned to
// agree with the majority of its per-frame decisions; the chains are then
// ordered from head to tail.
#ifndef DUKON_SEGMENT_HEAD_TAIL_H_
#define DUKON_SEGMENT_HEAD_TAIL_H_

#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"

namespace dukon {

// Sets `rec.head`, `rec.tail` and `rec.headKnown` from the grey frame `bw`
// and the worm mask `bin` (both CV_8UC1, same size; mask 0 background,
// nonzero worm). The sample squares have a side of mmpix / 10 pixels (0.1 mm)
// and sit between chain points 2 and s at the start, N - 3 and N - 3 - s at
// the end. The end whose brightest fifth of eroded body pixels is brighter by
// more than 2 grey levels becomes the head. Otherwise, and whenever a sample
// is unusable (chain shorter than s + 3 points, s < 1, a square not wholly
// inside the frame, no body pixel left after erosion), the frame is
// undecided: head = first point, tail = last point, headKnown = false.
// An empty chain only clears headKnown.
void decideHeadTail(const cv::Mat& bw, const cv::Mat& bin, SkelRecord& rec, int mmpix);

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

#endif  // DUKON_SEGMENT_HEAD_TAIL_H_
