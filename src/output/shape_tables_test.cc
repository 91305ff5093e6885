#include "output/shape_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "support/records.h"
#include "support/table_streams.h"

namespace dukon {
namespace {

using testing_support::lines;
using testing_support::movingRecord;
using testing_support::straightRun;
using testing_support::Tables;
using testing_support::testTables;

SkelRecord fullRecord() {
  SkelRecord r = movingRecord(0, 3, 4, 0);
  r.head = {1, 2};
  r.tail = {5, 6};
  r.cmass = {{7, 8}};
  r.cutpnums = 2;
  r.len = 123.456;
  r.thickness = 9.876;
  r.area = 1219.3;
  r.avgamp = 3.14159;
  r.ampsym = -0.5;
  r.maxampL = 6.789;
  r.maxampR = 5.4321;
  r.Navgamp = 0.0254321;
  r.NmaxampL = 0.0549876;
  r.NmaxampR = 0.04401;
  r.avgangle = 12.345;
  r.anglesym = -1.234;
  r.maxangL = 45.67;
  r.maxangR = 33.33;
  r.wavelen = 88.88;
  r.Nwavelen = 0.71994;
  r.freq = 1.23456;
  r.straightfs = 0.8765;
  r.sinusfs = 0.91234;
  r.mv = MovementCode::kForward;
  return r;
}

TEST(ShapeTablesTest, RowsForEveryKindOfRecord) {
  const PathSettings p = testTables();
  std::vector<SkelRecord> r(6, fullRecord());
  for (int i = 0; i < 6; ++i) {
    r[i].frame = 10 + i;
    // Records keep frame pixels; the tables show world pixels.
    r[i].xLoc = 100;
    r[i].yLoc = -10;
  }
  r[1].ignored = true;
  r[1].consistent = r[1].located = false;
  r[2].consistent = false;
  r[2].mv = MovementCode::kPause;
  r[3].wavelen = -std::sqrt(-1.0);  // either sign of NaN prints the same
  r[3].Nwavelen = std::sqrt(-1.0);
  r[3].reversal = true;
  r[4].consistent = false;
  r[4].loop = true;
  r[4].mv = MovementCode::kLoop;
  r[5].mv = MovementCode::kBackward;
  r[5].reversal = true;
  Tables t;
  t.write(r, p);
  const std::vector<std::string> o = lines(t.wxo.str());
  const std::vector<std::string> d = lines(t.wxd.str());
  ASSERT_EQ(o.size(), 8u);  // empty line, header, one row per record
  ASSERT_EQ(d.size(), 8u);
  EXPECT_EQ(o[1],
            "frame OK? (head)(mid)(tail) #skelpts,#cutpt|maxampL,maxampR,Navgamp|"
            "avgang,maxangL,maxangR|Nwvlen,straightfs,sinusfs|disp,mv");
  EXPECT_EQ(d[1],
            "frame,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
            "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
            "freq,straightfs,sinusfs,disp,mv");
  EXPECT_EQ(o[2],
            "#10 1 (101 -8)(103 -6)(105 -4) 30,2|6.8,5.4,0.02543|12,46,33|0.72,0.88,0.91|-1,fwd");
  EXPECT_EQ(
      d[2],
      "#10,1,(101 -8),(103 -6),(105 -4),(-3 108),30,2,1.2e+02,9.9,1.2e+03,3.1,-0.5,6.8,5.4,0.02543,"
      "0.05499,0.04401,12,-1.2,46,33,89,0.72,1.23,0.88,0.91,-1,fwd");
  EXPECT_EQ(o[3], "#11 ,,|,,|,,|,IGNORED");
  EXPECT_EQ(d[3], "#11,,,,,,,,,,,,,,,,,,,,,,,,IGNORED");
  EXPECT_EQ(o[4], "#12 0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,pause");
  EXPECT_EQ(d[4], "#12,0,(-1 -1),(-1 -1),(-1 -1),(-1 -1),,,,,,,,,,,,,,,,,,,,,,,pause");
  EXPECT_EQ(
      o[5],
      "#13 1 (101 -8)(103 -6)(105 -4) 30,2|6.8,5.4,0.02543|12,46,33|nan,0.88,0.91|-1,fwdreversal");
  EXPECT_EQ(
      d[5],
      "#13,1,(101 -8),(103 -6),(105 -4),(-3 108),30,2,1.2e+02,9.9,1.2e+03,3.1,-0.5,6.8,5.4,0.02543,"
      "0.05499,0.04401,12,-1.2,46,33,nan,nan,1.23,0.88,0.91,-1,fwdreversal");
  EXPECT_EQ(o[6], "#14 0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,loop");
  // Five frames after the first usable record the displacement is measured
  // (the worm stood still) before the row is written.
  EXPECT_EQ(o[7].substr(o[7].size() - 11), "|0,reversal");
  EXPECT_EQ(t.dsp.str(), "15\t0\n");
  // Full-table rows of consistent and inconsistent records have the header's
  // 29 columns.
  auto columns = [](const std::string& s) { return std::count(s.begin(), s.end(), ',') + 1; };
  for (int i : {1, 2, 4, 5, 6, 7}) EXPECT_EQ(columns(d[i]), 29) << d[i];
  EXPECT_EQ(t.wxo.precision(), 2);
  EXPECT_EQ(t.wxd.precision(), 2);
  EXPECT_EQ(t.egs.str(), "");             // eggs off
  EXPECT_EQ(r[0].head, cv::Point(1, 2));  // the records are not moved
}

}  // namespace
}  // namespace dukon
