#include "stage/stage_tracker.h"

#include <algorithm>
#include <cmath>

#include "base/params.h"
#include "stage/stage_util.h"

namespace dukon {

namespace {

// Stage positions beyond this many pixels are meaningless; clamping keeps
// the int arithmetic of positions and egg locations free of overflow.
constexpr double kMaxPx = 1 << 29;

int floorPx(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::floor(std::clamp(v, -kMaxPx, kMaxPx)));
}

int clampPx(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -(1LL << 29), 1LL << 29));
}

}  // namespace

StageTrackerSettings stageTrackerSettings(const Params& prms, double rate) {
  StageTrackerSettings s;
  s.rate = rate;
  s.stageskip = prms.stageskip();
  s.mmpixstage = prms.mmpixstage();
  return s;
}

StageTracker::StageTracker(StageUtil& stage, const StageTrackerSettings& settings)
    : settings_(settings), stage_(stage) {
  stage_.rewind();
  const double k = settings_.mmpixstage;
  const cv::Point2d start = stage_.firstOffset();
  xLocPx_ = floorPx(k * start.x);
  yLocPx_ = floorPx(k * start.y);
}

StagePosition StageTracker::position(double timeMs) const {
  const double skipMs = settings_.stageskip * 1000.0 / settings_.rate;
  return StagePosition{cv::Point(xLocPx_, yLocPx_),
                       skipMs < std::fabs(timeMs - stage_.next().time)};
}

StagePosition StageTracker::addStagePosition(double timeMs) {
  while (stage_.next().time < timeMs && stage_.canAdvance()) stage_.advance(true);
  const double k = settings_.mmpixstage;
  const cv::Point2d mm = stage_.currentOffset();
  xLocPx_ = floorPx(k * mm.x);
  yLocPx_ = floorPx(k * mm.y);
  return position(timeMs);
}

StagePosition StageTracker::addImageMotion(cv::Point shift, double timeMs) {
  xLocPx_ = clampPx(static_cast<long long>(xLocPx_) - shift.x);
  yLocPx_ = clampPx(static_cast<long long>(yLocPx_) - shift.y);
  return position(timeMs);
}

}  // namespace dukon
