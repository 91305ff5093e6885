#include "segment/mask_ops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "segment/frame_segmenter.h"

namespace dukon {
namespace {

// A random 0/1 mask: blobs, lines and salt on an empty ground, with objects
// touching the border now and then.
cv::Mat randomMask(cv::Size size, std::mt19937& rng, double salt = 0.002) {
  cv::Mat m = cv::Mat::zeros(size, CV_8UC1);
  std::uniform_int_distribution<int> x(-5, size.width + 5), y(-5, size.height + 5), r(1, 9),
      n(0, 6);
  for (int k = n(rng); k > 0; --k) cv::circle(m, {x(rng), y(rng)}, r(rng), 1, -1);
  for (int k = n(rng); k > 0; --k) cv::line(m, {x(rng), y(rng)}, {x(rng), y(rng)}, 1, 1 + k % 3);
  std::uniform_real_distribution<double> u(0, 1);
  for (int yy = 0; yy < size.height; ++yy)
    for (int xx = 0; xx < size.width; ++xx)
      if (u(rng) < salt) m.at<uchar>(yy, xx) = 1;
  return m;
}

// Sizes that put objects across word boundaries and at every border.
const std::vector<cv::Size>& awkwardSizes() {
  static const std::vector<cv::Size> kSizes = {{1, 1},   {2, 3},    {7, 1},    {1, 9},
                                               {13, 11}, {63, 20},  {64, 33},  {65, 17},
                                               {128, 9}, {130, 40}, {200, 90}, {640, 48}};
  return kSizes;
}

BitMask packed(const cv::Mat& m) {
  BitMask b;
  b.fromNonZero(m);
  return b;
}

cv::Mat unpacked(const BitMask& b) {
  cv::Mat m;
  b.toMat(m);
  return m;
}

TEST(BitMaskTest, PackingRoundTripsAndCounts) {
  std::mt19937 rng(1);
  for (cv::Size size : awkwardSizes()) {
    cv::Mat m = randomMask(size, rng, 0.2);
    m.setTo(37, m);  // any non-zero value is set
    const BitMask b = packed(m);
    ASSERT_EQ(b.size(), size);
    EXPECT_EQ(b.count(), cv::countNonZero(m)) << size;
    const cv::Mat back = unpacked(b);
    EXPECT_EQ(cv::countNonZero(back != (m != 0) / 255), 0) << size;
    // The packed box is the library's box of the unpacked mask.
    EXPECT_EQ(b.boundingBox(), cv::boundingRect(m)) << size;
    const cv::Rect inner(1, 1, size.width - 2, size.height - 2);
    if (!inner.empty()) {
      const cv::Rect want = cv::boundingRect(m(inner));
      EXPECT_EQ(b.boundingBox(inner), want.empty() ? want : want + inner.tl()) << size;
    }
  }
}

TEST(BitMaskTest, ThresholdAsTheLibraryMakesIt) {
  std::mt19937 rng(2);
  for (cv::Size size : awkwardSizes()) {
    cv::Mat grey(size, CV_8UC1);
    cv::randu(grey, 0, 256);
    for (int thr : {-1, 0, 1, 37, 128, 254, 255, 300}) {
      cv::Mat want;
      cv::threshold(grey, want, thr, 1, cv::THRESH_BINARY_INV);
      BitMask b;
      b.fromThresholdInv(grey, thr);
      EXPECT_EQ(cv::countNonZero(unpacked(b) != want), 0) << size << " thr " << thr;
    }
  }
}

TEST(CloseEllipseTest, SameAsTheLibrarysClosing) {
  std::mt19937 rng(3);
  MorphWork work;
  int compared = 0;
  for (int trial = 0; trial < 6; ++trial) {
    for (cv::Size size : awkwardSizes()) {
      for (int iterations : {1, 2, 4}) {
        const cv::Mat m = randomMask(size, rng, trial % 2 ? 0.05 : 0.002);
        cv::Mat want = m.clone();
        closeMask(want, iterations);
        BitMask b = packed(m);
        closeEllipse(b, iterations, work);
        ASSERT_EQ(cv::countNonZero(unpacked(b) != want), 0)
            << size << " iterations " << iterations << " trial " << trial;
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 6 * 12 * 3);
}

TEST(CloseEllipseTest, BridgesGapsAndKeepsObjectsAtTheBorder) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(0, 10, 25, 10)).setTo(1);
  img(cv::Rect(30, 10, 30, 10)).setTo(1);  // a 5-pixel gap
  BitMask b = packed(img);
  MorphWork work;
  closeEllipse(b, 2, work);
  EXPECT_TRUE(b.test(27, 15));
  EXPECT_TRUE(b.test(0, 10));  // the border does not erode the object
  EXPECT_TRUE(b.test(59, 19));
  EXPECT_FALSE(b.test(10, 9));
  EXPECT_FALSE(b.test(10, 21));
  // A full frame stays full, an empty one empty.
  BitMask full = packed(cv::Mat::ones(20, 70, CV_8UC1));
  closeEllipse(full, 4, work);
  EXPECT_EQ(full.count(), 20 * 70);
  BitMask none(cv::Size(70, 20));
  closeEllipse(none, 4, work);
  EXPECT_EQ(none.count(), 0);
}

// Straightforward two-pass labelling with a flat equivalence table, as a
// reference for the run-based one: it keeps the largest object, ties to
// the smallest label.
cv::Mat referenceLargest(const cv::Mat& img) {
  const int W = img.cols + 2, H = img.rows + 1;
  std::vector<int> L(W * H, 0), E(W * H, 0);
  for (int k = 0; k < W * H; ++k) E[k] = k;
  int next = 1;
  for (int r = 1; r < H; ++r) {
    for (int c = 1; c < W - 1; ++c) {
      if (img.at<uchar>(r - 1, c - 1) == 0) continue;
      const int nb[4] = {L[r * W + c - 1], L[(r - 1) * W + c - 1], L[(r - 1) * W + c],
                         L[(r - 1) * W + c + 1]};
      int last = 0;
      for (int v : nb) last = v != 0 ? v : last;
      if (last == 0) {
        L[r * W + c] = next++;
        continue;
      }
      L[r * W + c] = last;
      const int a = nb[0] != 0 ? E[nb[0]] : E[nb[1]], b = E[nb[3]];
      if (a != 0 && b != 0 && a != b) {
        for (int k = 0; k < next; ++k) {
          if (E[k] == std::max(a, b)) E[k] = std::min(a, b);
        }
      }
    }
  }
  std::vector<int> count(next, 0);
  for (int& l : L) ++count[l = E[l]];
  cv::Mat out = cv::Mat::zeros(img.size(), CV_8UC1);
  if (next == 1) return out;
  int best = 1;
  for (int k = 2; k < next; ++k) best = count[k] > count[best] ? k : best;
  for (int r = 1; r < H; ++r) {
    for (int c = 1; c < W - 1; ++c) {
      if (L[r * W + c] == best) out.at<uchar>(r - 1, c - 1) = 1;
    }
  }
  return out;
}

// The mask with only its largest object left.
cv::Mat largestOf(const cv::Mat& img) {
  BitMask b = packed(img);
  MaskObjects objects;
  objects.label(b);
  const int k = objects.largest();
  if (k >= 0) objects.keepOnly(k, b);
  return unpacked(b);
}

TEST(MaskObjectsTest, KeepsLargestAndFirstInRasterOrderOnTies) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  // A U whose arms are met first as two objects and joined at its bottom.
  img(cv::Rect(30, 5, 2, 20)).setTo(1);
  img(cv::Rect(40, 5, 2, 20)).setTo(1);
  img(cv::Rect(30, 25, 12, 2)).setTo(1);
  // Two equal squares; the left one starts on a later row.
  img(cv::Rect(2, 12, 4, 4)).setTo(1);
  img(cv::Rect(50, 30, 4, 4)).setTo(1);
  cv::Mat kept = largestOf(img);
  EXPECT_EQ(cv::countNonZero(kept), 2 * 40 + 24);
  EXPECT_EQ(kept.at<uchar>(12, 2), 0);

