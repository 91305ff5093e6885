// SkippedFrames: the frames of a run's range that the movie delivered but
// the run could not analyse, and the one message that tells the user.
//
// A run that leaves out planned frames (frames the decoder reported broken
// or of another size, frames after a point where the decoder stopped, frames
// beyond a header that counts too few) still publishes its results, but says
// on standard error how many frames it analysed of how many and why, and
// ends with status 3.
#ifndef DUKON_RUN_SKIPPED_FRAMES_H_
#define DUKON_RUN_SKIPPED_FRAMES_H_

#include <string>

#include <opencv2/core.hpp>

#include "run/movie.h"

namespace dukon {

struct SkippedFrames {
  int broken = 0;                           // the decoder reported an error for them
  int otherSize = 0;                        // their size differs from the movie's
  int firstBroken = 0, firstOtherSize = 0;  // frame numbers, 0 while none
  std::string brokenText;                   // the decoder's message for the first
  cv::Size otherSizeSeen;                   // size of the first of another size

  // Counts frame `frame`, unfit for `fault` (not kNone); `text` is the
  // decoder's message, `size` the frame's size.
  void note(int frame, FrameFault fault, const std::string& text, cv::Size size);
  int count() const { return broken + otherSize; }
};

// Why planned frames were not analysed, as clauses joined by "; ": the
// skipped frames of `skipped` (the movie's frame size is `movieSize`), the
// frame after which the decoder stopped (`stoppedAfter`, 0 when it did not
// stop early) and the header's frame count when the movie holds more frames
// than it says (`headerCount`, 0 otherwise). Empty when nothing was left out.
std::string leftOutReasons(const SkippedFrames& skipped, cv::Size movieSize, int stoppedAfter,
                           int headerCount);

}  // namespace dukon

#endif  // DUKON_RUN_SKIPPED_FRAMES_H_
