#include "output/behaviour_report.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

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
using testing_support::Path;
using testing_support::straightRun;
using testing_support::testMovement;

// The report of `movements` over `records` as wxs.txt holds it (precision
// 3), `cut` segments cut before the merge.
std::string report(const std::vector<MvVec>& movements, const std::vector<SkelRecord>& records,
                   size_t cut) {
  std::ostringstream wxs;
  wxs.precision(3);
  writeBehaviourReport(wxs, cut, classifyBehaviour(movements, records, testMovement()), records);
  return wxs.str();
}
std::string report(const Path& path) {
  return report(path.movements, path.records, path.movements.size());
}

TEST(BehaviourReportTest, SingleForwardSegment) {
  const std::vector<SkelRecord> r = straightRun(11, 100, 2, true);
  std::ostringstream err;
  const Movements m = segmentMovements(r, testMovement(), err);
  EXPECT_EQ(report(m.segments, r, m.cutCount),
            "Movements compressed from 2 elements to 1 elements (reduction of 50%)\n"
            "\n"
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
}

TEST(BehaviourReportTest, PausesOnlyHaveNoSpeedsAndNoProportions) {
  const std::string s = report(buildPath({kStill, kStill}, {}, testMovement()));
  EXPECT_NE(s.find("0-10: pause\n10-20: pause\n"), std::string::npos);
  // Two pauses in 20 frames at 10 frames per second: 60 per minute.
  EXPECT_NE(s.find("pause rate: 60 per minute (2 total)\n% time in pause:  100% (20 frames)\n"),
            std::string::npos);
  EXPECT_NE(s.find("average fwd/bwd speed: n/a\n"
                   "average forward speed (excl. omega):  n/a\n"
                   "average backward speed (excl. omega): n/a\n"
                   "reversals rate: 0 per minute (0 total)\n\n"),
            std::string::npos);
  EXPECT_EQ(s.find("forward is"), std::string::npos);
  EXPECT_NE(s.find("accumulated distance (sum of non-pause move segments): 0\n"
                   "roam ratio (0-1): n/a\n"),
            std::string::npos);
}

TEST(BehaviourReportTest, SegmentLinesForReversalsLoopsAndOmegas) {
  const MovementSettings p = testMovement();
  const std::string s =
      report(buildPath({kFwd, kStill, kBwd, kFwd, kFwd, kBwd, kFwd, kLoop, kBwd, kBwd},
                       {false, false, false, false, true}, p));
  EXPECT_NE(s.find("(3 total)\nforward is"), std::string::npos);
  EXPECT_NE(s.find("20-30: reversal backward distance of"), std::string::npos);
  EXPECT_NE(s.find("90-100: backward distance of"), std::string::npos);
  EXPECT_NE(s.find("70-80: loop\n"), std::string::npos);
  // The omega frame, or n/a when no record of the turn segment passes the
  // turn test.
  EXPECT_NE(s.find("40-50: forward omega (@#n/a) distance of 20"), std::string::npos);
  Path turn = buildPath({kFwd, kBwd}, {false, true}, p);
  makeTurn(turn.records[1]);
  const std::string t = report(turn);
  EXPECT_NE(t.find("10-20: reversal backward omega (@#10) distance of 20 at angle 0 at speed 2\n"),
            std::string::npos);
  EXPECT_NE(t.find("average backward speed (excl. omega): n/a\n"), std::string::npos);
  EXPECT_NE(t.find("% time in omega:  50% (10 frames)\n"), std::string::npos);
}

TEST(BehaviourReportTest, NothingToReportWritesNoInfinities) {
  std::vector<SkelRecord> r = straightRun(3, 100, 2, true);
  for (SkelRecord& x : r) x.located = false;
  const std::string s = report({}, r, 0);
  EXPECT_EQ(
      s.rfind("Movements compressed from 0 elements to 0 elements (reduction of n/a%)\n\n", 0), 0u);
  EXPECT_EQ(s.find("inf"), std::string::npos);
  EXPECT_EQ(s.find("nan"), std::string::npos);
  EXPECT_NE(s.find("pause rate: n/a per minute (0 total)\n% time in pause:  n/a% (0 frames)\n"),
            std::string::npos);
  EXPECT_NE(s.find("% time moving forward:  n/a%\n"), std::string::npos);
  EXPECT_NE(s.find("distance from start point to end point: n/a\n"), std::string::npos);
  EXPECT_NE(s.find("roam ratio (0-1): n/a\n"), std::string::npos);
  // A reduction that is not a whole percentage, at the report's precision.
  const Path two = buildPath({kFwd, kStill}, {}, testMovement());
  EXPECT_EQ(
      report(two.movements, two.records, 3)
          .rfind("Movements compressed from 3 elements to 2 elements (reduction of 33.3%)\n\n", 0),
      0u);
}

}  // namespace
}  // namespace dukon
