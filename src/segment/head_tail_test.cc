#include "segment/head_tail.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

// A 100 x 60 frame with a 20-pixel-thick horizontal worm (rows 20..39,
// columns 10..89) on a white background and its chain along row 30 from
// x = 12 to 87. With mmpix 100 the samples are 10 x 10 squares at columns
// 13..22 (start) and 77..86 (end), rows 25..34.
class DecideHeadTailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bw_ = cv::Mat(60, 100, CV_8UC1, cv::Scalar(255));
    bin_ = cv::Mat::zeros(60, 100, CV_8UC1);
    bin_(cv::Rect(10, 20, 80, 20)).setTo(1);
    bw_(cv::Rect(10, 20, 80, 20)).setTo(100);
    for (int x = 12; x <= 87; ++x) rec_.addPoint(x, 30);
  }
  void paintStart(int grey) { bw_(cv::Rect(13, 25, 10, 10)).setTo(grey); }
  void paintEnd(int grey) { bw_(cv::Rect(77, 25, 10, 10)).setTo(grey); }
  void decide(int mmpix = 100) { decideHeadTail(bw_, bin_, rec_, mmpix); }
  void expectUndecided() {
    EXPECT_FALSE(rec_.headKnown);
    EXPECT_EQ(rec_.head, rec_.points.front());
    EXPECT_EQ(rec_.tail, rec_.points.back());
  }

  cv::Mat bw_, bin_;
  SkelRecord rec_;
};

TEST_F(DecideHeadTailTest, BrighterEndByMoreThanTwoIsTheHead) {
  paintStart(100);
  paintEnd(103);
  decide();
  EXPECT_TRUE(rec_.headKnown);
  EXPECT_EQ(rec_.head, cv::Point(87, 30));
  EXPECT_EQ(rec_.tail, cv::Point(12, 30));

  paintStart(106);
  decide();
  EXPECT_TRUE(rec_.headKnown);
  EXPECT_EQ(rec_.head, cv::Point(12, 30));
  EXPECT_EQ(rec_.tail, cv::Point(87, 30));

  paintStart(105);  // within 2 grey levels either way
  decide();
  expectUndecided();
  paintStart(101);
  decide();
  expectUndecided();
}

TEST_F(DecideHeadTailTest, OnlyTheBrightestFifthOfTheStartSampleCounts) {
  // 100 body pixels at the start: its 20 brightest (grey 200) against an
  // end of 198 are a tie; the dark rest of the start does not pull it down.
  paintStart(50);
  bw_(cv::Rect(13, 25, 10, 2)).setTo(200);
  paintEnd(198);
  decide();
  expectUndecided();
  paintEnd(197);
  decide();
  EXPECT_TRUE(rec_.headKnown);
  EXPECT_EQ(rec_.head, cv::Point(12, 30));
}

TEST_F(DecideHeadTailTest, GreyLevel255IsOutsideTheHistogram) {
  paintStart(100);
  bw_(cv::Rect(13, 25, 10, 2)).setTo(255);
  paintEnd(103);
  decide();
  EXPECT_TRUE(rec_.headKnown);
  EXPECT_EQ(rec_.head, cv::Point(87, 30));
}

TEST_F(DecideHeadTailTest, OutlinePixelsAreErodedAway) {
  // A 4-pixel-thick worm loses every pixel to two erosions: no mean.
  bin_.setTo(0);
  bin_(cv::Rect(10, 28, 80, 4)).setTo(1);
  paintStart(200);
  paintEnd(100);
  decide();
  expectUndecided();

  // Only pixels at least 2 inside the outline count. The worm's upper edge
  // at row 27 crosses the sample (rows 25..34); the square's own sides do
  // not erode.
  bin_.setTo(0);
  bin_(cv::Rect(10, 27, 80, 14)).setTo(1);
  paintStart(100);
  paintEnd(100);
  bw_(cv::Rect(13, 27, 10, 2)).setTo(200);  // rows 27..28: eroded away
  decide();
  expectUndecided();
  bw_(cv::Rect(13, 29, 10, 1)).setTo(200);  // row 29 survives
  decide();
  EXPECT_TRUE(rec_.headKnown);
  EXPECT_EQ(rec_.head, cv::Point(12, 30));
}

TEST_F(DecideHeadTailTest, ChainOfExactlySPlusThreePointsIsSampled) {
  // s = 9 needs 12 points; grey rises by 5 per column, so the start square
  // (columns 13..21) is brighter than the end square (columns 12..20).
  for (int x = 10; x < 90; ++x) bw_.col(x).rowRange(20, 40).setTo(100 + 5 * (x - 12));
  SkelRecord chain;
  for (int x = 12; x < 24; ++x) chain.addPoint(x, 30);
  decideHeadTail(bw_, bin_, chain, 90);
  EXPECT_TRUE(chain.headKnown);
  EXPECT_EQ(chain.head, cv::Point(12, 30));
  // The same chain with s = 10 is too short: undecided.
  decideHeadTail(bw_, bin_, chain, 100);
  EXPECT_FALSE(chain.headKnown);
  EXPECT_EQ(chain.head, cv::Point(12, 30));
  EXPECT_EQ(chain.tail, cv::Point(23, 30));
}

