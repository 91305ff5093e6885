#include "skeleton/record_passes.h"

#include <gtest/gtest.h>

namespace dukon {
namespace {

std::vector<SkelRecord> withLengths(const std::vector<double>& lens) {
  std::vector<SkelRecord> recs(lens.size());
  for (size_t i = 0; i < lens.size(); ++i) {
    recs[i].len = lens[i];
    if (lens[i] >= 0) recs[i].points.assign(1, cv::Point(0, 0));
  }
  return recs;
}

TEST(RecordPassesTest, MedianLengthFromTruncatedHistogram) {
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

TEST(RecordPassesTest, ConsistencyAtExactlyNinePercent) {
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

TEST(RecordPassesTest, ConsistencyChecksMidJumpBetweenLocatedFrames) {
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

TEST(RecordPassesTest, LoopSpreadsOverNeighbouringFailedFrames) {
  // 0 fail, 1 fail, 2 consistent, 3 fail, 4 loop, 5..7 fail, 8 consistent,
  // 9 fail.
  std::vector<SkelRecord> recs(10);
  recs[2].consistent = recs[8].consistent = true;
  recs[4].loop = true;
  EXPECT_EQ(loopSpreading(recs), 5);
  for (int i : {3, 4, 5, 6, 7}) EXPECT_TRUE(recs[i].loop) << i;
  for (int i : {0, 1, 2, 8, 9}) EXPECT_FALSE(recs[i].loop) << i;
}

TEST(RecordPassesTest, LoopSpreadingStopsAtIgnoredAndNeverReachesRecordZero) {
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

// Records of a worm lying still between A and B; each record's chain runs
// from its `head` to its `tail` as decided per frame.
const cv::Point kA(0, 0), kB(20, 0);

SkelRecord still(cv::Point head, bool consistent = true, bool headKnown = true) {
  SkelRecord rec;
  const cv::Point tail = head == kA ? kB : kA;
  const int step = tail.x > head.x ? 1 : -1;
  for (int x = head.x; x != tail.x + step; x += step) rec.points.emplace_back(x, 0);
  rec.head = head;
  rec.tail = tail;
  rec.consistent = consistent;
  rec.headKnown = headKnown;
  return rec;
}

void expectHeadAt(const std::vector<SkelRecord>& records, int from, int to, cv::Point head) {
  for (int i = from; i < to; ++i) {
    EXPECT_EQ(records[i].head, head) << "record " << i;
    ASSERT_FALSE(records[i].points.empty());
    EXPECT_EQ(records[i].points.front(), head) << "record " << i;
    EXPECT_EQ(records[i].points.back(), records[i].tail) << "record " << i;
  }
}

TEST(OrientHeadTailTest, MajorityCountsTheStartFrame) {
  // Start frame and 3 more say A, 3 say B: 4 against 3. A record that is not
  // consistent is turned with the run but does not vote.
  std::vector<SkelRecord> r = {still(kA), still(kA),        still(kB), still(kA),
                               still(kB), still(kB, false), still(kA), still(kB)};
  orientHeadTail(r);
  expectHeadAt(r, 0, 8, kA);
}

TEST(OrientHeadTailTest, TieOverrulesTheStartFrame) {
  std::vector<SkelRecord> r = {
      still(kA), still(kA), still(kB), still(kB), still(kA), still(kB), still(kA, true, false)};
  orientHeadTail(r);
  expectHeadAt(r, 0, 7, kB);
}

TEST(OrientHeadTailTest, LoopOrIgnoredRecordEndsTheRun) {
  std::vector<SkelRecord> r = {still(kA), still(kA), still(kB),    SkelRecord(),     still(kB),
                               still(kB), still(kA), SkelRecord(), still(kA, false), still(kB)};
  r[3].loop = true;
  r[7].ignored = true;
  orientHeadTail(r);
  expectHeadAt(r, 0, 3, kA);
  expectHeadAt(r, 4, 7, kB);
  // The last run's search starts at the ignored record and finds record 9; the
  // record before it has sign 0 and keeps its own decision.
  expectHeadAt(r, 8, 9, kA);
  expectHeadAt(r, 9, 10, kB);
}

TEST(OrientHeadTailTest, EqualDistancesCountAsSwapped) {
  SkelRecord across;
  for (int y = -10; y <= 10; ++y) across.points.emplace_back(10, y);
  across.head = {10, -10};
  across.tail = {10, 10};
  across.consistent = true;
  std::vector<SkelRecord> r = {still(kA), across};
  orientHeadTail(r);
  EXPECT_EQ(r[1].head, cv::Point(10, 10));
  EXPECT_EQ(r[1].points.front(), cv::Point(10, 10));
}

TEST(OrientHeadTailTest, UndecidedRecordsBeforeTheRunAndWithoutOneKeepTheirEnds) {
  std::vector<SkelRecord> r = {still(kB, false), SkelRecord(), still(kA), still(kA)};
  r[0].head = kA;  // chain starts at B, which is now its tail: it is reversed
  r[0].tail = kB;
  orientHeadTail(r);
  EXPECT_EQ(r[0].head, kA);
  EXPECT_EQ(r[0].points.front(), kA);
  EXPECT_TRUE(r[1].points.empty());
  expectHeadAt(r, 2, 4, kA);

  // Nothing decided from the start on: no record is touched.
  std::vector<SkelRecord> none = {still(kB, true, false), still(kA, false)};
  none[0].head = kA;
  none[0].tail = kB;
  orientHeadTail(none);
  EXPECT_EQ(none[0].points.front(), kB);
}

TEST(OrientHeadTailTest, ManyRunsNeedNoDeepStack) {
  // 100000 runs of one record each, separated by loop records; each run keeps
  // its own decision.
  const int runs = 100000;
  std::vector<SkelRecord> r;
  r.reserve(2 * runs);
  for (int i = 0; i < runs; ++i) {
    r.push_back(still(i % 2 ? kB : kA));
    r.emplace_back();
    r.back().loop = true;
  }
  orientHeadTail(r);
  EXPECT_EQ(r[0].head, kA);
  EXPECT_EQ(r[2].head, kB);
  EXPECT_EQ(r[2 * runs - 2].head, kB);
  EXPECT_EQ(r[2 * runs - 2].points.front(), kB);
}

}  // namespace
}  // namespace dukon
