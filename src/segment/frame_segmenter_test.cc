#include "segment/frame_segmenter.h"

#include <cmath>
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "support/params_text.h"

namespace dukon {
namespace {

// The segmenter's settings from parameters holding `extra` lines.
SegmenterSettings makeParams(const std::string& extra) {
  return segmenterSettings(testing_support::paramsWith(extra));
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
  EXPECT_EQ(MaskMaker::histogramThreshold(withBins(bins), 4), 40);
  // Level 255 lies outside the histogram's range: it cannot become the peak.
  EXPECT_EQ(MaskMaker::histogramThreshold(withBins(bins, 5000), 4), 40);
}

TEST(HistogramThresholdTest, WalkStartsAtFirstBinReachingAQuarterPeak) {
  // Bin 5 reaches 1000 / 4; the rise at bin 3 ends the walk there.
  const cv::Mat grey = withBins({{3, 200}, {4, 100}, {5, 300}, {40, 1000}});
  EXPECT_EQ(MaskMaker::histogramThreshold(grey, 4), 16);
}

TEST(HistogramThresholdTest, MonotoneHistogramHasNoValley) {
  std::vector<std::pair<int, int>> bins = {{0, 900}};  // bin 0 is never compared
  for (int b = 1; b <= 40; ++b) bins.emplace_back(b, 25 * b);
  EXPECT_EQ(MaskMaker::histogramThreshold(withBins(bins), 4), 255);
  EXPECT_EQ(MaskMaker::histogramThreshold(cv::Mat(5, 5, CV_8UC1, cv::Scalar(255)), 4), 255);
  EXPECT_EQ(MaskMaker::histogramThreshold(cv::Mat(5, 5, CV_8UC1, cv::Scalar(0)), 4), 255);
  // Oversized bins still give one valid bin.
  EXPECT_EQ(MaskMaker::histogramThreshold(withBins(bins), 1000), 255);
}

TEST(BoundingBoxTest, OnePlusCoordinatesOverScannedPart) {
  cv::Mat bin = cv::Mat::zeros(10, 12, CV_8UC1);
  WormBox box = FrameSegmenter::boundingBox(bin);
  EXPECT_EQ(box.minX, -1);
  EXPECT_EQ(box.minY, -1);
  EXPECT_EQ(box.maxX, -1);
  EXPECT_EQ(box.maxY, -1);
  bin.at<uchar>(0, 0) = 1;
  bin.at<uchar>(8, 9) = 1;
  bin.at<uchar>(9, 3) = 1;   // last row: not scanned
  bin.at<uchar>(4, 10) = 1;  // second-to-last column: not scanned
  box = FrameSegmenter::boundingBox(bin);
  EXPECT_EQ(box.minX, 1);
  EXPECT_EQ(box.minY, 1);
  EXPECT_EQ(box.maxX, 10);
  EXPECT_EQ(box.maxY, 9);
  // Too small to scan anything.
  EXPECT_EQ(FrameSegmenter::boundingBox(cv::Mat::ones(1, 5, CV_8UC1)).minX, -1);
}

TEST(UpdateAveragesTest, FirstFrameReplacesGuessThenPlainMean) {
  const SegmenterSettings prms = makeParams("mmpix = 89\n");
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

// The box the segmenter keeps is the one a scan of the mask gives.
void expectSameBox(const FrameSegmenter& seg, const cv::Mat& bin) {
  const WormBox scanned = FrameSegmenter::boundingBox(bin), kept = seg.wormBox();
  EXPECT_EQ(cv::Vec4i(kept.minX, kept.minY, kept.maxX, kept.maxY),
            cv::Vec4i(scanned.minX, scanned.minY, scanned.maxX, scanned.maxY));
  // The mask box holds every worm pixel.
  EXPECT_EQ(cv::countNonZero(bin), bin.empty() ? 0 : cv::countNonZero(bin(seg.maskBox())));
}

TEST(SegmentFrameTest, WormBecomesOneObjectOfOnes) {
  const SegmenterSettings prms = makeParams("");
  FrameSegmenter seg(320, 240, prms);
  cv::Mat bw = wormFrame(320, 240, 10);
  bw(cv::Rect(10, 10, 6, 6)).setTo(40);  // dark speck away from the worm
  cv::Mat bin;
  std::vector<Egg> eggs;
  std::ostringstream err;
  seg.segmentFrame(bw, bin, eggs, err);
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
  const SegmenterSettings prms = makeParams("eggs = 1\nuseedges = 0\n");
  FrameSegmenter seg(320, 240, prms);
  cv::Mat bw = wormFrame(320, 240, 10);
  cv::circle(bw, {280, 40}, 4, cv::Scalar(50), -1);
  cv::Mat bin;
  std::vector<Egg> eggs;
  seg.segmentFrame(bw, bin, eggs);
  ASSERT_EQ(eggs.size(), 1u);
  EXPECT_NEAR(eggs[0].xpos(), 280, 1);
  EXPECT_NEAR(eggs[0].ypos(), 40, 1);
  EXPECT_EQ(bin.at<uchar>(40, 280), 0);  // not part of the worm
}

TEST(SegmentFrameTest, MessagesForMissingValleyAndSwollenArea) {
  const SegmenterSettings prms = makeParams("screenop = 1\n");
  FrameSegmenter seg(100, 80, prms);
  cv::Mat bin;
  std::vector<Egg> eggs;
  std::ostringstream err;
  seg.segmentFrame(cv::Mat(80, 100, CV_8UC1, cv::Scalar(255)), bin, eggs, err);
  EXPECT_EQ(err.str(), "threshold problem, using only edge detection\n");
  EXPECT_EQ(cv::countNonZero(bin), 0);

  err.str("");
  seg.updateAverages(5.0, 100.0);
  cv::Mat bw(80, 100, CV_8UC1, cv::Scalar(200));
  bw(cv::Rect(10, 10, 20, 20)).setTo(30);  // 400 pixels, above 2 x 100
  seg.segmentFrame(bw, bin, eggs, err);
  EXPECT_EQ(err.str(), "area problem, using only edge detection\n");
}

TEST(SegmentFrameTest, FilledLoopHoleIsOpenedAgain) {
  const SegmenterSettings prms = makeParams("useedges = 0\n");
  FrameSegmenter seg(120, 120, prms);
  seg.updateAverages(6.0, 600.0);
  cv::Mat bw(120, 120, CV_8UC1, cv::Scalar(200));
  cv::circle(bw, {60, 60}, 11, cv::Scalar(40), 8);  // inner radius 7: closed by 4 iterations
  cv::Mat bin;
  std::vector<Egg> eggs;
  seg.segmentFrame(bw, bin, eggs);
  EXPECT_EQ(bin.at<uchar>(60, 60), 0);
  EXPECT_EQ(bin.at<uchar>(60, 71), 1);
  EXPECT_EQ(bin.at<uchar>(49, 60), 1);
  expectSameBox(seg, bin);
}

// The packed steps must reproduce the image library's whole-frame ones, egg
// candidates included.
TEST(SegmentFrameTest, SameResultsPackedAndPlain) {
  const SegmenterSettings prms = makeParams("eggs = 1\n");
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> x(-30, 350), y(-30, 270), r(1, 7), grey(20, 120);
  FrameSegmenter fast(320, 240, prms), plain(320, 240, prms);
  plain.setPlain(true);
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
    fast.segmentFrame(bw, binFast, eggsFast);
    plain.segmentFrame(bw, binPlain, eggsPlain);
    ASSERT_EQ(cv::countNonZero(binFast != binPlain), 0) << trial;
    expectSameBox(fast, binFast);
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

// First masks made ahead, all frames before any is segmented, by a maker of
// their own: the same masks, egg candidates and messages as segmenting each
// frame whole, with the area checks and the fallbacks taking part.
TEST(SegmentFrameTest, FirstMasksMadeAheadSegmentAlike) {
  std::vector<cv::Mat> frames;
  for (int k = 0; k < 6; ++k) frames.push_back(wormFrame(160, 120, 6 + k, {k * 7, -k * 3}));
  frames.push_back(cv::Mat(120, 160, CV_8UC1, cv::Scalar(255)));  // no valley
  cv::Mat swollen(120, 160, CV_8UC1, cv::Scalar(200));
  swollen(cv::Rect(10, 10, 60, 60)).setTo(30);  // above twice the mean area
  frames.push_back(swollen);
  cv::Mat lost = wormFrame(160, 120, 2);  // far below half the mean area
  cv::circle(lost, {130, 20}, 4, cv::Scalar(50), -1);
  frames.push_back(lost);
  for (const char* settings : {"screenop = 1\n", "useedges = 0\nscreenop = 1\n", "thresh = 90\n",
                               "eggs = 1\nuseedges = 0\nscreenop = 1\n"}) {
    const SegmenterSettings prms = makeParams(settings);
    MaskMaker maker = FrameSegmenter::maskMaker(prms);
    std::vector<FirstMasks> ahead(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) maker.make(frames[i], ahead[i]);
    FrameSegmenter whole(160, 120, prms), from(160, 120, prms);
    std::ostringstream errWhole, errFrom;
    for (size_t i = 0; i < frames.size(); ++i) {
      cv::Mat binWhole, binFrom;
      std::vector<Egg> eggsWhole, eggsFrom;
      whole.segmentFrame(frames[i], binWhole, eggsWhole, errWhole);
      from.segmentFrom(frames[i], ahead[i], binFrom, eggsFrom, errFrom);
      ASSERT_EQ(cv::countNonZero(binWhole != binFrom), 0) << settings << i;
      EXPECT_EQ(whole.maskBox(), from.maskBox());
      ASSERT_EQ(eggsWhole.size(), eggsFrom.size());
      for (size_t e = 0; e < eggsWhole.size(); ++e)
        EXPECT_EQ(cv::Point(eggsWhole[e].xpos(), eggsWhole[e].ypos()),
                  cv::Point(eggsFrom[e].xpos(), eggsFrom[e].ypos()));
      if (i < 6) {
        whole.updateAverages(6.0, cv::countNonZero(binWhole));
        from.updateAverages(6.0, cv::countNonZero(binFrom));
      }
    }
    EXPECT_EQ(errWhole.str(), errFrom.str()) << settings;
    if (std::string(settings).find("screenop") != std::string::npos) {
      EXPECT_NE(errWhole.str().find("area problem"), std::string::npos) << settings;
    }
  }
}

// Frames that stress the borders and degenerate contents: no crash, no read
// outside an image (AddressSanitizer), a 0/1 mask of the frame's size.
TEST(SegmentFrameTest, DegenerateFramesGiveValidMasks) {
  const SegmenterSettings prms = makeParams("eggs = 1\nscreenop = 1\n");
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
    seg.segmentFrame(bw, bin, eggs, err);
    ASSERT_EQ(bin.size(), bw.size());
    expectSameBox(seg, bin);
    double maxV;
    cv::minMaxLoc(bin, nullptr, &maxV);
    EXPECT_LE(maxV, 1.0);
  }
}

}  // namespace
}  // namespace dukon
