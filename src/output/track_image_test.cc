#include "output/track_image.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "base/params.h"
#include "segment/egg_list.h"
#include "stage/stage_tracker.h"
#include "stage/stage_util.h"
#include "support/params_text.h"

namespace dukon {
namespace {

// A 640 x 480 movie of 400 frames at 10 fps, mmpix 100, with a stage log of
// one sample per second moving about 0.1 mm (10 px) in x each time.
class TrackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string("track_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    outdir_ = ::testing::TempDir() + "dukon_world_out/";
  }

  // Where finish() saves the image.
  std::string imagePath() const { return outdir_ + name_ + "-track.bmp"; }

  void make(const std::string& extra, const std::string& log = "") {
    const Params prms = testing_support::paramsFromText(
        "moviedir = " + ::testing::TempDir() + "\nmoviename = " + name_ + "\noutdir = " + outdir_ +
        "\nmmpix = 100\nfrmps = 10\nlframe = 400\n" + extra);
    span_ = prms.lframe() - prms.fframe();
    std::string text = "Sample,Time,Device,X,Y\n";
    if (log.empty()) {
      for (int s = 0; s <= 40; ++s) {
        char line[80];
        // Half a pixel past each 10 px step keeps floor() clear of rounding.
        std::snprintf(line, sizeof line, "%d,%02d:%02d.000,STAGE,%d,%d\n", s + 1, s / 60, s % 60,
                      1000000 + (s > 0 ? 100000 * s + 5000 : 0), 3000000);
        text += line;
      }
    } else {
      text += log;
    }
    std::istringstream in(text);
    stage_ =
        std::make_unique<StageUtil>(in, "log", stageWindow(prms.fframe(), prms.lframe(), 400, 10.0),
                                    prms.screenop(), con_, con_);
    ::mkdir(outdir_.c_str(), 0777);
    stagePos_ = std::make_unique<StageTracker>(*stage_, stageTrackerSettings(prms, 10.0));
    track_ = std::make_unique<TrackImage>(640, 480, stage_->rangeOfMovement(),
                                          trackImageSettings(prms), con_);
  }

  // Draws a usable frame at the stage position last found.
  void update(const cv::Mat& bin, cv::Point mid) {
    track_->addFrame(bin, stagePos_->stagePx(), mid);
  }
  // Renders and saves the track image; false when saving failed.
  bool finish(const EggList* eggs, std::ostream& err) {
    track_->render(eggs, span_);
    return track_->save(imagePath(), err);
  }

