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
    for (int x = 12; x <= 87; ++x) rec_.points.emplace_back(x, 30);
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
  for (int x = 12; x < 24; ++x) chain.points.emplace_back(x, 30);
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
  for (int x = 12; x <= 87; ++x) edge.points.emplace_back(x, 2);
  decideHeadTail(bw_, bin_, edge, 100);
  EXPECT_FALSE(edge.headKnown);
  EXPECT_EQ(edge.head, cv::Point(12, 2));

  // A chain lying wholly outside the frame.
  SkelRecord outside;
  for (int x = 0; x < 40; ++x) outside.points.emplace_back(-200 + x, 500);
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

}  // namespace
}  // namespace dukon
