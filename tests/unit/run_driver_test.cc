// Runs the dukon executable on small movies written by the tests and checks
// what a user sees: exit status, console messages and the output files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "support/executable.h"

namespace dukon {
namespace {

using testing_support::fileExists;
using testing_support::readFile;
using testing_support::runIn;
using testing_support::RunResult;

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        testing_support::freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void writeParams(const std::string& extra) {
    std::ofstream(dir_ + "/params.txt") << "moviedir = " << dir_ << "\nmoviename = w\n"
                                        << "outdir = " << dir_ << "/out\nmmpix = 100\n"
                                        << extra;
  }
  void writeMovie(int frames) {
    testing_support::writeMovie(dir_ + "/w.avi", frames, cv::Size(200, 160),
                                testing_support::drawBand);
    testing_support::writeStillStageLog(dir_ + "/w.log.csv", frames / 25 + 2);
  }
  std::string outFile(const std::string& name) const { return dir_ + "/out/w/w-" + name; }

  std::string dir_;
};

TEST_F(RunDriverTest, CommandLine) {
  RunResult help = runIn(dir_, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("params.txt"), std::string::npos);
  RunResult version = runIn(dir_, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "0.07\n");
  RunResult bad = runIn(dir_, "--frobnicate");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("usage: dukon"), std::string::npos);
}

TEST_F(RunDriverTest, FatalConditionsExitWithOne) {
  // No parameters file: defaults, then no movie named.
  RunResult none = runIn(dir_, "");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "\nCouldn't open params.txt, using defaults\n"
            "Movie directory and name must be given in parameters file.\n");
  // A movie directory without the movie.
  writeParams("");
  RunResult noMovie = runIn(dir_, "", "x");
  EXPECT_EQ(noMovie.status, 1);
  EXPECT_NE(noMovie.err.find("Can't open movie file " + dir_ +
                             "/w.avi\n(perhaps need to check "
                             "that codec is supported)\n"),
            std::string::npos);
  // The tables are opened before the movie, and stay empty.
  EXPECT_TRUE(fileExists(outFile("wxo.txt")));
  EXPECT_EQ(readFile(outFile("wxo.txt")), "");
  // A movie path that is a directory.
  ::mkdir((dir_ + "/w.avi").c_str(), 0777);
  EXPECT_EQ(runIn(dir_, "").status, 1);
  // An output path that is too long is refused before anything is created.
  std::ofstream(dir_ + "/params.txt")
      << "moviedir = " << dir_ << "\nmoviename = " << std::string(41, 'n') << "\noutdir = " << dir_
      << "/" << std::string(199 - dir_.size(), 'o') << "\n";
  RunResult longPath = runIn(dir_, "");
  EXPECT_EQ(longPath.status, 1);
  EXPECT_EQ(longPath.err.rfind("Path name too long: ", 0), 0u) << longPath.err;
  EXPECT_FALSE(fileExists(dir_ + "/" + std::string(199 - dir_.size(), 'o')));
}

TEST_F(RunDriverTest, PlainRunWritesSummaryRecordsAndParameterCopy) {
  writeMovie(20);
  writeParams("ignorefrm = 3-4\n");
  RunResult r = runIn(dir_, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nAnalyzing movie " + dir_ + "/w.avi\n#1 #2 #3 "), std::string::npos);
  std::string wxo = readFile(outFile("wxo.txt"));
  EXPECT_EQ(wxo.rfind("Total frames (key+drop) in movie: 20\nReal frames (key) extracted: 20\n", 0),
            0u)
      << wxo;
  EXPECT_NE(wxo.find("Ignored 2 frames as directed\n"), std::string::npos);
  // One "Frame number" line per record; the ignored frames have no chain.
  std::string skel = readFile(outFile("skel.csv"));
  EXPECT_EQ(std::count(skel.begin(), skel.end(), 'F'), 20);
  EXPECT_NE(skel.find("Frame number: 3\nFrame number: 4\nFrame number: 5\n"), std::string::npos);
  std::string copy = readFile(outFile("params.txt"));
  EXPECT_EQ(copy.rfind("# DUKON version: 0.07 with OpenCV\n# analyzed on: ", 0), 0u);
  EXPECT_NE(copy.find("\n\nmoviedir    = " + dir_ + "/\n"), std::string::npos);
  // The copy shows the movie's rate at precision 3 and the last frame reached.
  EXPECT_NE(copy.find("frmps       = 25\n"), std::string::npos);
  EXPECT_NE(copy.find("lframe      = 20\n"), std::string::npos);
  EXPECT_FALSE(fileExists(outFile("eggs.txt")));

  // A second run replaces the tables but appends to skel.csv.
  ASSERT_EQ(runIn(dir_, "").status, 0);
  EXPECT_EQ(readFile(outFile("skel.csv")), skel + skel);
}

TEST_F(RunDriverTest, FrameRangeAndVerboseSummary) {
  writeMovie(30);
  writeParams("fframe = 5\nlframe = 12\nscreenop = 1\neggs = 1\n");
  RunResult r = runIn(dir_, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("got frame 5 (ts=160)\ngot frame 6 (ts=200, delay=40)\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Total frames (key+drop) in movie: 8\nReal frames (key) extracted: 8\n"),
            std::string::npos);
  // Stopping at lframe as directed is no early exit: wxo.txt does not say
  // where the run stopped.
  const std::string wxo = readFile(outFile("wxo.txt"));
  EXPECT_EQ(wxo.rfind("Total frames (key+drop) in movie: 8\nReal frames (key) extracted: 8\n", 0),
            0u)
      << wxo;
  EXPECT_EQ(wxo.find("Exited at frame index"), std::string::npos) << wxo;
  std::string skel = readFile(outFile("skel.csv"));
  EXPECT_EQ(skel.rfind("Frame number: 5\n", 0), 0u);
  EXPECT_TRUE(fileExists(outFile("eggs.txt")));
}

TEST_F(RunDriverTest, ShortAndBrokenMovies) {
  // One frame.
  writeMovie(1);
  writeParams("");
  RunResult one = runIn(dir_, "");
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_NE(readFile(outFile("wxo.txt")).find("Real frames (key) extracted: 1\n"),
            std::string::npos);
  // A movie cut in the middle of its data.
  writeMovie(40);
  std::string whole = readFile(dir_ + "/w.avi");
  std::ofstream(dir_ + "/w.avi", std::ios::binary) << whole.substr(0, whole.size() / 2);
  RunResult cut = runIn(dir_, "");
  EXPECT_EQ(cut.status, 0) << cut.err;
  // The frames before the cut are analysed; the run says where it stopped.
  const std::string wxo = readFile(outFile("wxo.txt"));
  int real = -1;
  ASSERT_EQ(std::sscanf(wxo.c_str(),
                        "Total frames (key+drop) in movie: %*d\nReal frames (key) "
                        "extracted: %d",
                        &real),
            1)
      << wxo;
  EXPECT_GT(real, 0);
  EXPECT_LT(real, 40);
  EXPECT_NE(wxo.find("Exited at frame index "), std::string::npos);
  // A first frame beyond the end: no record, still a complete run.
  writeMovie(10);
  writeParams("fframe = 50\n");
  RunResult beyond = runIn(dir_, "");
  EXPECT_EQ(beyond.status, 0) << beyond.err;
  EXPECT_NE(readFile(outFile("wxo.txt")).find("Real frames (key) extracted: 0\n"),
            std::string::npos);
}

}  // namespace
}  // namespace dukon
