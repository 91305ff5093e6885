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
    rec.addPoint(x, y);
    ++x;
    if (i % 3 == 2) ++y;
  }
  return rec;
}

double stepLen(cv::Point a, cv::Point b) {
  return std::hypot(b.x - a.x, b.y - a.y);
}

TEST(SkelRecordTest, ReverseSwapsActiveListBetweenIndices) {
  SkelRecord rec = chain(6);
  const std::vector<cv::Point> before = rec.points;
  rec.reverse(1, 3);
  EXPECT_EQ(rec.points[0], before[0]);
  EXPECT_EQ(rec.points[1], before[3]);
  EXPECT_EQ(rec.points[2], before[2]);
  EXPECT_EQ(rec.points[3], before[1]);
  EXPECT_EQ(rec.points[5], before[5]);
  rec.reverse(0, -1);
  EXPECT_EQ(rec.points[0], before[5]);
  EXPECT_EQ(rec.points[5], before[0]);

  rec.bucketMode = true;
  rec.addPoint(1, 1);
  rec.addPoint(2, 2);
  rec.addPoint(3, 3);
  EXPECT_EQ(rec.bucketCount, 3);
  EXPECT_EQ(rec.numsklpts, 6);
  rec.reverse(0, -1);
  EXPECT_EQ(rec.bucket.front(), cv::Point(3, 3));
  EXPECT_EQ(rec.bucket.back(), cv::Point(1, 1));
  EXPECT_EQ(rec.points[0], before[5]);  // the chain is not the active list
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

std::vector<SkelRecord> withLengths(const std::vector<double>& lens) {
  std::vector<SkelRecord> recs(lens.size());
  for (size_t i = 0; i < lens.size(); ++i) {
    recs[i].len = lens[i];
    recs[i].numsklpts = lens[i] < 0 ? 0 : 1;
  }
  return recs;
}

TEST(SkelRecordTest, MedianLengthFromTruncatedHistogram) {
  // Five counted records (total / 2 = 2); the one without chain is ignored.
  auto recs = withLengths({30.9, 10.2, -1, 20.5, 50.0, 40.0});
  EXPECT_EQ(medianLength(recs, 100), 20);
  recs.resize(3);
  EXPECT_EQ(medianLength(recs, 100), 10);  // only the first three records
  // Beyond 2 * mmpix everything lands in the last bin.
  auto longOnes = withLengths({500, 600, 700});
  EXPECT_EQ(medianLength(longOnes, 100), 200);
  EXPECT_EQ(medianLength(withLengths({-1, -1}), 100), 0);
  EXPECT_EQ(medianLength({}, 100), 0);
  // A single chain is its own median, and so consistent.
  auto single = withLengths({-1, 150.7, -1});
  EXPECT_EQ(medianLength(single, 100), 150);
  EXPECT_EQ(consistencyPass(single, medianLength(single, 100)), 1);
}

TEST(SkelRecordTest, ConsistencyAtExactlyNinePercent) {
  auto recs = withLengths({109, 91, 109.5, 90.5, 100, 100});
  recs[5].loop = true;
  EXPECT_EQ(consistencyPass(recs, 100), 3);
  EXPECT_TRUE(recs[0].consistent);
  EXPECT_TRUE(recs[1].consistent);
  EXPECT_FALSE(recs[2].consistent);
  EXPECT_FALSE(recs[3].consistent);
  EXPECT_TRUE(recs[4].consistent);
  EXPECT_FALSE(recs[5].consistent);
}

TEST(SkelRecordTest, ConsistencyChecksMidJumpBetweenLocatedFrames) {
  auto recs = withLengths({100, 100, 100, 100});
  for (auto& r : recs) r.located = true;
  recs[1].mid = cv::Point(9, 0);   // 9 from record 0: kept
  recs[2].mid = cv::Point(19, 0);  // 10 from record 1: dropped
  recs[3].mid = cv::Point(40, 0);  // far, but record 3 is not located
  recs[3].located = false;
  EXPECT_EQ(consistencyPass(recs, 100), 3);
  EXPECT_TRUE(recs[1].consistent);
  EXPECT_FALSE(recs[2].consistent);
  EXPECT_TRUE(recs[3].consistent);
}

TEST(SkelRecordTest, LoopSpreadsOverNeighbouringFailedFrames) {
  // 0 fail, 1 fail, 2 consistent, 3 fail, 4 loop, 5..7 fail, 8 consistent,
  // 9 fail.
  std::vector<SkelRecord> recs(10);
  recs[2].consistent = recs[8].consistent = true;
  recs[4].loop = true;
  EXPECT_EQ(loopSpreading(recs), 5);
  for (int i : {3, 4, 5, 6, 7}) EXPECT_TRUE(recs[i].loop) << i;
  for (int i : {0, 1, 2, 8, 9}) EXPECT_FALSE(recs[i].loop) << i;
}

TEST(SkelRecordTest, LoopSpreadingStopsAtIgnoredAndNeverReachesRecordZero) {
  for (bool ignored : {true, false}) {  // a frame without worm stops it too
    std::vector<SkelRecord> recs(6);
    recs[2].loop = true;
    (ignored ? recs[4].ignored : recs[4].noWorm) = true;
    EXPECT_EQ(loopSpreading(recs), 3);  // 2, then 1 backward, 3 forward
    EXPECT_FALSE(recs[0].loop);
    EXPECT_TRUE(recs[1].loop);
    EXPECT_TRUE(recs[3].loop);
    EXPECT_FALSE(recs[4].loop);
    EXPECT_FALSE(recs[5].loop);
  }

  std::vector<SkelRecord> ign(3);
  ign[1].loop = ign[1].ignored = true;  // an ignored loop record spreads nothing
  EXPECT_EQ(loopSpreading(ign), 0);
  EXPECT_FALSE(ign[2].loop);
}

}  // namespace
}  // namespace dukon
