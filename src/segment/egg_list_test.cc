#include "segment/egg_list.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

constexpr int kW = 640, kH = 480;

SkelRecord located(int frame, cv::Point mid, double thickness, int xLoc = 0, int yLoc = 0) {
  SkelRecord r;
  r.frame = frame;
  r.mid = mid;
  r.thickness = thickness;
  r.located = true;
  r.xLoc = xLoc;
  r.yLoc = yLoc;
  return r;
}

cv::Mat worm() {
  cv::Mat bin = cv::Mat::zeros(kH, kW, CV_8UC1);
  cv::ellipse(bin, cv::Point(320, 240), cv::Size(80, 10), 0.0, 0.0, 360.0, cv::Scalar(1),
              cv::FILLED);
  return bin;
}

cv::Mat wormWithEgg(cv::Point egg, int radius = 4) {
  cv::Mat bin = worm();
  cv::circle(bin, egg, radius, cv::Scalar(1), cv::FILLED);
  return bin;
}

TEST(EggListTest, OverlapMergesOnlyCloserThanRadiiPlusTwo) {
  EggList eggs(kW, kH);
  EXPECT_TRUE(eggs.addEgg(Egg(0, 0, 1, 3.0, 100, 100, 0.0f)));
  // Exactly 3 + 3 + 2 apart in world pixels (Loc + Pos): a second egg.
  EXPECT_TRUE(eggs.addEgg(Egg(5, 0, 2, 3.0, 103, 100, 0.0f)));
  EXPECT_EQ(eggs.count(), 2);
  // A hair closer to the first: merged away, the list unchanged.
  EXPECT_FALSE(eggs.addEgg(Egg(0, 0, 3, 3.01, 92, 100, 0.0f)));
  EXPECT_EQ(eggs.count(), 2);
  EXPECT_EQ(eggs.egg(1).frame(), 2);
  EXPECT_EQ(eggs.xpos(1), 103);
  EXPECT_EQ(eggs.xLoc(1), 5);
  EXPECT_EQ(eggs.ypos(0), 100);
  EXPECT_EQ(eggs.yLoc(0), 0);
}

TEST(EggListTest, NewPixelsNearMidBecomeAnEggOnlyOnConsecutiveFrames) {
  EggList eggs(kW, kH);
  const cv::Point at(330, 254);
  // The first call only stores the mask, whatever it holds.
  eggs.findLaidEggs(0, wormWithEgg(at), located(10, {320, 240}, 20.0), 0.0f);
  EXPECT_EQ(eggs.count(), 0);
  EXPECT_EQ(eggs.lastIndex(), 0);
  // An unlocated frame changes nothing, not even the index.
  SkelRecord lost = located(11, {320, 240}, 20.0);
  lost.located = false;
  eggs.findLaidEggs(1, worm(), lost, 100.0f);
  EXPECT_EQ(eggs.lastIndex(), 0);
  // Index 1 follows 0: the mask is the worm alone, nothing new.
  eggs.findLaidEggs(1, worm(), located(11, {320, 240}, 20.0), 100.0f);
  EXPECT_EQ(eggs.count(), 0);
  // After a gap (index 3) only the mask is stored again.
  eggs.findLaidEggs(3, wormWithEgg(at), located(13, {320, 240}, 20.0), 300.0f);
  EXPECT_EQ(eggs.count(), 0);
  eggs.findLaidEggs(4, worm(), located(14, {320, 240}, 20.0), 400.0f);
  EXPECT_EQ(eggs.count(), 0);
  // Now the egg appears between two consecutive accepted frames.
  eggs.findLaidEggs(5, wormWithEgg(at), located(15, {320, 240}, 20.0, 70, -30), 500.0f);
  ASSERT_EQ(eggs.count(), 1);
  const Egg& e = eggs.egg(0);
  EXPECT_NEAR(e.xpos(), at.x, 1);
  EXPECT_NEAR(e.ypos(), at.y, 1);
  EXPECT_GT(e.size(), 3.0);
  EXPECT_LT(e.size(), 6.0);
  EXPECT_EQ(e.xLoc(), 70);
  EXPECT_EQ(e.yLoc(), -30);
  EXPECT_EQ(e.frame(), 15);
  EXPECT_EQ(e.ts(), 500.0f);
  EXPECT_FALSE(e.isVerified());
}

TEST(EggListTest, ThinNewPixelsAndFarPatchesAreNoEgg) {
  EggList eggs(kW, kH);
  eggs.findLaidEggs(0, worm(), located(1, {320, 240}, 20.0), 0.0f);
  // The worm grows by a one-pixel rim: distances stay at 1, no egg.
  cv::Mat fatter = worm();
  cv::ellipse(fatter, cv::Point(320, 240), cv::Size(81, 11), 0.0, 0.0, 360.0, cv::Scalar(1),
              cv::FILLED);
  eggs.findLaidEggs(1, fatter, located(2, {320, 240}, 20.0), 0.0f);
  EXPECT_EQ(eggs.count(), 0);
  // A thick patch outside the square around mid is not looked at.
  eggs.findLaidEggs(2, wormWithEgg({390, 270}, 6), located(3, {320, 240}, 20.0), 0.0f);
  EXPECT_EQ(eggs.count(), 0);
}

