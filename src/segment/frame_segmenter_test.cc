#include "segment/frame_segmenter.h"

#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

// Parameters holding `extra` lines besides the movie name.
Params makeParams(const std::string& extra) {
  Params prms("unused");
  std::istringstream in("moviedir = /tmp/\nmoviename = none\n" + extra);
  std::ostringstream err;
  prms.read(in, err);
  return prms;
}

// A grey image whose 64-bin histogram (smooth 4) has `counts[b]` pixels in
// bin b, plus `whites` pixels of level 255.
cv::Mat withBins(const std::vector<std::pair<int, int>>& counts, int whites = 0) {
  std::vector<uchar> levels(whites, 255);
  for (const auto& [bin, n] : counts) {
    const int level = (bin * 255 + 63) / 64;  // smallest level of the bin
    levels.insert(levels.end(), n, static_cast<uchar>(level));
  }
  return cv::Mat(levels, true).reshape(1, 1);
}

TEST(HistogramThresholdTest, ValleyAtBinTenGivesForty) {
  std::vector<std::pair<int, int>> bins = {{9, 50}, {10, 2}, {40, 1000}};
  for (int b = 11; b < 40; ++b) bins.emplace_back(b, 5 * (b - 10));
  EXPECT_EQ(FrameSegmenter::histogramThreshold(withBins(bins), 4), 40);
  // Level 255 lies outside the histogram's range: it cannot become the peak.
  EXPECT_EQ(FrameSegmenter::histogramThreshold(withBins(bins, 5000), 4), 40);
}

TEST(HistogramThresholdTest, WalkStartsAtFirstBinReachingAQuarterPeak) {
  // Bin 5 reaches 1000 / 4; the rise at bin 3 ends the walk there.
  const cv::Mat grey = withBins({{3, 200}, {4, 100}, {5, 300}, {40, 1000}});
  EXPECT_EQ(FrameSegmenter::histogramThreshold(grey, 4), 16);
}

TEST(HistogramThresholdTest, MonotoneHistogramHasNoValley) {
  std::vector<std::pair<int, int>> bins = {{0, 900}};  // bin 0 is never compared
  for (int b = 1; b <= 40; ++b) bins.emplace_back(b, 25 * b);
  EXPECT_EQ(FrameSegmenter::histogramThreshold(withBins(bins), 4), 255);
  EXPECT_EQ(FrameSegmenter::histogramThreshold(cv::Mat(5, 5, CV_8UC1, cv::Scalar(255)), 4), 255);
  EXPECT_EQ(FrameSegmenter::histogramThreshold(cv::Mat(5, 5, CV_8UC1, cv::Scalar(0)), 4), 255);
  // Oversized bins still give one valid bin.
  EXPECT_EQ(FrameSegmenter::histogramThreshold(withBins(bins), 1000), 255);
}

TEST(CloseMaskTest, BridgesGapsAndKeepsObjectsAtTheBorder) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(0, 10, 25, 10)).setTo(1);
  img(cv::Rect(30, 10, 30, 10)).setTo(1);  // a 5-pixel gap
  FrameSegmenter::closeMask(img, 2);
  EXPECT_EQ(img.at<uchar>(15, 27), 1);
  EXPECT_EQ(img.at<uchar>(10, 0), 1);  // the border does not erode the object
  EXPECT_EQ(img.at<uchar>(19, 59), 1);
  EXPECT_EQ(img.at<uchar>(9, 10), 0);
  EXPECT_EQ(img.at<uchar>(21, 10), 0);
}

class LargestObjectTest : public ::testing::Test {
 protected:
  Params prms_ = makeParams("");
  FrameSegmenter seg_{60, 40, prms_};
};

