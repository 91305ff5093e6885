#include "output/feature_summary.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <limits>
#include <sstream>
#include <vector>

#include "support/records.h"

namespace dukon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Movement classes from their numbers, 1 forward ... 4 omega, 0 none.
std::vector<MovementCode> codes(std::initializer_list<int> numbers) {
  std::vector<MovementCode> v;
  for (int k : numbers) v.push_back(static_cast<MovementCode>(k));
  return v;
}

TEST(FeatureSummaryTest, BlockLayout) {
  std::ostringstream os;
  // Of two values, the median is the upper one: the running count must
  // exceed half the count.
  writeStatisticsBlock(os, summarizeFeature("len", 3, {5.5, 7}, codes({1, 3}), false),
                       StatisticsLayout{});
  EXPECT_EQ(os.str(),
            "\n\nlen:"
            "\n fwd\tavg: 5.5 dist: 5.5 5.5 5.5 5.5 5.5 5.5 5.5 5.5 5.5 5.5 5.5"
            "\n pause\tavg: 7 dist: 7 7 7 7 7 7 7 7 7 7 7"
            "\n all\tavg: 6.25 dist: 5.5 5.51 5.51 5.51 5.51 6.99 6.99 6.99 6.99 6.99 7");
  EXPECT_EQ(os.precision(), 2);

  std::ostringstream b;
  b.precision(6);
  writeStatisticsBlock(b, summarizeFeature("area", 4, {1234.5}, codes({2}), true),
                       StatisticsLayout{true, false});
  EXPECT_EQ(b.str(),
            "\n\narea:\n bckwd\tavg: 1234 boxplot: 1234 1234 1234 1234 1234 1234 1234"
            "\n all\tavg: 1234 boxplot: 1234 1234 1234 1234 1234 1234 1234");
  EXPECT_EQ(b.precision(), 2);
}

TEST(FeatureSummaryTest, EmptyClassesAndEmptyRows) {
  std::ostringstream off;
  writeStatisticsBlock(off, summarizeFeature("wavelen", 3, {kNaN}, codes({1}), false),
                       StatisticsLayout{});
  EXPECT_EQ(off.str(), "\n\nwavelen:");
  std::ostringstream on;
  writeStatisticsBlock(on, summarizeFeature("wavelen", 3, {}, {}, false),
                       StatisticsLayout{false, true});
  EXPECT_EQ(on.str(), "\n\nwavelen:\n fwd\t\n bckwd\t\n pause\t\n omega\t\n all\t");
}

TEST(FeatureSummaryTest, EveryFeatureOverTheConsistentRecords) {
  SkelRecord full = testing_support::movingRecord(0, 3, 4, 0);
  full.len = 123.456;
  full.mv = MovementCode::kForward;
  std::vector<SkelRecord> r(4, full);
  r[1].mv = MovementCode::kPause;
  r[2].consistent = false;  // left out
  r[2].len = 1000;
  r[3].disp = 0.25;
  std::ostringstream wxo;
  wxo.precision(2);
  writeFeatureSummary(wxo, summarizeFeatures(r, false), StatisticsLayout{});
  const std::string s = wxo.str();
  size_t at = 0;
  for (const char* name :
       {"numsklpts", "len",        "cutpnums",  "avgamp",   "ampsym",   "maxampL",
        "maxampR",   "Navgamp",    "NmaxampL",  "NmaxampR", "avgangle", "anglesym",
        "maxangL",   "maxangR",    "thickness", "area",     "wavelen",  "Nwavelen",
        "freq",      "straightfs", "sinusfs",   "disp"}) {
    const size_t pos = s.find(std::string("\n\n") + name + ":\n", at);
    ASSERT_NE(pos, std::string::npos) << name;
    at = pos + 1;
  }
  EXPECT_NE(s.find("\n\nlen:\n fwd\tavg: 123 dist: 123 123"), std::string::npos);
  // Only the record with a measured displacement counts.
  EXPECT_NE(s.find("\n\ndisp:\n fwd\tavg: 0.25 dist: 0.25"), std::string::npos);
  EXPECT_NE(s.find(" pause\tavg: 30 dist"), std::string::npos);
  EXPECT_EQ(s.back(), '\n');
  EXPECT_EQ(s.find("1e+03"), std::string::npos);
}

}  // namespace
}  // namespace dukon
