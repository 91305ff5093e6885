// FrameSource: the movie's frames in order, decoded ahead on a thread of
// their own while the caller analyses the frame before.
//
// The decoding thread fetches frames into a bounded queue of at most
// `depth` frames; it stops at the movie's end (the first fetch without a
// frame), after the first frame numbered beyond the last one the caller
// needs (which tells the caller to stop too), when the source is stopped,
// or on an exception, which next() passes on.
//
// Work that depends on a frame alone can be done on the decoding thread:
// `prepare` on every frame right after it is fetched, and `ahead` on frames
// waiting in a full queue, newest first, whenever the decoding thread would
// otherwise wait for the caller. The caller does what `ahead` did not get
// to, so the two threads share the work as the analysis's pace allows.
//
// Everything else happens on the caller's thread: next() writes the fetch's
// console lines (Movie::reportFetch) when the caller takes the frame, so the
// console reads as if every frame had been fetched on demand. Frame numbers
// and times are the capture's, taken right after each fetch.
#ifndef DUKON_RUN_FRAME_SOURCE_H_
#define DUKON_RUN_FRAME_SOURCE_H_

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "run/movie.h"
#include "segment/first_masks.h"

namespace dukon {

// A frame as the source hands it out: the fetch, and what was made of it on
// the decoding thread. The buffers of a frame taken are reused for later
// frames.
struct SourceFrame : MovieFrame {
  bool prepared = false;     // `prepare` made `grey`
  cv::Mat grey;              // the frame in grey, as the analysis takes it
  bool firstMade = false;    // `ahead` made `first`
  FirstMasks first;          // the frame's first masks
  std::exception_ptr error;  // thrown by `prepare` or `ahead` on this frame
};

class FrameSource {
 public:
  // Frames decoded ahead by default: enough to ride out a slow frame of the
  // analysis, few enough to cost little memory (about 1.3 MB a 640 x 480
  // frame with its grey frame and masks).
  static constexpr size_t kDefaultDepth = 4;

  // Work on one frame on the decoding thread; it leaves the fetch itself
  // alone. What it uses must not be touched by anything else while the
  // source runs. An exception it throws is kept in the frame's `error`.
  using Step = std::function<void(SourceFrame&)>;

  // Starts decoding `movie`, opened and positioned, up to the first frame
  // numbered beyond `lastFrame`. Until the source is stopped or destroyed
  // nothing else may use the movie; the movie must outlive the source.
  explicit FrameSource(Movie& movie, int lastFrame = INT_MAX, size_t depth = kDefaultDepth,
                       Step prepare = nullptr, Step ahead = nullptr);
  // Stops decoding and waits for the thread.
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // The next frame, waiting until it is decoded (and until `ahead` is done
  // with it, when it is at work on it), after writing its console lines.
  // The frame stays the caller's until the next call, which takes its
  // buffers back; at the movie's end the result has no image (and stays so
  // on later calls). After the frame beyond `lastFrame`, and after stop(),
  // the result has no image and nothing is written. Rethrows an exception
  // met by the decoding thread once the frames before it are taken.
  SourceFrame& next();

  // Stops decoding and waits for the thread; frames not taken are dropped.
  // The movie may be used again afterwards. Safe to call more than once.
  void stop();

  // Milliseconds the decoding thread spent fetching frames, and on the two
  // steps; read them after stop().
  double decodeMs() const { return decodeMs_; }
  double stepsMs() const { return stepsMs_; }

 private:
  struct Queued {
    SourceFrame frame;
    bool tried = false;  // `ahead` has had it
    bool busy = false;   // `ahead` is at work on it, outside the lock
  };
  void decode();
  // Runs `ahead` on the newest queued frame it has not had yet, but never on
  // the front one, which the caller is about to take (and would rather
  // finish itself than wait for); false when there is none. Called and
  // returns with `lock` held.
  bool workAhead(std::unique_lock<std::mutex>& lock);
  void runStep(const Step& step, SourceFrame& f);

  Movie& movie_;
  const int lastFrame_;
  const size_t depth_;
  const Step prepare_;
  const Step ahead_;
  std::mutex mutex_;
  std::condition_variable decoderWakes_;  // room in the queue, or a stop
  std::condition_variable callerWakes_;   // a frame ready at the front, or the end
  // Guarded by mutex_ (a busy frame's contents belong to the decoding
  // thread until it is done; elements of a deque stay in place while others
  // are added at the back or taken from the front):
  std::deque<Queued> queue_;        // decoded, not yet taken; the end fetch last
  std::vector<SourceFrame> spare_;  // frames taken, for their buffers
  bool stopping_ = false;
  bool finished_ = false;     // the decoding thread has queued its last frame
  std::exception_ptr error_;  // met by the decoding thread; taken with the end fetch
  double decodeMs_ = 0;       // written by the decoding thread only, until it ends
  double stepsMs_ = 0;        // likewise
  // The caller's side:
  SourceFrame current_;  // the frame last handed out
  bool atEnd_ = false;   // current_ is the end fetch
  std::thread thread_;   // last: starts once everything above is ready
};

}  // namespace dukon

#endif  // DUKON_RUN_FRAME_SOURCE_H_
