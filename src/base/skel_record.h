// SkelRecord: everything the analysis learns about one frame.
//
// The run driver holds one record per extracted frame, in frame order, for
// the whole run. The skeletoniser fills the chain, the per-frame steps add
// the basic measures, and the passes after the frame loop add consistency,
// orientation, body-wave features, world position and movement class.
// Positions are frame pixels (x right, y down) until the world-coordinate
// step moves `head`, `tail` and `mid` (not the chain) into world pixels.
#ifndef DUKON_BASE_SKEL_RECORD_H_
#define DUKON_BASE_SKEL_RECORD_H_

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/movement_code.h"

namespace dukon {

// Euclidean distance between two pixels, sqrt(dx * dx + dy * dy) in double.
inline double pointDistance(cv::Point a, cv::Point b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

struct SkelRecord {
  static constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

  int frame = 0;                  // frame number in the movie
  int numsklpts = 0;              // == points.size()
  std::vector<cv::Point> points;  // 8-connected chain; head to tail once oriented
  cv::Point head{0, 0};
  cv::Point tail{0, 0};
  cv::Point mid{0, 0};
  bool ignored = false;     // listed in ignorefrm; never analysed
  bool noWorm = false;      // the mask was plainly not a worm; the frame has no chain
  bool loop = false;        // chain closed on itself, or spread from such a frame
  bool consistent = false;  // valid, no loop, length and mid agree with the run
  bool located = false;     // world position known
  bool headKnown = false;   // head/tail decided from grey levels in this frame
  // Margin of that decision: the brightest body pixels at the end decided
  // as head minus those at the other end, grey levels (above 2 when
  // headKnown); NaN when the ends were not both sampled.
  double headContrast = kNaN;
  int xLoc = 0, yLoc = 0;  // stage location in frame pixels

  // Basic measures (pixels).
  double len = 0;
  double thickness = 0;
  double area = 0;
  std::array<int, 2> cmass{{0, 0}};  // (row, column), each the mean index plus one
  // Mean position (x, y) of the same mask pixels, not truncated: frame
  // pixels with pixel centres at whole coordinates. Stays in frame pixels
  // for the record's whole life; its world position adds (xLoc, yLoc).
  cv::Point2d centroid{0.0, 0.0};

  // Body-wave features. Angles in degrees, amplitudes in pixels.
  std::vector<double> angles;
  int numAngles = 0;
  double avgangle = 0, maxangL = 0, maxangR = 0, anglesym = 0;
  double avgamp = 0, maxampL = 0, maxampR = 0, ampsym = 0;
  int cutpnums = 0;
  double Navgamp = 0, NmaxampL = 0, NmaxampR = 0;
  double wavelen = kNaN, Nwavelen = kNaN;
  double freq = kNaN;  // body-wave frequency, Hz
  double straightfs = 0, sinusfs = 0;

  MovementCode mv = MovementCode::kNone;  // movement class of the frame
  bool reversal = false;                  // this frame starts a reversal segment
  double disp = -1.0;  // displacement of mid over displen seconds, mm; -1 = not measured

  // Second-branch chain used while skeletonising.
  bool bucketMode = false;
  int bucketCount = 0;
  std::vector<cv::Point> bucket;

  // The frame's world position and chain can be trusted: consistent, located
  // and not ignored. Only such records end movement segments and enter the
  // speed, displacement and path figures.
  bool trusted() const { return consistent && located && !ignored; }

  // Appends to `points`, or to `bucket` in bucket mode.
  void addPoint(int x, int y) {
    if (bucketMode) {
      bucket.emplace_back(x, y);
      ++bucketCount;
    } else {
      points.emplace_back(x, y);
      ++numsklpts;
    }
  }
  // Reverses the active list between indices from and to (to == -1: last).
  void reverse(int from, int to);
  // Makes the chain run from head to tail when it starts at the tail.
  void orient() {
    if (numsklpts > 0 && points[0] == tail) reverse(0, -1);
  }
  // Empties the chain (a frame whose chain failed validation).
  void reset() {
    points.clear();
    numsklpts = 0;
  }
  // mid, len, area, cmass and thickness from the chain and the worm mask
  // (8-bit, 0 background, nonzero worm). `box`, when given, holds every
  // non-zero pixel of the mask and spares measuring it.
  void basicMeasures(const cv::Mat& mask, const cv::Rect* box = nullptr);
  void computeMid() { mid = numsklpts > 0 ? points[numsklpts / 2] : cv::Point(0, 0); }
  void computeLength();
  void computeArea(const cv::Mat& mask, const cv::Rect* box = nullptr);
};

// True when the chain has at least 0.3 * mmpix points, no repeated and no
// disconnected neighbours. With `verbose`, the reason goes to `err`.
bool validate(const SkelRecord& rec, int mmpix, bool verbose, std::ostream& err);

// World position of a record's point: the frame point plus the stage
// location stored in the record.
inline cv::Point worldPoint(const SkelRecord& r, const cv::Point& p) {
  return cv::Point(p.x + r.xLoc, p.y + r.yLoc);
}

// Median chain length over records with a chain, in whole pixels.
int medianLength(const std::vector<SkelRecord>& records, int mmpix);

// Marks records consistent (chain, no loop, length and mid within 9% of the
// median); returns how many are.
int consistencyPass(std::vector<SkelRecord>& records, int median);

// Spreads `loop` over the failed frames around each loop frame; returns the
// number of loop records.
int loopSpreading(std::vector<SkelRecord>& records);

}  // namespace dukon

#endif  // DUKON_BASE_SKEL_RECORD_H_
