#include "run/frame_source.h"

#include <chrono>
#include <utility>

namespace dukon {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

FrameSource::FrameSource(Movie& movie, int lastFrame, size_t depth, Step prepare, Step ahead)
    : movie_(movie),
      lastFrame_(lastFrame),
      depth_(depth == 0 ? 1 : depth),
      prepare_(std::move(prepare)),
      ahead_(std::move(ahead)),
      thread_([this] { decode(); }) {}

FrameSource::~FrameSource() {
  stop();
}

void FrameSource::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  decoderWakes_.notify_all();
  callerWakes_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

void FrameSource::runStep(const Step& step, SourceFrame& f) {
  if (!step || !f.fetched() || f.error) return;
  const Clock::time_point start = Clock::now();
  try {
    step(f);
  } catch (...) {
    f.error = std::current_exception();
  }
  stepsMs_ += msSince(start);
}

bool FrameSource::workAhead(std::unique_lock<std::mutex>& lock) {
  if (!ahead_) return false;
  for (size_t k = queue_.size(); k-- > 1;) {
    Queued& q = queue_[k];
    if (q.tried || !q.frame.fetched()) continue;
    q.tried = true;
    q.busy = true;
    lock.unlock();
    runStep(ahead_, q.frame);
    lock.lock();
    q.busy = false;
    callerWakes_.notify_one();
    return true;
  }
  return false;
}

void FrameSource::decode() {
  try {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // A full queue: work ahead on the frames in it, or wait for the caller.
      while (!stopping_ && queue_.size() >= depth_)
        if (!workAhead(lock)) decoderWakes_.wait(lock);
      if (stopping_) return;
      SourceFrame f;
      if (!spare_.empty()) {
        f = std::move(spare_.back());
        spare_.pop_back();
      }
      lock.unlock();
      const Clock::time_point start = Clock::now();
      static_cast<MovieFrame&>(f) = movie_.read(std::move(f.image));
      decodeMs_ += msSince(start);
      f.prepared = false;
      f.firstMade = false;
      f.error = nullptr;
      runStep(prepare_, f);
      // The end, or a frame that ends the caller's loop: nothing after it
      // is needed.
      const bool last = !f.fetched() || f.number() > lastFrame_;
      lock.lock();
      queue_.push_back(Queued{std::move(f)});
      finished_ = last;
      callerWakes_.notify_one();
      if (last) {
        while (!stopping_ && workAhead(lock)) {
        }
        return;
      }
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
    queue_.emplace_back();  // the end: no frame
    finished_ = true;
    callerWakes_.notify_one();
  }
}

SourceFrame& FrameSource::next() {
  if (atEnd_) {
    // As the capture itself would: asked again at the end, it gives no frame.
    movie_.reportFetch(current_);
    return current_;
  }
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_.fetched()) spare_.push_back(std::move(current_));
    callerWakes_.wait(
        lock, [this] { return stopping_ || (queue_.empty() ? finished_ : !queue_.front().busy); });
    if (queue_.empty()) {
      current_ = SourceFrame();  // stopped, or past the last frame: nothing to report
      return current_;
    }
    current_ = std::move(queue_.front().frame);
    queue_.pop_front();
    atEnd_ = !current_.fetched();
    if (atEnd_) std::swap(error, error_);
  }
  decoderWakes_.notify_one();
  if (error) std::rethrow_exception(error);
  movie_.reportFetch(current_);
  return current_;
}

}  // namespace dukon
