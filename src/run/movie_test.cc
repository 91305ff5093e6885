#include "run/movie.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <opencv2/videoio.hpp>
#include <sstream>

#include "base/fatal_error.h"
#include "support/files.h"

namespace dukon {
namespace {

// Writes an MJPG movie of `frames` frames whose grey level encodes the
// frame index, and a params.txt naming it.
class MovieTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing_support::freshTestDir() + "/"; }
  void writeMovie(int frames, const std::string& name = "m") {
    cv::VideoWriter w(dir_ + name + ".avi", cv::CAP_FFMPEG,
                      cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 25.0, cv::Size(64, 48));
    ASSERT_TRUE(w.isOpened());
    for (int i = 0; i < frames; ++i) w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar::all(10 * i)));
  }
  // The path of movie `name` in the test's folder.
  std::string moviePath(const std::string& name = "m") const { return dir_ + name + ".avi"; }
  std::string dir_;
  std::ostringstream out_, err_;
};

TEST_F(MovieTest, FramesAreNumberedFromOneWithTimeZero) {
  writeMovie(5);
  Movie m(moviePath(), false, out_, err_);
  m.open();
  EXPECT_EQ(m.width(), 64);
  EXPECT_EQ(m.height(), 48);
  EXPECT_EQ(m.length(), 5);
  EXPECT_DOUBLE_EQ(m.fps(), 25.0);
  cv::Mat f;
  std::vector<int> positions;
  std::vector<float> times;
  while (m.getFrame(f)) {
    positions.push_back(m.position());
    times.push_back(m.time());
  }
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 5}));
  ASSERT_EQ(times.size(), 5u);
  EXPECT_FLOAT_EQ(times[0], 0.0f);
  EXPECT_FLOAT_EQ(times[1], 40.0f);
  EXPECT_EQ(out_.str(), "#1 #2 #3 #4 #5 ");
  // At the end of the movie no message is written.
  EXPECT_EQ(err_.str(), "");
}

TEST_F(MovieTest, VerboseProgressAndMovieBlock) {
  writeMovie(3);
  Movie m(moviePath(), true, out_, err_);
  m.open();
  m.printParams();
  cv::Mat f;
  m.getFrame(f);
  m.getFrame(f);
  EXPECT_EQ(out_.str(), "\nAnalyzing movie " + dir_ +
                            "m.avi\nmovie parameters are as follows:\n"
                            "  height = 48 pixels\n  width  = 64 pixels\n  rate   = 25 fps\n"
                            "  length = 3 frames\n  fourCC = ????\n"
                            "got frame 1 (ts=0)\ngot frame 2 (ts=40, delay=40)\n");
}

TEST_F(MovieTest, SeekDeliversTheFollowingFrames) {
  writeMovie(12);
  Movie m(moviePath(), false, out_, err_);
  m.open();
  m.seek(5);
  cv::Mat f;
  ASSERT_TRUE(m.getFrame(f));
  // The grey level tells which frame of the file was decoded.
  const int decoded = (f.at<cv::Vec3b>(10, 10)[0] + 5) / 10;
  EXPECT_EQ(decoded, 5);
  // Positions are one-based: the sixth frame of the file reports 6, so the
  // run driver seeks to one before the first frame it wants.
  EXPECT_EQ(m.position(), 6);
}

TEST_F(MovieTest, UnopenableMoviesAreFatal) {
  Movie m(moviePath("absent"), false, out_, err_);
  try {
    m.open();
    FAIL() << "expected FatalError";
  } catch (const FatalError& e) {
    EXPECT_EQ(std::string(e.what()), "Can't open movie file " + dir_ +
                                         "absent.avi\n(perhaps need to check that codec is "
                                         "supported)\n");
  }
  ::mkdir((dir_ + "isdir.avi").c_str(), 0777);
  Movie md(moviePath("isdir"), false, out_, err_);
  EXPECT_THROW(md.open(), FatalError);
  std::ofstream(dir_ + "junk.avi") << "RIFF this is not a movie";
  Movie mj(moviePath("junk"), false, out_, err_);
  EXPECT_THROW(mj.open(), FatalError);
}

}  // namespace
}  // namespace dukon
