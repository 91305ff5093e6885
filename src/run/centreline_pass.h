// The centreline pass: every analysed frame's centreline, once the records
// are final (consistent, oriented head first). Records hold frame pixels;
// the rows are in world pixels (frame pixels plus the frame's stage
// location).
//
// A consistent frame takes its chain. With fitting on, the body model is
// learnt from consistent frames spread over the movie, and every run of
// other frames between two consistent ones (a gap) is fitted by fitGap from
// the consistent frames on either side. The frames needed are read again
// from the movie and segmented as the frame loop segmented them. Gaps are
// fitted a window at a time (gaps whose frames add up to about
// `windowFrames`), the window's gaps on several threads, and each window's
// rows are handed on in record order before the next is fitted; a thread
// holds one gap's frames (a block of them, for a long gap) at a time, so the
// memory does not grow with the movie. The rows do not depend on the number
// of threads.
#ifndef DUKON_RUN_CENTRELINE_PASS_H_
#define DUKON_RUN_CENTRELINE_PASS_H_

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"
#include "segment/frame_segmenter.h"
#include "skeleton/centreline.h"

namespace dukon {

// What the frame loop notes about a frame for the pass: its stage location
// (frame pixels to world pixels), also for frames without a chain, and
// whether the segmenter took its measures into its running means.
struct FrameNote {
  cv::Point stage{0, 0};
  bool accepted = false;
};

struct CentrelineCounts {
  int chain = 0, fitted = 0, none = 0;
  int gapFrames = 0;  // frames a fit was tried on
};

// Where the pass reads the movie and how it segments it.
struct CentrelineInput {
  std::string moviePath;
  cv::Size frameSize;
  SegmenterSettings segmenter;
  bool fit = true;       // false: chains only
  bool invert = false;   // every frame's grey inverted, as polarity = bright has it
  unsigned threads = 1;  // gaps fitted at once, the calling thread included (0: 1)
  // Frames of gaps whose fits are held before their rows are handed on,
  // about (a window ends with the gap that reaches it).
  size_t windowFrames = 1024;
};

// The threads the run gives the pass: two where the machine has two cores
// or more (the frame loop's reading thread has ended by then), else one.
unsigned centrelineThreads();

// Hands `emit` one centreline per record that is not ignored, in record
// order. `notes` holds one note per record. Frames that cannot be read
// again are reported on `err` and get no centreline, as do frames whose
// mask the frame loop found plainly no worm (not read again). An exception
// met while fitting (on any thread) reaches the caller once every thread
// has stopped.
CentrelineCounts computeCentrelines(const CentrelineInput& input,
                                    const std::vector<SkelRecord>& records,
                                    const std::vector<FrameNote>& notes,
                                    const std::function<void(const FrameCentreline&)>& emit,
                                    std::ostream& err);

}  // namespace dukon

#endif  // DUKON_RUN_CENTRELINE_PASS_H_
