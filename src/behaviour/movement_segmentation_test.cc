#include "behaviour/movement_segmentation.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/records.h"

namespace dukon {
namespace {

using testing_support::makeTurn;
using testing_support::straightRun;
using testing_support::testMovement;

std::vector<std::pair<int, int>> spans(const std::vector<MvVec>& v) {
  std::vector<std::pair<int, int>> s;
  for (const MvVec& m : v) s.emplace_back(m.start(), m.end());
  return s;
}
using Spans = std::vector<std::pair<int, int>>;

// Settings of `rate` frames per second, `seglen`-second segments and a run
// of `span` frames.
MovementSettings segments(double rate, double seglen, int span = 1000) {
  MovementSettings s = testMovement();
  s.rate = rate;
  s.seglen = seglen;
  s.span = span;
  return s;
}

TEST(MovementSegmentationTest, SegmentLength) {
  std::ostringstream err;
  EXPECT_EQ(movementSegmentFrames(segments(10, 1.5), err), 15);
  EXPECT_EQ(err.str(), "");
  // 0.5 s at 3 frames per second is 1 frame: raised to 2.
  EXPECT_EQ(movementSegmentFrames(segments(3, 0.5), err), 2);
  EXPECT_EQ(err.str(), "movement segment size set to 2\n(frmps=3 and seglen=0.5 imply 1)\n");
  // A movie not longer than one segment is one segment.
  err.str("");
  EXPECT_EQ(movementSegmentFrames(segments(10, 2, 15), err), 15);
  EXPECT_EQ(err.str(), "analyzing whole movie as one movement segment\n");
}

TEST(MovementSegmentationTest, CutSegmentsShareTheirBoundaryRecord) {
  const MovementSettings p = testMovement();
  const std::vector<SkelRecord> r = straightRun(21, 100, 2, true);
  std::ostringstream err;
  const std::vector<MvVec> v = cutMovements(r, 5, p, err);
  EXPECT_EQ(spans(v), (Spans{{0, 5}, {5, 10}, {10, 15}, {15, 20}}));
  for (const MvVec& m : v) {
    EXPECT_EQ(m.direction(), 1);
    EXPECT_DOUBLE_EQ(m.distance(), 10);
  }
  EXPECT_EQ(err.str(), "");
}

TEST(MovementSegmentationTest, ShortMovieIsOneSegmentOverItsUsableFrames) {
  const MovementSettings p = segments(10, 2, 9);
  std::vector<SkelRecord> r = straightRun(10, 100, 2, true);
  r[0].consistent = false;  // not usable: the segment starts at record 1
  r[9].located = false;     // nor the last one
  std::ostringstream wxs, err;
  const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
  EXPECT_EQ(spans(v), (Spans{{1, 8}}));
  EXPECT_EQ(wxs.str(), "Movements compressed from 1 elements to 1 elements (reduction of 0%)\n\n");
}

TEST(MovementSegmentationTest, LoopAndIgnoredRecordsCloseSegments) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(20, 100, 2, true);
  for (int i : {4, 5, 6}) {
    r[i].loop = true;
    r[i].consistent = false;
  }
  r[10].ignored = true;
  r[10].consistent = r[10].located = false;
  r[11].ignored = true;
  r[11].consistent = r[11].located = false;
  std::ostringstream err;
  const std::vector<MvVec> v = cutMovements(r, 100, p, err);
  EXPECT_EQ(spans(v), (Spans{{0, 3}, {4, 6}, {7, 9}, {12, 19}}));
  EXPECT_TRUE(v[1].loop());
  EXPECT_FALSE(v[0].loop());
}

TEST(MovementSegmentationTest, IgnoredOutranksLoopOnlyWhereARunStarts) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(10, 100, 2, true);
  for (int i : {2, 3, 4, 5}) {
    r[i].loop = true;
    r[i].consistent = false;
  }
  // An ignored loop record starts nothing, but one inside a loop run is
  // taken into it.
  r[2].ignored = true;
  r[5].ignored = true;
  std::ostringstream err;
  const std::vector<MvVec> v = cutMovements(r, 100, p, err);
  EXPECT_EQ(spans(v), (Spans{{0, 1}, {3, 5}, {6, 9}}));
  EXPECT_TRUE(v[1].loop());
}

TEST(MovementSegmentationTest, LoopWithoutUsableRecordBeforeDoesNotClose) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(12, 100, 2, true);
  r[1].consistent = false;  // start 0 has no later usable record yet
  r[2].ignored = true;
  r[2].consistent = r[2].located = false;
  std::ostringstream err;
  // The ignored record does not close the segment: it runs on to frame 5.
  EXPECT_EQ(spans(cutMovements(r, 5, p, err)), (Spans{{0, 5}, {5, 10}, {10, 11}}));
}

