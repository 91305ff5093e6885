#include "output/frame_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/records.h"

namespace dukon {
namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out(1);
  for (char c : s) {
    if (c == sep)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

// The table of `records` at 10 frames per second, 100 frame pixels and 50
// stage pixels per mm, as lines of cells; the units and header lines first.
std::vector<std::vector<std::string>> table(const std::vector<SkelRecord>& records) {
  std::ostringstream os;
  writeFrameTable(records, FrameTableSettings{10.0, 100, 50}, os);
  std::vector<std::string> lines = split(os.str(), '\n');
  EXPECT_EQ(lines.back(), "");  // every line ends
  lines.pop_back();
  std::vector<std::vector<std::string>> rows;
  for (const std::string& l : lines) rows.push_back(split(l, ','));
  return rows;
}

TEST(FrameTableTest, UnitsAndHeaderNameEveryColumn) {
  const auto rows = table({});
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].size(), std::size(kFrameTableColumns));
  ASSERT_EQ(rows[1].size(), std::size(kFrameTableColumns));
  EXPECT_EQ(rows[0][0], "# units: frame number");
  EXPECT_EQ(rows[1][0], "frame");
  EXPECT_EQ(rows[1][12], "cmass_x");
  EXPECT_EQ(rows[0][16], "mm");  // len
}

TEST(FrameTableTest, ConsistentRowInMillimetresAtFullPrecision) {
  SkelRecord r = testing_support::movingRecord(7, 0, 0, 0);
  r.xLoc = 100;  // stage pixels: 2 mm
  r.yLoc = -50;
  r.head = cv::Point(r.xLoc + 30, r.yLoc + 40);  // world pixels
  r.mid = cv::Point(r.xLoc + 1, r.yLoc + 2);
  r.tail = cv::Point(r.xLoc, r.yLoc);
  r.centroid = cv::Point2d(12.3456789012345, 0.5);
  r.len = 123.456789012345;
  r.area = 250.0;
  r.wavelen = SkelRecord::kNaN;
  r.disp = -1.0;  // not measured
  r.mv = MovementCode::kBackward;
  r.reversal = true;
  const auto rows = table({r});
  ASSERT_EQ(rows.size(), 3u);
  const std::vector<std::string>& c = rows[2];
  ASSERT_EQ(c.size(), std::size(kFrameTableColumns));
  const std::vector<std::string> lead = {"7",   "0.7",  "consistent", "1",     "backward", "1",
                                         "2.3", "-0.6", "2.01",       "-0.98", "2",        "-1"};
  EXPECT_EQ(std::vector<std::string>(c.begin(), c.begin() + 12), lead);
  // Full precision: the text reads back as the very double.
  EXPECT_EQ(std::strtod(c[12].c_str(), nullptr), 12.3456789012345 / 100 + 2.0);
  EXPECT_EQ(c[13], "-0.995");
  EXPECT_EQ(std::strtod(c[16].c_str(), nullptr), 123.456789012345 / 100);
  EXPECT_EQ(c[18], "0.025");  // area, mm^2
  EXPECT_EQ(c[30], "");       // wavelen NaN
  EXPECT_EQ(c[35], "");       // disp not measured
}

TEST(FrameTableTest, StateMovementAndEmptyValuesOfEveryKindOfFrame) {
  struct Case {
    const char* state;
    const char* movement;
    const char* reversal;
    void (*make)(SkelRecord&);
  };
  const Case cases[] = {
      {"ignored", "", "0",
       [](SkelRecord& r) {
         r.ignored = true;
         r.mv = MovementCode::kForward;  // the tables show no class for it
         r.reversal = true;
       }},
      {"loop", "loop", "0",
       [](SkelRecord& r) {
         r.loop = true;
         r.reversal = true;
       }},
      {"good", "pause", "0", [](SkelRecord& r) { r.mv = MovementCode::kPause; }},
      {"rejected", "omega", "0",
       [](SkelRecord& r) {
         r.numsklpts = 0;
         r.mv = MovementCode::kOmega;
       }},
      {"good", "forward", "1",
       [](SkelRecord& r) {
         r.mv = MovementCode::kForward;
         r.reversal = true;
       }},
  };
  for (const Case& k : cases) {
    SkelRecord r = testing_support::movingRecord(3, 5, 5, 2);
    r.consistent = false;
    k.make(r);
    const auto rows = table({r});
    ASSERT_EQ(rows.size(), 3u) << k.state;
    const std::vector<std::string>& c = rows[2];
    ASSERT_EQ(c.size(), std::size(kFrameTableColumns)) << k.state;
    EXPECT_EQ(c[2], k.state);
    EXPECT_EQ(c[4], k.movement) << k.state;
    EXPECT_EQ(c[5], k.reversal) << k.state;
    for (size_t i = 6; i < c.size(); ++i) EXPECT_EQ(c[i], "") << k.state << " column " << i;
  }
}

TEST(FrameTableTest, FileThatCannotBeWrittenIsReported) {
  EXPECT_FALSE(writeFrameTableFile("/nonexistent-folder/x-frames.csv", {}, {}));
}

}  // namespace
}  // namespace dukon
