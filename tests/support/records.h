// Frame records and movement settings for the tests of the passes after the
// frame loop: a worm moving along a path, frame by frame.
#ifndef DUKON_TESTS_SUPPORT_RECORDS_H_
#define DUKON_TESTS_SUPPORT_RECORDS_H_

#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"
#include "behaviour/mv_vec.h"

namespace dukon {
namespace testing_support {

// 10 frames per second, 10 pixels per mm, 0.5 s segments, pauses below
// 0.05 mm/s, a run of 1000 frames.
inline MovementSettings testMovement() {
  MovementSettings s;
  s.rate = 10;
  s.mmpix = 10;
  s.seglen = 0.5;
  s.pausespdlim = 0.05;
  s.span = 1000;
  return s;
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

#endif  // DUKON_TESTS_SUPPORT_RECORDS_H_