TEST_F(LargestObjectTest, KeepsLargestAndFirstInRasterOrderOnTies) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  // A U whose arms get different labels first and are joined at its bottom.
  img(cv::Rect(30, 5, 2, 20)).setTo(7);
  img(cv::Rect(40, 5, 2, 20)).setTo(7);
  img(cv::Rect(30, 25, 12, 2)).setTo(7);
  // Two equal squares; the left one starts on a later row.
  img(cv::Rect(2, 12, 4, 4)).setTo(1);
  img(cv::Rect(50, 30, 4, 4)).setTo(1);
  seg_.keepLargestObject(img, nullptr);
  EXPECT_EQ(cv::countNonZero(img), 2 * 40 + 24);
  EXPECT_EQ(img.at<uchar>(5, 30), 7);  // values are kept
  EXPECT_EQ(img.at<uchar>(12, 2), 0);

  cv::Mat tie = cv::Mat::zeros(40, 60, CV_8UC1);
  tie(cv::Rect(40, 3, 3, 3)).setTo(1);
  tie(cv::Rect(2, 4, 3, 3)).setTo(1);
  tie.at<uchar>(4, 1) = 1;   // left object: 10 pixels, first pixel on row 4
  tie.at<uchar>(2, 41) = 1;  // right object: 10 pixels, first pixel on row 2
  seg_.keepLargestObject(tie, nullptr);
  EXPECT_EQ(tie.at<uchar>(2, 41), 1);
  EXPECT_EQ(tie.at<uchar>(4, 1), 0);

  cv::Mat empty = cv::Mat::zeros(40, 60, CV_8UC1);
  seg_.keepLargestObject(empty, nullptr);
  EXPECT_EQ(cv::countNonZero(empty), 0);
}

// Straightforward two-pass labelling with a flat equivalence table, as a
// reference for the union-find one: it keeps the largest object, ties to
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
  int best = 1;
  for (int k = 2; k < next; ++k) best = count[k] > count[best] ? k : best;
  cv::Mat out = img.clone();
  for (int r = 1; r < H; ++r) {
    for (int c = 1; c < W - 1; ++c) {
      if (L[r * W + c] != best) out.at<uchar>(r - 1, c - 1) = 0;
    }
  }
  return out;
}

TEST_F(LargestObjectTest, MatchesReferenceLabellingOnNoise) {
  for (int trial = 0; trial < 40; ++trial) {
    cv::Mat img(40, 60, CV_8UC1);
    cv::randu(img, 0, 100);
    cv::threshold(img, img, 45 + trial % 10, 1, cv::THRESH_BINARY);
    const cv::Mat want = referenceLargest(img);
    seg_.keepLargestObject(img, nullptr);
    ASSERT_EQ(cv::countNonZero(img != want), 0) << trial;
  }
}

TEST_F(LargestObjectTest, EggCandidatesBySizeAndRadius) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(20, 20, 30, 8)).setTo(1);  // the worm: 240 pixels
  img(cv::Rect(2, 2, 3, 3)).setTo(1);     // 9 pixels: never a candidate
  img(cv::Rect(10, 2, 3, 3)).setTo(1);
  img.at<uchar>(5, 11) = 1;               // 10 pixels, radius 2: a candidate
  img(cv::Rect(2, 10, 12, 1)).setTo(1);   // 12 pixels, radius 1: too thin
  img(cv::Rect(0, 30, 10, 10)).setTo(1);  // 100 pixels in the corner
  const cv::Mat before = img.clone();
  std::vector<Egg> eggs;
  eggs.emplace_back(1, 2, 3, 4.0, 5, 6, 7.0f);  // earlier contents stay
  seg_.keepLargestObject(img, &eggs);
  EXPECT_EQ(cv::countNonZero(img != before), 0);  // the image is left alone
  ASSERT_EQ(eggs.size(), 3u);
  const Egg& small = eggs[1];
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
  EXPECT_EQ(eggs[2].xpos(), 0);
  EXPECT_EQ(eggs[2].ypos(), 39);
}

