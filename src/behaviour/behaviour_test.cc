#include "behaviour/behaviour.h"

#include <gtest/gtest.h>

#include <sstream>

#include "behaviour/movement_segmentation.h"
#include "support/records.h"

namespace dukon {
namespace {

using testing_support::buildPath;
using testing_support::kBwd;
using testing_support::kFwd;
using testing_support::kLoop;
using testing_support::kStill;
using testing_support::makeTurn;
using testing_support::movingRecord;
using testing_support::Path;
using testing_support::straightRun;
using testing_support::testMovement;

// Classifies the path's segments and labels its records, as a run does.
Classification classify(Path& path, const MovementSettings& p) {
  Classification c = classifyBehaviour(path.movements, path.records, p);
  labelRecords(c.segments, path.records);
  return c;
}

TEST(BehaviourTest, SingleForwardSegment) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(11, 100, 2, true);
  std::ostringstream err;
  const Movements m = segmentMovements(r, p, err);
  ASSERT_EQ(m.segments.size(), 1u);
  const Classification c = classifyBehaviour(m.segments, r, p);
  labelRecords(c.segments, r);
  const BehaviourSummary& s = c.summary;
  EXPECT_EQ(s.totalFrames, 10);
  EXPECT_EQ(s.fwdFrames, 10);
  EXPECT_EQ(s.movFrames, 10);
  EXPECT_EQ(s.bwdFrames, 0);
  EXPECT_DOUBLE_EQ(s.fwdSpeed, 2);
  EXPECT_DOUBLE_EQ(s.minutes, 1.0 / 60);
  EXPECT_DOUBLE_EQ(s.pathDistance, 20);
  EXPECT_EQ(c.omegaFrames, std::vector<int>{-1});
  for (int i = 0; i < 10; ++i) EXPECT_EQ(r[i].mv, MovementCode::kForward) << i;
  EXPECT_EQ(r[10].mv, MovementCode::kNone);  // the last segment's end record
}

TEST(BehaviourTest, PausesOnly) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kStill, kStill}, {}, p);
  const BehaviourSummary s = classify(path, p).summary;
  EXPECT_EQ(s.pauseCount, 2);
  EXPECT_EQ(s.pauseFrames, 20);
  EXPECT_EQ(s.totalFrames, 20);
  EXPECT_EQ(s.movFrames, 0);
  EXPECT_DOUBLE_EQ(s.movDistance, 0);
  EXPECT_EQ(path.records[0].mv, MovementCode::kPause);
  EXPECT_EQ(path.records[1].mv, MovementCode::kPause);
  EXPECT_EQ(path.records[2].mv, MovementCode::kNone);
}

TEST(BehaviourTest, ReversalsCountedAcrossPausesTurnsAndLoops) {
  const MovementSettings p = testMovement();
  // fwd, pause, bwd | fwd, turn, bwd | fwd, loop, bwd | bwd
  Path path = buildPath({kFwd, kStill, kBwd, kFwd, kFwd, kBwd, kFwd, kLoop, kBwd, kBwd},
                        {false, false, false, false, true}, p);
  const Classification c = classify(path, p);
  const BehaviourSummary& s = c.summary;
  EXPECT_EQ(s.reversalCount, 3);
  for (int k = 0; k < 11; ++k) {
    const bool expected = k == 2 || k == 5 || k == 8;
    EXPECT_EQ(path.records[k].reversal, expected) << k;
    if (k < 10) {
      EXPECT_EQ(c.segments[k].reversal(), expected) << k;
    }
  }
  EXPECT_TRUE(c.segments[7].loop());
  EXPECT_EQ(s.loopCount, 1);
  EXPECT_EQ(s.omegaCount, 1);
  EXPECT_EQ(s.pauseCount, 1);
}

TEST(BehaviourTest, FirstSegmentIsNeverAReversalAndLoopKeepsBackward) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kBwd, kLoop, kBwd, kFwd}, {}, p);
  const BehaviourSummary s = classify(path, p).summary;
  EXPECT_EQ(s.reversalCount, 0);
  EXPECT_EQ(s.bwdFrames, 20);
  EXPECT_EQ(s.fwdFrames, 10);
}