// Only the square around mid is measured: newly covered pixels beyond its
// edge are not background, so a patch cut by the edge keeps the thickness
// it shows inside the square.
TEST(EggListTest, PatchCutByTheSquareIsMeasuredInsideIt) {
  EggList eggs(kW, kH);
  const cv::Rect square(300, 220, 40, 40);  // mid (320, 240), thickness 20
  cv::Mat bar = cv::Mat::zeros(kH, kW, CV_8UC1);
  bar(cv::Rect(330, 252, 12, 8)).setTo(1);  // below the worm, over the right edge
  cv::Mat dist;
  double inSquare = 0.0, whole = 0.0;
  cv::Point at;
  cv::distanceTransform(bar(square).clone(), dist, cv::DIST_L2, 5);
  cv::minMaxLoc(dist, nullptr, &inSquare, nullptr, &at);
  cv::distanceTransform(bar, dist, cv::DIST_L2, 5);
  cv::minMaxLoc(dist, nullptr, &whole);
  ASSERT_GT(inSquare, whole + 2.0);  // the cut makes a real difference

  eggs.findLaidEggs(0, worm(), located(1, {320, 240}, 20.0), 0.0f);
  eggs.findLaidEggs(1, worm() | bar, located(2, {320, 240}, 20.0), 0.0f);
  ASSERT_EQ(eggs.count(), 1);
  EXPECT_EQ(eggs.egg(0).size(), inSquare);
  EXPECT_EQ(eggs.xpos(0), at.x + square.x);
  EXPECT_EQ(eggs.ypos(0), at.y + square.y);
}

TEST(EggListTest, SquareNearTheBorderIsClippedToTheFrame) {
  EggList eggs(kW, kH);
  cv::Mat empty = cv::Mat::zeros(kH, kW, CV_8UC1);
  cv::Mat blob = empty.clone();
  cv::circle(blob, cv::Point(4, 5), 3, cv::Scalar(1), cv::FILLED);
  // mid at the corner with a square of side 40 reaching 20 px outside.
  eggs.findLaidEggs(0, empty, located(1, {1, 1}, 20.0), 0.0f);
  eggs.findLaidEggs(1, blob, located(2, {1, 1}, 20.0), 0.0f);
  ASSERT_EQ(eggs.count(), 1);
  EXPECT_NEAR(eggs.xpos(0), 4, 2);
  EXPECT_NEAR(eggs.ypos(0), 5, 2);
  // The far corner, and a mid far outside the frame (no square left).
  cv::Mat blob2 = empty.clone();
  cv::circle(blob2, cv::Point(636, 476), 3, cv::Scalar(1), cv::FILLED);
  eggs.findLaidEggs(2, empty, located(3, {639, 479}, 20.0), 0.0f);
  eggs.findLaidEggs(3, blob2, located(4, {639, 479}, 20.0), 0.0f);
  ASSERT_EQ(eggs.count(), 2);
  EXPECT_NEAR(eggs.xpos(1), 636, 2);
  EXPECT_NEAR(eggs.ypos(1), 476, 2);
  eggs.findLaidEggs(4, blob, located(5, {5000, -5000}, 20.0), 0.0f);
  eggs.findLaidEggs(5, empty, located(6, {5, 5}, 1e300), 0.0f);
  eggs.findLaidEggs(6, blob, located(7, {5, 5}, std::nan("")), 0.0f);
  EXPECT_EQ(eggs.count(), 2);
}

TEST(EggListTest, CandidateVerifiesFirstOverlappedEggOnce) {
  EggList eggs(kW, kH);
  eggs.addEgg(Egg(0, 0, 1, 2.0, 100, 100, 0.0f));
  eggs.addEgg(Egg(0, 0, 2, 2.0, 107, 100, 0.0f));  // 7 apart: both listed
  ASSERT_EQ(eggs.count(), 2);
  // Seen at frame 0 at (103, 100) in a frame whose stage sits at (0, 0):
  // it overlaps both, and verifies the first only. Frame 0 is a valid frame.
  Egg cand(-1, -1, -1, 2.0, 103, 100, -1.0f);
  SkelRecord rec = located(0, {0, 0}, 10.0);
  eggs.verifyCandidate(cand, rec);
  EXPECT_EQ(cand.xLoc(), 0);
  EXPECT_TRUE(eggs.egg(0).isVerified());
  EXPECT_EQ(eggs.egg(0).verified(), 0u);
  EXPECT_FALSE(eggs.egg(1).isVerified());
  // Seen again later: the first verification frame stays.
  Egg again(-1, -1, -1, 2.0, 101, 100, -1.0f);
  eggs.verifyCandidate(again, located(9, {0, 0}, 10.0));
  EXPECT_EQ(eggs.egg(0).verified(), 0u);
  // A candidate whose location is already set keeps it: here it lies 50 px
  // off in the world and verifies nothing.
  Egg placed(50, 0, 4, 2.0, 107, 100, -1.0f);
  eggs.verifyCandidate(placed, located(12, {0, 0}, 10.0));
  EXPECT_EQ(placed.xLoc(), 50);
  EXPECT_FALSE(eggs.egg(1).isVerified());
  // The stage position counts: the same frame position 7 px further on.
  Egg moved(-1, -1, -1, 2.0, 100, 100, -1.0f);
  eggs.verifyCandidate(moved, located(15, {0, 0}, 10.0, 7, 0));
  EXPECT_EQ(eggs.egg(1).verified(), 15u);
}

}  // namespace
}  // namespace dukon
