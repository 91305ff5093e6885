#include "output/wave_image.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "support/files.h"

namespace dukon {
namespace {

class WaveTest : public ::testing::Test {
 protected:
  WaveTest() : dir_(testing_support::freshTestDir() + "/") {}
  std::string dir_;  // holds the saved images
};

// Notes, then draws, each (frame, profile): the two passes of a run.
void drawAll(Wave& wave, const std::vector<std::pair<int, std::vector<double>>>& columns) {
  for (const auto& [frame, profile] : columns)
    wave.noteProfile(frame, profile, static_cast<int>(profile.size()));
  for (const auto& [frame, profile] : columns)
    wave.addColumn(frame, profile, static_cast<int>(profile.size()));
}

// Rows of `column` that differ from `background`.
std::vector<int> drawnRows(const cv::Mat& img, int column, uchar background) {
  std::vector<int> rows;
  for (int y = 0; y < img.rows; ++y)
    if (img.at<uchar>(y, column) != background) rows.push_back(y);
  return rows;
}

TEST_F(WaveTest, MarkerColumnsEveryHundredFrames) {
  Wave wave(1000, 1249, 40);
  ASSERT_EQ(wave.width(), 250);
  ASSERT_EQ(wave.height(), 40);
  std::ostringstream msg;
  const cv::Mat img = wave.render(25, msg);
  for (int y = 0; y < 40; ++y) {
    EXPECT_EQ(img.at<uchar>(y, 0), 127);
    EXPECT_EQ(img.at<uchar>(y, 99), 127);
    EXPECT_EQ(img.at<uchar>(y, 100), 30);
    EXPECT_EQ(img.at<uchar>(y, 101), 127);
    EXPECT_EQ(img.at<uchar>(y, 200), 30);
  }
}

TEST_F(WaveTest, ShortProfileIsCentredLongProfileShowsItsMiddle) {
  Wave wave(0, 9, 40);
  std::vector<double> shortProfile(30);
  for (int i = 0; i < 30; ++i) shortProfile[i] = i + 1;
  std::vector<double> longProfile(51);
  for (int i = 0; i < 51; ++i) longProfile[i] = -(i + 1);
  // Only numAngles values are used; frames outside the range are ignored,
  // and so are their values for the scale.
  const std::vector<double> huge(30, 1000.0);
  for (int pass = 0; pass < 2; ++pass) {
    void (Wave::*step)(int, const std::vector<double>&, int) =
        pass == 0 ? &Wave::noteProfile : &Wave::addColumn;
    (wave.*step)(3, shortProfile, 30);
    (wave.*step)(4, longProfile, 51);  // offset (51 - 40) / 2 = 5: values -6 .. -45
    (wave.*step)(5, shortProfile, 2);
    (wave.*step)(6, shortProfile, 999);  // more than the profile holds
    (wave.*step)(10, huge, 30);
    (wave.*step)(-1, huge, 30);
  }
  std::ostringstream msg;
  const cv::Mat img = wave.render(1, msg);
  // The scale is 45, the largest magnitude shown.
  std::vector<int> rows(30);
  for (int i = 0; i < 30; ++i) rows[i] = 5 + i;
  EXPECT_EQ(drawnRows(img, 3, 127), rows);
  EXPECT_EQ(img.at<uchar>(5, 3), static_cast<uchar>((1.0 / 45 + 1) * 127));
  EXPECT_EQ(img.at<uchar>(34, 3), static_cast<uchar>((30.0 / 45 + 1) * 127));
  EXPECT_EQ(img.at<uchar>(0, 4), static_cast<uchar>((-6.0 / 45 + 1) * 127));
  EXPECT_EQ(img.at<uchar>(39, 4), 0);
  EXPECT_EQ(drawnRows(img, 5, 127), (std::vector<int>{19, 20}));
  EXPECT_EQ(drawnRows(img, 6, 127), rows);
}

TEST_F(WaveTest, ProfileReplacesTheMarkerOnlyWhereItReaches) {
  Wave wave(0, 150, 10);
  drawAll(wave, {{100, {5.0, -5.0}}});
  std::ostringstream msg;
  const cv::Mat img = wave.render(1, msg);
  EXPECT_EQ(drawnRows(img, 100, 30), (std::vector<int>{4, 5}));
  EXPECT_EQ(img.at<uchar>(4, 100), 254);
  EXPECT_EQ(img.at<uchar>(5, 100), 0);
}

TEST_F(WaveTest, PixelScaleUsesTheLargerMagnitude) {
  Wave wave(0, 4, 4);
  drawAll(wave, {{0, {-20.0, 0.0, 20.0, 10.0}}});
  std::ostringstream msg;
  cv::Mat img = wave.render(1, msg);
  EXPECT_EQ(msg.str(), "");
  EXPECT_EQ(img.at<uchar>(0, 0), 0);
  EXPECT_EQ(img.at<uchar>(1, 0), 127);
  EXPECT_EQ(img.at<uchar>(2, 0), 254);
  EXPECT_EQ(img.at<uchar>(3, 0), 190);  // trunc(1.5 * 127)
  EXPECT_EQ(img.at<uchar>(0, 1), 127);  // never written

  // The negative side is larger: it sets the scale for both.
  Wave wider(0, 4, 4);
  drawAll(wider, {{0, {-20.0, 0.0, 20.0, 10.0}}, {1, {-40.0, 0, 0, 0}}});
  img = wider.render(1, msg);
  EXPECT_EQ(img.at<uchar>(0, 1), 0);
  EXPECT_EQ(img.at<uchar>(2, 0), 190);
  EXPECT_EQ(img.at<uchar>(0, 0), 63);  // trunc(0.5 * 127)
}

TEST_F(WaveTest, ScaleIsFixedOnceDrawingStarts) {
  Wave wave(0, 4, 3);
  wave.noteProfile(0, {10.0, -10.0}, 2);
  wave.addColumn(0, {10.0, -10.0}, 2);
  EXPECT_THROW(wave.noteProfile(1, {50.0}, 1), std::logic_error);
  // Values never noted are drawn at the end of the scale, NaN not at all.
  wave.addColumn(1, {50.0, -50.0, std::nan("")}, 3);
  std::ostringstream msg;
  const cv::Mat img = wave.render(1, msg);
  EXPECT_EQ(img.at<uchar>(0, 1), 254);
  EXPECT_EQ(img.at<uchar>(1, 1), 0);
  EXPECT_EQ(img.at<uchar>(2, 1), 127);
}

TEST_F(WaveTest, ZeroMessagesForAnEmptySide) {
  Wave empty(0, 9, 5);
  std::ostringstream msg;
  cv::Mat img = empty.render(1, msg);
  EXPECT_EQ(msg.str(), "wave maxVal is zero!!!wave minVal is zero!!!");
  EXPECT_EQ(cv::countNonZero(img != 127), 0);

  Wave positive(0, 9, 5);
  drawAll(positive, {{0, {3.0}}});
  msg.str("");
  img = positive.render(1, msg);
  EXPECT_EQ(msg.str(), "wave minVal is zero!!!");
  EXPECT_EQ(img.at<uchar>(2, 0), 254);

  Wave negative(0, 9, 5);
  drawAll(negative, {{0, {-0.5}}});
  msg.str("");
  img = negative.render(1, msg);
  EXPECT_EQ(msg.str(), "wave maxVal is zero!!!");
  EXPECT_EQ(img.at<uchar>(2, 0), 63);  // scale 1.0 from the empty side wins
}

// A blank wave image of `width` x 40 with its marker columns and the given
// minute labels, each at its column + 3, 3 rows above the bottom.
cv::Mat labelled(int width, const std::vector<std::pair<int, const char*>>& labels) {
  cv::Mat img(40, width, CV_8UC1, cv::Scalar(127));
  for (int x = 100; x < width; x += 100) img.col(x).setTo(30);
  for (const auto& [x, text] : labels) {
    cv::putText(img, text, {x + 3, 37}, cv::FONT_HERSHEY_PLAIN, 1.0, cv::Scalar(0), 1, cv::LINE_8);
  }
  return img;
}

bool same(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && cv::countNonZero(a != b) == 0;
}

TEST_F(WaveTest, MinuteLabels) {
  std::ostringstream msg;
  // 150 frames at 1 frame per second: labels at columns 60 and 120.
  Wave wave(0, 149, 40);
  EXPECT_TRUE(same(wave.render(1.0, msg), labelled(150, {{60, "1 min."}, {120, "2 min."}})));
  // 12.5 frames per second: a label every 750 columns.
  Wave longer(0, 1600, 40);
  EXPECT_TRUE(same(longer.render(12.5, msg), labelled(1601, {{750, "1 min."}, {1500, "2 min."}})));
  // Below one frame per minute (a step of 0 columns) there is no label.
  EXPECT_TRUE(same(wave.render(1.0 / 61, msg), labelled(150, {})));
  EXPECT_TRUE(same(wave.render(0.0, msg), labelled(150, {})));
  EXPECT_TRUE(same(wave.render(-5.0, msg), labelled(150, {})));
}

TEST_F(WaveTest, MakeImageWritesWaveBmp) {
  Wave wave(0, 119, 30);
  drawAll(wave, {{7, {10.0, -10.0}}});
  std::ostringstream msg, err;
  const std::string path = dir_ + "wavetest-wave.bmp";
  std::remove(path.c_str());
  ASSERT_TRUE(wave.makeImage(path, 1.0, msg, err));
  EXPECT_EQ(err.str(), "");
  const cv::Mat saved = cv::imread(path, cv::IMREAD_GRAYSCALE);
  ASSERT_EQ(saved.size(), cv::Size(120, 30));
  EXPECT_EQ(cv::countNonZero(saved != wave.render(1.0, msg)), 0);
  EXPECT_EQ(saved.at<uchar>(14, 7), 254);
  EXPECT_EQ(saved.at<uchar>(15, 7), 0);
}

TEST(WaveSaveTest, FailureIsReportedAndReturned) {
  // No file can be created under a regular file.
  const std::string file = ::testing::TempDir() + "dukon_wave_not_a_dir";
  {
    std::FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const std::string path = file + "/wavetest-wave.bmp";
  Wave wave(0, 9, 5);
  std::ostringstream msg, err;
  EXPECT_FALSE(wave.makeImage(path, 1.0, msg, err));
  EXPECT_EQ(err.str(), "Could'nt save " + path + "\n");

  // No frames to show: no image is written, which is not a failure.
  Wave none(10, 9, 5);
  EXPECT_EQ(none.width(), 0);
  drawAll(none, {{10, {1.0}}});
  err.str("");
  msg.str("");
  EXPECT_TRUE(none.makeImage(path, 1.0, msg, err));
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(msg.str(), "no frames in range: " + path + " not written\n");
}

}  // namespace
}  // namespace dukon