  cv::Mat tie = cv::Mat::zeros(40, 60, CV_8UC1);
  tie(cv::Rect(40, 3, 3, 3)).setTo(1);
  tie(cv::Rect(2, 4, 3, 3)).setTo(1);
  tie.at<uchar>(4, 1) = 1;   // left object: 10 pixels, first pixel on row 4
  tie.at<uchar>(2, 41) = 1;  // right object: 10 pixels, first pixel on row 2
  kept = largestOf(tie);
  EXPECT_EQ(kept.at<uchar>(2, 41), 1);
  EXPECT_EQ(kept.at<uchar>(4, 1), 0);

  MaskObjects none;
  none.label(BitMask(cv::Size(60, 40)));
  EXPECT_EQ(none.count(), 0);
  EXPECT_EQ(none.largest(), -1);
}

TEST(MaskObjectsTest, CountsBoxesAndOrderOfObjects) {
  cv::Mat img = cv::Mat::zeros(10, 140, CV_8UC1);
  img(cv::Rect(60, 2, 10, 3)).setTo(1);  // across the first word boundary
  img(cv::Rect(0, 5, 140, 1)).setTo(1);  // a whole row: three words
  img.at<uchar>(0, 139) = 1;             // the last pixel of the first row
  img.at<uchar>(9, 0) = 1;               // on a later row than the next one
  img(cv::Rect(100, 8, 3, 2)).setTo(1);
  MaskObjects objects;
  objects.label(packed(img));
  ASSERT_EQ(objects.count(), 4);
  EXPECT_EQ(objects.box(0), cv::Rect(139, 0, 1, 1));
  EXPECT_EQ(objects.box(1), cv::Rect(0, 2, 140, 4));  // the block and the row touch
  EXPECT_EQ(objects.pixels(1), 30 + 140);
  EXPECT_EQ(objects.box(2), cv::Rect(100, 8, 3, 2));
  EXPECT_EQ(objects.box(3), cv::Rect(0, 9, 1, 1));
  EXPECT_EQ(objects.largest(), 1);
  cv::Mat painted;
  objects.paint(2, cv::Rect(99, 7, 5, 3), painted);
  EXPECT_EQ(painted.size(), cv::Size(5, 3));
  EXPECT_EQ(cv::countNonZero(painted), 6);
  EXPECT_EQ(painted.at<uchar>(1, 1), 1);
  EXPECT_EQ(painted.at<uchar>(0, 1), 0);
}

TEST(MaskObjectsTest, MatchesReferenceLabellingOnNoise) {
  std::mt19937 rng(4);
  for (int trial = 0; trial < 40; ++trial) {
    const cv::Size size = trial % 2 ? cv::Size(60, 40) : cv::Size(131, 23);
    cv::Mat img(size, CV_8UC1);
    cv::randu(img, 0, 100);
    cv::threshold(img, img, 45 + trial % 10, 1, cv::THRESH_BINARY);
    ASSERT_EQ(cv::countNonZero(largestOf(img) != referenceLargest(img)), 0) << trial;
  }
  for (cv::Size size : awkwardSizes()) {
    const cv::Mat img = randomMask(size, rng, 0.3);
    ASSERT_EQ(cv::countNonZero(largestOf(img) != referenceLargest(img)), 0) << size;
  }
}

std::vector<Egg> candidatesOf(const cv::Mat& img) {
  MaskObjects objects;
  objects.label(packed(img));
  std::vector<Egg> eggs;
  FrameSegmenter::addEggCandidates(objects, img.size(), eggs);
  return eggs;
}

TEST(EggCandidatesTest, BySizeAndRadius) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(20, 20, 30, 8)).setTo(1);  // the worm: 240 pixels
  img(cv::Rect(2, 2, 3, 3)).setTo(1);     // 9 pixels: never a candidate
  img(cv::Rect(10, 2, 3, 3)).setTo(1);
  img.at<uchar>(5, 11) = 1;               // 10 pixels, radius 2: a candidate
  img(cv::Rect(2, 10, 12, 1)).setTo(1);   // 12 pixels, radius 1: too thin
  img(cv::Rect(0, 30, 10, 10)).setTo(1);  // 100 pixels in the corner
  const std::vector<Egg> eggs = candidatesOf(img);
  ASSERT_EQ(eggs.size(), 2u);
  const Egg& small = eggs[0];
  EXPECT_EQ(small.xLoc(), -1);
  EXPECT_EQ(small.yLoc(), -1);
  EXPECT_EQ(small.frame(), -1);
  EXPECT_FLOAT_EQ(small.ts(), -1.0f);
  EXPECT_FALSE(small.isVerified());
  EXPECT_FLOAT_EQ(static_cast<float>(small.size()), 2.0f);
  EXPECT_EQ(small.xpos(), 11);
  EXPECT_EQ(small.ypos(), 3);
  // The corner object comes later in raster order; outside the image counts
  // as far from background, so its thickest point lies on the border.
  EXPECT_EQ(eggs[1].xpos(), 0);
  EXPECT_EQ(eggs[1].ypos(), 39);
}

