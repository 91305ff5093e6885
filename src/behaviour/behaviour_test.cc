#include "behaviour/behaviour.h"

#include <gtest/gtest.h>

#include <sstream>

#include "behaviour/movement_segmentation.h"
#include "support/records.h"

namespace dukon {
namespace {

using testing_support::makeTurn;
using testing_support::movingRecord;
using testing_support::straightRun;
using testing_support::testMovement;

// Kinds of hand-built segments.
enum Kind { kFwd, kBwd, kStill, kLoop };

// Builds one record per segment boundary, 10 frames apart, and one segment
// per entry of `kinds` between consecutive boundaries; `turns` marks turn
// segments. Forward and backward segments move 20 pixels to the right.
struct Path {
  std::vector<SkelRecord> records;
  std::vector<MvVec> movements;
};
Path buildPath(const std::vector<Kind>& kinds, const std::vector<bool>& turns,
               const MovementSettings& p) {
  Path path;
  int x = 100;
  for (size_t k = 0; k <= kinds.size(); ++k) {
    const Kind kind = k < kinds.size() ? kinds[k] : kFwd;
    path.records.push_back(movingRecord(static_cast<int>(k) * 10, x, 50, kind == kBwd ? -20 : 20));
    if (kind == kLoop) {
      path.records.back().loop = true;
      path.records.back().consistent = false;
    }
    if (kind == kFwd || kind == kBwd) x += 20;
  }
  std::ostringstream err;
  for (size_t k = 0; k < kinds.size(); ++k) {
    path.movements.emplace_back();
    path.movements.back().fill(path.records, static_cast<int>(k), static_cast<int>(k) + 1,
                               k < turns.size() && turns[k], p, err);
  }
  return path;
}

BehaviourSummary classify(Path& path, const MovementSettings& p, std::string* report = nullptr) {
  std::ostringstream wxs;
  wxs.precision(3);
  const BehaviourSummary s = classifyBehaviour(path.movements, path.records, wxs, p);
  if (report) *report = wxs.str();
  return s;
}

TEST(BehaviourTest, SingleForwardSegmentReport) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(11, 100, 2, true);
  std::ostringstream wxs, err;
  wxs.precision(3);
  const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
  ASSERT_EQ(v.size(), 1u);
  wxs.str("");
  classifyBehaviour(v, r, wxs, p);
  EXPECT_EQ(wxs.str(),
            "0-10: forward distance of 20 at angle 0 at speed 2\n"
            "\n"
            "pause rate: 0 per minute (0 total)\n"
            "% time in pause:  0% (0 frames)\n"
            "omega rate: 0 per minute (0 total)\n"
            "% time in omega:  0% (0 frames)\n"
            "loop rate: 0 per minute (0 total)\n"
            "% time in loop:  0% (0 frames)\n"
            "\n"
            "% time moving forward:  100%\n"
            "% time moving backward: 0%\n"
            "average fwd/bwd speed: 2\n"
            "average forward speed (excl. omega):  2\n"
            "average backward speed (excl. omega): n/a\n"
            "reversals rate: 0 per minute (0 total)\n"
            "forward is 100% of movement, 100% of distance moved\n"
            "backward is 0% of movement, 0% of distance moved\n"
            "\n"
            "distance from start point to end point: 20\n"
            "accumulated distance (sum of non-pause move segments): 20\n"
            "roam ratio (0-1): 0\n");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(r[i].mv, MovementCode::kForward) << i;
  EXPECT_EQ(r[10].mv, MovementCode::kNone);  // the last segment's end record
}

TEST(BehaviourTest, PausesOnlyReportHasNoSpeeds) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kStill, kStill}, {}, p);
  std::string report;
  const BehaviourSummary s = classify(path, p, &report);
  EXPECT_EQ(s.pauseCount, 2);
  EXPECT_EQ(s.pauseFrames, 20);
  EXPECT_NE(report.find("0-10: pause\n10-20: pause\n"), std::string::npos);
  // Two pauses in 20 frames at 10 frames per second: 60 per minute.
  EXPECT_NE(
      report.find("pause rate: 60 per minute (2 total)\n% time in pause:  100% (20 frames)\n"),
      std::string::npos);
  EXPECT_NE(report.find("average fwd/bwd speed: n/a\n"
                        "average forward speed (excl. omega):  n/a\n"
                        "average backward speed (excl. omega): n/a\n"
                        "reversals rate: 0 per minute (0 total)\n\n"),
            std::string::npos);
  EXPECT_EQ(report.find("forward is"), std::string::npos);
  EXPECT_NE(report.find("accumulated distance (sum of non-pause move segments): 0\n"
                        "roam ratio (0-1): n/a\n"),
            std::string::npos);
  EXPECT_EQ(path.records[0].mv, MovementCode::kPause);
  EXPECT_EQ(path.records[1].mv, MovementCode::kPause);
  EXPECT_EQ(path.records[2].mv, MovementCode::kNone);
}

