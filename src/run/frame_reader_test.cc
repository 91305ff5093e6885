#include "run/frame_reader.h"

#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include "support/files.h"

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

}  // namespace
}  // namespace dukon
