#include "synth/stage_log.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "run/fatal_error.h"

namespace dukon {
namespace synth {
namespace {

std::string tempPath(const std::string& leaf) {
  return (std::filesystem::temp_directory_path() /
          ("dukon_synth_" + std::to_string(::getpid()) + "_" + leaf))
      .string();
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
  int bad = -1;
  std::vector<LogSample> read = readStageLog(path, &bad);
  std::filesystem::remove(path);
  EXPECT_EQ(bad, 0);
  ASSERT_EQ(read.size(), written.size());
  for (size_t k = 0; k < read.size(); ++k) {
    EXPECT_NEAR(read[k].timeMs, written[k].timeMs, 1e-6) << "sample " << k;
    // The analyser's conversion: floor(mmpix * (x - smallest x)) with x in mm.
    EXPECT_EQ(static_cast<int>(std::floor(mmpix * (read[k].x - read[0].x))), written[k].px.x);
    EXPECT_EQ(static_cast<int>(std::floor(mmpix * (read[k].y - read[0].y))), written[k].px.y);
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
  auto mm = [k](int px) { return (kStageOriginX + stageUnits(px, k)) / 1000000.0; };
  std::vector<LogSample> s = {{0.0, mm(10), mm(3)}, {500.0, mm(0), mm(0)}, {1000.0, mm(30), mm(5)}};
  EXPECT_EQ(analyserOffset(s, 0.0, k), cv::Point(10, 3));  // first sample; minima are 0
  EXPECT_EQ(analyserOffset(s, 499.9, k), cv::Point(10, 3));
  EXPECT_EQ(analyserOffset(s, 500.0, k), cv::Point(10, 3));  // a sample at the frame time is next
  EXPECT_EQ(analyserOffset(s, 500.5, k), cv::Point(0, 0));
  EXPECT_EQ(analyserOffset(s, 99999.0, k), cv::Point(30, 5));  // beyond the log: the last sample
}

TEST(StageLog, MissingFileIsFatalAndBadLinesAreCounted) {
  EXPECT_THROW(readStageLog(tempPath("does_not_exist.log.csv"), nullptr), FatalError);
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
  int bad = 0;
  std::vector<LogSample> s = readStageLog(path, &bad);
  std::filesystem::remove(path);
  EXPECT_EQ(bad, 2);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_DOUBLE_EQ(s[0].x, 1.0);
  EXPECT_NEAR(s[1].timeMs, 3601500.0, 1e-6);
  EXPECT_DOUBLE_EQ(s[1].y, 4.0);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
