#include "output/image_file.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "support/files.h"

namespace dukon {
namespace {

// The run's BMPs must stay byte-identical to the image library's encoder,
// which earlier runs' files came from: every channel count, each row padding
// (widths 1 to 4 and 640), and a view into a larger image.
TEST(EncodeBmpTest, SameBytesAsTheLibrarysEncoder) {
  cv::RNG rng(7);
  for (int type : {CV_8UC1, CV_8UC3, CV_8UC4}) {
    for (cv::Size size :
         {cv::Size(1, 1), cv::Size(2, 3), cv::Size(3, 5), cv::Size(4, 2), cv::Size(640, 3)}) {
      cv::Mat whole(size.height + 2, size.width + 3, type);
      rng.fill(whole, cv::RNG::UNIFORM, 0, 256);
      for (const cv::Mat& img : {whole(cv::Rect(0, 0, size.width, size.height)),
                                 whole(cv::Rect(2, 1, size.width, size.height)).clone()}) {
        std::vector<uint8_t> ours;
        std::vector<uchar> theirs;
        ASSERT_TRUE(encodeBmp(img, &ours));
        ASSERT_TRUE(cv::imencode(".bmp", img, theirs));
        EXPECT_EQ(std::vector<uint8_t>(theirs.begin(), theirs.end()), ours)
            << "type " << type << ", " << size;
      }
    }
  }
  std::vector<uint8_t> bytes{1};
  EXPECT_FALSE(encodeBmp(cv::Mat(2, 2, CV_16UC1, cv::Scalar(1)), &bytes));
  EXPECT_FALSE(encodeBmp(cv::Mat(2, 2, CV_8UC2, cv::Scalar(1)), &bytes));
  EXPECT_FALSE(encodeBmp(cv::Mat(), &bytes));
  EXPECT_TRUE(bytes.empty());
}

// Images the BMP writer does not take still go to the library's encoders.
TEST(SaveImageTest, OtherImagesAndNamesUseTheLibrary) {
  const std::string dir = testing_support::freshTestDir() + "/";
  std::ostringstream err;
  const cv::Mat wide(3, 4, CV_16UC1, cv::Scalar(7));
  ASSERT_TRUE(saveImage(dir + "a.BMP", wide, err));
  ASSERT_TRUE(saveImage(dir + "b.png", cv::Mat(3, 4, CV_8UC1, cv::Scalar(9)), err));
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(cv::imread(dir + "a.BMP", cv::IMREAD_UNCHANGED).at<uchar>(2, 3), 7);
  EXPECT_EQ(cv::imread(dir + "b.png", cv::IMREAD_UNCHANGED).at<uchar>(2, 3), 9);
  EXPECT_FALSE(saveImage(dir + "c.nosuchformat", wide, err));
  EXPECT_EQ(err.str(), "Could'nt save " + dir + "c.nosuchformat\n");
}

}  // namespace
}  // namespace dukon
