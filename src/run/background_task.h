// BackgroundTask: a piece of a run done on a thread of its own while the
// caller goes on with other work.
//
// What the work touches must be left alone by the caller until join()
// returns. An exception the work throws is kept and rethrown by join(). The
// destructor waits for the work too (without rethrowing), so a task never
// outlives what it uses when the caller leaves early on an exception.
#ifndef DUKON_RUN_BACKGROUND_TASK_H_
#define DUKON_RUN_BACKGROUND_TASK_H_

#include <exception>
#include <functional>
#include <thread>

namespace dukon {

class BackgroundTask {
 public:
  explicit BackgroundTask(std::function<void()> work);
  ~BackgroundTask();
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Waits for the work; rethrows what it threw. Call it once.
  void join();

 private:
  std::exception_ptr error_;  // written by the task's thread until it ends
  std::thread thread_;        // last: starts once error_ is ready
};

}  // namespace dukon

#endif  // DUKON_RUN_BACKGROUND_TASK_H_