TEST_F(LargestObjectTest, ObjectAsLargeAsTheWormIsNoCandidate) {
  cv::Mat img = cv::Mat::zeros(40, 60, CV_8UC1);
  img(cv::Rect(2, 2, 10, 10)).setTo(1);
  img(cv::Rect(30, 20, 10, 10)).setTo(1);
  img(cv::Rect(45, 2, 5, 5)).setTo(1);
  std::vector<Egg> eggs;
  seg_.keepLargestObject(img, &eggs);
  ASSERT_EQ(eggs.size(), 1u);
  EXPECT_EQ(eggs[0].xpos(), 47);
}

// The candidates' region-of-interest transform against the whole frame.
TEST_F(LargestObjectTest, CandidateRadiusMatchesWholeFrameTransform) {
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
    std::vector<Egg> eggs;
    seg_.keepLargestObject(img, &eggs);
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
  FrameSegmenter::clearFilledHole(mask, ref, 15, 15);
  EXPECT_EQ(mask.at<uchar>(15, 15), 0);
  EXPECT_EQ(mask.at<uchar>(1, 1), 1);
  EXPECT_EQ(cv::countNonZero(mask(cv::Rect(4, 4, 23, 23)) != ref(cv::Rect(4, 4, 23, 23))), 0);
}

TEST(ClearFilledHoleTest, HugeRegionNeedsNoDeepRecursion) {
  cv::Mat ref = cv::Mat::zeros(1500, 1500, CV_8UC1);
  cv::Mat mask = cv::Mat::ones(1500, 1500, CV_8UC1);
  FrameSegmenter::clearFilledHole(mask, ref, 0, 0);
  EXPECT_EQ(cv::countNonZero(mask), 0);
  // A start outside the image clears nothing, not even a neighbour inside.
  mask.setTo(1);
  FrameSegmenter::clearFilledHole(mask, ref, -1, 5);
  FrameSegmenter::clearFilledHole(mask, ref, 1500, 5);
  EXPECT_EQ(cv::countNonZero(mask), 1500 * 1500);
}

TEST(BoundingBoxTest, OnePlusCoordinatesOverScannedPart) {
  cv::Mat bin = cv::Mat::zeros(10, 12, CV_8UC1);
  int minX, minY, maxX, maxY;
  FrameSegmenter::boundingBox(bin, 12, 10, minX, minY, maxX, maxY);
  EXPECT_EQ(minX, -1);
  EXPECT_EQ(minY, -1);
  EXPECT_EQ(maxX, -1);
  EXPECT_EQ(maxY, -1);
  bin.at<uchar>(0, 0) = 1;
  bin.at<uchar>(8, 9) = 1;
  bin.at<uchar>(9, 3) = 1;   // last row: not scanned
  bin.at<uchar>(4, 10) = 1;  // second-to-last column: not scanned
  FrameSegmenter::boundingBox(bin, 12, 10, minX, minY, maxX, maxY);
  EXPECT_EQ(minX, 1);
  EXPECT_EQ(minY, 1);
  EXPECT_EQ(maxX, 10);
  EXPECT_EQ(maxY, 9);
}

TEST(UpdateAveragesTest, FirstFrameReplacesGuessThenPlainMean) {
  const Params prms = makeParams("mmpix = 89\n");
  FrameSegmenter seg(20, 20, prms);
  EXPECT_EQ(seg.avgThick(), 8.0);
  EXPECT_EQ(seg.avgArea(), 0.0);
  seg.updateAverages(10.0, 1000.0);
  EXPECT_EQ(seg.nGood(), 1);
  EXPECT_EQ(seg.avgThick(), 10.0);
  seg.updateAverages(14.0, 2000.0);
  EXPECT_DOUBLE_EQ(seg.avgThick(), 12.0);
  EXPECT_DOUBLE_EQ(seg.avgArea(), 1500.0);
  seg.updateAverages(std::nan(""), 10.0);
  EXPECT_EQ(seg.nGood(), 2);
}