TEST(EggCandidatesTest, ObjectAsLargeAsTheWormIsNoCandidate) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(2, 2, 10, 10)).setTo(1);
  img(cv::Rect(30, 20, 10, 10)).setTo(1);
  img(cv::Rect(45, 2, 5, 5)).setTo(1);
  const std::vector<Egg> eggs = candidatesOf(img);
  ASSERT_EQ(eggs.size(), 1u);
  EXPECT_EQ(eggs[0].xpos(), 47);
}

// The candidates' box-sized transform against the whole frame.
TEST(EggCandidatesTest, RadiusMatchesWholeFrameTransform) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> x(-3, 62), y(0, 42), r(1, 6);
  int compared = 0;
  for (int trial = 0; trial < 40; ++trial) {
    cv::Mat blob = cv::Mat::zeros(40, 60, CV_8UC1);
    cv::ellipse(blob, {x(rng), y(rng)}, cv::Size(r(rng), r(rng)), trial * 17, 0, 360, 1, -1);
    blob.rowRange(0, 2).setTo(0);  // apart from the "worm" on row 0
    const int size = cv::countNonZero(blob);
    if (size <= 9 || size >= 60) continue;  // the row stays the largest
    cv::Mat labels;
    if (cv::connectedComponents(blob, labels, 8) != 2) continue;
    cv::Mat img = blob.clone();
    img.row(0).setTo(1);
    cv::Mat dist;
    cv::distanceTransform(blob, dist, cv::DIST_L2, cv::DIST_MASK_5);
    double maxVal;
    cv::Point maxLoc;
    cv::minMaxLoc(dist, nullptr, &maxVal, nullptr, &maxLoc);
    const std::vector<Egg> eggs = candidatesOf(img);
    ++compared;
    if (maxVal <= 1.0) {
      EXPECT_TRUE(eggs.empty()) << trial;
      continue;
    }
    ASSERT_EQ(eggs.size(), 1u) << trial;
    EXPECT_EQ(eggs[0].size(), maxVal) << trial;
    EXPECT_EQ(cv::Point(eggs[0].xpos(), eggs[0].ypos()), maxLoc) << trial;
  }
  EXPECT_GT(compared, 20);
}

