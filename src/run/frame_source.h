// FrameSource: the movie's frames in order, decoded ahead on a thread of
// their own while the caller analyses the frame before.
//
// The decoding thread fetches frames into a bounded queue of at most
// `depth` frames and waits while it is full; it stops at the movie's end
// (the first fetch without a frame), after the first frame numbered beyond
// the last one the caller needs (which tells the caller to stop too), when
// the source is stopped, or on an exception, which next() passes on. Everything else happens on the
// caller's thread: next() writes the fetch's console lines (Movie::
// reportFetch) when the caller takes the frame, so the console reads as if
// every frame had been fetched on demand. Frame numbers and times are the
// capture's, taken right after each fetch.
#ifndef DUKON_RUN_FRAME_SOURCE_H_
#define DUKON_RUN_FRAME_SOURCE_H_

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "run/movie.h"

namespace dukon {

class FrameSource {
 public:
  // Frames decoded ahead by default: enough to ride out a slow frame of the
  // analysis, few enough to cost little memory (about 1 MB a 640 x 480
  // frame).
  static constexpr size_t kDefaultDepth = 4;

  // Starts decoding `movie`, opened and positioned, up to the first frame
  // numbered beyond `lastFrame`. Until the source is stopped or destroyed
  // nothing else may use the movie; the movie must outlive the source.
  explicit FrameSource(Movie& movie, int lastFrame = INT_MAX, size_t depth = kDefaultDepth);
  // Stops decoding and waits for the thread.
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // The next frame, waiting until it is decoded, after writing its console
  // lines. The frame stays valid until the next call; at the movie's end
  // the result has no image (and stays so on later calls). After the frame
  // beyond `lastFrame`, and after stop(), the result has no image and
  // nothing is written. Rethrows an exception met by the decoding thread
  // once the frames before it are taken.
  const MovieFrame& next();

  // Stops decoding and waits for the thread; frames not taken are dropped.
  // The movie may be used again afterwards. Safe to call more than once.
  void stop();

  // Milliseconds the decoding thread spent fetching frames; read it after
  // stop().
  double decodeMs() const { return decodeMs_; }

 private:
  void decode();

  Movie& movie_;
  const int lastFrame_;
  const size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_:
  std::deque<MovieFrame> queue_;  // decoded, not yet taken; the end fetch last
  std::vector<cv::Mat> spare_;    // buffers of frames taken, for reuse
  bool stopping_ = false;
  bool finished_ = false;     // the decoding thread has queued its last frame
  std::exception_ptr error_;  // met by the decoding thread; taken with the end fetch
  double decodeMs_ = 0;       // written by the decoding thread only, until it ends
  // The caller's side:
  MovieFrame current_;  // the frame last handed out
  bool atEnd_ = false;  // current_ is the end fetch
  std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace dukon

#endif  // DUKON_RUN_FRAME_SOURCE_H_
