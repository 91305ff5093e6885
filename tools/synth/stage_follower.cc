#include "synth/stage_follower.h"

#include <algorithm>
#include <cmath>

namespace dukon {
namespace synth {
namespace {

constexpr double kMaxStepPx = 14.0;  // mean step of a move is 2/3 of its peak
constexpr int kBorderPx = 16;        // body closer than this to the border moves the stage

cv::Point roundPoint(cv::Point2d p) {
  return cv::Point(static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y)));
}

double ease(double x) {
  return x * x * (3.0 - 2.0 * x);
}

// Where the stage must stand for the worm's middle to sit at the frame centre.
cv::Point centredOn(const FramePose& pose, const SynthConfig& config) {
  cv::Point2d mid(pose.centreline[pose.centreline.size() / 2]);
  return roundPoint(mid - cv::Point2d(config.width / 2.0, config.height / 2.0));
}

bool needsMove(const FramePose& pose, cv::Point stage, const SynthConfig& config, double r) {
  cv::Point2d mid(pose.centreline[pose.centreline.size() / 2]);
  cv::Point2d d = mid - cv::Point2d(stage) - cv::Point2d(config.width / 2.0, config.height / 2.0);
  if (std::hypot(d.x, d.y) > config.recentrePx) return true;
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
  for (const cv::Point2f& p : pose.centreline) {
    x0 = std::min(x0, p.x - r - stage.x);
    y0 = std::min(y0, p.y - r - stage.y);
    x1 = std::max(x1, p.x + r - stage.x);
    y1 = std::max(y1, p.y + r - stage.y);
  }
  return x0 < kBorderPx || y0 < kBorderPx || x1 > config.width - 1 - kBorderPx ||
         y1 > config.height - 1 - kBorderPx;
}

double roundMs(double ms) {
  return std::round(ms);
}

}  // namespace

StageTrack followWorm(const Kinematics& kin, const SynthConfig& config) {
  StageTrack track;
  const int frames = static_cast<int>(kin.frames.size());
  if (frames == 0) return track;
  const double dt = 1000.0 / config.fps;
  const double r = config.radiusPx();
  cv::Point stage = centredOn(kin.frames[0], config);
  track.offset.assign(frames, stage);
  track.moving.assign(frames, false);
  track.samples.push_back(StageSample{0.0, stage});
  double lastSample = 0.0;
  int i = 0;
  while (i < frames) {
    track.offset[i] = stage;
    double t = frameTimeMs(i, config.fps);
    if (i > 0 && t - lastSample >= 1000.0) {
      lastSample = roundMs(t - 0.5 * dt);
      track.samples.push_back(StageSample{lastSample, stage});
    }
    if (!needsMove(kin.frames[i], stage, config, r)) {
      ++i;
      continue;
    }
    cv::Point target = centredOn(kin.frames[i], config);
    cv::Point2d way(target - stage);
    double dist = std::hypot(way.x, way.y);
    int n = std::max(3, static_cast<int>(std::ceil(1.5 * dist / kMaxStepPx)));
    // A move the movie cannot finish, or one too small to matter, is not made.
    if (dist < 2.0 || i + n >= frames) {
      ++i;
      continue;
    }
    // The move is a run of quick steps between frames; the controller
    // reports where each step ended.
    track.samples.push_back(StageSample{roundMs(t + 0.4 * dt), stage});
    for (int k = 1; k <= n; ++k) {
      cv::Point at = k == n ? target : stage + roundPoint(way * ease(static_cast<double>(k) / n));
      track.offset[i + k] = at;
      track.moving[i + k] = k < n;
      lastSample = roundMs(frameTimeMs(i + k, config.fps) - 0.4 * dt);
      track.samples.push_back(StageSample{lastSample, at});
    }
    stage = target;
    i += n;
  }
  // A log needs two samples to place frames; a movie shorter than a second
  // gets a closing one a frame and a half after its last frame, where every
  // frame stays more than a frame interval away from it.
  if (track.samples.size() < 2)
    track.samples.push_back(
        StageSample{roundMs(frameTimeMs(frames - 1, config.fps) + 1.5 * dt), stage});
  return track;
}

void shiftStage(StageTrack* track, cv::Point shift) {
  for (cv::Point& p : track->offset) p += shift;
  for (StageSample& s : track->samples) s.px += shift;
}

cv::Point minimumSample(const StageTrack& track) {
  cv::Point m(0, 0);
  for (size_t k = 0; k < track.samples.size(); ++k) {
    const cv::Point& p = track.samples[k].px;
    if (k == 0 || p.x < m.x) m.x = p.x;
    if (k == 0 || p.y < m.y) m.y = p.y;
  }
  return m;
}

}  // namespace synth
}  // namespace dukon
