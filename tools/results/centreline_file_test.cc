#include "results/centreline_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "results/reader_test_fixture.h"

namespace dukon {
namespace results {
namespace {

// A centreline row: the frame, its source and error, 49 points along x
// from (x0, y) in steps of 2, the stage location (100, 10).
std::string centrelineRow(int frame, const std::string& source, const std::string& error, int x0,
                          int y) {
  std::string row = std::to_string(frame) + "," + source + "," + error;
  for (int k = 0; k < 49; ++k) {
    row += source == "none" ? ",," : "," + std::to_string(x0 + 2 * k) + "," + std::to_string(y);
  }
  return row + ",100,10\n";
}

// Every kind of row in file order, world points as written; a damaged row
// is named by file and line.
TEST_F(ReaderTest, CentrelineFileRowsOfEveryKind) {
  std::string header = "frame,source,fit_error";
  for (int k = 0; k < 49; ++k) header += ",x" + std::to_string(k) + ",y" + std::to_string(k);
  header += ",stage_x,stage_y\n";
  const std::string rows = centrelineRow(1, "chain", "", 120, 40) +
                           centrelineRow(2, "fitted", "0.0420", 130, 50) +
                           centrelineRow(3, "none", "0.3000", 0, 0);
  std::vector<CentrelineRow> read;
  readCentrelineFile(write("w-centreline.csv", header + rows),
                     [&](const CentrelineRow& r) { read.push_back(r); });
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].source, "chain");
  EXPECT_TRUE(std::isnan(read[0].fitError));
  EXPECT_EQ(read[1].frame, 2);
  EXPECT_DOUBLE_EQ(read[1].fitError, 0.042);
  ASSERT_EQ(read[1].points.size(), 49u);
  EXPECT_EQ(read[1].points.front(), cv::Point2d(130, 50));
  EXPECT_EQ(read[1].points.back(), cv::Point2d(226, 50));
  EXPECT_EQ(read[1].stage, cv::Point2d(100, 10));
  EXPECT_TRUE(read[2].points.empty());
  EXPECT_DOUBLE_EQ(read[2].fitError, 0.3);

  const auto ignore = [](const CentrelineRow&) {};
  const std::string path = write("x-centreline.csv", header + rows + "4,fitted,0.1,1,2\n");
  EXPECT_EQ(failure([&] { readCentrelineFile(path, ignore); }), path + ":5: expected 103 fields");
  const std::string noHeader = write("y-centreline.csv", rows);
  EXPECT_EQ(failure([&] { readCentrelineFile(noHeader, ignore); }),
            noHeader + ": not a centreline file (no header)");
}

}  // namespace
}  // namespace results
}  // namespace dukon