TEST_F(DecideHeadTailTest, UnusableSamplesLeaveTheFrameUndecided) {
  paintStart(200);
  paintEnd(100);
  decide(9);  // s = 0: no sample at all
  expectUndecided();
  decide(-50);
  expectUndecided();

  // A worm along the top edge: the squares would start at row -3.
  bin_.setTo(0);
  bin_(cv::Rect(10, 0, 80, 10)).setTo(1);
  bw_.setTo(100);
  bw_(cv::Rect(10, 0, 20, 10)).setTo(200);
  SkelRecord edge;
  for (int x = 12; x <= 87; ++x) edge.addPoint(x, 2);
  decideHeadTail(bw_, bin_, edge, 100);
  EXPECT_FALSE(edge.headKnown);
  EXPECT_EQ(edge.head, cv::Point(12, 2));

  // A chain lying wholly outside the frame.
  SkelRecord outside;
  for (int x = 0; x < 40; ++x) outside.addPoint(-200 + x, 500);
  decideHeadTail(bw_, bin_, outside, 100);
  EXPECT_FALSE(outside.headKnown);

  // Mismatched images.
  decideHeadTail(bw_, cv::Mat::zeros(30, 30, CV_8UC1), rec_, 100);
  expectUndecided();

  SkelRecord empty;
  empty.headKnown = true;
  decideHeadTail(bw_, bin_, empty, 100);
  EXPECT_FALSE(empty.headKnown);
}

// Records of a worm lying still between A and B; each record's chain runs
// from its `head` to its `tail` as decided per frame.
const cv::Point kA(0, 0), kB(20, 0);

SkelRecord still(cv::Point head, bool consistent = true, bool headKnown = true) {
  SkelRecord rec;
  const cv::Point tail = head == kA ? kB : kA;
  const int step = tail.x > head.x ? 1 : -1;
  for (int x = head.x; x != tail.x + step; x += step) rec.addPoint(x, 0);
  rec.head = head;
  rec.tail = tail;
  rec.consistent = consistent;
  rec.headKnown = headKnown;
  return rec;
}

void expectHeadAt(const std::vector<SkelRecord>& records, int from, int to, cv::Point head) {
  for (int i = from; i < to; ++i) {
    EXPECT_EQ(records[i].head, head) << "record " << i;
    ASSERT_GT(records[i].numsklpts, 0);
    EXPECT_EQ(records[i].points.front(), head) << "record " << i;
    EXPECT_EQ(records[i].points.back(), records[i].tail) << "record " << i;
  }
}

TEST(OrientHeadTailTest, MajorityCountsTheStartFrame) {
  // Start frame and 3 more say A, 3 say B: 4 against 3. A record that is not
  // consistent is turned with the run but does not vote.
  std::vector<SkelRecord> r = {still(kA), still(kA),        still(kB), still(kA),
                               still(kB), still(kB, false), still(kA), still(kB)};
  orientHeadTail(r);
  expectHeadAt(r, 0, 8, kA);
}

TEST(OrientHeadTailTest, TieOverrulesTheStartFrame) {
  std::vector<SkelRecord> r = {
      still(kA), still(kA), still(kB), still(kB), still(kA), still(kB), still(kA, true, false)};
  orientHeadTail(r);
  expectHeadAt(r, 0, 7, kB);
}

TEST(OrientHeadTailTest, LoopOrIgnoredRecordEndsTheRun) {
  std::vector<SkelRecord> r = {still(kA), still(kA), still(kB),    SkelRecord(),     still(kB),
                               still(kB), still(kA), SkelRecord(), still(kA, false), still(kB)};
  r[3].loop = true;
  r[7].ignored = true;
  orientHeadTail(r);
  expectHeadAt(r, 0, 3, kA);
  expectHeadAt(r, 4, 7, kB);
  // The last run's search starts at the ignored record and finds record 9; the
  // record before it has sign 0 and keeps its own decision.
  expectHeadAt(r, 8, 9, kA);
  expectHeadAt(r, 9, 10, kB);
}

TEST(OrientHeadTailTest, EqualDistancesCountAsSwapped) {
  SkelRecord across;
  for (int y = -10; y <= 10; ++y) across.addPoint(10, y);
  across.head = {10, -10};
  across.tail = {10, 10};
  across.consistent = true;
  std::vector<SkelRecord> r = {still(kA), across};
  orientHeadTail(r);
  EXPECT_EQ(r[1].head, cv::Point(10, 10));
  EXPECT_EQ(r[1].points.front(), cv::Point(10, 10));
}

TEST(OrientHeadTailTest, UndecidedRecordsBeforeTheRunAndWithoutOneKeepTheirEnds) {
  std::vector<SkelRecord> r = {still(kB, false), SkelRecord(), still(kA), still(kA)};
  r[0].head = kA;  // chain starts at B, which is now its tail: it is reversed
  r[0].tail = kB;
  orientHeadTail(r);
  EXPECT_EQ(r[0].head, kA);
  EXPECT_EQ(r[0].points.front(), kA);
  EXPECT_EQ(r[1].numsklpts, 0);
  expectHeadAt(r, 2, 4, kA);

  // Nothing decided from the start on: no record is touched.
  std::vector<SkelRecord> none = {still(kB, true, false), still(kA, false)};
  none[0].head = kA;
  none[0].tail = kB;
  orientHeadTail(none);
  EXPECT_EQ(none[0].points.front(), kB);
}

TEST(OrientHeadTailTest, ManyRunsNeedNoDeepStack) {
  // 100000 runs of one record each, separated by loop records; each run keeps
  // its own decision.
  const int runs = 100000;
  std::vector<SkelRecord> r;
  r.reserve(2 * runs);
  for (int i = 0; i < runs; ++i) {
    r.push_back(still(i % 2 ? kB : kA));
    r.emplace_back();
    r.back().loop = true;
  }
  orientHeadTail(r);
  EXPECT_EQ(r[0].head, kA);
  EXPECT_EQ(r[2].head, kB);
  EXPECT_EQ(r[2 * runs - 2].head, kB);
  EXPECT_EQ(r[2 * runs - 2].points.front(), kB);
}

}  // namespace
}  // namespace dukon
