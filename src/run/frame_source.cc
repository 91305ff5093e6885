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

FrameSource::FrameSource(Movie& movie, int lastFrame, size_t depth, Prepare prepare)
    : movie_(movie),
      lastFrame_(lastFrame),
      depth_(depth == 0 ? 1 : depth),
      prepare_(std::move(prepare)),
      decoding_([this] { decode(); }) {
  if (prepare_) preparing_ = std::thread([this] { this->prepare(); });
}

FrameSource::~FrameSource() {
  stop();
}

void FrameSource::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (decoding_.joinable()) decoding_.join();
  if (preparing_.joinable()) preparing_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  decoded_.clear();
  ready_.clear();
}

void FrameSource::hand(std::deque<SourceFrame>& queue, SourceFrame&& f, bool& finished, bool last) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue.push_back(std::move(f));
    finished = last;
  }
  changed_.notify_all();
}

void FrameSource::decode() {
  std::deque<SourceFrame>& out = prepare_ ? decoded_ : ready_;
  bool& done = prepare_ ? decodeDone_ : readyDone_;
  try {
    for (;;) {
      SourceFrame f;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopping_ || out.size() < depth_; });
        if (stopping_) return;
        if (!spare_.empty()) {
          f = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      const Clock::time_point start = Clock::now();
      static_cast<MovieFrame&>(f) = movie_.read(std::move(f.image));
      decodeMs_ += msSince(start);
      f.prepared = false;
      f.error = nullptr;
      // The end, or a frame that ends the caller's loop: nothing after it
      // is needed.
      const bool last = !f.fetched() || f.number() > lastFrame_;
      hand(out, std::move(f), done, last);
      if (last) return;
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
    out.emplace_back();  // the end: no frame
    done = true;
    changed_.notify_all();
  }
}

void FrameSource::prepare() {
  for (;;) {
    SourceFrame f;
    bool last;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock,
                    [this] { return stopping_ || (!decoded_.empty() && ready_.size() < depth_); });
      if (stopping_) return;
      f = std::move(decoded_.front());
      decoded_.pop_front();
      last = decodeDone_ && decoded_.empty();
    }
    changed_.notify_all();
    if (f.fetched()) {
      const Clock::time_point start = Clock::now();
      try {
        prepare_(f);
      } catch (...) {
        f.prepared = false;
        f.error = std::current_exception();
      }
      prepareMs_ += msSince(start);
    }
    hand(ready_, std::move(f), readyDone_, last);
    if (last) return;
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
    changed_.wait(lock, [this] { return !ready_.empty() || stopping_ || readyDone_; });
    if (ready_.empty()) {
      current_ = SourceFrame();  // stopped, or past the last frame: nothing to report
      return current_;
    }
    current_ = std::move(ready_.front());
    ready_.pop_front();
    atEnd_ = !current_.fetched();
    if (atEnd_) std::swap(error, error_);
  }
  changed_.notify_all();
  if (error) std::rethrow_exception(error);
  movie_.reportFetch(current_);
  return current_;
}

}  // namespace dukon
