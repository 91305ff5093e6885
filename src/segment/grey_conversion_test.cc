#include "segment/grey_conversion.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace {

int differing(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return -1;
  return cv::countNonZero(a != b);
}

// Every one of the 2^24 colours converts to the image library's grey: the frame loop's grey frames
// must not change.
TEST(RgbToGreyTest, EveryColourAsTheLibraryConvertsIt) {
  cv::Mat colours(4096, 4096, CV_8UC3);
  for (int y = 0; y < colours.rows; ++y) {
    cv::Vec3b* row = colours.ptr<cv::Vec3b>(y);
    for (int x = 0; x < colours.cols; ++x)
      row[x] = cv::Vec3b(static_cast<uchar>(x), static_cast<uchar>(x >> 8 | (y & 15) << 4),
                         static_cast<uchar>(y >> 4));
  }
  cv::Mat expected;
  cv::cvtColor(colours, expected, cv::COLOR_RGB2GRAY);
  cv::Mat grey;
  rgbToGrey(colours, grey);
  EXPECT_EQ(differing(grey, expected), 0);
}

// Rows of every width up to two vector blocks and beyond, as views into a
// larger image (rows not contiguous, the last one ending at the buffer's
// end), and images the conversion hands to the library.
TEST(RgbToGreyTest, AnyWidthAndOtherImages) {
  cv::Mat whole(5, 120, CV_8UC3);
  cv::randu(whole, 0, 256);
  for (int width = 1; width <= 100; ++width) {
    const cv::Mat view = whole(cv::Rect(whole.cols - width, 1, width, 4));
    cv::Mat expected;
    cv::cvtColor(view, expected, cv::COLOR_RGB2GRAY);
    cv::Mat grey;
    rgbToGrey(view, grey);
    EXPECT_EQ(differing(grey, expected), 0) << "width " << width;
  }
  cv::Mat four(3, 7, CV_8UC4), grey, expected;
  cv::randu(four, 0, 256);
  rgbToGrey(four, grey);
  cv::cvtColor(four, expected, cv::COLOR_RGB2GRAY);
  EXPECT_EQ(differing(grey, expected), 0);
}

}  // namespace
}  // namespace dukon
