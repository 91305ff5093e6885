// Frame records and movement settings for the tests of the passes after the
// frame loop: a worm moving along a path, frame by frame.
#ifndef DUKON_TESTS_SUPPORT_RECORDS_H_
#define DUKON_TESTS_SUPPORT_RECORDS_H_

#include <sstream>
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
// lies `headDx` pixels to the right of it; its chain holds 30 points.
inline SkelRecord movingRecord(int frame, int x, int y, int headDx) {
  SkelRecord r;
  r.frame = frame;
  r.consistent = true;
  r.located = true;
  r.points.assign(30, cv::Point(x, y));
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

// Kinds of hand-built segments.
enum Kind { kFwd, kBwd, kStill, kLoop };

// Builds one record per segment boundary, 10 frames apart, and one segment
// per entry of `kinds` between consecutive boundaries; `turns` marks turn
// segments. Forward and backward segments move 20 pixels to the right.
struct Path {
  std::vector<SkelRecord> records;
  std::vector<MvVec> movements;
};
inline Path buildPath(const std::vector<Kind>& kinds, const std::vector<bool>& turns,
                      const MovementSettings& p) {
  Path path;
  int x = 100;
  for (size_t k = 0; k <= kinds.size(); ++k) {
    const Kind kind = k < kinds.size() ? kinds[k] : kFwd;
    path.records.push_back(movingRecord(static_cast<int>(k) * 10, x, 50, kind == kBwd ? -20 : 20));
    if (kind == kLoop) {
      path.records.back().loop = true;
      path.records.back().consistent = false;
    }
    if (kind == kFwd || kind == kBwd) x += 20;
  }
  std::ostringstream err;
  for (size_t k = 0; k < kinds.size(); ++k) {
    path.movements.emplace_back();
    path.movements.back().fill(path.records, static_cast<int>(k), static_cast<int>(k) + 1,
                               k < turns.size() && turns[k], p, err);
  }
  return path;
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_RECORDS_H_
