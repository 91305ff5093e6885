#include "skeleton/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "segment/egg_list.h"
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

TEST(ResultFilesTest, ShapeTableRowsForEveryKindOfRecord) {
  const TableSettings p = testTables();
  std::vector<SkelRecord> r(6, fullRecord());
  for (int i = 0; i < 6; ++i) r[i].frame = 10 + i;
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
  EXPECT_EQ(o[2], "#10 1 (1 2)(3 4)(5 6) 30,2|6.8,5.4,0.02543|12,46,33|0.72,0.88,0.91|-1,fwd");
  EXPECT_EQ(d[2],
            "#10,1,(1 2),(3 4),(5 6),(7 8),30,2,1.2e+02,9.9,1.2e+03,3.1,-0.5,6.8,5.4,0.02543,"
            "0.05499,0.04401,12,-1.2,46,33,89,0.72,1.23,0.88,0.91,-1,fwd");
  EXPECT_EQ(o[3], "#11 ,,|,,|,,|,IGNORED");
  EXPECT_EQ(d[3], "#11,,,,,,,,,,,,,,,,,,,,,,,,IGNORED");
  EXPECT_EQ(o[4], "#12 0 ( -1 -1 )( -1 -1 )( -1 -1 ),,|,,|,,|,pause");
  EXPECT_EQ(d[4], "#12,0,(-1 -1),(-1 -1),(-1 -1),(-1 -1),,,,,,,,,,,,,,,,,,,,,,,pause");
  EXPECT_EQ(o[5],
            "#13 1 (1 2)(3 4)(5 6) 30,2|6.8,5.4,0.02543|12,46,33|nan,0.88,0.91|-1,fwdreversal");
  EXPECT_EQ(d[5],
            "#13,1,(1 2),(3 4),(5 6),(7 8),30,2,1.2e+02,9.9,1.2e+03,3.1,-0.5,6.8,5.4,0.02543,"
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
  EXPECT_EQ(t.egs.str(), "");  // eggs off
}

TEST(ResultFilesTest, SpeedTable) {
  const TableSettings p = testTables();  // 5-frame segments, 10 frames/s, 10 pixels/mm
  std::vector<SkelRecord> r = straightRun(8, 100, 2, true);
  for (SkelRecord& x : r) x.mv = MovementCode::kForward;
  r[6].frame = 7;  // frame 6 was dropped
  r[7].frame = 8;
  r[7].head.x = r[7].mid.x - 40;
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.spd.str(),
            "# spd-frm is speed relative to previous frame\n"
            "# spd-seg is speed in 0.5 sec segment (5 frames)\n"
            "#   spd-frm spd-seg\n"
            "1\t2\t  -  \tfwd\n"
            "2\t2\t  -  \tfwd\n"
            "3\t2\t  -  \tfwd\n"
            "4\t2\t  -  \tfwd\n"
            "5\t2\t2\tfwd\n"
            "7\t  -  \t  -  \tfwd\n"  // 5 + 5 is not 7 either
            "8\t2\t  -  \tfwd\n");
  // Moving away from the previous head is negative.
  std::vector<SkelRecord> b = straightRun(3, 100, 2, false);
  b[1].mv = MovementCode::kBackward;
  b[2].mv = MovementCode::kBackward;
  b[2].reversal = true;
  b[2].consistent = false;
  Tables u;
  TableSettings slow = p;
  slow.rate = 1;
  u.write(b, slow);
  EXPECT_EQ(u.spd.str(),
            "# spd-frm is speed relative to previous frame\n"
            "# spd-seg is speed in 0.5 sec segment (1 frames)\n"
            "#   spd-frm spd-seg\n"
            "1\t-0.2\t-0.2\tbckwd\n");
}

TEST(ResultFilesTest, DisplacementWithMissedSlots) {
  const TableSettings p = testTables();  // displacement over 5 frames
  std::vector<SkelRecord> r = straightRun(24, 100, 2, true);
  for (int i = 6; i <= 14; ++i) r[i].consistent = false;
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.dsp.str(),
            "5\t1\n"
            "10\t-\n"
            "15\t-\n"
            "20\t1\n");
  EXPECT_DOUBLE_EQ(r[5].disp, 1);
  EXPECT_DOUBLE_EQ(r[20].disp, 1);
  EXPECT_DOUBLE_EQ(r[21].disp, -1);
  EXPECT_DOUBLE_EQ(r[0].disp, -1);
}

TEST(ResultFilesTest, TurningAngles) {
  TableSettings p = testTables();
  p.anglen = 1;  // 10 frames either side
  // Right for 10 frames, then down the image for 10.
  std::vector<SkelRecord> r = straightRun(21, 100, 2, true);
  for (int i = 11; i <= 20; ++i) r[i].mid = cv::Point(120, 50 + 2 * (i - 10));
  Tables t;
  t.write(r, p);
  EXPECT_EQ(t.ang.str(), "10\t90\n");
  // A worm that stands still in the first half paused.
  for (int i = 0; i <= 10; ++i) r[i].mid = cv::Point(120, 50);
  Tables u;
  u.write(r, p);
  EXPECT_EQ(u.ang.str(), "10\t-\n");
  // No usable record before frame 10: slot 10 is written as missed once the
  // record index passes it by half a step; so is slot 30, which has too few
  // records after it.
  std::vector<SkelRecord> q = straightRun(40, 100, 2, true);
  for (int i = 0; i <= 9; ++i) q[i].consistent = false;
  Tables w;
  w.write(q, p);
  EXPECT_EQ(w.ang.str(), "10\t-\n20\t0\n30\t-\n");
}

TEST(ResultFilesTest, EggTable) {
  TableSettings on = testTables();
  on.eggs = true;
  EggList eggs(100, 100);
  std::vector<SkelRecord> r = straightRun(2, 100, 2, true);
  {
    Tables t;
    t.write(r, on, eggs);
    EXPECT_EQ(t.egs.str(), "# eggs - eggs found in the movie\n# no eggs clusters found. \n");
  }
  eggs.addEgg(Egg(10, 20, 7, 3.5, 5, 6, 2000.0f));
  eggs.addEgg(Egg(10, 20, 9, 2.0, 60, 60, 3000.0f));  // never verified
  Egg candidate(-1, -1, -1, 3.0, 5, 6, -1.0f);
  SkelRecord at42 = movingRecord(42, 0, 0, 0);
  at42.xLoc = 10;
  at42.yLoc = 20;
  eggs.verifyCandidate(candidate, at42);
  Tables t;
  t.write(r, on, eggs);
  EXPECT_EQ(t.egs.str(),
            "# eggs - eggs found in the movie\n"
            "#frame\tts\tsize\tloc\tverified\n"
            "7\t2000\t3.5\t15,26\t42 \n"
            "\n# all sizes are in pixels (not real sizes). \n");
}

TEST(ResultFilesTest, FeatureSummary) {
  const TableSettings p = testTables();
  std::vector<SkelRecord> r(4, fullRecord());
  r[1].mv = MovementCode::kPause;
  r[2].consistent = false;  // left out
  r[2].len = 1000;
  r[3].disp = 0.25;
  std::ostringstream wxo;
  wxo.precision(2);
  writeFeatureSummary(r, wxo, StatisticsLayout{});
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
