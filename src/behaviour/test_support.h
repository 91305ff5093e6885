// Helpers shared by the behaviour and result-file tests: parameters read
// from a throw-away file, and records of a worm moving along a path.
#ifndef DUKON_BEHAVIOUR_TEST_SUPPORT_H_
#define DUKON_BEHAVIOUR_TEST_SUPPORT_H_

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/params.h"
#include "base/skel_record.h"

namespace dukon {
namespace testing_support {

// Parameters with mmpix 10, frmps 10, seglen 0.5 s, pausespdlim 0.05,
// fframe 0 and lframe 1000, overridden by the "key = value" lines of `extra`.
inline Params testParams(const std::string& extra = "") {
  std::istringstream in(
      "moviedir = /m\nmoviename = w\nmmpix = 10\nfrmps = 10\n"
      "seglen = 0.5\npausespdlim = 0.05\nfframe = 0\nlframe = 1000\n" +
      extra);
  Params p("params.txt");
  std::ostringstream err;
  p.read(in, err);
  return p;
}

// A usable record of frame `frame` whose mid point is (x, y) and whose head
// lies `headDx` pixels to the right of it.
inline SkelRecord movingRecord(int frame, int x, int y, int headDx) {
  SkelRecord r;
  r.frame = frame;
  r.consistent = true;
  r.located = true;
  r.numsklpts = 30;
  r.mid = cv::Point(x, y);
  r.head = cv::Point(x + headDx, y);
  r.tail = cv::Point(x - headDx, y);
  return r;
}

// `n` records, frame i at mid (x0 + i * step, 50), head ahead in +x when
// `headAhead`, else behind.
inline std::vector<SkelRecord> straightRun(int n, int x0, int step, bool headAhead) {
  std::vector<SkelRecord> v;
  for (int i = 0; i < n; ++i) v.push_back(movingRecord(i, x0 + i * step, 50, headAhead ? 20 : -20));
  return v;
}

// Makes record `r` pass the turn test (a one-sided bend crossing the
// head-tail line twice).
inline void makeTurn(SkelRecord& r) {
  r.NmaxampL = 0.4;
  r.cutpnums = 2;
  r.avgamp = 10;
  r.ampsym = 8;
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_BEHAVIOUR_TEST_SUPPORT_H_
