// FrameSource: the movie's frames in order, decoded ahead on a thread of
// their own (and, when asked, prepared on a second one) while the caller
// analyses the frame before.
//
// The decoding thread fetches frames into a bounded queue of at most
// `depth` frames and waits while it is full; it stops at the movie's end
// (the first fetch without a frame), after the first frame numbered beyond
// the last one the caller needs (which tells the caller to stop too), when
// the source is stopped, or on an exception, which next() passes on. With a
// prepare step, a preparing thread takes the decoded frames in order, hands
// each to the step and queues it for the caller (again at most `depth`).
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

// A frame as the source hands it out: the fetch, and what the prepare step
// made of it. The buffers of a frame taken are reused for later frames.
struct SourceFrame : MovieFrame {
  bool prepared = false;     // the prepare step filled grey and first
  cv::Mat grey;              // the frame in grey, as the analysis takes it
  FirstMasks first;          // its first masks
  std::exception_ptr error;  // thrown by the prepare step on this frame
};

class FrameSource {
 public:
  // Frames queued ahead by default, in each queue: enough to ride out a
  // slow frame of the analysis, few enough to cost little memory (about
  // 1 MB a 640 x 480 frame).
  static constexpr size_t kDefaultDepth = 2;

  // Prepares a frame on the preparing thread: fills what it needs of
  // grey, first and prepared, and leaves the fetch itself alone. An
  // exception it throws is kept in the frame's `error`. It runs on one
  // frame at a time, in frame order; whatever it uses must not be touched
  // by anything else while the source runs.
  using Prepare = std::function<void(SourceFrame&)>;

  // Starts decoding `movie`, opened and positioned, up to the first frame
  // numbered beyond `lastFrame`, and preparing the frames when `prepare`
  // is given. Until the source is stopped or destroyed nothing else may use
  // the movie; the movie must outlive the source.
  explicit FrameSource(Movie& movie, int lastFrame = INT_MAX, size_t depth = kDefaultDepth,
                       Prepare prepare = nullptr);
  // Stops decoding and waits for the threads.
  ~FrameSource();
  FrameSource(const FrameSource&) = delete;
  FrameSource& operator=(const FrameSource&) = delete;

  // The next frame, waiting until it is decoded (and prepared), after
  // writing its console lines. The frame stays the caller's until the next
  // call, which takes its buffers back; at the movie's end the result has
  // no image (and stays so on later calls). After the frame beyond
  // `lastFrame`, and after stop(), the result has no image and nothing is
  // written. Rethrows an exception met by the decoding thread once the
  // frames before it are taken.
  SourceFrame& next();

  // Stops decoding and waits for the threads; frames not taken are
  // dropped. The movie may be used again afterwards. Safe to call more than
  // once.
  void stop();

  // Milliseconds the decoding and the preparing thread spent on their
  // frames; read them after stop().
  double decodeMs() const { return decodeMs_; }
  double prepareMs() const { return prepareMs_; }

 private:
  void decode();
  void prepare();
  // Queues a decoded frame for the next stage; `last` ends the stage.
  void hand(std::deque<SourceFrame>& queue, SourceFrame&& f, bool& finished, bool last);

  Movie& movie_;
  const int lastFrame_;
  const size_t depth_;
  const Prepare prepare_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Guarded by mutex_:
  std::deque<SourceFrame> decoded_;  // decoded, not yet prepared (with a prepare step)
  std::deque<SourceFrame> ready_;    // ready for the caller; the end fetch last
  std::vector<SourceFrame> spare_;   // frames taken, for their buffers
  bool stopping_ = false;
  bool decodeDone_ = false;   // the decoding thread has queued its last frame
  bool readyDone_ = false;    // the last frame is in ready_
  std::exception_ptr error_;  // met by the decoding thread; taken with the end fetch
  double decodeMs_ = 0;       // written by the decoding thread only, until it ends
  double prepareMs_ = 0;      // written by the preparing thread only, until it ends
  // The caller's side:
  SourceFrame current_;  // the frame last handed out
  bool atEnd_ = false;   // current_ is the end fetch
  // Last: they start once everything above is ready.
  std::thread decoding_;
  std::thread preparing_;
};

}  // namespace dukon

#endif  // DUKON_RUN_FRAME_SOURCE_H_