// A dark sine worm of thickness `thick` on a bright, slightly blurred
// background.
cv::Mat wormFrame(int width, int height, int thick, cv::Point offset = {0, 0}) {
  cv::Mat bw(height, width, CV_8UC1, cv::Scalar(200));
  std::vector<cv::Point> body;
  for (int i = 0; i <= 160; ++i) {
    body.emplace_back(offset.x + 60 + i, offset.y + 100 + 20 * std::sin(i / 25.0));
  }
  cv::polylines(bw, body, false, cv::Scalar(60), thick);
  cv::GaussianBlur(bw, bw, cv::Size(5, 5), 1.0);
  return bw;
}

TEST(SegmentFrameTest, WormBecomesOneObjectOfOnes) {
  const Params prms = makeParams("");
  FrameSegmenter seg(320, 240, prms);
  cv::Mat bw = wormFrame(320, 240, 10);
  bw(cv::Rect(10, 10, 6, 6)).setTo(40);  // dark speck away from the worm
  cv::Mat bin;
  std::vector<Egg> eggs;
  std::ostringstream err;
  seg.segmentFrame(bw, bin, prms, eggs, err);
  EXPECT_EQ(bin.type(), CV_8UC1);
  double maxV;
  cv::minMaxLoc(bin, nullptr, &maxV);
  EXPECT_EQ(maxV, 1.0);
  cv::Mat labels;
  EXPECT_EQ(cv::connectedComponents(bin, labels, 8), 2);
  EXPECT_EQ(bin.at<uchar>(100, 60), 1);
  EXPECT_EQ(bin.at<uchar>(12, 12), 0);
  const int area = cv::countNonZero(bin);
  EXPECT_GT(area, 1600);
  EXPECT_LT(area, 3000);
  EXPECT_TRUE(eggs.empty());  // eggs off
  EXPECT_EQ(err.str(), "");
}

TEST(SegmentFrameTest, EggCandidatesOnlyWithEggsOn) {
  const Params prms = makeParams("eggs = 1\nuseedges = 0\n");
  FrameSegmenter seg(320, 240, prms);
  cv::Mat bw = wormFrame(320, 240, 10);
  cv::circle(bw, {280, 40}, 4, cv::Scalar(50), -1);
  cv::Mat bin;
  std::vector<Egg> eggs;
  seg.segmentFrame(bw, bin, prms, eggs);
  ASSERT_EQ(eggs.size(), 1u);
  EXPECT_NEAR(eggs[0].xpos(), 280, 1);
  EXPECT_NEAR(eggs[0].ypos(), 40, 1);
  EXPECT_EQ(bin.at<uchar>(40, 280), 0);  // not part of the worm
}

TEST(SegmentFrameTest, MessagesForMissingValleyAndSwollenArea) {
  const Params prms = makeParams("screenop = 1\n");
  FrameSegmenter seg(100, 80, prms);
  cv::Mat bin;
  std::vector<Egg> eggs;
  std::ostringstream err;
  seg.segmentFrame(cv::Mat(80, 100, CV_8UC1, cv::Scalar(255)), bin, prms, eggs, err);
  EXPECT_EQ(err.str(), "threshold problem, using only edge detection\n");
  EXPECT_EQ(cv::countNonZero(bin), 0);

  err.str("");
  seg.updateAverages(5.0, 100.0);
  cv::Mat bw(80, 100, CV_8UC1, cv::Scalar(200));
  bw(cv::Rect(10, 10, 20, 20)).setTo(30);  // 400 pixels, above 2 x 100
  seg.segmentFrame(bw, bin, prms, eggs, err);
  EXPECT_EQ(err.str(), "area problem, using only edge detection\n");
}

TEST(SegmentFrameTest, FilledLoopHoleIsOpenedAgain) {
  const Params prms = makeParams("useedges = 0\n");
  FrameSegmenter seg(120, 120, prms);
  seg.updateAverages(6.0, 600.0);
  cv::Mat bw(120, 120, CV_8UC1, cv::Scalar(200));
  cv::circle(bw, {60, 60}, 11, cv::Scalar(40), 8);  // inner radius 7: closed by 4 iterations
  cv::Mat bin;
  std::vector<Egg> eggs;
  seg.segmentFrame(bw, bin, prms, eggs);
  EXPECT_EQ(bin.at<uchar>(60, 60), 0);
  EXPECT_EQ(bin.at<uchar>(60, 71), 1);
  EXPECT_EQ(bin.at<uchar>(49, 60), 1);
}

