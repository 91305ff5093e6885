#include "skeleton/head_orientation.h"

#include <gtest/gtest.h>

#include <utility>

#include "segment/head_tail.h"
#include "support/crawling.h"

namespace dukon {
namespace {

using testing_support::Crawl;
using testing_support::crawlRecords;

// `n` frames at 10 per second of a worm crawling forward with a swinging
// head, whose per-frame brightness decisions all put the head at the tail.
std::vector<SkelRecord> misleadingBrightness(int n) {
  Crawl crawl;
  crawl.swing = 0.5;
  std::vector<SkelRecord> records = crawlRecords(crawl, n, 10);
  for (SkelRecord& r : records) std::swap(r.head, r.tail);
  return records;
}

int headsAtChainStart(const std::vector<SkelRecord>& records, const Crawl& crawl) {
  int n = 0;
  for (size_t t = 0; t < records.size(); ++t) {
    const std::vector<cv::Point> truth = testing_support::crawlChain(crawl, t + 1);
    n += records[t].head == truth.front() && records[t].points.front() == truth.front();
  }
  return n;
}

TEST(HeadOrientation, CombinedFollowsTheEvidenceAndTheCheckFindsTheBrightRuleWrong) {
  Crawl crawl;
  crawl.swing = 0.5;
  std::vector<SkelRecord> bright = misleadingBrightness(100);
  std::vector<SkelRecord> combined = bright;
  const std::vector<RunJudgement> judged = judgeRuns(bright, 10);
  ASSERT_EQ(judged.size(), 1u);
  EXPECT_TRUE(judged[0].clear);

  orientHeadTail(bright);
  EXPECT_EQ(headsAtChainStart(bright, crawl), 0);
  const std::vector<HeadCheck> checks = checkHeads(bright, judged, 10);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0].firstFrame, 1);
  EXPECT_EQ(checks[0].lastFrame, 100);
  EXPECT_EQ(checks[0].frames, 100);
  EXPECT_DOUBLE_EQ(checks[0].seconds, 10.0);
  EXPECT_GT(checks[0].against.brightness, 0);
  EXPECT_LT(checks[0].against.swing, 0);
  EXPECT_LT(checks[0].against.total(), -0.5);

  orientByJudgement(combined, judged);
  EXPECT_EQ(headsAtChainStart(combined, crawl), 100);
  EXPECT_TRUE(checkHeads(combined, judged, 10).empty());
}

TEST(HeadOrientation, OnlyContradictionsOfMoreThanASecondAreReported) {
  std::vector<SkelRecord> records = misleadingBrightness(100);
  const std::vector<RunJudgement> judged = judgeRuns(records, 10);
  orientByJudgement(records, judged);
  auto turn = [&](int from, int to) {
    for (int i = from; i <= to; ++i) std::swap(records[i].head, records[i].tail);
  };
  turn(40, 49);  // frames 41-50: one second
  EXPECT_TRUE(checkHeads(records, judged, 10).empty());
  turn(50, 50);  // frames 41-51
  const std::vector<HeadCheck> checks = checkHeads(records, judged, 10);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0].firstFrame, 41);
  EXPECT_EQ(checks[0].lastFrame, 51);
  EXPECT_EQ(checks[0].frames, 11);
}

// Two frames make no frame pair: the brightness majority judges, and is
// never clear enough to contradict anything; without a brightness decision
// either the frames keep theirs.
TEST(HeadOrientation, RunsTooShortToCompareFramesTakeTheirBrightness) {
  std::vector<SkelRecord> pair = misleadingBrightness(2);
  const std::vector<RunJudgement> byBrightness = judgeRuns(pair, 10);
  ASSERT_EQ(byBrightness.size(), 1u);
  EXPECT_EQ(byBrightness[0].headEnd, -1);
  EXPECT_FALSE(byBrightness[0].clear);
  EXPECT_EQ(byBrightness[0].heads[0], pair[0].head);
  for (SkelRecord& r : pair) r.headKnown = false;
  EXPECT_EQ(judgeRuns(pair, 10)[0].headEnd, 0);
}

}  // namespace
}  // namespace dukon
