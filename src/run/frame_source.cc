#include "run/frame_source.h"

#include <chrono>
#include <utility>

namespace dukon {

FrameSource::FrameSource(Movie& movie, int lastFrame, size_t depth)
    : movie_(movie),
      lastFrame_(lastFrame),
      depth_(depth == 0 ? 1 : depth),
      thread_([this] { decode(); }) {}

FrameSource::~FrameSource() {
  stop();
}

void FrameSource::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.clear();
}

void FrameSource::decode() {
  using Clock = std::chrono::steady_clock;
  try {
    for (;;) {
      cv::Mat buffer;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return stopping_ || queue_.size() < depth_; });
        if (stopping_) return;
        if (!spare_.empty()) {
          buffer = std::move(spare_.back());
          spare_.pop_back();
        }
      }
      const Clock::time_point start = Clock::now();
      MovieFrame f = movie_.read(std::move(buffer));
      decodeMs_ += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      // The end, or a frame that ends the caller's loop: nothing after it
      // is needed.
      const bool last = !f.fetched() || f.number() > lastFrame_;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(std::move(f));
        finished_ = last;
      }
      changed_.notify_all();
      if (last) return;
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = std::current_exception();
    queue_.emplace_back();  // the end: no frame
    finished_ = true;
    changed_.notify_all();
  }
}

const MovieFrame& FrameSource::next() {
  if (atEnd_) {
    // As the capture itself would: asked again at the end, it gives no frame.
    movie_.reportFetch(current_);
    return current_;
  }
  std::exception_ptr error;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (current_.fetched()) spare_.push_back(std::move(current_.image));
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_ || finished_; });
    if (queue_.empty()) {
      current_ = MovieFrame();  // stopped, or past the last frame: nothing to report
      return current_;
    }
    current_ = std::move(queue_.front());
    queue_.pop_front();
    atEnd_ = !current_.fetched();
    if (atEnd_) std::swap(error, error_);
  }
  changed_.notify_all();
  if (error) std::rethrow_exception(error);
  movie_.reportFetch(current_);
  return current_;
}

}  // namespace dukon
