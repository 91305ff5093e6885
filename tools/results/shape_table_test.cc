#include "results/shape_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "results/reader_test_fixture.h"

namespace dukon {
namespace results {
namespace {

using namespace samples;

TEST_F(ReaderTest, ShapeTableRowsOfEachKind) {
  std::string path = write("w-wxd.txt", shapeTable({consistentRow(5, {110, 60}, {50, 40}, "fwd"),
                                                    inconsistentRow(6, "reversal"), ignoredRow(7),
                                                    consistentRow(9, {1, 2}, {3, 4}, "")}));
  std::vector<ShapeRow> rows = readShapeTable(path);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].frame, 5);
  EXPECT_TRUE(rows[0].consistent);
  EXPECT_EQ(rows[0].head, cv::Point(110, 60));
  EXPECT_EQ(rows[0].tail, cv::Point(50, 40));
  EXPECT_EQ(rows[0].mid, cv::Point(80, 50));
  EXPECT_EQ(rows[0].cmass, cv::Point(50, 80));
  EXPECT_EQ(rows[0].skelpts, 60);
  EXPECT_EQ(rows[0].cutpt, 2);
  EXPECT_DOUBLE_EQ(rows[0].len, 1.5);
  EXPECT_DOUBLE_EQ(rows[0].disp, 1.5);
  EXPECT_TRUE(std::isnan(rows[0].wvlen));
  EXPECT_FALSE(rows[1].consistent);
  EXPECT_FALSE(rows[1].ignored);
  EXPECT_EQ(rows[1].label, "reversal");
  EXPECT_EQ(rows[1].head, cv::Point(-1, -1));
  EXPECT_TRUE(std::isnan(rows[1].len));
  EXPECT_TRUE(rows[2].ignored);
  EXPECT_EQ(rows[3].frame, 9);
  EXPECT_EQ(rows[3].label, "");
}

TEST_F(ReaderTest, DamagedShapeTablesNameFileAndLine) {
  std::string good = consistentRow(5, {110, 60}, {50, 40}, "fwd");
  struct Case {
    std::string text, message;
  } cases[] = {
      {shapeTable({good}).substr(1), ":1: expected an empty first line before the header"},
      {"\nframe,OK?\n" + good, ":2: unexpected table header"},
      {shapeTable({good.substr(0, 40)}),
       ":3: expected 29 comma-separated fields, found 7 (file truncated?)"},
      {shapeTable({good, inconsistentRow(5, "")}), ":4: frame 5 does not follow frame 5"},
      {shapeTable({inconsistentRow(6, "walk")}), ":3: unknown movement label 'walk'"},
      {shapeTable({"frame 7"}), ":3: expected a row '#frame,...', found 'frame 7'"},
      {shapeTable({good.substr(0, good.size() - 11) + "x,1.5,fwd"}),
       ":3: field 27 is not a number 'x'"},
      {shapeTable({"#6,0,(1 2),(-1 -1),(-1 -1),(-1 -1)" + std::string(23, ',')}),
       ":3: a row that is not consistent carries a point"},
  };
  for (const Case& c : cases) {
    std::string path = write("w-wxd.txt", c.text);
    EXPECT_EQ(failure([&] { readShapeTable(path); }), path + c.message) << c.text;
  }
}

TEST(DecodeLabel, WordsClassesAndReversals) {
  EXPECT_EQ(decodeLabel("fwd").name, "forward");
  Movement m = decodeLabel("fwdreversal");
  EXPECT_EQ(m.name, "forward");
  EXPECT_TRUE(m.reversal);
  m = decodeLabel("reversal");  // a backward frame that starts a reversal
  EXPECT_EQ(m.name, "backward");
  EXPECT_TRUE(m.reversal);
  EXPECT_EQ(decodeLabel("").name, "");
  EXPECT_EQ(decodeLabel("omega").name, "omega");
  EXPECT_THROW(decodeLabel("fwdbckwd"), std::invalid_argument);
  EXPECT_THROW(decodeLabel("fwd "), std::invalid_argument);
}

}  // namespace
}  // namespace results
}  // namespace dukon