// The region-of-interest closings, labelling and transforms must reproduce
// the whole-frame ones, egg candidates included.
TEST(SegmentFrameTest, SameResultsWithAndWithoutRegionOfInterest) {
  const Params prms = makeParams("eggs = 1\n");
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> x(-30, 350), y(-30, 270), r(1, 7), grey(20, 120);
  FrameSegmenter fast(320, 240, prms), plain(320, 240, prms);
  plain.setUseRoi(false);
  size_t candidates = 0;
  for (int trial = 0; trial < 30; ++trial) {
    cv::Mat bw = wormFrame(320, 240, 6 + trial % 9, {x(rng) / 3, y(rng) / 3});
    for (int k = 0; k < trial % 7; ++k) {
      cv::circle(bw, {x(rng), y(rng)}, r(rng), cv::Scalar(grey(rng)), -1);
    }
    cv::Mat noise(240, 320, CV_8SC1);
    cv::randn(noise, 0, 3);
    cv::add(bw, noise, bw, cv::noArray(), CV_8U);
    cv::Mat binFast, binPlain;
    std::vector<Egg> eggsFast, eggsPlain;
    fast.segmentFrame(bw, binFast, prms, eggsFast);
    plain.segmentFrame(bw, binPlain, prms, eggsPlain);
    ASSERT_EQ(cv::countNonZero(binFast != binPlain), 0) << trial;
    ASSERT_EQ(eggsFast.size(), eggsPlain.size()) << trial;
    candidates += eggsFast.size();
    for (size_t i = 0; i < eggsFast.size(); ++i) {
      EXPECT_EQ(eggsFast[i].xpos(), eggsPlain[i].xpos());
      EXPECT_EQ(eggsFast[i].ypos(), eggsPlain[i].ypos());
      EXPECT_EQ(eggsFast[i].size(), eggsPlain[i].size());
    }
    if (trial % 4 == 0) {  // let the area checks take part
      fast.updateAverages(8.0, cv::countNonZero(binFast));
      plain.updateAverages(8.0, cv::countNonZero(binPlain));
    }
  }
  EXPECT_GT(candidates, 10u);
}

// Frames that stress the borders and degenerate contents: no crash, no read
// outside an image (AddressSanitizer), a 0/1 mask of the frame's size.
TEST(SegmentFrameTest, DegenerateFramesGiveValidMasks) {
  const Params prms = makeParams("eggs = 1\nscreenop = 1\n");
  std::vector<cv::Mat> frames = {cv::Mat(20, 20, CV_8UC1, cv::Scalar(0)),
                                 cv::Mat(20, 20, CV_8UC1, cv::Scalar(255)),
                                 cv::Mat(480, 640, CV_8UC1, cv::Scalar(0)),
                                 cv::Mat(480, 640, CV_8UC1, cv::Scalar(255)),
                                 wormFrame(320, 240, 12, {-70, 0}),  // runs out of the left border
                                 wormFrame(320, 240, 1),
                                 cv::Mat(1, 1, CV_8UC1, cv::Scalar(0))};
  cv::Mat noise(20, 20, CV_8UC1);
  cv::randu(noise, 0, 256);
  frames.push_back(noise);
  for (const cv::Mat& bw : frames) {
    FrameSegmenter seg(bw.cols, bw.rows, prms);
    cv::Mat bin;
    std::vector<Egg> eggs;
    std::ostringstream err;
    seg.segmentFrame(bw, bin, prms, eggs, err);
    ASSERT_EQ(bin.size(), bw.size());
    double maxV;
    cv::minMaxLoc(bin, nullptr, &maxV);
    EXPECT_LE(maxV, 1.0);
  }
}

}  // namespace
}  // namespace dukon
