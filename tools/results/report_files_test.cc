// The readers of the report files: wxs.txt, the run summary of wxo.txt and
// eggs.txt.
#include <gtest/gtest.h>

#include <string>

#include "results/behaviour_report.h"
#include "results/egg_table.h"
#include "results/reader_test_fixture.h"
#include "results/run_summary.h"

namespace dukon {
namespace results {
namespace {

const char kReport[] =
    "Movements compressed from 4 elements to 2 elements (reduction of 50%)\n"
    "\n"
    "0-10: forward distance of 20 at angle 0 at speed 2\n"
    "10-20: reversal backward omega (@#12) distance of 20 at angle 180 at speed 2\n"
    "\n"
    "pause rate: 0 per minute (0 total)\n"
    "% time in pause:  0% (0 frames)\n"
    "omega rate: 3 per minute (1 total)\n"
    "% time in omega:  50% (10 frames)\n"
    "loop rate: n/a per minute (0 total)\n"
    "% time in loop:  0% (0 frames)\n"
    "\n"
    "reversals rate: 3 per minute (1 total)\n";

TEST_F(ReaderTest, BehaviourReportSegmentsAndTotals) {
  const BehaviourReport r = readBehaviourReport(write("w-wxs.txt", kReport));
  EXPECT_EQ(r.cut, 4);
  EXPECT_EQ(r.merged, 2);
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_EQ(r.segments[1].first, 10);
  EXPECT_EQ(r.segments[1].last, 20);
  EXPECT_EQ(r.segments[1].text.substr(0, 33), "reversal backward omega (@#12) di");
  EXPECT_EQ(r.totals.at("omega"), 1);
  EXPECT_EQ(r.totals.at("loop"), 0);
  EXPECT_EQ(r.totals.at("reversals"), 1);

  const std::string report(kReport);
  struct Case {
    std::string text, message;
  } cases[] = {
      {report.substr(1),
       ":1: expected 'Movements compressed from N elements to M elements ...' "
       "and an empty line"},
      {report.substr(0, report.find("10-20")) + "\n",
       ":4: 1 segment lines, 2 announced (file "
       "truncated?)"},
      {report.substr(0, report.find("reversals")),
       ":12: no 'reversals rate' line (file "
       "truncated?)"},
  };
  for (const Case& c : cases) {
    const std::string path = write("w-wxs.txt", c.text);
    EXPECT_EQ(failure([&] { readBehaviourReport(path); }), path + c.message);
  }
}

TEST_F(ReaderTest, RunSummaryWithAndWithoutItsOptionalLines) {
  std::string text =
      "Total frames (key+drop) in movie: 120\n"
      "Real frames (key) extracted: 118\n"
      "Exited at frame index 118\n"
      "Good frames (with skeleton) analyzed: 100 (85%)\n"
      "Consistent frames (skeleton is good and no loop): 90 (76%)\n"
      "Ignored 3 frames as directed\n"
      "\nframe OK? (head)(mid)(tail) ...\n";
  RunSummary s = readRunSummary(write("w-wxo.txt", text));
  EXPECT_EQ(s.total, 120);
  EXPECT_EQ(s.real, 118);
  EXPECT_EQ(s.exitedAt, 118);
  EXPECT_EQ(s.good, 100);
  EXPECT_EQ(s.consistent, 90);
  EXPECT_EQ(s.ignored, 3);
  s = readRunSummary(write("w-wxo.txt",
                           "Total frames (key+drop) in movie: 1\n"
                           "Real frames (key) extracted: 0\n"
                           "Good frames (with skeleton) analyzed: 0 (0%)\n"
                           "Consistent frames (skeleton is good and no loop): 0 "
                           "(0%)\n"));
  EXPECT_EQ(s.exitedAt, -1);
  const std::string path = write("w-wxo.txt", "Total frames (key+drop) in movie: 1\nnoise\n");
  EXPECT_EQ(failure([&] { readRunSummary(path); }),
            path + ":2: not a line of the run summary: 'noise'");
}

TEST_F(ReaderTest, EggTableRowsOrNone) {
  const std::vector<EggRow> eggs =
      readEggTable(write("w-eggs.txt",
                         "# eggs - eggs found in the movie\n"
                         "#frame\tts\tsize\tloc\tverified\n"
                         "7\t2000\t3.5\t15,26\t42 \n"
                         "\n# all sizes are in pixels (not real sizes). \n"));
  ASSERT_EQ(eggs.size(), 1u);
  EXPECT_EQ(eggs[0].frame, 7);
  EXPECT_DOUBLE_EQ(eggs[0].ts, 2000);
  EXPECT_DOUBLE_EQ(eggs[0].size, 3.5);
  EXPECT_EQ(eggs[0].x, 15);
  EXPECT_EQ(eggs[0].y, 26);
  EXPECT_EQ(eggs[0].verified, 42);
  EXPECT_TRUE(readEggTable(write("none.txt",
                                 "# eggs - eggs found in the movie\n"
                                 "# no eggs clusters found. \n"))
                  .empty());
  const std::string path = write("cut.txt",
                                 "# eggs - eggs found in the movie\n"
                                 "#frame\tts\tsize\tloc\tverified\n"
                                 "7\t2000\t3.5\t15,26\t42 \n");
  EXPECT_EQ(failure([&] { readEggTable(path); }),
            path + ":4: the closing line is missing (file truncated?)");
}

}  // namespace
}  // namespace results
}  // namespace dukon
