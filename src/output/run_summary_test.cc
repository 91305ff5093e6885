#include "output/run_summary.h"

#include <gtest/gtest.h>

#include <sstream>

namespace dukon {
namespace {

TEST(RunSummaryTest, FileAndConsoleForms) {
  RunCounts c;
  c.totalFrames = 22;
  c.realFrames = 21;
  c.goodFrames = 20;
  c.consistentFrames = 21;
  c.ignoredFrames = 1;
  c.lastReached = 21;
  c.lastPlanned = 30;
  std::ostringstream wxo, con;
  wxo.precision(2);
  writeRunSummary(wxo, c);
  writeConsoleSummary(con, c);
  EXPECT_EQ(wxo.str(),
            "Total frames (key+drop) in movie: 22\n"
            "Real frames (key) extracted: 21\n"
            "Exited at frame index 21\n"
            "Good frames (with skeleton) analyzed: 20 (95%)\n"
            "Consistent frames (skeleton is good and no loop): 21 (1e+02%)\n"
            "Ignored 1 frames as directed\n");
  EXPECT_EQ(con.str(),
            "Total frames (key+drop) in movie: 22\n"
            "Real frames (key) extracted: 21\n"
            "Good frames (with skeleton) analyzed: 20 (95.2381%)\n"
            "Consistent frames (skeleton is good): 21 (100%)\n"
            "Ignored 1 frames as directed\n");
  // Nothing taken: shares of 0, and no optional line.
  std::ostringstream none;
  writeRunSummary(none, RunCounts{1, 0, 0, 0, 0, 5, 5});
  EXPECT_EQ(none.str(),
            "Total frames (key+drop) in movie: 1\n"
            "Real frames (key) extracted: 0\n"
            "Good frames (with skeleton) analyzed: 0 (0%)\n"
            "Consistent frames (skeleton is good and no loop): 0 (0%)\n");
}

}  // namespace
}  // namespace dukon
