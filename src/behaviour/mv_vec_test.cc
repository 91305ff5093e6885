#include "behaviour/mv_vec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/records.h"

namespace dukon {
namespace {

using testing_support::movingRecord;
using testing_support::testMovement;

MvVec fillFrom(const std::vector<SkelRecord>& recs, const MovementSettings& p, std::ostream& err) {
  MvVec m;
  m.fill(recs, 0, static_cast<int>(recs.size()) - 1, false, p, err);
  return m;
}

TEST(MvVecTest, AngleIsCounterClockwiseOnScreen) {
  const MovementSettings p = testMovement();
  std::ostringstream err;
  struct Case {
    int dx, dy;
    double angle;
  } cases[] = {{0, -10, 90}, {10, 0, 0}, {-10, 0, 180}, {0, 10, 270}, {10, -10, 45}};
  for (const Case& c : cases) {
    std::vector<SkelRecord> r = {movingRecord(0, 100, 100, 20),
                                 movingRecord(5, 100 + c.dx, 100 + c.dy, 20)};
    const MvVec m = fillFrom(r, p, err);
    EXPECT_NEAR(m.angle(), c.angle, 1e-6) << c.dx << "," << c.dy;
    EXPECT_DOUBLE_EQ(m.distance(), std::sqrt(double(c.dx * c.dx + c.dy * c.dy)));
  }
  EXPECT_EQ(err.str(), "");
}

TEST(MvVecTest, UsesWorldPositionsAndFrameTimes) {
  const MovementSettings p = testMovement();  // mmpix 10, frmps 10
  std::ostringstream err;
  std::vector<SkelRecord> r = {movingRecord(10, 100, 50, 20), movingRecord(15, 100, 50, 20)};
  // The frame point stays put, but the stage moved 30 pixels right.
  r[1].xLoc = 30;
  const MvVec m = fillFrom(r, p, err);
  EXPECT_EQ(m.startPoint(), cv::Point(100, 50));
  EXPECT_EQ(m.endPoint(), cv::Point(130, 50));
  EXPECT_DOUBLE_EQ(m.distance(), 30);
  // 3 mm in 5 frames at 10 frames per second.
  EXPECT_DOUBLE_EQ(m.speed(), 6);
  EXPECT_EQ(m.direction(), 1);
  EXPECT_FALSE(m.pause());
  EXPECT_FALSE(m.loop());
}

TEST(MvVecTest, DirectionFollowsTheStartHead) {
  const MovementSettings p = testMovement();
  std::ostringstream err;
  std::vector<SkelRecord> fwd = {movingRecord(0, 100, 50, 20), movingRecord(5, 110, 50, -20)};
  EXPECT_EQ(fillFrom(fwd, p, err).direction(), 1);
  std::vector<SkelRecord> bwd = {movingRecord(0, 100, 50, -20), movingRecord(5, 110, 50, 20)};
  EXPECT_EQ(fillFrom(bwd, p, err).direction(), -1);
  // Head straight across the path: both ends equally far, counted backward.
  std::vector<SkelRecord> tie = {movingRecord(0, 100, 50, 0), movingRecord(5, 110, 50, 0)};
  tie[0].head = cv::Point(105, 80);
  EXPECT_EQ(fillFrom(tie, p, err).direction(), -1);
}

TEST(MvVecTest, PauseOnlyStrictlyBelowTheLimit) {
  // 10 pixels in 5 frames: 1 mm in 0.5 s = 2 mm/s.
  std::vector<SkelRecord> r = {movingRecord(0, 100, 50, 20), movingRecord(5, 110, 50, 20)};
  std::ostringstream err;
  MovementSettings atLimit = testMovement();
  atLimit.pausespdlim = 2;
  const MvVec m = fillFrom(r, atLimit, err);
  EXPECT_DOUBLE_EQ(m.speed(), 2);
  EXPECT_FALSE(m.pause());
  EXPECT_EQ(m.direction(), 1);
  MovementSettings above = testMovement();
  above.pausespdlim = 2.001;
  const MvVec q = fillFrom(r, above, err);
  EXPECT_TRUE(q.pause());
  EXPECT_EQ(q.direction(), 0);
}

TEST(MvVecTest, LoopSegmentAndInconsistentEnds) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = {movingRecord(7, 100, 50, 20), movingRecord(8, 100, 50, 20),
                               movingRecord(9, 120, 50, 20)};
  r[0].loop = true;
  r[0].consistent = false;
  std::ostringstream err;
  MvVec loop;
  loop.fill(r, 0, 1, true, p, err);
  EXPECT_TRUE(loop.loop());
  EXPECT_TRUE(loop.turn());
  EXPECT_EQ(loop.start(), 0);
  EXPECT_EQ(loop.end(), 1);
  EXPECT_DOUBLE_EQ(loop.distance(), 0);
  EXPECT_EQ(err.str(), "");  // a loop start is not reported

