#include "synth/stage_log.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/fatal_error.h"
#include "base/params.h"
#include "stage/stage_util.h"

namespace dukon {
namespace synth {
namespace {

std::string tempPath(const std::string& leaf) {
  return (std::filesystem::temp_directory_path() /
          ("dukon_synth_" + std::to_string(::getpid()) + "_" + leaf))
      .string();
}

// The analyser's stage reader over the log at `logPath`, for the whole of
// a movie of `frameCount` frames at 30 fps. Lines it cannot parse are
// reported on `err`.
std::unique_ptr<StageUtil> analyserStage(const std::string& logPath, int frameCount,
                                         std::ostream& err) {
  std::ostringstream out;
  return std::make_unique<StageUtil>(logPath, stageWindow(0, 0, frameCount, 30.0), false, out, err);
}

// Lines the analyser's stage reader reported as unparsable.
int reportedLines(const std::string& err) {
  int n = 0;
  for (size_t at = err.find("problem parsing"); at != std::string::npos;
       at = err.find("problem parsing", at + 1))
    ++n;
  return n;
}

// The stage offset in frame pixels the analyser gives a frame at `timeMs`:
// the cursor walked on as the track walks it, then floor(mmpixstage * mm).
cv::Point analyserOffset(StageUtil& stage, double timeMs, int mmpixstage) {
  while (stage.next().time < timeMs && stage.canAdvance()) stage.advance(true);
  const cv::Point2d mm = stage.currentOffset();
  return cv::Point(static_cast<int>(std::floor(mmpixstage * mm.x)),
                   static_cast<int>(std::floor(mmpixstage * mm.y)));
}

TEST(FormatLogTime, MinutesSecondsBelowAnHourHoursFromAnHourOn) {
  EXPECT_EQ(formatLogTime(0.0), "00:00.000");
  EXPECT_EQ(formatLogTime(1013.4), "00:01.013");
  EXPECT_EQ(formatLogTime(1013.6), "00:01.014");
  EXPECT_EQ(formatLogTime(59999.6), "01:00.000");  // rounding carries into the minutes
  EXPECT_EQ(formatLogTime(754321.0), "12:34.321");
  EXPECT_EQ(formatLogTime(3599999.0), "59:59.999");
  EXPECT_EQ(formatLogTime(3600000.0), "1:00:00.000");
  EXPECT_EQ(formatLogTime(3723456.0), "1:02:03.456");
  EXPECT_EQ(formatLogTime(36000000.0 + 61000.0), "10:01:01.000");
  EXPECT_EQ(formatLogTime(-5.0), "00:00.000");
}

TEST(StageLog, ReadsBackBothTimeFormsAndExactPixelOffsets) {
  const int mmpix = 280;
  std::vector<StageSample> written = {
      {0.0, {0, 0}},       {1013.0, {5, 0}},          {59999.0, {0, 7}},   {3599999.0, {123, 45}},
      {3600000.0, {1, 1}}, {3723456.0, {2800, 1999}}, {7322001.0, {17, 3}}};
  std::string path = tempPath("roundtrip.log.csv");
  writeStageLog(path, written, mmpix);
  // A movie long enough (10000 s) that every sample lies in the analysed
  // window, so offsets count from sample 0, the smallest.
  std::ostringstream err;
  std::unique_ptr<StageUtil> stage = analyserStage(path, 300000, err);
  std::filesystem::remove(path);
  EXPECT_EQ(reportedLines(err.str()), 0) << err.str();
  const std::vector<StageUtil::Location>& read = stage->samples();
  ASSERT_EQ(read.size(), written.size() + 1);  // the end sentinel follows
  stage->rewind();
  for (size_t k = 0; k < written.size(); ++k) {
    if (k > 0) stage->advance(true);
    EXPECT_NEAR(read[k].time, written[k].timeMs, 1e-6) << "sample " << k;
    EXPECT_NEAR(stage->current().time, written[k].timeMs, 1e-6) << "sample " << k;
    // The analyser's conversion of the cursor sample: floor(mmpixstage * mm).
    const cv::Point2d mm = stage->currentOffset();
    EXPECT_EQ(static_cast<int>(std::floor(mmpix * mm.x)), written[k].px.x) << "sample " << k;
    EXPECT_EQ(static_cast<int>(std::floor(mmpix * mm.y)), written[k].px.y) << "sample " << k;
  }
}

TEST(StageLog, FileStartsWithHeaderAndUsesStageKeyword) {
  std::string path = tempPath("layout.log.csv");
  writeStageLog(path, {{0.0, {0, 0}}, {3600500.0, {3, 4}}}, 300);
  std::ifstream in(path);
  std::string header, first, second;
  std::getline(in, header);
  std::getline(in, first);
  std::getline(in, second);
  std::filesystem::remove(path);
  EXPECT_EQ(header, "Sample,Time,Device,X,Y");
  EXPECT_EQ(first, "1,00:00.000,STAGE,25000000,18000000");
  EXPECT_EQ(second.substr(0, 20), "2,1:00:00.500,STAGE,");
}

TEST(StageUnits, FloorOfTheReadersConversionGivesThePixelBack) {
  for (int mmpix : {91, 250, 280, 291, 300, 333, 1000}) {
    const double origin = kStageOriginX / 1000000.0;
    for (int px = -40; px <= 6000; ++px) {
      double x = (kStageOriginX + stageUnits(px, mmpix)) / 1000000.0;
      ASSERT_EQ(static_cast<int>(std::floor(mmpix * (x - origin))), px)
          << "mmpix " << mmpix << " px " << px;
      // A reader that multiplies by 1e-6 instead of dividing agrees.
      double x2 = (kStageOriginX + stageUnits(px, mmpix)) * 1e-6;
      ASSERT_EQ(static_cast<int>(std::floor(mmpix * (x2 - kStageOriginX * 1e-6))), px);
    }
  }
}

TEST(AnalyserOffset, UsesTheLastSampleStrictlyBeforeTheFrameTime) {
  const int k = 280;
  std::string path = tempPath("cursor.log.csv");
  writeStageLog(path, {{0.0, {10, 3}}, {500.0, {0, 0}}, {1000.0, {30, 5}}}, k);
  std::ostringstream err;
  std::unique_ptr<StageUtil> stage = analyserStage(path, 90, err);  // 3 s: all samples
  std::filesystem::remove(path);
  ASSERT_EQ(reportedLines(err.str()), 0) << err.str();
  // Frame times rise, as they do in a run; the cursor only moves forward.
  EXPECT_EQ(analyserOffset(*stage, 0.0, k), cv::Point(10, 3));  // first sample; minima are 0
  EXPECT_EQ(analyserOffset(*stage, 499.9, k), cv::Point(10, 3));
  EXPECT_EQ(analyserOffset(*stage, 500.0, k),
            cv::Point(10, 3));  // a sample at the frame time is next
  EXPECT_EQ(analyserOffset(*stage, 500.5, k), cv::Point(0, 0));
  EXPECT_EQ(analyserOffset(*stage, 99999.0, k),
            cv::Point(30, 5));  // beyond the log: the last sample
}

TEST(StageLog, MissingFileIsFatalAndBadLinesAreCounted) {
  std::ostringstream ignored;
  EXPECT_THROW(analyserStage(tempPath("does_not_exist.log.csv"), 90, ignored), FatalError);
  std::string path = tempPath("bad.log.csv");
  {
    std::ofstream out(path);
    out << "1,00:00.000,STAGE,1,2\n"  // header: never parsed
        << "2,00:01.000,STAGE,1000000,2000000\n"
        << ",00:02.000,STAGE,1,2\n"  // empty first field does not match
        << "4,00:03.000,MOVE,1,2\n"
        << "\n"
        << "5,1:00:01.5,STAGE,3000000,4000000\r\n";
  }
  std::ostringstream err;
  std::unique_ptr<StageUtil> stage = analyserStage(path, 90, err);
  std::filesystem::remove(path);
  EXPECT_EQ(reportedLines(err.str()), 2) << err.str();
  EXPECT_NE(err.str().find(",00:02.000,STAGE,1,2"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("4,00:03.000,MOVE,1,2"), std::string::npos) << err.str();
  const std::vector<StageUtil::Location>& s = stage->samples();
  ASSERT_EQ(s.size(), 3u);  // two samples and the end sentinel
  EXPECT_DOUBLE_EQ(s[0].x, 1.0);
  EXPECT_NEAR(s[1].time, 3601500.0, 1e-6);
  EXPECT_DOUBLE_EQ(s[1].y, 4.0);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
