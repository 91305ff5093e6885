#include "output/movement_tables.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/records.h"
#include "support/table_streams.h"

namespace dukon {
namespace {

using testing_support::straightRun;
using testing_support::Tables;
using testing_support::testTables;

TEST(MovementTablesTest, SpeedTable) {
  const PathSettings p = testTables();  // 5-frame segments, 10 frames/s, 10 pixels/mm
  std::vector<SkelRecord> r = straightRun(8, 100, 2, true);
  for (SkelRecord& x : r) x.mv = MovementCode::kForward;
  r[6].frame = 7;  // frame 6 was dropped
  r[7].frame = 8;
  r[7].head.x = r[7].mid.x - 40;
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.spd.str(),
            "# spd-frm is speed relative to previous frame\n"
            "# spd-seg is speed in 0.5 sec segment (5 frames)\n"
            "#   spd-frm spd-seg\n"
            "1\t2\t  -  \tfwd\n"
            "2\t2\t  -  \tfwd\n"
            "3\t2\t  -  \tfwd\n"
            "4\t2\t  -  \tfwd\n"
            "5\t2\t2\tfwd\n"
            "7\t  -  \t  -  \tfwd\n"  // 5 + 5 is not 7 either
            "8\t2\t  -  \tfwd\n");
  // Moving away from the previous head is negative.
  std::vector<SkelRecord> b = straightRun(3, 100, 2, false);
  b[1].mv = MovementCode::kBackward;
  b[2].mv = MovementCode::kBackward;
  b[2].reversal = true;
  b[2].consistent = false;
  Tables u;
  PathSettings slow = p;
  slow.rate = 1;
  u.write(b, slow);
  EXPECT_EQ(u.spd.str(),
            "# spd-frm is speed relative to previous frame\n"
            "# spd-seg is speed in 0.5 sec segment (1 frames)\n"
            "#   spd-frm spd-seg\n"
            "1\t-0.2\t-0.2\tbckwd\n");
}

TEST(MovementTablesTest, DisplacementWithMissedSlots) {
  const PathSettings p = testTables();  // displacement over 5 frames
  std::vector<SkelRecord> r = straightRun(24, 100, 2, true);
  for (int i = 6; i <= 14; ++i) r[i].consistent = false;
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.dsp.str(),
            "5\t1\n"
            "10\t-\n"
            "15\t-\n"
            "20\t1\n");
  EXPECT_DOUBLE_EQ(r[5].disp, 1);
  EXPECT_DOUBLE_EQ(r[20].disp, 1);
  EXPECT_DOUBLE_EQ(r[21].disp, -1);
  EXPECT_DOUBLE_EQ(r[0].disp, -1);
}

TEST(MovementTablesTest, TurningAngles) {
  PathSettings p = testTables();
  p.anglen = 1;  // 10 frames either side
  // Right for 10 frames, then down the image for 10.
  std::vector<SkelRecord> r = straightRun(21, 100, 2, true);
  for (int i = 11; i <= 20; ++i) r[i].mid = cv::Point(120, 50 + 2 * (i - 10));
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.ang.str(), "10\t90\n");
  // A worm that stands still in the first half paused.
  for (int i = 0; i <= 10; ++i) r[i].mid = cv::Point(120, 50);
  Tables u;
  u.write(r, p);
  EXPECT_EQ(u.ang.str(), "10\t-\n");
  // No usable record before frame 10: slot 10 is written as missed once the
  // record index passes it by half a step; so is slot 30, which has too few
  // records after it.
  std::vector<SkelRecord> q = straightRun(40, 100, 2, true);
  for (int i = 0; i <= 9; ++i) q[i].consistent = false;
  Tables w;
  w.write(q, p);
  EXPECT_EQ(w.ang.str(), "10\t-\n20\t0\n30\t-\n");
}

}  // namespace
}  // namespace dukon
