// FrameRange: which frames of the movie a run analyses, and the frame rate
// its times are counted in.
//
// Planned once the movie is open, from the parameters and what the movie
// reports; the run driver completes it once, when the frame loop ends, with
// the last frame it reached. Every step that needs the rate or the range
// takes it from here, so nothing rewrites the parameters during a run.
#ifndef DUKON_BASE_FRAME_RANGE_H_
#define DUKON_BASE_FRAME_RANGE_H_

#include <cstddef>

namespace dukon {

class Params;

struct FrameRange {
  int fframe = 0;       // the first frame as the parameters file gives it
  int first = 1;        // first frame analysed: fframe, at least 1
  int last = 0;         // last frame to analyse
  double rate = 0.0;    // frames per second: frmps, else the movie's rate
  int lastReached = 0;  // last frame the loop reached; `first` until it ends

  // Frames from the given first frame to the last one reached: the length
  // of the run that movement segments and the track's shading measure.
  int span() const { return lastReached - fframe; }
  // Records for the frames first .. last.
  size_t size() const {
    const long n = static_cast<long>(last) - first + 1;
    return n > 0 ? static_cast<size_t>(n) : 0;
  }
};

// The range of a movie of `frameCount` frames at `movieFps` frames per
// second: frames are numbered from 1, so the first frame is fframe but at
// least 1; the last is lframe unless that is 0 or less or beyond the movie.
// The rate is frmps when it is above 0, else the movie's. Throws FatalError
// when the movie's rate is needed and missing, not finite or absurd, and
// when the range holds no frame (fframe beyond the movie's end or after
// lframe).
FrameRange planFrameRange(const Params& prms, int frameCount, double movieFps);

}  // namespace dukon

#endif  // DUKON_BASE_FRAME_RANGE_H_