TEST(BehaviourTest, ReversalsCountedAcrossPausesTurnsAndLoops) {
  const MovementSettings p = testMovement();
  // fwd, pause, bwd | fwd, turn, bwd | fwd, loop, bwd | bwd
  Path path = buildPath({kFwd, kStill, kBwd, kFwd, kFwd, kBwd, kFwd, kLoop, kBwd, kBwd},
                        {false, false, false, false, true}, p);
  std::string report;
  const BehaviourSummary s = classify(path, p, &report);
  EXPECT_EQ(s.reversalCount, 3);
  EXPECT_NE(report.find("(3 total)\nforward is"), std::string::npos);
  for (int k = 0; k < 11; ++k) {
    const bool expected = k == 2 || k == 5 || k == 8;
    EXPECT_EQ(path.records[k].reversal, expected) << k;
  }
  EXPECT_NE(report.find("20-30: reversal backward distance of"), std::string::npos);
  EXPECT_NE(report.find("90-100: backward distance of"), std::string::npos);
  EXPECT_NE(report.find("70-80: loop\n"), std::string::npos);
  EXPECT_EQ(s.loopCount, 1);
  EXPECT_EQ(s.omegaCount, 1);
  EXPECT_EQ(s.pauseCount, 1);
}

TEST(BehaviourTest, FirstSegmentIsNeverAReversalAndLoopKeepsBackward) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kBwd, kLoop, kBwd, kFwd}, {}, p);
  const BehaviourSummary s = classify(path, p);
  EXPECT_EQ(s.reversalCount, 0);
  EXPECT_EQ(s.bwdFrames, 20);
  EXPECT_EQ(s.fwdFrames, 10);
}

TEST(BehaviourTest, BackwardTurnAfterForwardIsAReversalAndOnlyAnOmega) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kFwd, kBwd}, {false, true}, p);
  makeTurn(path.records[1]);
  std::string report;
  const BehaviourSummary s = classify(path, p, &report);
  EXPECT_EQ(s.reversalCount, 1);
  EXPECT_EQ(s.omegaCount, 1);
  EXPECT_EQ(s.omegaFrames, 10);
  EXPECT_DOUBLE_EQ(s.omegaDistance, 20);
  EXPECT_EQ(s.movFrames, 10);  // the turn adds to no movement figure
  EXPECT_EQ(s.bwdFrames, 0);
  EXPECT_NE(
      report.find("10-20: reversal backward omega (@#10) distance of 20 at angle 0 at speed 2\n"),
      std::string::npos);
  EXPECT_NE(report.find("average backward speed (excl. omega): n/a\n"), std::string::npos);
  EXPECT_NE(report.find("% time in omega:  50% (10 frames)\n"), std::string::npos);
  // Labels: the turn wins over backward, and the reversal marks its start.
  EXPECT_EQ(path.records[0].mv, MovementCode::kForward);
  EXPECT_EQ(path.records[1].mv, MovementCode::kOmega);
  EXPECT_TRUE(path.records[1].reversal);
}

TEST(BehaviourTest, TurnWithoutTurnRecordShowsNoFrame) {
  const MovementSettings p = testMovement();
  Path path = buildPath({kFwd}, {true}, p);
  std::string report;
  classify(path, p, &report);
  EXPECT_NE(report.find("0-10: forward omega (@#n/a) distance of 20"), std::string::npos);
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

TEST(BehaviourTest, NoSegmentsWritesNoInfinities) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(3, 100, 2, true);
  for (SkelRecord& x : r) x.located = false;
  std::ostringstream wxs;
  const BehaviourSummary s = classifyBehaviour({}, r, wxs, p);
  EXPECT_FALSE(s.haveSpan);
  EXPECT_FALSE(s.havePath);
  const std::string out = wxs.str();
  EXPECT_EQ(out.find("inf"), std::string::npos);
  EXPECT_EQ(out.find("nan"), std::string::npos);
  EXPECT_NE(out.find("pause rate: n/a per minute (0 total)\n% time in pause:  n/a% (0 frames)\n"),
            std::string::npos);
  EXPECT_NE(out.find("% time moving forward:  n/a%\n"), std::string::npos);
  EXPECT_NE(out.find("distance from start point to end point: n/a\n"), std::string::npos);
  EXPECT_NE(out.find("roam ratio (0-1): n/a\n"), std::string::npos);
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
  std::ostringstream err, wxs;
  v[0].fill(r, 1, 3, false, p, err);
  wxs.precision(3);
  classifyBehaviour(v, r, wxs, p);
  // From (110, 50) to (137, 50).
  EXPECT_NE(wxs.str().find("distance from start point to end point: 27\n"), std::string::npos);
  // Only record 0 is trusted: both ends are record 0.
  std::vector<SkelRecord> q = straightRun(3, 100, 10, true);
  q[1].consistent = q[2].consistent = false;
  EXPECT_EQ(lastTrustedRecord(q), -1);
  std::ostringstream one;
  one.precision(3);
  classifyBehaviour({}, q, one, p);
  EXPECT_NE(one.str().find("distance from start point to end point: 0\n"), std::string::npos);
}

}  // namespace
}  // namespace dukon
