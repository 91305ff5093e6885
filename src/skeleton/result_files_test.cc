#include "skeleton/result_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

#include "behaviour/behaviour.h"
#include "behaviour/movement_segmentation.h"
#include "behaviour/test_support.h"
#include "segment/egg_list.h"

namespace dukon {
namespace {

using testing_support::movingRecord;
using testing_support::straightRun;
using testing_support::testParams;

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream is(s);
  for (std::string l; std::getline(is, l);) out.push_back(l);
  return out;
}

// The six streams, opened at the run's precisions.
struct Tables {
  std::ostringstream wxo, wxd, spd, dsp, ang, egs;
  Tables() {
    wxo.precision(2);
    wxd.precision(2);
    spd.precision(3);
    dsp.precision(4);
    ang.precision(4);
    egs.precision(4);
  }
  void write(std::vector<SkelRecord>& r, const Params& p, const EggList& eggs = EggList(8, 8)) {
    writeResultTables(r, static_cast<int>(r.size()), wxo, wxd, spd, dsp, ang, egs, eggs, p);
  }
};

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
  const Params p = testParams();
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
  const Params p = testParams();  // 5-frame segments, 10 frames/s, 10 pixels/mm
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
  u.write(b, testParams("frmps = 1\n"));
  EXPECT_EQ(u.spd.str(),
            "# spd-frm is speed relative to previous frame\n"
            "# spd-seg is speed in 0.5 sec segment (1 frames)\n"
            "#   spd-frm spd-seg\n"
            "1\t-0.2\t-0.2\tbckwd\n");
}

TEST(ResultFilesTest, DisplacementWithMissedSlots) {
  const Params p = testParams();  // displacement over 5 frames
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
  const Params p = testParams("anglen = 1\n");  // 10 frames either side
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
  Params on = testParams("eggs = 1\n");
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
  const Params p = testParams();
  std::vector<SkelRecord> r(4, fullRecord());
  r[1].mv = MovementCode::kPause;
  r[2].consistent = false;  // left out
  r[2].len = 1000;
  r[3].disp = 0.25;
  std::ostringstream wxo;
  wxo.precision(2);
  writeFeatureSummary(r, 4, wxo, p);
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

// The post-processing steps of a run, from segmentation to the feature
// summary, on a path with every kind of record; the files are read back.
TEST(ResultFilesTest, WholeRunFilesReadBack) {
  const Params p = testParams();
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
  const std::vector<MvVec> movements = segmentMovements(r, n, wxs, p, err);
  classifyBehaviour(movements, r, n, wxs, p);
  t.write(r, p);
  writeFeatureSummary(r, n, t.wxo, p);

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
