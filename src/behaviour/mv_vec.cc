#include "behaviour/mv_vec.h"

#include <cmath>

#include "base/frame_range.h"
#include "base/params.h"
#include "skeleton/body_wave.h"

namespace dukon {

MovementSettings movementSettings(const Params& prms, const FrameRange& frames) {
  MovementSettings s;
  s.rate = frames.rate;
  s.mmpix = prms.mmpix();
  s.seglen = prms.seglen();
  s.pausespdlim = prms.pausespdlim();
  s.span = frames.span();
  return s;
}

bool isTurnRecord(const SkelRecord& r) {
  return (r.NmaxampL > 0.33 || r.NmaxampR > 0.33) && r.cutpnums == 2 &&
         std::fabs(r.ampsym) > 0.5 * r.avgamp;
}

double MvVec::speedOf(double distance, int frames, const MovementSettings& settings) {
  if (frames <= 0) return 0.0;
  return (distance / settings.mmpix) / (frames / settings.rate);
}

void MvVec::fill(const std::vector<SkelRecord>& records, int s, int e, bool turn,
                 const MovementSettings& settings, std::ostream& err) {
  start_ = s;
  end_ = e;
  turn_ = turn;
  pause_ = false;
  reversal_ = false;
  const SkelRecord& rs = records[s];
  const SkelRecord& re = records[e];
  if (rs.loop) {
    loop_ = true;
    return;
  }
  loop_ = false;
  if (!rs.trusted()) err << "MvVec start frame " << rs.frame << " is inconsistent!\n";
  if (!re.trusted()) err << "MvVec end frame " << re.frame << " is inconsistent!\n";
  startPoint_ = worldPoint(rs, rs.mid);
  endPoint_ = worldPoint(re, re.mid);
  // The y difference is negated so that the angle runs counter-clockwise on
  // screen, where image y grows downward.
  angle_ = directionAngle(endPoint_.x - startPoint_.x, -(endPoint_.y - startPoint_.y));
  distance_ = pointDistance(startPoint_, endPoint_);
  recomputeSpeed(records, settings);
  // Moving towards where the head was at the start means forward; a tie
  // counts as backward.
  const cv::Point h = worldPoint(rs, rs.head);
  direction_ = pointDistance(startPoint_, h) > pointDistance(endPoint_, h) ? 1 : -1;
  if (speed_ < settings.pausespdlim) {
    pause_ = true;
    direction_ = 0;
  }
}

void MvVec::absorb(const MvVec& next, const std::vector<SkelRecord>& records,
                   const MovementSettings& settings) {
  end_ = next.end_;
  const SkelRecord& rs = records[start_];
  const SkelRecord& re = records[end_];
  endPoint_ = worldPoint(re, re.mid);
  // Measured from the start record rather than startPoint_, which a loop
  // segment leaves unset.
  const cv::Point a = worldPoint(rs, rs.mid);
  angle_ = directionAngle(endPoint_.x - a.x, -(endPoint_.y - a.y));
  distance_ += next.distance_;
  recomputeSpeed(records, settings);
}

void MvVec::recomputeSpeed(const std::vector<SkelRecord>& records,
                           const MovementSettings& settings) {
  speed_ = speedOf(distance_, records[end_].frame - records[start_].frame, settings);
}

}  // namespace dukon
