#include "skeleton/skeleton.h"

#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "base/fatal_error.h"

namespace dukon {
namespace {

// Every step of the chain moves to one of the 8 neighbours and no point
// comes twice.
::testing::AssertionResult isSimpleChain(const SkelRecord& rec) {
  for (int i = 1; i < rec.chainSize(); ++i) {
    const cv::Point d = rec.points[i] - rec.points[i - 1];
    if (std::abs(d.x) > 1 || std::abs(d.y) > 1 || d == cv::Point(0, 0)) {
      return ::testing::AssertionFailure() << "step at " << i;
    }
    for (int j = 0; j < i; ++j) {
      if (rec.points[j] == rec.points[i]) return ::testing::AssertionFailure() << "repeat " << i;
    }
  }
  return ::testing::AssertionSuccess();
}

// The skeleton image holds exactly the chain's pixels.
void expectDrawn(const cv::Mat& skel, const SkelRecord& rec) {
  cv::Mat drawn = cv::Mat::zeros(skel.size(), CV_8UC1);
  for (const cv::Point& p : rec.points) drawn.at<uchar>(p) = 1;
  EXPECT_EQ(cv::countNonZero(drawn != skel), 0);
}

struct Result {
  SkelRecord rec;
  cv::Mat skel;
};

Result run(cv::Mat& mask) {
  Result r;
  Skeleton sk(mask.cols, mask.rows);
  std::ostringstream err;
  sk.skeletonize(mask, r.skel, r.rec, err);
  return r;
}

TEST(SkeletonCircleTest, PicksLargestInForwardConeWithTurn) {
  cv::Mat dist = cv::Mat::zeros(30, 30, CV_32FC1);
  const cv::Point c(15, 15), prev(11, 15);  // previous point on the left
  Skeleton::Step none = Skeleton::circleSearch(dist, prev, c);
  EXPECT_FALSE(none.found);

  dist.at<float>(c + cv::Point(-4, 1)) = 9;  // behind: outside the cone
  dist.at<float>(c + cv::Point(1, 4)) = 2;   // first cone entry: turn +1
  Skeleton::Step s = Skeleton::circleSearch(dist, prev, c);
  ASSERT_TRUE(s.found);
  EXPECT_EQ(s.next, c + cv::Point(1, 4));
  EXPECT_EQ(s.turn, 1);

  dist.at<float>(c + cv::Point(3, 2)) = 3;   // third entry: straight on
  dist.at<float>(c + cv::Point(4, -1)) = 3;  // a tie later in the scan
  s = Skeleton::circleSearch(dist, prev, c);
  EXPECT_EQ(s.next, c + cv::Point(3, 2));
  EXPECT_EQ(s.turn, 0);

  dist.at<float>(c + cv::Point(2, -3)) = 4;  // eighth entry: turn -1
  s = Skeleton::circleSearch(dist, prev, c);
  EXPECT_EQ(s.next, c + cv::Point(2, -3));
  EXPECT_EQ(s.turn, -1);
}

TEST(SkeletonCircleTest, OutsideTheImageIsBackgroundAndBadPreviousIsFatal) {
  cv::Mat dist(10, 10, CV_32FC1, cv::Scalar(5));
  const Skeleton::Step s = Skeleton::circleSearch(dist, cv::Point(5, 1), cv::Point(1, 1));
  ASSERT_TRUE(s.found);
  EXPECT_GE(s.next.x, 0);
  EXPECT_GE(s.next.y, 0);
  try {
    Skeleton::circleSearch(dist, cv::Point(2, 2), cv::Point(1, 1));
    FAIL() << "no error";
  } catch (const FatalError& e) {
    EXPECT_STREQ(e.what(), "BUG in skel: couldn't find prev point on circle!\n");
  }
}

TEST(SkeletonShapeTest, StraightWormRunsOutlineToOutline) {
  cv::Mat mask = cv::Mat::zeros(80, 140, CV_8UC1);
  cv::line(mask, {20, 37}, {110, 37}, 1, 15);  // round caps: x 13 .. 117
  const cv::Mat before = mask.clone();
  int firstOut = 60, lastOut = 60;  // the first background pixel at each end
  while (mask.at<uchar>(37, firstOut) != 0) --firstOut;
  while (mask.at<uchar>(37, lastOut) != 0) ++lastOut;
  Result r = run(mask);
  EXPECT_FALSE(r.rec.loop);
  EXPECT_TRUE(isSimpleChain(r.rec));
  expectDrawn(r.skel, r.rec);
  for (const cv::Point& p : r.rec.points) EXPECT_EQ(p.y, 37);
  const int lo = std::min(r.rec.points.front().x, r.rec.points.back().x);
  const int hi = std::max(r.rec.points.front().x, r.rec.points.back().x);
  EXPECT_EQ(lo, firstOut);
  EXPECT_EQ(hi, lastOut);
  EXPECT_EQ(cv::countNonZero(mask != before), 0);
}

TEST(SkeletonShapeTest, SineWormGivesOneSimpleChainAlongTheBody) {
  cv::Mat mask = cv::Mat::zeros(200, 300, CV_8UC1);
  std::vector<cv::Point> body;
  for (int i = 0; i <= 200; ++i) body.emplace_back(50 + i, 100 + 25 * std::sin(i / 32.0));
  cv::polylines(mask, body, false, 1, 13);
  double arc = 0;
  for (size_t i = 1; i < body.size(); ++i) arc += cv::norm(body[i] - body[i - 1]);
  Result r = run(mask);
  EXPECT_FALSE(r.rec.loop);
  EXPECT_TRUE(isSimpleChain(r.rec));
  r.rec.computeLength();
  EXPECT_NEAR(r.rec.len, arc + 13, 0.06 * arc);  // plus a half width at each end
  for (const cv::Point& p : r.rec.points) {
    double best = 1e9;
    for (const cv::Point& q : body) best = std::min(best, cv::norm(p - q));
    EXPECT_LE(best, 7.5) << p;  // never off the body's outline
  }
}

// A worm whose end carries a blob, thinner than the body, on a 1-pixel
// neck: a disc, or a long ellipse of about a third of the mask's pixels.
cv::Mat neckShape(bool large) {
  cv::Mat mask = cv::Mat::zeros(80, 200, CV_8UC1);
  cv::line(mask, {17, 37}, {83, 37}, 1, 15);
  cv::line(mask, {90, 37}, {100, 37}, 1, 1);
  if (large) {
    cv::ellipse(mask, {140, 37}, {40, 6}, 0, 0, 360, 1, -1);
  } else {
    cv::circle(mask, {105, 37}, 5, 1, -1);
  }
  return mask;
}

TEST(SkeletonShapeTest, SmallBlobBeyondNeckIsErasedAndCut) {
  cv::Mat mask = neckShape(false);
  cv::Mat body = mask.clone();
  body.colRange(91, 200).setTo(0);
  Result r = run(mask);
  EXPECT_FALSE(r.rec.loop);
  EXPECT_TRUE(isSimpleChain(r.rec));
  expectDrawn(r.skel, r.rec);
  for (const cv::Point& p : r.rec.points) EXPECT_LE(p.x, 91);
  // Only the blob and the neck beyond the cut line are gone.
  EXPECT_EQ(cv::countNonZero(mask.colRange(95, 200)), 0);
  EXPECT_EQ(cv::countNonZero(mask.colRange(0, 88) != body.colRange(0, 88)), 0);
}

TEST(SkeletonShapeTest, LargeBlobBeyondNeckIsKeptButChainIsCut) {
  cv::Mat mask = neckShape(true);
  const cv::Mat before = mask.clone();
  ASSERT_GT(cv::countNonZero(mask.colRange(95, 200)), 0.2 * cv::countNonZero(mask));
  Result r = run(mask);
  EXPECT_TRUE(isSimpleChain(r.rec));
  for (const cv::Point& p : r.rec.points) EXPECT_LE(p.x, 91);
  EXPECT_EQ(cv::countNonZero(mask != before), 0);
}

TEST(SkeletonShapeTest, ChainIsCutWhereTheWidthRisesAgain) {
  // Thick body (radius 8), a waist of radius 2, then a club of radius 5.
  cv::Mat mask = cv::Mat::zeros(80, 200, CV_8UC1);
  cv::line(mask, {20, 40}, {90, 40}, 1, 17);
  cv::line(mask, {90, 40}, {110, 40}, 1, 5);
  cv::line(mask, {115, 40}, {130, 40}, 1, 11);
  const int area = cv::countNonZero(mask);
  Result r = run(mask);
  EXPECT_TRUE(isSimpleChain(r.rec));
  int maxX = 0;
  for (const cv::Point& p : r.rec.points) maxX = std::max(maxX, p.x);
  EXPECT_GE(maxX, 97);                      // into the waist,
  EXPECT_LE(maxX, 112);                     // but not into the club
  EXPECT_LT(cv::countNonZero(mask), area);  // the club is erased
  EXPECT_EQ(cv::countNonZero(mask.colRange(120, 200)), 0);
}

TEST(SkeletonShapeTest, ClosedRingIsALoop) {
  cv::Mat mask = cv::Mat::zeros(160, 200, CV_8UC1);
  cv::circle(mask, {100, 80}, 45, 1, 10);
  Result r = run(mask);
  EXPECT_TRUE(r.rec.loop);
  EXPECT_GT(r.rec.chainSize(), 200);  // it went round
}

TEST(SkeletonShapeTest, WormTouchingItselfIsALoop) {
  cv::Mat mask = cv::Mat::zeros(160, 220, CV_8UC1);
  std::vector<cv::Point> body;
  for (int i = 0; i <= 360; i += 5) {
    const double a = i * CV_PI / 180;
    body.emplace_back(80 + 40 * std::cos(a), 80 + 40 * std::sin(a));
  }
  body.emplace_back(190, 80);
  cv::polylines(mask, body, false, 1, 10);
  Result r = run(mask);
  EXPECT_TRUE(r.rec.loop);
  // Both the ring and the tail are covered.
  int onTail = 0;
  for (const cv::Point& p : r.rec.points) onTail += p.x > 140;
  EXPECT_GT(onTail, 40);
}

// A loop frame's chain and the second branch found beside it.
struct Lists {
  std::vector<cv::Point> chain, branch;
  bool loop = true;
  bool merge(std::ostream& err) { return Skeleton::mergeBranch(chain, branch, loop, err); }
};

TEST(SkeletonMergeTest, BranchWithoutTouchIsDropped) {
  Lists rec{{{0, 0}, {1, 0}, {2, 0}}, {{5, 5}, {6, 5}}};
  std::ostringstream err;
  EXPECT_FALSE(rec.merge(err));
  EXPECT_TRUE(rec.loop);
  EXPECT_EQ(rec.branch.size(), 2u);
  EXPECT_EQ(rec.chain.size(), 3u);
}

TEST(SkeletonMergeTest, SingleTouchWithoutRepeatsIsASpur) {
  Lists rec{{{0, 0}, {1, 0}, {2, 0}}, {{1, 3}, {1, 2}, {1, 1}, {1, 0}}};
  std::ostringstream err;
  EXPECT_FALSE(rec.merge(err));
  EXPECT_FALSE(rec.loop);
  ASSERT_EQ(rec.branch.size(), 3u);
  EXPECT_EQ(rec.branch.back(), cv::Point(1, 1));  // the shared point left the branch
  EXPECT_EQ(rec.chain.size(), 3u);
}

TEST(SkeletonMergeTest, SingleTouchWithRepeatedChainPointIsMerged) {
  Lists rec{{{0, 0}, {1, 0}, {2, 0}, {1, 0}}, {{5, 0}, {4, 0}, {3, 0}, {2, 0}}};
  std::ostringstream err;
  EXPECT_TRUE(rec.merge(err));
  EXPECT_TRUE(rec.loop);
  EXPECT_EQ(rec.branch.size(), 0u);
  ASSERT_EQ(rec.chain.size(), 8u);
  EXPECT_EQ(rec.chain[4], cv::Point(2, 0));  // the branch's last point first
  EXPECT_EQ(rec.chain[7], cv::Point(5, 0));
  EXPECT_EQ(err.str(), "");
}

TEST(SkeletonMergeTest, TwoTouchesAppendReversedAndThirdIsReported) {
  Lists two{{{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, 0}, {1, 1}, {2, 1}, {3, 0}}};
  std::ostringstream err;
  EXPECT_TRUE(two.merge(err));
  EXPECT_TRUE(two.loop);
  ASSERT_EQ(two.chain.size(), 8u);
  EXPECT_EQ(two.chain[4], cv::Point(3, 0));
  EXPECT_EQ(two.chain[7], cv::Point(0, 0));
  EXPECT_EQ(err.str(), "");

  Lists three{{{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {3, 0}}};
  EXPECT_TRUE(three.merge(err));
  EXPECT_EQ(err.str(), "multi touch\n");
  EXPECT_EQ(three.chain.size(), 9u);
}

// Masks that stress the image border and degenerate widths. Nothing may be
// read or written outside the images (checked under AddressSanitizer), and
// whatever comes out must be a chain inside the image.
TEST(SkeletonSafetyTest, DegenerateMasksGiveChainsInsideTheImage) {
  std::vector<std::pair<const char*, cv::Mat>> masks;
  masks.emplace_back("empty", cv::Mat::zeros(20, 20, CV_8UC1));
  masks.emplace_back("full", cv::Mat::ones(20, 20, CV_8UC1));
  cv::Mat pixel = cv::Mat::zeros(20, 20, CV_8UC1);
  pixel.at<uchar>(0, 0) = 1;
  masks.emplace_back("pixel", pixel);
  cv::Mat hline = cv::Mat::zeros(20, 20, CV_8UC1);
  hline.row(7).setTo(1);
  masks.emplace_back("border-to-border line", hline);
  cv::Mat diag = cv::Mat::zeros(60, 60, CV_8UC1);
  cv::line(diag, {5, 5}, {50, 50}, 1, 1);
  masks.emplace_back("diagonal line", diag);
  cv::Mat thin = cv::Mat::zeros(60, 80, CV_8UC1);
  cv::line(thin, {5, 30}, {70, 20}, 1, 3);
  masks.emplace_back("thin worm", thin);
  cv::Mat edge = cv::Mat::zeros(60, 80, CV_8UC1);
  cv::line(edge, {-20, 2}, {100, 40}, 1, 13);
  masks.emplace_back("crossing the frame", edge);
  cv::Mat corner = cv::Mat::zeros(40, 40, CV_8UC1);
  cv::circle(corner, {39, 39}, 15, 1, -1);
  masks.emplace_back("corner blob", corner);

  for (auto& [name, mask] : masks) {
    SCOPED_TRACE(name);
    Result r = run(mask);
    for (const cv::Point& p : r.rec.points) {
      EXPECT_TRUE(p.inside(cv::Rect(0, 0, mask.cols, mask.rows))) << p;
    }
    if (!r.rec.loop) {
      for (int i = 1; i < r.rec.chainSize(); ++i) {
        const cv::Point d = r.rec.points[i] - r.rec.points[i - 1];
        EXPECT_TRUE(std::abs(d.x) <= 1 && std::abs(d.y) <= 1);
      }
    }
  }
}

// A one-pixel-wide worm has distance 1 everywhere, so it is all neck: the
// chain is cut right after its start and the second half runs into what is
// left, which makes the frame a loop frame. A worm thinner than the circle's
// radius is still followed from end to end.
TEST(SkeletonSafetyTest, OnePixelWormIsCutAndThinWormIsFollowed) {
  cv::Mat line = cv::Mat::zeros(30, 60, CV_8UC1);
  line.row(15).colRange(5, 55).setTo(1);
  Result r = run(line);
  EXPECT_TRUE(r.rec.loop);
  EXPECT_LE(r.rec.chainSize(), 3);

  cv::Mat thin = cv::Mat::zeros(40, 120, CV_8UC1);
  cv::line(thin, {10, 20}, {110, 20}, 1, 5);
  Result t = run(thin);
  EXPECT_FALSE(t.rec.loop);
  EXPECT_TRUE(isSimpleChain(t.rec));
  EXPECT_GE(t.rec.chainSize(), 100);
}

// The region-of-interest transforms must reproduce the whole-frame ones.
TEST(SkeletonRoiTest, SameChainsWithAndWithoutRegionOfInterest) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-10, 170), thick(1, 16), count(1, 5);
  for (int trial = 0; trial < 60; ++trial) {
    cv::Mat mask = cv::Mat::zeros(120, 160, CV_8UC1);
    std::vector<cv::Point> pts;
    const int n = count(rng) + 1;
    for (int i = 0; i < n; ++i) pts.emplace_back(coord(rng), coord(rng) * 120 / 160);
    cv::polylines(mask, pts, trial % 3 == 0, 1, thick(rng));
    cv::Mat a = mask.clone(), b = mask.clone(), skelA, skelB;
    SkelRecord ra, rb;
    Skeleton fast(160, 120), plain(160, 120);
    plain.setUseRoi(false);
    std::ostringstream err;
    fast.skeletonize(a, skelA, ra, err);
    plain.skeletonize(b, skelB, rb, err);
    ASSERT_EQ(ra.points, rb.points) << trial;
    ASSERT_EQ(ra.loop, rb.loop) << trial;
    ASSERT_EQ(cv::countNonZero(a != b), 0) << trial;
  }
}

// A map handed over is used in place of a transform, frame after frame: the
// buffers then change hands each time, and a region left non-zero by one
// owner must be cleared by the other. A map marked not current (here: of
// the previous mask) is ignored.
TEST(SkeletonRoiTest, HandedOverMapGivesTheSameChainsAsTransforming) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> coord(-10, 170), thick(1, 16), count(1, 5);
  Skeleton taking(160, 120);
  DistanceMap given;
  given.reset(cv::Size(160, 120));
  for (int trial = 0; trial < 60; ++trial) {
    cv::Mat mask = cv::Mat::zeros(120, 160, CV_8UC1);
    std::vector<cv::Point> pts;
    const int n = count(rng) + 1;
    for (int i = 0; i < n; ++i) pts.emplace_back(coord(rng), coord(rng) * 120 / 160);
    cv::polylines(mask, pts, trial % 3 == 0, 1, thick(rng));
    const bool stale = trial % 5 == 4;
    if (!stale) given.make(mask, true);
    cv::Mat a = mask.clone(), b = mask.clone(), skelA, skelB;
    SkelRecord ra, rb;
    Skeleton plain(160, 120);
    std::ostringstream err;
    taking.skeletonize(a, skelA, ra, given, err);
    plain.skeletonize(b, skelB, rb, err);
    ASSERT_EQ(ra.points, rb.points) << trial;
    ASSERT_EQ(ra.loop, rb.loop) << trial;
    ASSERT_EQ(cv::countNonZero(a != b), 0) << trial;
    ASSERT_EQ(cv::countNonZero(skelA != skelB), 0) << trial;
    ASSERT_FALSE(given.current) << trial;
  }
}

}  // namespace
}  // namespace dukon
