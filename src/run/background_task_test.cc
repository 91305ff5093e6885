#include "run/background_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace dukon {
namespace {

TEST(BackgroundTaskTest, JoinWaitsAndRethrowsOnce) {
  int result = 0;
  BackgroundTask done([&result] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    result = 42;
  });
  done.join();
  EXPECT_EQ(result, 42);

  BackgroundTask failing([] { throw std::runtime_error("no frames"); });
  EXPECT_THROW(failing.join(), std::runtime_error);
  EXPECT_NO_THROW(failing.join());  // handed on once
}

TEST(BackgroundTaskTest, DestructorWaitsForTheWork) {
  std::atomic<bool> finished{false};
  {
    BackgroundTask task([&finished] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      finished = true;
    });
  }
  EXPECT_TRUE(finished);
  // A failure nobody joined is dropped, not thrown from the destructor.
  EXPECT_NO_THROW({ BackgroundTask ignored([] { throw std::runtime_error("late"); }); });
}

}  // namespace
}  // namespace dukon
