#include "stage/stage_tracker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "base/params.h"
#include "stage/stage_util.h"
#include "support/params_text.h"

namespace dukon {
namespace {

// A movie of 400 frames at 10 fps with a stage log of one sample per second
// moving 0.1 mm (10 px at mmpixstage 100) in x each time.
class StageTrackerTest : public ::testing::Test {
 protected:
  void make(const std::string& extra) {
    const Params prms = testing_support::paramsFromText(
        "moviedir = /m\nmoviename = w\nmmpix = 100\nfrmps = 10\nlframe = 400\n" + extra);
    std::string text = "Sample,Time,Device,X,Y\n";
    for (int s = 0; s <= 40; ++s) {
      char line[80];
      // Half a pixel past each 10 px step keeps floor() clear of rounding.
      std::snprintf(line, sizeof line, "%d,%02d:%02d.000,STAGE,%d,%d\n", s + 1, s / 60, s % 60,
                    1000000 + (s > 0 ? 100000 * s + 5000 : 0), 3000000);
      text += line;
    }
    std::istringstream in(text);
    std::ostringstream sink;
    stage_ =
        std::make_unique<StageUtil>(in, "log", stageWindow(0, 400, 400, 10.0), false, sink, sink);
    tracker_ = std::make_unique<StageTracker>(*stage_, stageTrackerSettings(prms, 10.0));
  }

  std::unique_ptr<StageUtil> stage_;
  std::unique_ptr<StageTracker> tracker_;
};

TEST_F(StageTrackerTest, StagePositionHoldsBetweenSamplesAndSkipsNearThem) {
  make("stageskip = 1\n");
  // 1.05 s: the cursor sample is the one at 1 s (0.1 mm -> 10 px); the next
  // sample (2 s) is 9.5 frames away: usable.
  StagePosition s = tracker_->addStagePosition(1050.0);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc, cv::Point(10, 0));
  for (double t = 1100.0; t < 1900.0; t += 100.0) {
    s = tracker_->addStagePosition(t);
    EXPECT_TRUE(s.usable) << t;
    EXPECT_EQ(s.loc.x, 10) << t;
  }
  // Exactly one frame interval (100 ms) before the sample: not usable.
  EXPECT_FALSE(tracker_->addStagePosition(1900.0).usable);
  s = tracker_->addStagePosition(2000.0);
  EXPECT_FALSE(s.usable);
  EXPECT_EQ(s.loc.x, 10);  // a frame at a sample time still has the earlier sample
  s = tracker_->addStagePosition(2001.0 + 100.0);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc.x, 20);
  // Beyond the last sample (40 s) the position holds on it; the sentinel is
  // far away, so the frame is usable.
  s = tracker_->addStagePosition(45000.0);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc.x, 400);
  s = tracker_->addStagePosition(1e12);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc.x, 400);
}

TEST_F(StageTrackerTest, StageskipZeroRejectsOnlyExactSampleTimes) {
  make("stageskip = 0\n");
  EXPECT_TRUE(tracker_->addStagePosition(999.0).usable);
  EXPECT_FALSE(tracker_->addStagePosition(1000.0).usable);
  EXPECT_TRUE(tracker_->addStagePosition(1000.5).usable);
}

TEST_F(StageTrackerTest, ImageMotionMovesAgainstTheShiftAndStaysInRange) {
  make("stageskip = 1\n");
  EXPECT_EQ(tracker_->stagePx(), cv::Point(0, 0));
  // The content moved left and up: the stage moved right and down.
  StagePosition s = tracker_->addImageMotion(cv::Point(-7, -3), 500.0);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc, cv::Point(7, 3));
  // The stage cursor stays where it was rewound: the usable test still looks
  // at the log's second sample (1 s), one frame interval away or less here.
  s = tracker_->addImageMotion(cv::Point(2, 0), 950.0);
  EXPECT_FALSE(s.usable);
  EXPECT_EQ(s.loc, cv::Point(5, 3));
  // An unbounded drift is held at 2^29 pixels instead of overflowing.
  for (int i = 0; i < 3; ++i) s = tracker_->addImageMotion(cv::Point(-(1 << 30), 0), 500.0);
  EXPECT_EQ(s.loc.x, 1 << 29);
  EXPECT_EQ(tracker_->stagePx(), s.loc);
}

}  // namespace
}  // namespace dukon
