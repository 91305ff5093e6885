#include "run/frame_reader.h"

#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include "support/files.h"
#include "support/mjpeg_avi.h"

namespace dukon {
namespace {

// A lossless movie of 40 frames whose grey level is 5 times the frame
// number; frames are read on, ahead, back and past the end.
TEST(FrameReaderTest, ReadsFramesByNumberInAnyOrder) {
  const std::string path = testing_support::freshTestDir() + "/m.avi";
  {
    cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), 25.0,
                      cv::Size(32, 24));
    ASSERT_TRUE(w.isOpened());
    for (int n = 1; n <= 40; ++n) w.write(cv::Mat(24, 32, CV_8UC3, cv::Scalar::all(5 * n)));
  }
  FrameReader reader(path);
  cv::Mat grey;
  for (int frame : {3, 4, 4, 20, 39, 2, 1, 40}) {
    ASSERT_TRUE(reader.read(frame, grey)) << frame;
    EXPECT_EQ(grey.type(), CV_8UC1);
    EXPECT_EQ(grey.at<uchar>(10, 10), 5 * frame) << frame;
  }
  EXPECT_FALSE(reader.read(41, grey));
  EXPECT_FALSE(reader.read(0, grey));
  EXPECT_TRUE(reader.read(7, grey));
  EXPECT_FALSE(FrameReader(path + ".missing").read(1, grey));
}

// Frames the frame loop leaves out are refused here too, whichever way they
// are reached: a damaged frame (7), and frames of another size (from 15 on,
// two recordings joined: the decoder reports each and hands out frame 14
// again). Their neighbours read as usual. The frames are
// grey 5 times their number with noise of mean 10, so that a cut JPEG still
// holds part of an image.
TEST(FrameReaderTest, RefusesBrokenFramesAndFramesOfAnotherSize) {
  const std::string path = testing_support::freshTestDir() + "/joined.avi";
  cv::RNG rng(7);
  std::vector<std::string> jpegs;
  for (int n = 1; n <= 20; ++n) {
    cv::Mat f(n >= 15 ? cv::Size(320, 240) : cv::Size(200, 160), CV_8UC3);
    rng.fill(f, cv::RNG::UNIFORM, 5 * n, 5 * n + 21);
    const std::string j = testing_support::jpegOf(f);
    jpegs.push_back(n == 7 ? j.substr(0, j.size() / 2) : j);
  }
  testing_support::writeMjpegAvi(path, jpegs, 200, 160);
  FrameReader reader(path, cv::Size(200, 160));
  cv::Mat grey;
  for (int frame : {5, 6, 7, 8, 7, 16, 14, 3, 18}) {
    const bool fit = frame != 7 && frame < 15;
    EXPECT_EQ(reader.read(frame, grey), fit) << frame;
    if (fit) {
      EXPECT_NEAR(cv::mean(grey)[0], 5 * frame + 10, 2) << frame;
    }
  }
}

}  // namespace
}  // namespace dukon