  r[0].loop = false;
  r[2].located = false;
  MvVec m;
  m.fill(r, 0, 2, false, p, err);
  EXPECT_EQ(err.str(),
            "MvVec start frame 7 is inconsistent!\nMvVec end frame 9 is inconsistent!\n");
  EXPECT_DOUBLE_EQ(m.distance(), 20);  // still measured
}

TEST(MvVecTest, AbsorbSpansBothSegments) {
  const MovementSettings p = testMovement();  // mmpix 10, frmps 10
  std::ostringstream err;
  // Right 30 pixels, then up 40 on screen, the second leg partly by the stage.
  std::vector<SkelRecord> r = {movingRecord(0, 100, 100, 20), movingRecord(5, 130, 100, 20),
                               movingRecord(10, 130, 80, 20)};
  r[2].yLoc = -20;
  MvVec a, b;
  a.fill(r, 0, 1, false, p, err);
  b.fill(r, 1, 2, false, p, err);
  a.absorb(b, r, p);
  EXPECT_EQ(a.start(), 0);
  EXPECT_EQ(a.end(), 2);
  EXPECT_EQ(a.startPoint(), cv::Point(100, 100));
  EXPECT_EQ(a.endPoint(), cv::Point(130, 60));
  EXPECT_DOUBLE_EQ(a.distance(), 70);  // the path, not the 50-pixel chord
  EXPECT_DOUBLE_EQ(a.speed(), 7);      // 7 mm in 1 s
  EXPECT_NEAR(a.angle(), std::atan2(40.0, 30.0) * 180 / std::acos(-1.0), 1e-6);
  EXPECT_EQ(a.direction(), 1);
  EXPECT_FALSE(a.pause());

  // A loop segment is measured from its records, though fill left it bare.
  for (SkelRecord& x : r) x.loop = true;
  MvVec l, m;
  l.fill(r, 0, 1, false, p, err);
  m.fill(r, 1, 2, false, p, err);
  l.absorb(m, r, p);
  EXPECT_TRUE(l.loop());
  EXPECT_EQ(l.end(), 2);
  EXPECT_DOUBLE_EQ(l.distance(), 0);
  EXPECT_DOUBLE_EQ(l.speed(), 0);
  EXPECT_EQ(l.startPoint(), cv::Point(0, 0));
  EXPECT_NEAR(l.angle(), std::atan2(40.0, 30.0) * 180 / std::acos(-1.0), 1e-6);
  EXPECT_EQ(err.str(), "");
}

TEST(MvVecTest, ZeroDurationHasZeroSpeed) {
  const MovementSettings p = testMovement();
  EXPECT_DOUBLE_EQ(MvVec::speedOf(30, 0, p), 0);
  EXPECT_DOUBLE_EQ(MvVec::speedOf(30, 10, p), 3);
}

TEST(MvVecTest, TurnTestNeedsAllThreeConditions) {
  SkelRecord r;
  testing_support::makeTurn(r);
  EXPECT_TRUE(isTurnRecord(r));
  SkelRecord right = r;
  right.NmaxampL = 0;
  right.NmaxampR = 0.34;
  EXPECT_TRUE(isTurnRecord(right));
  SkelRecord weak = r;
  weak.NmaxampL = 0.33;
  EXPECT_FALSE(isTurnRecord(weak));
  SkelRecord crossings = r;
  crossings.cutpnums = 3;
  EXPECT_FALSE(isTurnRecord(crossings));
  SkelRecord balanced = r;
  balanced.ampsym = -5;  // exactly half of avgamp
  EXPECT_FALSE(isTurnRecord(balanced));
  balanced.ampsym = -5.01;
  EXPECT_TRUE(isTurnRecord(balanced));
}

}  // namespace
}  // namespace dukon
