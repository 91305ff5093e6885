#include "base/window_gate.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dukon {
namespace {

TEST(WindowGateTest, DisplayNamesThatCannotBeReached) {
  EXPECT_FALSE(xDisplayReachable(""));
  EXPECT_FALSE(xDisplayReachable("nonsense"));
  EXPECT_FALSE(xDisplayReachable(":"));
  EXPECT_FALSE(xDisplayReachable(":x"));
  EXPECT_FALSE(xDisplayReachable(":1x"));
  EXPECT_FALSE(xDisplayReachable(":59998.0"));
  EXPECT_FALSE(xDisplayReachable("unix:59998"));
  EXPECT_FALSE(xDisplayReachable("/nonexistent/socket:0"));
  EXPECT_FALSE(xDisplayReachable("no-such-host.invalid:0"));
}

}  // namespace
}  // namespace dukon
