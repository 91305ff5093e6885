#include "base/skel_record.h"

#include <cmath>
#include <sstream>

#include <gtest/gtest.h>

namespace dukon {
namespace {

// A chain of `n` points running right, stepping diagonally down on every
// third point, so that unit and diagonal steps are mixed.
SkelRecord chain(int n) {
  SkelRecord rec;
  int x = 10, y = 10;
  for (int i = 0; i < n; ++i) {
    rec.points.emplace_back(x, y);
    ++x;
    if (i % 3 == 2) ++y;
  }
  return rec;
}

double stepLen(cv::Point a, cv::Point b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

TEST(SkelRecordTest, LengthOf25PointsSumsEveryStep) {
  SkelRecord rec = chain(25);
  rec.computeLength();
  double expected = 0;
  for (int i = 1; i < 25; ++i) expected += stepLen(rec.points[i - 1], rec.points[i]);
  EXPECT_DOUBLE_EQ(rec.len, expected);
  EXPECT_GT(rec.len, 24.0);  // some steps are diagonal
}

TEST(SkelRecordTest, LengthOf45PointsUsesChordsOfTwo) {
  SkelRecord rec = chain(45);
  rec.computeLength();
  // step 2, rest 1: start at 0, chords ending at indices 2, 4, ..., 44.
  double expected = 0;
  for (int i = 2; i < 45; i += 2) expected += stepLen(rec.points[i - 2], rec.points[i]);
  EXPECT_DOUBLE_EQ(rec.len, expected);
}

TEST(SkelRecordTest, LengthCountsLeftOverEndPoints) {
  // 68 points: step 3, rest 2, so one pixel for each end and chords ending
  // at indices 4, 7, ..., 67.
  SkelRecord rec = chain(68);
  rec.computeLength();
  double expected = 2;
  for (int i = 1 + 3; i < 68; i += 3) expected += stepLen(rec.points[i - 3], rec.points[i]);
  EXPECT_DOUBLE_EQ(rec.len, expected);
}

TEST(SkelRecordTest, ShortChainsAreMeasuredPointByPoint) {
  SkelRecord rec = chain(5);
  rec.computeLength();
  double expected = 0;
  for (int i = 1; i < 5; ++i) expected += stepLen(rec.points[i - 1], rec.points[i]);
  EXPECT_DOUBLE_EQ(rec.len, expected);
  SkelRecord one = chain(1);
  one.computeLength();
  EXPECT_EQ(one.len, 0.0);
}

TEST(SkelRecordTest, AreaSkipsLastRowAndLastTwoColumns) {
  cv::Mat mask = cv::Mat::zeros(10, 12, CV_8UC1);
  mask.at<uchar>(2, 3) = 1;
  mask.at<uchar>(4, 5) = 255;
  mask.at<uchar>(9, 5) = 1;   // last row: not counted
  mask.at<uchar>(5, 10) = 1;  // second-to-last column: not counted
  mask.at<uchar>(5, 11) = 1;  // last column: not counted
  SkelRecord rec = chain(25);
  rec.basicMeasures(mask);
  EXPECT_EQ(rec.area, 2.0);
  // Row sum (2+1)+(4+1) = 8, column sum (3+1)+(5+1) = 10; each / 2.
  EXPECT_EQ(rec.cmass[0], 4);
  EXPECT_EQ(rec.cmass[1], 5);
  EXPECT_DOUBLE_EQ(rec.thickness, 2.0 / rec.len);
  EXPECT_EQ(rec.mid, rec.points[12]);
  EXPECT_EQ(rec.centroid, cv::Point2d(4.0, 3.0));  // zero-based, x first
}

TEST(SkelRecordTest, CentroidIsTheMaskMeanWhereCmassTruncates) {
  cv::Mat mask = cv::Mat::zeros(6, 6, CV_8UC1);
  mask.at<uchar>(1, 1) = mask.at<uchar>(1, 2) = mask.at<uchar>(2, 2) = 1;
  SkelRecord rec = chain(25);
  rec.basicMeasures(mask);
  EXPECT_DOUBLE_EQ(rec.centroid.x, 5.0 / 3.0);
  EXPECT_DOUBLE_EQ(rec.centroid.y, 4.0 / 3.0);
  EXPECT_EQ(rec.cmass[0], 2);  // one-based mean 7/3, truncated
  EXPECT_EQ(rec.cmass[1], 2);  // 8/3
}

TEST(SkelRecordTest, EmptyMaskAndEmptyChainGiveNoDivisionByZero) {
  cv::Mat mask = cv::Mat::zeros(5, 5, CV_8UC1);
  SkelRecord rec;
  rec.basicMeasures(mask);
  EXPECT_EQ(rec.area, 0.0);
  EXPECT_EQ(rec.cmass[0], 0);
  EXPECT_EQ(rec.cmass[1], 0);
  EXPECT_TRUE(std::isnan(rec.thickness));
}

TEST(SkelRecordTest, ValidateReportsEachFault) {
  std::ostringstream err;
  SkelRecord empty;
  EXPECT_FALSE(validate(empty, 10, true, err));
  EXPECT_EQ(err.str(), "");

  SkelRecord two = chain(2);
  EXPECT_FALSE(validate(two, 10, true, err));
  EXPECT_EQ(err.str(), "[short=0.2mm] ");

  err.str("");
  SkelRecord rep = chain(10);
  rep.points[5] = rep.points[4];
  rep.points[8] = cv::Point(100, 100);  // a later gap is not reached
  EXPECT_FALSE(validate(rep, 10, true, err));
  EXPECT_EQ(err.str(), "[repeat@5] ");

  err.str("");
  SkelRecord gap = chain(10);
  gap.points[7] = cv::Point(30, 40);
  EXPECT_FALSE(validate(gap, 10, true, err));
  const cv::Point p = gap.points[6];
  std::ostringstream want;
  want << "[disconnect@7] " << p.x << "," << p.y << "->30,40 ";
  EXPECT_EQ(err.str(), want.str());

  err.str("");
  EXPECT_FALSE(validate(gap, 10, false, err));
  EXPECT_TRUE(validate(chain(3), 10, true, err));  // exactly trunc(0.3 * 10) points
  EXPECT_EQ(err.str(), "");
}

}  // namespace
}  // namespace dukon