TEST(MovementSegmentationTest, TurnFlagFromAnyConsistentRecordOfTheScan) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(11, 100, 2, true);
  makeTurn(r[3]);
  r[3].located = false;  // consistent but not usable still counts
  std::ostringstream err;
  const std::vector<MvVec> v = cutMovements(r, 5, p, err);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_TRUE(v[0].turn());
  EXPECT_FALSE(v[1].turn());
  // The end record of a segment belongs to the next one's turn test.
  std::vector<SkelRecord> q = straightRun(11, 100, 2, true);
  makeTurn(q[5]);
  const std::vector<MvVec> w = cutMovements(q, 5, p, err);
  EXPECT_FALSE(w[0].turn());
  EXPECT_TRUE(w[1].turn());
}

TEST(MovementSegmentationTest, MergesSameKindAndReports) {
  const MovementSettings p = testMovement();
  const std::vector<SkelRecord> r = straightRun(21, 100, 2, true);
  std::ostringstream wxs, err;
  const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
  ASSERT_EQ(spans(v), (Spans{{0, 20}}));
  EXPECT_DOUBLE_EQ(v[0].distance(), 40);
  EXPECT_DOUBLE_EQ(v[0].speed(), 2);  // 4 mm in 2 s
  EXPECT_DOUBLE_EQ(v[0].angle(), 0);
  EXPECT_EQ(wxs.str(), "Movements compressed from 4 elements to 1 elements (reduction of 75%)\n\n");
}

TEST(MovementSegmentationTest, MergeKeepsKindsApart) {
  const MovementSettings p = testMovement();
  // Forward for 10 frames, still for 10 frames, then backward for 10 frames.
  std::vector<SkelRecord> r = straightRun(31, 100, 2, true);
  for (int i = 10; i <= 20; ++i) r[i].mid.x = r[10].mid.x;
  for (int i = 20; i <= 30; ++i) {
    r[i].mid.x = r[20].mid.x + 2 * (i - 20);
    r[i].head.x = r[i].mid.x - 20;
  }
  for (int i = 0; i <= 30; ++i) r[i].tail = r[i].mid;
  for (int i = 10; i < 20; ++i) r[i].head.x = r[i].mid.x + 20;
  makeTurn(r[27]);
  std::ostringstream wxs, err;
  wxs.precision(3);  // as wxs.txt is opened
  const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
  ASSERT_EQ(spans(v), (Spans{{0, 10}, {10, 20}, {20, 25}, {25, 30}}));
  EXPECT_EQ(v[0].direction(), 1);
  EXPECT_TRUE(v[1].pause());
  EXPECT_EQ(v[2].direction(), -1);
  EXPECT_FALSE(v[2].turn());
  EXPECT_TRUE(v[3].turn());  // same direction, but a turn never joins a non-turn
  EXPECT_EQ(wxs.str(),
            "Movements compressed from 6 elements to 4 elements (reduction of 33.3%)\n\n");
}

// Nor across a frame without a worm: no movement is reported from it.
TEST(MovementSegmentationTest, NoMergeAcrossAnIgnoredFrameOrOneWithoutWorm) {
  const MovementSettings p = testMovement();
  for (bool ignored : {true, false}) {
    std::vector<SkelRecord> r = straightRun(11, 100, 2, true);
    (ignored ? r[5].ignored : r[5].noWorm) = true;
    r[5].consistent = r[5].located = false;
    std::ostringstream wxs, err;
    const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
    EXPECT_EQ(spans(v), (Spans{{0, 4}, {6, 10}})) << ignored;
    EXPECT_EQ(v[0].direction(), v[1].direction());
  }
}

TEST(MovementSegmentationTest, AdjacentLoopSegmentsMerge) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(12, 100, 2, true);
  for (int i : {3, 4, 6, 7}) {
    r[i].loop = true;
    r[i].consistent = false;
  }
  r[5].consistent = false;  // a failed frame between two loop runs
  std::ostringstream wxs, err;
  const std::vector<MvVec> v = segmentMovements(r, wxs, p, err);
  EXPECT_EQ(spans(v), (Spans{{0, 2}, {3, 7}, {8, 11}}));
  EXPECT_TRUE(v[1].loop());
  EXPECT_EQ(wxs.str(), "Movements compressed from 4 elements to 3 elements (reduction of 25%)\n\n");
}

TEST(MovementSegmentationTest, NothingUsable) {
  const MovementSettings p = testMovement();
  std::vector<SkelRecord> r = straightRun(5, 100, 2, true);
  for (SkelRecord& x : r) x.consistent = false;
  std::ostringstream wxs, err;
  EXPECT_TRUE(segmentMovements(r, wxs, p, err).empty());
  EXPECT_EQ(wxs.str(),
            "Movements compressed from 0 elements to 0 elements (reduction of n/a%)\n\n");
  // A count beyond the array reads nothing past it.
  EXPECT_TRUE(segmentMovements(r, wxs, p, err).empty());
}

}  // namespace
}  // namespace dukon
