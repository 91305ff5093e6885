#include "behaviour/path_measures.h"

#include <gtest/gtest.h>

#include "support/records.h"

namespace dukon {
namespace {

using testing_support::straightRun;

// 10 frames per second, 10 pixels per mm, 0.5 s segments and displacement
// span, 1 s turning angles, pauses below 0.05 mm/s.
PathSettings settings() {
  PathSettings s;
  s.rate = 10;
  s.mmpix = 10;
  s.seglen = 0.5;
  s.displen = 0.5;
  s.anglen = 1;
  s.pausespdlim = 0.05;
  return s;
}

// A worm that lies still in the frame while the stage carries it 2 px per
// frame to the right, head first: every measure comes from the stage
// location alone.
TEST(PathMeasuresTest, WorldPositionsCountAndRecordsKeepFramePixels) {
  std::vector<SkelRecord> r = straightRun(21, 100, 0, true);
  for (int i = 0; i < 21; ++i) r[i].xLoc = 2 * i;
  const PathMeasures m = measurePath(r, settings());
  ASSERT_EQ(m.speeds.size(), 20u);
  EXPECT_EQ(m.segFrames, 5);
  EXPECT_EQ(m.speeds[0].record, 1);
  EXPECT_DOUBLE_EQ(*m.speeds[0].frameSpeed, 2.0);  // 0.2 mm in 0.1 s, toward the head
  EXPECT_FALSE(m.speeds[0].segmentSpeed.has_value());
  EXPECT_DOUBLE_EQ(*m.speeds[4].segmentSpeed, 2.0);
  ASSERT_EQ(m.displacements.size(), 4u);
  EXPECT_EQ(m.displacements[0].key, 5);  // frame numbers
  EXPECT_DOUBLE_EQ(*m.displacements[0].value, 1.0);
  EXPECT_DOUBLE_EQ(r[5].disp, 1.0);
  EXPECT_DOUBLE_EQ(r[6].disp, -1.0);  // not due: not measured
  ASSERT_EQ(m.turningAngles.size(), 1u);
  EXPECT_EQ(m.turningAngles[0].key, 10);
  EXPECT_DOUBLE_EQ(*m.turningAngles[0].value, 0.0);
  EXPECT_EQ(r[7].mid, cv::Point(100, 50));

  // The stage backs away from the head: negative speeds.
  for (int i = 0; i < 21; ++i) r[i].xLoc = -2 * i;
  EXPECT_DOUBLE_EQ(*measurePath(r, settings()).speeds[0].frameSpeed, -2.0);
}

TEST(PathMeasuresTest, MissedSlotsAndPausesHaveNoValue) {
  std::vector<SkelRecord> r = straightRun(40, 100, 2, true);
  for (int i = 6; i <= 14; ++i) r[i].consistent = false;  // no usable record there
  for (int i = 25; i < 40; ++i) r[i].mid = r[25].mid;     // standing still
  const PathMeasures m = measurePath(r, settings());
  // Slot 10 passes without a usable record: its index, no value.
  ASSERT_GE(m.displacements.size(), 3u);
  EXPECT_EQ(m.displacements[1].key, 10);
  EXPECT_FALSE(m.displacements[1].value.has_value());
  // Angles: measured at 15; at 25 the leg after it stands still (a pause);
  // slot 30 has too few records after it and is missed.
  ASSERT_EQ(m.turningAngles.size(), 3u);
  EXPECT_EQ(m.turningAngles[0].key, 15);
  EXPECT_TRUE(m.turningAngles[0].value.has_value());
  EXPECT_EQ(m.turningAngles[1].key, 25);
  EXPECT_FALSE(m.turningAngles[1].value.has_value());
  EXPECT_EQ(m.turningAngles[2].key, 30);
  EXPECT_FALSE(m.turningAngles[2].value.has_value());
  for (const SpeedLine& l : m.speeds) EXPECT_TRUE(r[l.record].trusted());
}

}  // namespace
}  // namespace dukon