TEST(BehaviourTest, BackwardTurnAfterForwardIsAReversalAndOnlyAnOmega) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kFwd, kBwd}, {false, true}, p);
  makeTurn(path.records[1]);
  const Classification c = classify(path, p);
  const BehaviourSummary& s = c.summary;
  EXPECT_EQ(s.reversalCount, 1);
  EXPECT_EQ(s.omegaCount, 1);
  EXPECT_EQ(s.omegaFrames, 10);
  EXPECT_DOUBLE_EQ(s.omegaDistance, 20);
  EXPECT_EQ(s.movFrames, 10);  // the turn adds to no movement figure
  EXPECT_EQ(s.bwdFrames, 0);
  EXPECT_EQ(c.omegaFrames, (std::vector<int>{-1, 10}));
  EXPECT_EQ(s.totalFrames, 20);
  // Labels: the turn wins over backward, and the reversal marks its start.
  EXPECT_EQ(path.records[0].mv, MovementCode::kForward);
  EXPECT_EQ(path.records[1].mv, MovementCode::kOmega);
  EXPECT_TRUE(path.records[1].reversal);
}

TEST(BehaviourTest, TurnWithoutTurnRecordShowsNoFrame) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kFwd}, {true}, p);
  EXPECT_EQ(classify(path, p).omegaFrames, std::vector<int>{-1});
}

TEST(BehaviourTest, LabelsFillGapsButNotSharedOrFinalEnds) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(16, 100, 2, true);
  for (int i = 5; i <= 10; ++i) r[i].head.x = r[i].mid.x - 20;
  for (int i = 12; i <= 15; ++i) r[i].mid.x = r[12].mid.x;
  std::vector<MvVec> v;
  std::ostringstream err;
  for (auto se : {std::make_pair(0, 5), std::make_pair(5, 10), std::make_pair(12, 15)}) {
    v.emplace_back();
    v.back().fill(r, se.first, se.second, false, p, err);
  }
  v[1].setReversal(true);
  labelRecords(v, r);
  const std::vector<int> expected = {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 0, 3, 3, 3, 0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<int>(r[i].mv), expected[i]) << i;
  EXPECT_TRUE(r[5].reversal);
  EXPECT_FALSE(r[0].reversal);
}

TEST(BehaviourTest, NoSegmentsNoSpanNoPath) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(3, 100, 2, true);
  for (SkelRecord& x : r) x.located = false;
  const BehaviourSummary s = classifyBehaviour({}, r, p).summary;
  EXPECT_FALSE(s.haveSpan);
  EXPECT_FALSE(s.havePath);
  EXPECT_EQ(s.totalFrames, 0);
}

TEST(BehaviourTest, PathEndsComeFromTrustedRecords) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(6, 100, 10, true);
  r[0].located = false;
  r[5].ignored = true;
  r[3].xLoc = 7;  // world positions are used
  EXPECT_EQ(firstTrustedRecord(r), 1);
  EXPECT_EQ(lastTrustedRecord(r), 4);
  r[4].consistent = false;
  std::vector<MvVec> v(1, MvVec());
  std::ostringstream err;
  v[0].fill(r, 1, 3, false, p, err);
  // From (110, 50) to (137, 50).
  EXPECT_DOUBLE_EQ(classifyBehaviour(v, r, p).summary.pathDistance, 27);
  // Only record 0 is trusted: both ends are record 0.
  std::vector<SkelRecord> q = straightRun(3, 100, 10, true);
  q[1].consistent = q[2].consistent = false;
  EXPECT_EQ(lastTrustedRecord(q), -1);
  const BehaviourSummary one = classifyBehaviour({}, q, p).summary;
  EXPECT_TRUE(one.havePath);
  EXPECT_DOUBLE_EQ(one.pathDistance, 0);
}

}  // namespace
}  // namespace dukon
