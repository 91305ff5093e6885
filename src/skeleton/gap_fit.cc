#include "skeleton/gap_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace dukon {

namespace {

// Share of a frame's measured slide the track's slide per frame takes on.
constexpr double kSlideFollow = 0.2;
// Frames elapsed between two of a track's frames that the expected slide
// counts, at most: beyond it the crawl is not carried on so far blind.
constexpr int kMostElapsed = 8;

Posture moved(Posture p, cv::Point2d by) {
  p.centre += by;
  return p;
}

// The slide along the body (pixels towards the head) that takes `from`
// nearest to `to` (same length), searched within +-range.
double slideBetween(const Posture& from, const Centreline& to, double length, double range) {
  constexpr int kSteps = 24;
  const double h = range / kSteps;
  auto distance = [&](double shift) {
    return meanPointDistance(centrelineOf(slidAlongBody(from, shift, length), length), to);
  };
  std::array<double, 2 * kSteps + 1> d;
  int best = 0;
  for (int i = 0; i <= 2 * kSteps; ++i) {
    d[i] = distance(h * (i - kSteps));
    if (d[i] < d[best]) best = i;
  }
  double shift = h * (best - kSteps);
  // The parabola through the least distance and its neighbours places the
  // slide between the grid's steps.
  if (best > 0 && best < 2 * kSteps) {
    const double curve = d[best - 1] - 2 * d[best] + d[best + 1];
    if (curve > 0) shift += 0.5 * h * (d[best - 1] - d[best + 1]) / curve;
  }
  return shift;
}

// `p` with the quarter of the body at the head (or the tail) turned by
// `angle` radians, more towards the end.
Posture bentEnd(Posture p, bool head, double angle) {
  constexpr int kQuarter = (kPostureKnots - 1) / 4;
  for (int i = 0; i <= kQuarter; ++i) {
    const double share = static_cast<double>(kQuarter - i) / kQuarter;
    p.angle[head ? i : kPostureKnots - 1 - i] += (head ? -angle : angle) * share;
  }
  return p;
}

double slideRange(const TrackSettings& settings) {
  return 3 * settings.crawlStepPx + 1;
}

// Tracks from `start` through the frames in the order `step` (+1 or -1)
// gives, into `fits`, keeping a frame's earlier fit when it is better.
void trackThrough(const BodyModel& model, GapFrames& frames, const TrackStart& start, int step,
                  const TrackSettings& settings, std::vector<FrameFit>& fits) {
  if (start.line.size() != kCentrelinePoints) return;
  TrackState state = startTrack(model, start, settings);
  const int n = frames.size();
  int last = start.frame;  // the number of the track's frame before
  for (int k = 0; k < n; ++k) {
    const int i = step > 0 ? k : n - 1 - k;
    const int elapsed =
        last > 0 ? std::clamp(std::abs(frames.frame(i) - last), 1, kMostElapsed) : 1;
    last = frames.frame(i);
    FrameFit fit = trackFrame(model, frames.target(i), frames.stage(i), settings, &state, elapsed);
    if (fit.mismatch < fits[i].mismatch) fits[i] = std::move(fit);
  }
}

}  // namespace

TrackState startTrack(const BodyModel& model, const TrackStart& start,
                      const TrackSettings& settings) {
  TrackState state;
  state.posture = postureOf(start.line);
  if (start.beyond.size() == kCentrelinePoints) {
    const Centreline here = centrelineOf(state.posture, model.length);
    state.slide = slideBetween(postureOf(start.beyond), here, model.length, slideRange(settings));
  }
  return state;
}

FrameFit trackFrame(const BodyModel& model, const FitTarget& target, cv::Point2d stage,
                    const TrackSettings& settings, TrackState* state, int elapsed) {
  elapsed = std::max(1, elapsed);
  const Posture predicted =
      slidAlongBody(moved(state->posture, -stage), state->slide * elapsed, model.length);
  FrameFit fit;
  if (target.empty()) {
    state->posture = moved(predicted, stage);
    return fit;
  }
  const Centreline expected = centrelineOf(predicted, model.length);
  std::vector<Posture> starts;
  for (double shift : {0.0, settings.crawlStepPx, -settings.crawlStepPx})
    starts.push_back(slidAlongBody(predicted, shift, model.length));
  // The leading end may turn off the way the body went (a head leaving a
  // coil): that end bent to either side.
  for (double bend : {settings.bendTrialRad, -settings.bendTrialRad})
    starts.push_back(bentEnd(predicted, state->slide >= 0, bend));
  FitResult best;
  best.cost = std::numeric_limits<double>::infinity();
  for (const Posture& start : starts) {
    const FitResult r =
        fitPosture(model, target, start, settings.fit, settings.trialIterations, expected);
    if (r.cost < best.cost) best = r;
  }
  best = fitPosture(model, target, best.posture, settings.fit, settings.iterations, expected);
  const Centreline line = centrelineOf(best.posture, model.length);
  fit.mismatch = bodyMismatch(model, line, target);
  fit.accepted = fit.mismatch <= settings.maxMismatch;
  fit.line = shifted(line, stage);
  if (!fit.accepted) {
    // A refused fit does not steer the track: it goes on as expected.
    state->posture = moved(predicted, stage);
    return fit;
  }
  const double slid = slideBetween(moved(state->posture, -stage), line, model.length,
                                   elapsed * slideRange(settings)) /
                      elapsed;
  state->slide = (1 - kSlideFollow) * state->slide + kSlideFollow * slid;
  state->posture = moved(best.posture, stage);
  return fit;
}

std::vector<FrameFit> fitGap(const BodyModel& model, GapFrames& frames, const TrackStart& before,
                             const TrackStart& after, const TrackSettings& settings) {
  std::vector<FrameFit> fits(frames.size());
  trackThrough(model, frames, before, +1, settings, fits);
  trackThrough(model, frames, after, -1, settings, fits);
  for (FrameFit& f : fits) f.accepted = f.mismatch <= settings.maxMismatch;
  return fits;
}

}  // namespace dukon