TEST(ClearFilledHoleTest, ClearsOnlyTheConnectedAddedRegion) {
  cv::Mat ref = cv::Mat::zeros(30, 30, CV_8UC1);
  cv::circle(ref, {15, 15}, 8, 1, 3);
  cv::Mat mask = ref.clone();
  cv::circle(mask, {15, 15}, 6, 1, -1);  // the filled hole
  mask(cv::Rect(0, 0, 3, 3)).setTo(1);   // added elsewhere: stays
  clearFilledHole(mask, ref, 15, 15);
  EXPECT_EQ(mask.at<uchar>(15, 15), 0);
  EXPECT_EQ(mask.at<uchar>(1, 1), 1);
  EXPECT_EQ(cv::countNonZero(mask(cv::Rect(4, 4, 23, 23)) != ref(cv::Rect(4, 4, 23, 23))), 0);
}

TEST(ClearFilledHoleTest, HugeRegionNeedsNoDeepRecursion) {
  cv::Mat ref = cv::Mat::zeros(1500, 1500, CV_8UC1);
  cv::Mat mask = cv::Mat::ones(1500, 1500, CV_8UC1);
  clearFilledHole(mask, ref, 0, 0);
  EXPECT_EQ(cv::countNonZero(mask), 0);
  // A start outside the image clears nothing, not even a neighbour inside.
  mask.setTo(1);
  clearFilledHole(mask, ref, -1, 5);
  clearFilledHole(mask, ref, 1500, 5);
  EXPECT_EQ(cv::countNonZero(mask), 1500 * 1500);
}

}  // namespace
}  // namespace dukon
