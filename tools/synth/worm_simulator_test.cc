// Behaviour and body-wave properties of the scenarios, checked on the
// kinematics and the stage alone (no rendering), the way an analyser would
// see them: from centrelines and world positions over time.
#include "synth/worm_simulator.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "synth/behaviour_script.h"
#include "synth/body_model.h"
#include "synth/stage_follower.h"
#include "synth/synth_config.h"

namespace dukon {
namespace synth {
namespace {

struct StateRun {
  State state;
  int first;  // frame index
  int last;
};

SynthConfig scenario(const std::string& name) {
  SynthConfig c;
  EXPECT_TRUE(scenarioConfig(name, &c));
  return c;
}

std::vector<StateRun> runs(const Kinematics& kin) {
  std::vector<StateRun> out;
  for (int i = 0; i < static_cast<int>(kin.frames.size()); ++i) {
    State s = kin.frames[i].state;
    if (out.empty() || out.back().state != s) out.push_back(StateRun{s, i, i});
    out.back().last = i;
  }
  return out;
}

std::vector<StateRun> runsOf(const Kinematics& kin, State s) {
  std::vector<StateRun> all = runs(kin), some;
  for (const StateRun& r : all) {
    if (r.state == s) some.push_back(r);
  }
  return some;
}

double dist(cv::Point2f a, cv::Point2f b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}
cv::Point2f mid(const FramePose& f) {
  return f.centreline[f.centreline.size() / 2];
}

// Direction of travel as movement segments judge it: +1 when the middle
// moved towards where the head was at the start, -1 away from it.
int direction(const FramePose& a, const FramePose& b) {
  cv::Point2f h = a.centreline.front();
  return dist(mid(a), h) > dist(mid(b), h) ? 1 : -1;
}

// Largest distance of a body point from the head-tail line, in body lengths.
double maxAmplitude(const FramePose& f, double length) {
  cv::Point2f h = f.centreline.front(), t = f.centreline.back();
  double dx = t.x - h.x, dy = t.y - h.y, n = std::max(1e-9, std::hypot(dx, dy));
  double best = 0.0;
  for (const cv::Point2f& p : f.centreline) {
    best = std::max(best, std::abs((p.x - h.x) * dy - (p.y - h.y) * dx) / n);
  }
  return best / length;
}

// Smallest distance from the head to body points in the rear `share` of the body.
double headToRear(const FramePose& f, double share) {
  size_t n = f.centreline.size(), from = static_cast<size_t>((1.0 - share) * (n - 1));
  double best = 1e9;
  for (size_t j = from; j < n; ++j) best = std::min(best, dist(f.centreline[0], f.centreline[j]));
  return best;
}

TEST(Scenarios, ForwardCrawlsAtTheGivenSpeedWithAModerateBend) {
  SynthConfig c = scenario("forward");
  Kinematics kin = simulateWorm(c, buildScript(c));
  ASSERT_EQ(static_cast<int>(kin.frames.size()), 600);
  double travelled = 0.0;
  for (size_t i = 0; i < kin.frames.size(); ++i) {
    const FramePose& f = kin.frames[i];
    ASSERT_EQ(f.state, State::kForward) << "frame " << i;
    EXPECT_LT(maxAmplitude(f, c.lengthPx()), 0.25) << "frame " << i;
    if (i > 0) travelled += dist(f.centreline[0], kin.frames[i - 1].centreline[0]);
  }
  // The head runs along the path: its track is speed * time long.
  EXPECT_NEAR(travelled, c.speedPxS() * 599 / c.fps, 0.02 * travelled);
  // Body length of every centreline is the configured length.
  double len = 0.0;
  const auto& line = kin.frames[300].centreline;
  for (size_t j = 1; j < line.size(); ++j) len += dist(line[j], line[j - 1]);
  EXPECT_NEAR(len, c.lengthPx(), 0.01 * c.lengthPx());
}

// The travelling wave: bends repeat every wavelength along the body, and a
// point fixed on the body bends back and forth at the wave frequency.
TEST(Scenarios, BodyWaveHasTheTrueWavelengthAndFrequency) {
  SynthConfig c = scenario("forward");
  c.freqHz = 0.5;
  c.speedMmS = 0.3;  // wavelength 0.6 mm = 168 px
  Kinematics kin = simulateWorm(c, buildScript(c));
  const double lambda = c.wavelengthPx();
  // Frequency: sign changes of the bend near the head over 20 s.
  auto bendAt = [](const FramePose& f, size_t j, size_t k) {
    cv::Point2f a = f.centreline[j - k], b = f.centreline[j], d = f.centreline[j + k];
    double h1 = std::atan2(b.y - a.y, b.x - a.x), h2 = std::atan2(d.y - b.y, d.x - b.x);
    return std::remainder(h2 - h1, 2 * CV_PI);
  };
  int crossings = 0;
  double prev = bendAt(kin.frames[0], 40, 10);
  for (const FramePose& f : kin.frames) {
    double b = bendAt(f, 40, 10);
    if ((b > 0) != (prev > 0)) ++crossings;
    prev = b;
  }
  double freq = crossings / 2.0 / c.seconds;
  EXPECT_NEAR(freq, c.freqHz, 0.08 * c.freqHz);
  // The frequency every pose reports is the one the body shows, from one
  // second on (the worm takes a quarter second to get up to speed).
  for (size_t i = static_cast<size_t>(c.fps); i < kin.frames.size(); ++i)
    EXPECT_NEAR(kin.frames[i].freqHz, freq, 0.08 * c.freqHz) << "frame " << i;
  // Wavelength: sign changes of the bend along the body, per body length.
  double perLength = 0.0;
  int frames = 0;
  for (size_t i = 0; i < kin.frames.size(); i += 15, ++frames) {
    const FramePose& f = kin.frames[i];
    int along = 0;
    double p = bendAt(f, 10, 10);
    for (size_t j = 10; j + 10 < f.centreline.size(); ++j) {
      double b = bendAt(f, j, 10);
      if ((b > 0) != (p > 0)) ++along;
      p = b;
    }
    perLength += along / 2.0;
  }
  double waves = perLength / frames;  // waves on the sampled stretch of body
  double sampled = c.lengthPx() - 20;
  EXPECT_NEAR(sampled / waves, lambda, 0.12 * lambda);
  // The wavelength every pose reports is the one the body shows.
  for (size_t i = 0; i < kin.frames.size(); ++i)
    EXPECT_NEAR(kin.frames[i].wavelengthPx, sampled / waves, 0.12 * lambda) << "frame " << i;
}

TEST(Scenarios, ReversalsHaveThreeLongBackwardBoutsSeenOverHalfSecondSegments) {
  SynthConfig c = scenario("reversals");
  Kinematics kin = simulateWorm(c, buildScript(c));
  std::vector<StateRun> all = runs(kin), back = runsOf(kin, State::kBackward);
  ASSERT_EQ(back.size(), 3u);
  for (const StateRun& r : back) {
    EXPECT_GE((r.last - r.first + 1) / c.fps, 2.5);
    const int seg = static_cast<int>(0.5 * c.fps);
    int backwardSegments = 0, segments = 0;
    // Skip the first 0.3 s, while the worm still slows down and turns about.
    for (int i = r.first + 9; i + seg <= r.last; i += seg, ++segments) {
      if (direction(kin.frames[i], kin.frames[i + seg]) < 0) ++backwardSegments;
    }
    EXPECT_GE(segments, 4);
    EXPECT_EQ(backwardSegments, segments);
  }
  // Forward crawling before, between and after the bouts.
  ASSERT_EQ(all.size(), 7u);
  for (size_t k = 0; k < all.size(); k += 2) EXPECT_EQ(all[k].state, State::kForward);
  for (int i = 9; i + 15 <= back[0].first; i += 15) {
    EXPECT_GT(direction(kin.frames[i], kin.frames[i + 15]), 0) << "frame " << i;
  }
}

TEST(Scenarios, PausesStandStillForAtLeastTwoSeconds) {
  SynthConfig c = scenario("pauses");
  Kinematics kin = simulateWorm(c, buildScript(c));
  std::vector<StateRun> pauses = runsOf(kin, State::kPause);
  ASSERT_EQ(pauses.size(), 3u);
  for (const StateRun& r : pauses) {
    EXPECT_GE((r.last - r.first + 1) / c.fps, 2.0);
    // After the short deceleration the body does not move at all.
    int still = r.first + static_cast<int>(0.3 * c.fps);
    EXPECT_LT(dist(mid(kin.frames[still]), mid(kin.frames[r.last])), 0.01);
    EXPECT_DOUBLE_EQ(kin.frames[r.last].freqHz, 0.0);
  }
}

TEST(Scenarios, OmegaIsOneDeepOneSidedBendWithTheHeadNearTheBody) {
  SynthConfig c = scenario("omega");
  Kinematics kin = simulateWorm(c, buildScript(c));
  std::vector<StateRun> omega = runsOf(kin, State::kOmega);
  ASSERT_EQ(omega.size(), 1u);
  const StateRun& r = omega[0];
  EXPECT_GE((r.last - r.first + 1) / c.fps, 1.0);
  const double R = c.radiusPx();
  double deepest = 0.0, closest = 1e9;
  for (int i = r.first; i <= r.last; ++i) {
    deepest = std::max(deepest, maxAmplitude(kin.frames[i], c.lengthPx()));
    closest = std::min(closest, headToRear(kin.frames[i], 0.6));
    EXPECT_TRUE(std::isnan(kin.frames[i].wavelengthPx));
  }
  EXPECT_GT(deepest, 0.33);
  // Near, but not so near that closing a mask would join head and body.
  EXPECT_LT(closest, 0.25 * c.lengthPx());
  EXPECT_GT(closest, 2 * R + 20);
  // Outside the omega the bend stays moderate.
  EXPECT_LT(maxAmplitude(kin.frames[r.first - 60], c.lengthPx()), 0.25);
}

TEST(Scenarios, CoilKeepsTheHeadOnItsOwnRearBodyForTwoSecondsOrMore) {
  SynthConfig c = scenario("coil");
  Kinematics kin = simulateWorm(c, buildScript(c));
  std::vector<StateRun> coils = runsOf(kin, State::kCoil);
  ASSERT_EQ(coils.size(), 1u);
  const StateRun& r = coils[0];
  EXPECT_GE((r.last - r.first + 1) / c.fps, 2.0);
  int headOnRear = 0;
  for (int i = r.first; i <= r.last; ++i) {
    if (headToRear(kin.frames[i], 0.5) < 2 * c.radiusPx()) ++headOnRear;
  }
  EXPECT_GE(headOnRear / c.fps, 2.0);
  // Before the coil, no part of the body comes near another.
  BodyModel body(c);
  std::vector<double> radii;
  const auto& line = kin.frames[0].centreline;
  for (size_t j = 0; j < line.size(); ++j) radii.push_back(body.radiusAt(j / (line.size() - 1.0)));
  EXPECT_FALSE(touchesItself(kin.frames[r.first - 30].centreline, radii));
  EXPECT_TRUE(touchesItself(kin.frames[(r.first + r.last) / 2].centreline, radii));
}

TEST(Scenarios, EggsAreLaidBesideTheMiddleAtSeparateTimesAndPlaces) {
  SynthConfig c = scenario("eggs");
  Kinematics kin = simulateWorm(c, buildScript(c));
  ASSERT_EQ(kin.eggs.size(), 4u);
  for (size_t k = 0; k < kin.eggs.size(); ++k) {
    const LaidEgg& e = kin.eggs[k];
    double toMid = std::hypot(e.centre.x - mid(kin.frames[e.frameIndex]).x,
                              e.centre.y - mid(kin.frames[e.frameIndex]).y);
    EXPECT_NEAR(toMid, c.radiusPx() + 2.5, 1.0);  // touching the body's side
    if (k == 0) continue;
    EXPECT_GE((e.frameIndex - kin.eggs[k - 1].frameIndex) / c.fps, 2.0);
    for (size_t m = 0; m < k; ++m) {
      EXPECT_GT(cv::norm(e.centre - kin.eggs[m].centre), 30.0);
    }
  }
}

TEST(Scenarios, LongMixesEveryBehaviourAndFollowsWithSmallStageSteps) {
  SynthConfig c = scenario("long");
  Kinematics kin = simulateWorm(c, buildScript(c));
  EXPECT_EQ(static_cast<int>(kin.frames.size()), 9000);
  for (State s : {State::kForward, State::kBackward, State::kPause, State::kOmega, State::kCoil}) {
    EXPECT_FALSE(runsOf(kin, s).empty()) << stateName(s);
  }
  StageTrack stage = followWorm(kin, c);
  int moves = 0;
  for (size_t i = 1; i < stage.offset.size(); ++i) {
    cv::Point step = stage.offset[i] - stage.offset[i - 1];
    // Image-motion tracking searches +-20 pixels per frame.
    ASSERT_LE(std::max(std::abs(step.x), std::abs(step.y)), 20) << "frame " << i;
    if (!stage.moving[i - 1] && stage.moving[i]) ++moves;
    // The worm stays in view.
    cv::Point2f m = mid(kin.frames[i]) - cv::Point2f(stage.offset[i]);
    ASSERT_TRUE(m.x > 0 && m.y > 0 && m.x < c.width && m.y < c.height) << "frame " << i;
  }
  EXPECT_GT(moves, 20);
}

TEST(Scenarios, SameSeedSameWormOtherSeedOtherWorm) {
  SynthConfig c = scenario("reversals");
  Kinematics a = simulateWorm(c, buildScript(c)), b = simulateWorm(c, buildScript(c));
  c.seed = 2;
  Kinematics d = simulateWorm(c, buildScript(c));
  ASSERT_EQ(a.frames.size(), b.frames.size());
  EXPECT_EQ(a.frames.back().centreline, b.frames.back().centreline);
  EXPECT_NE(a.frames.back().centreline, d.frames.back().centreline);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
