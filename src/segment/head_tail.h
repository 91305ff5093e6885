// Head and tail of one frame: which end of the skeleton chain is the worm's
// head, from the grey levels near each end (the head end is the brighter
// one). The runs of frames are oriented after the frame loop
// (orientHeadTail, skeleton/record_passes.h).
#ifndef DUKON_SEGMENT_HEAD_TAIL_H_
#define DUKON_SEGMENT_HEAD_TAIL_H_

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

}  // namespace dukon

#endif  // DUKON_SEGMENT_HEAD_TAIL_H_
