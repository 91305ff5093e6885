// The passes after the frame loop together: movement segmentation, the
// behaviour classification and report, and the per-frame tables with the
// feature summary, read back as a user's script would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "behaviour/behaviour.h"
#include "behaviour/movement_segmentation.h"
#include "output/behaviour_report.h"
#include "output/feature_summary.h"
#include "skeleton/feature_stats.h"
#include "support/records.h"
#include "support/table_streams.h"

namespace dukon {
namespace {

using testing_support::lines;
using testing_support::straightRun;
using testing_support::Tables;
using testing_support::testMovement;
using testing_support::testTables;

// The post-processing steps of a run, from segmentation to the feature
// summary, on a path with every kind of record; the files are read back.
TEST(PostProcessingTest, WholeRunFilesReadBack) {
  const MovementSettings p = testMovement();
  const PathSettings tables = testTables();
  std::vector<SkelRecord> r = straightRun(60, 100, 2, true);
  for (int i = 20; i < 30; ++i) r[i].head.x = r[i].mid.x - 20;  // backing up
  for (int i = 31; i < 40; ++i) r[i].mid.x = r[31].mid.x;       // standing still
  r[30].ignored = true;
  r[30].consistent = r[30].located = false;
  for (int i = 40; i < 45; ++i) {
    r[i].loop = true;
    r[i].consistent = false;
  }
  r[50].consistent = false;
  for (SkelRecord& x : r) x.wavelen = x.Nwavelen = std::sqrt(-1.0);
  const int n = static_cast<int>(r.size());

  Tables t;
  std::ostringstream wxs, err;
  wxs.precision(3);
  const Movements cut = segmentMovements(r, p, err);
  const std::vector<MvVec>& movements = cut.segments;
  const Classification classes = classifyBehaviour(movements, r, p);
  labelRecords(classes.segments, r);
  writeBehaviourReport(wxs, cut.cutCount, classes, r);
  t.write(r, tables);
  writeFeatureSummary(t.wxo, summarizeFeatures(r, false), StatisticsLayout{});

  // wxs.txt: the reduction line, a blank line, one line per segment, the
  // summary block.
  const std::vector<std::string> s = lines(wxs.str());
  ASSERT_EQ(s.size(), 2 + movements.size() + 20);
  EXPECT_TRUE(
      std::regex_match(s[0], std::regex(R"(Movements compressed from \d+ elements to \d+ elements )"
                                        R"(\(reduction of [0-9.]+%\))")))
      << s[0];
  EXPECT_EQ(s[1], "");
  const std::regex segment(
      R"(\d+-\d+: (loop|(reversal )?(forward |backward )?)"
      R"((omega \(@#\d+\) )?(pause|distance of \S+ at angle \S+ at speed \S+)))");
  for (size_t k = 0; k < movements.size(); ++k)
    EXPECT_TRUE(std::regex_match(s[2 + k], segment)) << s[2 + k];
  const char* summary[] = {"",
                           "pause rate: ",
                           "% time in pause:  ",
                           "omega rate: ",
                           "% time in omega:  ",
                           "loop rate: ",
                           "% time in loop:  ",
                           "",
                           "% time moving forward:  ",
                           "% time moving backward: ",
                           "average fwd/bwd speed: ",
                           "average forward speed (excl. omega):  ",
                           "average backward speed (excl. omega): ",
                           "reversals rate: ",
                           "forward is ",
                           "backward is ",
                           "",
                           "distance from start point to end point: ",
                           "accumulated distance (sum of non-pause move segments): ",
                           "roam ratio (0-1): "};
  for (size_t k = 0; k < 20; ++k) {
    const std::string& line = s[2 + movements.size() + k];
    EXPECT_EQ(line.substr(0, std::string(summary[k]).size()), summary[k]) << line;
    if (summary[k][0] == 0) {
      EXPECT_EQ(line, "");
    }
  }
  EXPECT_NE(wxs.str().find("(1 total)\nforward is"), std::string::npos);

  // wxo.txt and wxd.txt: a header and one row per record, in frame order.
  const std::vector<std::string> o = lines(t.wxo.str());
  const std::vector<std::string> d = lines(t.wxd.str());
  ASSERT_GE(o.size(), 2u + n);
  ASSERT_EQ(d.size(), 2u + n);
  for (int i = 0; i < n; ++i) {
    const std::string tag = "#" + std::to_string(r[i].frame);
    EXPECT_EQ(o[2 + i].substr(0, tag.size() + 1), tag + " ");
    EXPECT_EQ(d[2 + i].substr(0, tag.size() + 1), tag + ",");
    if (!r[i].ignored) {
      EXPECT_EQ(std::count(d[2 + i].begin(), d[2 + i].end(), ','), 28) << i;
    }
  }
  EXPECT_EQ(o[2 + 30], "#30 ,,|,,|,,|,IGNORED");
  EXPECT_EQ(o[2 + 42].substr(o[2 + 42].size() - 5), ",loop");
  EXPECT_EQ(o[2 + 35].substr(o[2 + 35].size() - 6), ",pause");
  // The feature summary follows the table.
  EXPECT_EQ(o[2 + n], "");
  EXPECT_EQ(o[3 + n], "numsklpts:");

  // spd.txt: three header lines and one line per usable record after the
  // first, with four tab-separated fields.
  const std::vector<std::string> sp = lines(t.spd.str());
  int usable = 0;
  for (int i = 1; i < n; ++i) usable += r[i].consistent && r[i].located && !r[i].ignored;
  ASSERT_EQ(sp.size(), 3u + usable);
  for (size_t k = 3; k < sp.size(); ++k)
    EXPECT_EQ(std::count(sp[k].begin(), sp[k].end(), '\t'), 3) << sp[k];
  // dsp.txt and ang.txt: "index-or-frame<TAB>value-or-dash" lines.
  for (const std::string& l : lines(t.dsp.str()))
    EXPECT_TRUE(std::regex_match(l, std::regex(R"(\d+\t(-|[-0-9.e+]+))"))) << l;
  for (const std::string& text : {t.wxo.str(), t.wxd.str(), t.spd.str(), t.dsp.str(), wxs.str()}) {
    EXPECT_EQ(text.find("inf"), std::string::npos);
    EXPECT_EQ(text.find("-nan"), std::string::npos);
  }
  EXPECT_NE(t.wxd.str().find(",nan,nan,"), std::string::npos);
  if (::testing::Test::HasFailure()) std::cerr << wxs.str() << t.wxo.str();
}

}  // namespace
}  // namespace dukon
