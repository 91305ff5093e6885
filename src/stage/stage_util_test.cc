#include "stage/stage_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "base/fatal_error.h"
#include "base/params.h"
#include "support/params_text.h"

namespace dukon {
namespace {

// Parameters naming the movie "w1" in the test's temporary directory.
class StageUtilTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name_ = std::string("stage_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  Params params(const std::string& extra = "") {
    return testing_support::paramsFromText("moviedir = " + ::testing::TempDir() +
                                           "\nmoviename = " + name_ + "\n" + extra);
  }

  // The window of the parameters' raw frame range in a movie of `frames`
  // frames at `fps`.
  static StageWindow window(const Params& p, int frames = 100, double fps = 10.0) {
    return stageWindow(p.fframe(), p.lframe(), frames, fps);
  }

  // Reads `log` with 100 frames at 10 fps (a 10 s movie) unless told other.
  std::unique_ptr<StageUtil> read(const std::string& log, const Params& p, int frames = 100,
                                  double fps = 10.0) {
    std::istringstream in(log);
    out_.str("");
    err_.str("");
    return std::make_unique<StageUtil>(in, "w1.log.csv", window(p, frames, fps), p.screenop(), out_,
                                       err_);
  }

  std::string name_;
  std::ostringstream out_;
  std::ostringstream err_;
};

const char kHeader[] = "Name,Time,Event,X,Y\n";

TEST_F(StageUtilTest, BothTimeFormatsGiveTheSameSamples) {
  Params p = params();
  auto shortForm = read(std::string(kHeader) +
                            "a,00:01.5,STAGE,1000000,2000000\n"
                            "a,61:02.25,STAGE,-500000,2500000\n",
                        p);
  auto longForm = read(std::string(kHeader) +
                           "a,00:00:01.5,STAGE,1000000,2000000\n"
                           "a,01:01:02.25,STAGE,-500000,2500000\n",
                       p);
  ASSERT_EQ(shortForm->samples().size(), 3u);  // two samples and the sentinel
  ASSERT_EQ(longForm->samples().size(), 3u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_DOUBLE_EQ(shortForm->samples()[i].time, longForm->samples()[i].time);
    EXPECT_DOUBLE_EQ(shortForm->samples()[i].x, longForm->samples()[i].x);
    EXPECT_DOUBLE_EQ(shortForm->samples()[i].y, longForm->samples()[i].y);
  }
  EXPECT_DOUBLE_EQ(shortForm->samples()[0].time, 1500.0);
  EXPECT_DOUBLE_EQ(shortForm->samples()[1].time, (61 * 60 + 2.25) * 1000.0);
  EXPECT_DOUBLE_EQ(shortForm->samples()[1].x, -0.5);
  EXPECT_DOUBLE_EQ(shortForm->samples()[1].y, 2.5);
  // The sentinel lies 1,000 s past the movie's end, at the origin.
  EXPECT_DOUBLE_EQ(shortForm->samples()[2].time, 10000.0 + 1000000.0);
  EXPECT_EQ(shortForm->samples()[2].x, 0.0);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(StageUtilTest, HeaderIsNeverParsedAndBadLinesAreReported) {
  Params p = params();
  auto s = read(
      "h,00:00.0,STAGE,9000000,9000000\n"
      "\n"
      "a,00:01.0,STAGE,1000000,1000000\n"
      "garbage line\n"
      ",00:01.0,STAGE,1,1\n"  // the skipped first field must not be empty
      "a,00:02.0,STAGE,inf,1\n"
      "a,00:02.0,STAGE,1e400,1\n"
      "\r\n"
      "a,00:03.0,STAGE,3000000,3000000\r\n",
      p);
  ASSERT_EQ(s->samples().size(), 3u);
  EXPECT_DOUBLE_EQ(s->samples()[0].x, 1.0);
  EXPECT_DOUBLE_EQ(s->samples()[1].x, 3.0);
  EXPECT_EQ(err_.str(),
            "problem parsing garbage line from stage file\n"
            "problem parsing ,00:01.0,STAGE,1,1 from stage file\n"
            "problem parsing a,00:02.0,STAGE,inf,1 from stage file\n"
            "problem parsing a,00:02.0,STAGE,1e400,1 from stage file\n");
}

TEST_F(StageUtilTest, WindowUsesRawFrameLimitsAndOutsideSamplesAreKept) {
  // fframe 20, lframe 50 at 10 fps: the window is 2 s .. 5 s.
  Params p = params("fframe = 20\nlframe = 50\n");
  auto s = read(std::string(kHeader) +
                    "a,00:01.0,STAGE,100000000,-7000000\n"  // before: first, not in range
                    "a,00:02.0,STAGE,2000000,3000000\n"
                    "a,00:05.0,STAGE,4000000,1000000\n"
                    "a,00:06.0,STAGE,-9000000,9000000\n",  // after the window
                p);
  ASSERT_EQ(s->samples().size(), 5u);
  EXPECT_DOUBLE_EQ(s->minimum().x, 2.0);
  EXPECT_DOUBLE_EQ(s->maximum().x, 4.0);
  EXPECT_DOUBLE_EQ(s->minimum().y, 1.0);
  EXPECT_DOUBLE_EQ(s->maximum().y, 3.0);
  EXPECT_EQ(s->rangeOfMovement(), cv::Point2d(2.0, 2.0));
  // The first sample of the file counts though it lies outside the window.
  EXPECT_EQ(s->firstOffset(), cv::Point2d(98.0, -8.0));
  // ... and is the cursor's sample after rewind.
  EXPECT_DOUBLE_EQ(s->rewind(), 2000.0);
  EXPECT_DOUBLE_EQ(s->currentOffset().x, 98.0);
}

TEST_F(StageUtilTest, LframeZeroRunsToMovieEndAndNoSampleInWindowLeavesRangeZero) {
  Params p = params("lframe = 0\n");
  auto s = read(std::string(kHeader) + "a,00:09.9,STAGE,5000000,5000000\n", p);
  EXPECT_DOUBLE_EQ(s->maximum().x, 5.0);  // 9.9 s lies before the 10 s end

  auto late = read(std::string(kHeader) + "a,00:10.1,STAGE,5000000,5000000\n", p);
  EXPECT_EQ(late->rangeOfMovement(), cv::Point2d(0.0, 0.0));
  // Measured from the unset minimum, -1.0.
  EXPECT_DOUBLE_EQ(late->firstOffset().x, 6.0);
}

TEST_F(StageUtilTest, CoordinateOfMinusOneIsTakenAsUnset) {
  Params p = params();
  auto s = read(std::string(kHeader) +
                    "a,00:01.0,STAGE,-1000000,-1000000\n"
                    "a,00:02.0,STAGE,7000000,-3000000\n"
                    "a,00:03.0,STAGE,5000000,-2000000\n",
                p);
  // -1.0 is "not set", so 7.0 replaces both extremes of x and -3.0 those of y.
  EXPECT_DOUBLE_EQ(s->minimum().x, 5.0);
  EXPECT_DOUBLE_EQ(s->maximum().x, 7.0);
  EXPECT_DOUBLE_EQ(s->minimum().y, -3.0);
  EXPECT_DOUBLE_EQ(s->maximum().y, -2.0);
}

TEST_F(StageUtilTest, CursorStopsOnLastRealSampleBeforeSentinel) {
  Params p = params();
  auto s = read(std::string(kHeader) +
                    "a,00:01.0,STAGE,1000000,1000000\n"
                    "a,00:02.0,STAGE,2000000,1000000\n"
                    "a,00:03.0,STAGE,3000000,1000000\n",
                p);
  EXPECT_DOUBLE_EQ(s->rewind(), 2000.0);
  EXPECT_DOUBLE_EQ(s->current().time, 1000.0);
  EXPECT_DOUBLE_EQ(s->advance(false), 2000.0);
  EXPECT_DOUBLE_EQ(s->current().time, 1000.0);
  EXPECT_DOUBLE_EQ(s->advance(true), 3000.0);
  EXPECT_DOUBLE_EQ(s->current().time, 2000.0);
  EXPECT_DOUBLE_EQ(s->advance(true), 1010000.0);  // the sentinel
  EXPECT_FALSE(s->canAdvance());
  // A frame beyond even the sentinel keeps the position on the last sample.
  EXPECT_DOUBLE_EQ(s->advance(true), 1010000.0);
  EXPECT_DOUBLE_EQ(s->currentOffset().x, 2.0);
  EXPECT_DOUBLE_EQ(s->rewind(), 2000.0);
}

TEST_F(StageUtilTest, HostileLinesNeitherCrashNorLoseTheRest) {
  Params p = params();
  std::string log = std::string(kHeader);
  // Cut to 259 characters this still parses, to an enormous but finite y.
  log += "a,00:01.0,STAGE,1000000," + std::string(100000, '7') + "\n";
  log += std::string(100000, 'z') + "\n";
  log += "a,00:00.5,STAGE,2000000,1000000\n";  // time going backwards: kept in order
  log += "a,99999999999:00.0,STAGE,1e300,-1e300\n";
  log += std::string("a,00:0") + '\0' + "3.0,STAGE,1,1\n";
  log += "a,00:04.0,STAGE,4000000,4000000";  // no final line end
  auto s = read(log, p);
  ASSERT_EQ(s->samples().size(), 5u);
  EXPECT_TRUE(std::isfinite(s->samples()[0].y));
  EXPECT_GT(s->samples()[0].y, 1e200);
  EXPECT_DOUBLE_EQ(s->samples()[1].time, 500.0);
  EXPECT_DOUBLE_EQ(s->samples()[2].x, 1e294);
  EXPECT_DOUBLE_EQ(s->samples()[3].x, 4.0);
  // Reported lines are cut to the line buffer's 259 characters.
  std::istringstream reported(err_.str());
  std::string line;
  int count = 0;
  while (std::getline(reported, line)) {
    ++count;
    EXPECT_LE(line.size(), std::string("problem parsing  from stage file").size() + 259);
  }
  EXPECT_EQ(count, 2);  // the z line and the line cut at its NUL
}

TEST_F(StageUtilTest, VerboseListsTheRange) {
  Params p = params("screenop = 1\n");
  read(std::string(kHeader) + "a,00:01.0,STAGE,1500000,-2000000\na,00:02.0,STAGE,2500000,0\n", p);
  EXPECT_EQ(out_.str(),
            "\nPreparing to track movement:\n"
            "Range of X movement: 1.5 to 2.5\n"
            "Range of Y movement: -2 to 0\n");
}

TEST_F(StageUtilTest, MissingOrUselessLogIsFatal) {
  Params p = params();
  const std::string path = ::testing::TempDir() + name_ + ".log.csv";
  try {
    StageUtil s(p.moviePath(".log.csv"), window(p), false, out_, err_);
    FAIL() << "no exception";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Couldn't open stage data file " + path + "\n(Hit return to close)");
  }
  std::ofstream(path) << kHeader << "nothing,here\n\n";
  try {
    StageUtil s(p.moviePath(".log.csv"), window(p), false, out_, err_);
    FAIL() << "no exception";
  } catch (const FatalError& e) {
    EXPECT_NE(std::string(e.what()).find("holds no stage position line"), std::string::npos);
  }
  EXPECT_THROW(read("", p), FatalError);
  std::ofstream(path) << kHeader << "a,00:01.0,STAGE,1000000,1000000\n";
  StageUtil s(p.moviePath(".log.csv"), window(p), false, out_, err_);
  EXPECT_EQ(s.samples().size(), 2u);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace dukon