  std::string name_, outdir_;
  std::ostringstream con_;
  int span_ = 0;  // frames from fframe to lframe
  std::unique_ptr<StageUtil> stage_;
  std::unique_ptr<StageTracker> stagePos_;
  std::unique_ptr<TrackImage> track_;
};

// A worm-like mask (0/1) and a grey frame.
cv::Mat wormMask(cv::Point c = {320, 240}) {
  cv::Mat bin = cv::Mat::zeros(480, 640, CV_8UC1);
  cv::ellipse(bin, c, cv::Size(80, 10), 0.0, 0.0, 360.0, cv::Scalar(1), cv::FILLED);
  return bin;
}

TEST_F(TrackTest, CanvasScaleHoldsFrameAndStageRange) {
  make("screenop = 1\n");
  // Range 4.005 mm in x, 0 in y: Xmm = 641/100 + 4.005, 640/10.415 -> 62;
  // Ymm = 4.81, 480/4.81 -> 100. scale = 101/62.
  EXPECT_EQ(track_->canvasPxPerMm(), 62.0);
  EXPECT_DOUBLE_EQ(track_->scale(), 101.0 / 62.0);
  EXPECT_EQ(track_->smallSize(), cv::Size(393 + 1, 295 + 1));
  EXPECT_NE(con_.str().find("track scale set to 1.62903\n"), std::string::npos);
  // The first sample sits at the minimum: the start position is (0, 0).
  EXPECT_EQ(stagePos_->stagePx(), cv::Point(0, 0));
}

// shade 0 over 400 frames gives the factor 0.5: four frames -> 2, plus 20.
TEST_F(TrackTest, ShadeFactorAndTrackImageGreys) {
  make("shade = 0\nstar = 0\n");
  const cv::Mat bin = wormMask();
  for (int i = 0; i < 4; ++i) update(bin, cv::Point(320, 240));
  EXPECT_EQ(track_->canvas().at<int>(240 / 1.62903, 320 / 1.62903), 4);
  std::ostringstream err;
  EXPECT_TRUE(finish(nullptr, err));
  const cv::Mat& img = track_->trackImage();
  EXPECT_EQ(img.at<uint8_t>(147, 196), 233);
  EXPECT_EQ(img.at<uint8_t>(100, 100), 255);
  EXPECT_EQ(err.str(), "");
  // Scale bar: 100 px of the frame are 61 canvas pixels, from x 20 to 81.
  EXPECT_EQ(img.at<uint8_t>(460, 20), 0);
  EXPECT_EQ(img.at<uint8_t>(460, 81), 0);
  EXPECT_EQ(img.at<uint8_t>(460, 90), 255);
  // "1mm" right of it; no marks with star 0.
  EXPECT_GT(cv::countNonZero(img(cv::Rect(101, 435, 60, 30)) == 0), 50);
  EXPECT_EQ(cv::countNonZero(img(cv::Rect(0, 0, 640, 420)) < 200), 0);
  // The written file is the same image.
  const cv::Mat saved = cv::imread(imagePath(), cv::IMREAD_GRAYSCALE);
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(cv::countNonZero(saved != img), 0);
}

TEST_F(TrackTest, StarMarksStartAndEnd) {
  make("star = 1\n");
  update(wormMask({150, 240}), cv::Point(150, 240));
  // The content moved left, so the stage moved right: 200 px, 122 canvas px.
  const StagePosition s = stagePos_->addImageMotion(cv::Point(-200, 0), 500.0);
  EXPECT_TRUE(s.usable);
  EXPECT_EQ(s.loc, cv::Point(200, 0));
  update(wormMask({150, 240}), cv::Point(150, 240));
  EXPECT_EQ(track_->start(), cv::Point(93, 148));
  EXPECT_EQ(track_->last(), cv::Point(93 + 122, 148));
  finish(nullptr, con_);
  const cv::Mat& img = track_->trackImage();
  // The glyphs sit above and right of their origins, in black.
  EXPECT_GT(cv::countNonZero(img(cv::Rect(93, 128, 20, 20)) == 0), 10);
  EXPECT_GT(cv::countNonZero(img(cv::Rect(215, 128, 20, 20)) == 0), 10);
}

TEST_F(TrackTest, OneFrameSpanAndFarPositionsStayInside) {
  // A window of one frame holds no sample: no range, 100 canvas px per mm.
  make("fframe = 7\nlframe = 7\nshade = 0.2\n");
  EXPECT_DOUBLE_EQ(track_->scale(), 1.01);
  const cv::Size small = track_->smallSize();
  ASSERT_EQ(small, cv::Size(635, 477));
  // Far outside the canvas: drawn at its far edge.
  stagePos_->addImageMotion(cv::Point(-1000000, -1000000), 500.0);
  update(wormMask(), cv::Point(320, 240));
  EXPECT_EQ(track_->last(), cv::Point(317 + 5, 238 + 3));
  // ... and at the near edge.
  stagePos_->addImageMotion(cv::Point(2000000, 2000000), 600.0);
  update(wormMask(), cv::Point(320, 240));
  EXPECT_EQ(track_->last(), cv::Point(317, 238));
  EXPECT_EQ(track_->start(), cv::Point(322, 241));
  // lframe == fframe: the factor is 200, so one frame gives 255 - 220 and
  // two frames black.
  finish(nullptr, con_);
  EXPECT_EQ(track_->trackImage().at<uint8_t>(237, 240), 35);  // near edge only
  EXPECT_EQ(track_->trackImage().at<uint8_t>(238, 317), 0);
}

TEST_F(TrackTest, LargeStageScaleKeepsSmallFrameInsideCanvas) {
  make("mmpixstage = 5000\n");
  EXPECT_LE(track_->smallSize().width, 640);
  EXPECT_LE(track_->smallSize().height, 480);
  stagePos_->addStagePosition(39500.0);
  update(wormMask(), cv::Point(639, 479));
  update(cv::Mat(), cv::Point(0, 0));  // wrong mask: ignored
  EXPECT_EQ(cv::sum(track_->canvas())[0], cv::countNonZero(track_->canvas()));
}

TEST_F(TrackTest, VerifiedEggsAreDrawn) {
  make("star = 0\n");
  EggList eggs(640, 480);
  eggs.addEgg(Egg(100, 50, 12, 3.5, 200, 300, 1200.0f));
  eggs.addEgg(Egg(100, 50, 14, 2.0, 400, 100, 1400.0f));  // never verified
  eggs.addEgg(Egg(-20, 10, 30, 4.0, 500, 400, 3000.0f));
  Egg seen(-1, -1, -1, 3.0, 200, 300, -1.0f);
  SkelRecord rec;
  rec.xLoc = 100;
  rec.yLoc = 50;
  rec.frame = 25;
  eggs.verifyCandidate(seen, rec);
  Egg seen2(-1, -1, -1, 3.0, 480, 400, -1.0f);
  rec.xLoc = 0;
  rec.yLoc = 10;
  rec.frame = 0;
  eggs.verifyCandidate(seen2, rec);
  std::ostringstream con;
  finish(&eggs, con);
  EXPECT_EQ(con.str(), "");
  const cv::Mat& img = track_->trackImage();
  // "o" at (ceil(200 / s) + floor(100 / s), ...) with s = 101/62.
  EXPECT_GT(cv::countNonZero(img(cv::Rect(184, 200, 20, 18)) == 0), 10);
  EXPECT_EQ(cv::countNonZero(img(cv::Rect(306, 50, 20, 18)) == 0), 0);  // unverified: none
}

TEST_F(TrackTest, FailedSaveIsReportedAndReturned) {
  outdir_ = "/proc/dukon_no_such_dir/";
  make("");
  std::ostringstream err;
  EXPECT_FALSE(finish(nullptr, err));
  EXPECT_EQ(err.str(), "Could'nt save " + imagePath() + "\n");
  outdir_ = ::testing::TempDir() + "dukon_world_out/";
  make("");
  EXPECT_TRUE(finish(nullptr, err));
}

}  // namespace
}  // namespace dukon
