#include "run/background_task.h"

#include <utility>

namespace dukon {

BackgroundTask::BackgroundTask(std::function<void()> work)
    : thread_([this, work = std::move(work)] {
        try {
          work();
        } catch (...) {
          error_ = std::current_exception();
        }
      }) {}

BackgroundTask::~BackgroundTask() {
  if (thread_.joinable()) thread_.join();
}

void BackgroundTask::join() {
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

}  // namespace dukon
