// Acceptance: every synthetic scenario analysed by the dukon executable as a
// user runs it (a fresh directory with params.txt, movie and stage log), the
// outputs read back and compared with the generator's ground truth. Each
// scenario prints one table of figures (also kept as figures.txt beside its
// outputs) and asserts the levels the analysis must reach.
//
// DUKON_E2E_SECONDS, when set, shortens every scenario (the sanitizer build
// uses it); the figures are then printed and only the run itself is checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "run_outputs.h"
#include "synth/synth_config.h"
#include "synth/truth_table.h"

namespace dukon {
namespace e2e {
namespace {

using synth::TruthRow;

constexpr double kMmpix = 280;  // the generator's default scale

int shortSeconds() {
  const char* s = std::getenv("DUKON_E2E_SECONDS");
  return s ? std::atoi(s) : 0;
}

bool labelMatches(const std::string& label, const std::string& state) {
  if (state == "forward") return label == "fwd" || label == "fwdreversal";
  if (state == "backward") return label == "bckwd" || label == "reversal";
  if (state == "pause") return label == "pause";
  if (state == "omega") return label == "omega";
  if (state == "coil") return label == "loop";
  return false;
}

struct Figures {
  double goodPct = 0, consistentPct = 0;
  double errMedUm = 0, errP95Um = 0;        // consistent frames, stage at rest
  double errAllMedUm = 0, errAllP95Um = 0;  // all consistent frames
  double driftUm = 0;                       // last consistent frame
  double headRightPct = 0;
  double labelMatchPct = 0;
  int labelled = 0;
  int reversals = 0, trueReversals = 0;
  double wavelenErrPct = 0, freqErrPct = 0;
  int eggsVerified = 0, eggsLaid = 0, eggsMatched = 0, eggsFalse = 0;
  // centreline.csv against the true centrelines: frames with a centreline,
  // of all and of the omega and coil frames; the median over those frames
  // of the mean distance between corresponding points (pixels); frames
  // whose point 0 is nearer the true head than the true tail.
  double clPct = 0, clTurnPct = 0, clDistMed = 0, clTurnDistMed = 0, clHeadPct = 0;
  int turnFrames = 0, fittedFrames = 0;
};

// Counts backward bouts in the truth: runs of "backward" frames.
int backwardBouts(const std::vector<TruthRow>& truth) {
  int bouts = 0;
  for (size_t i = 0; i < truth.size(); ++i)
    if (truth[i].state == "backward" && (i == 0 || truth[i - 1].state != "backward")) ++bouts;
  return bouts;
}

double meanPointDistance(const CentrelineRow& r, const TruthRow& t) {
  double sum = 0;
  for (size_t k = 0; k < r.points.size(); ++k)
    sum += std::hypot(r.points[k].x - t.centreline[k].x, r.points[k].y - t.centreline[k].y);
  return sum / r.points.size();
}

void measureCentrelines(const std::map<int, CentrelineRow>& rows,
                        const std::vector<TruthRow>& truth, Figures* f) {
  std::vector<double> all, turns;
  int with = 0, turnsWith = 0, headFirst = 0;
  for (const TruthRow& t : truth) {
    const bool turn = t.state == "omega" || t.state == "coil";
    f->turnFrames += turn;
    auto it = rows.find(t.frame);
    if (it == rows.end() || it->second.points.size() != t.centreline.size()) continue;
    const CentrelineRow& r = it->second;
    f->fittedFrames += r.source == "fitted";
    const double d = meanPointDistance(r, t);
    ++with;
    all.push_back(d);
    if (turn) {
      ++turnsWith;
      turns.push_back(d);
    }
    const auto& p0 = r.points.front();
    headFirst +=
        std::hypot(p0.x - t.head.x, p0.y - t.head.y) < std::hypot(p0.x - t.tail.x, p0.y - t.tail.y);
  }
  f->clPct = share(with, static_cast<double>(truth.size()));
  f->clTurnPct = share(turnsWith, f->turnFrames);
  f->clDistMed = quantile(all, 0.5);
  f->clTurnDistMed = quantile(turns, 0.5);
  f->clHeadPct = share(headFirst, with);
}

Figures measure(const RunOutputs& o, const std::map<int, CentrelineRow>& centrelines,
                const std::vector<TruthRow>& truth) {
  std::map<int, const TruthRow*> byFrame;
  for (const TruthRow& t : truth) byFrame[t.frame] = &t;
  Figures f;
  f.goodPct = share(o.summary.good, o.summary.real);
  f.consistentPct = share(o.summary.consistent, o.summary.real);
  std::vector<double> err, errAll, wl, fq;
  int cons = 0, headRight = 0, matched = 0;
  for (const ShapeRow& r : o.shapes) {
    auto it = byFrame.find(r.frame);
    if (it == byFrame.end()) continue;
    const TruthRow& t = *it->second;
    if (!r.label.empty()) {
      ++f.labelled;
      if (labelMatches(r.label, t.state)) ++matched;
    }
    if (!r.consistent) continue;
    ++cons;
    const double e = std::hypot(r.mid.x - t.mid.x, r.mid.y - t.mid.y) * 1000 / kMmpix;
    errAll.push_back(e);
    if (!t.stageMoving) err.push_back(e);
    f.driftUm = e;
    if (std::hypot(r.head.x - t.head.x, r.head.y - t.head.y) <
        std::hypot(r.head.x - t.tail.x, r.head.y - t.tail.y))
      ++headRight;
    if (std::isfinite(r.wvlen) && t.wavelengthPx > 0)
      wl.push_back(std::fabs(r.wvlen - t.wavelengthPx) / t.wavelengthPx * 100);
    if (std::isfinite(r.freq) && t.freqHz > 0)
      fq.push_back(std::fabs(r.freq - t.freqHz) / t.freqHz * 100);
  }
  f.errMedUm = quantile(err, 0.5);
  f.errP95Um = quantile(err, 0.95);
  f.errAllMedUm = quantile(errAll, 0.5);
  f.errAllP95Um = quantile(errAll, 0.95);
  f.headRightPct = share(headRight, cons);
  f.labelMatchPct = share(matched, f.labelled);
  f.reversals = o.behaviour.totals.at("reversals");
  f.trueReversals = backwardBouts(truth);
  f.wavelenErrPct = quantile(wl, 0.5);
  f.freqErrPct = quantile(fq, 0.5);
  f.eggsVerified = static_cast<int>(o.eggs.size());
  std::vector<const TruthRow*> laid;
  for (const TruthRow& t : truth)
    if (t.eggEvent) laid.push_back(&t);
  f.eggsLaid = static_cast<int>(laid.size());
  for (const TruthRow* t : laid) {
    for (const EggRow& e : o.eggs)
      if (std::hypot(e.x - t->egg.x, e.y - t->egg.y) <= 20) {
        ++f.eggsMatched;
        break;
      }
  }
  for (const EggRow& e : o.eggs) {
    bool near = false;
    for (const TruthRow* t : laid) near |= std::hypot(e.x - t->egg.x, e.y - t->egg.y) <= 20;
    if (!near) ++f.eggsFalse;
  }
  measureCentrelines(centrelines, truth, &f);
  return f;
}

std::string table(const std::string& scenario, const Figures& f) {
  std::ostringstream os;
  os << std::fixed << std::setprecision(1);
  os << "== " << scenario << "\n"
     << "  good frames                      " << f.goodPct << " %\n"
     << "  consistent frames                " << f.consistentPct << " %\n"
     << "  mid world error, stage at rest   median " << f.errMedUm << " um, p95 " << f.errP95Um
     << " um\n"
     << "  mid world error, all consistent  median " << f.errAllMedUm << " um, p95 "
     << f.errAllP95Um << " um\n"
     << "  mid world error, last frame      " << f.driftUm << " um\n"
     << "  head right (consistent frames)   " << f.headRightPct << " %\n"
     << "  movement label matches truth     " << f.labelMatchPct << " % of " << f.labelled
     << " labelled frames\n"
     << "  reversals reported / true        " << f.reversals << " / " << f.trueReversals << "\n"
     << "  wavelen median relative error    " << f.wavelenErrPct << " %\n"
     << "  freq median relative error       " << f.freqErrPct << " %\n"
     << "  eggs verified / laid             " << f.eggsVerified << " / " << f.eggsLaid
     << " (matched within 20 px: " << f.eggsMatched << ", elsewhere: " << f.eggsFalse << ")\n"
     << "  centreline in frames             " << f.clPct << " % (omega/coil: " << f.clTurnPct
     << " % of " << f.turnFrames << "; " << f.fittedFrames << " fitted)\n"
     << "  centreline to truth, median      " << f.clDistMed
     << " px (omega/coil: " << f.clTurnDistMed << " px)\n"
     << "  centreline head first            " << f.clHeadPct << " %\n";
  return os.str();
}

// Analyses the movie of the run folder `dir` again, with `extra` lines
// appended to its parameters and the outputs under dir/sub; returns the exit
// status. stderr goes to dir/sub/errors.txt.
int rerun(const std::string& dir, const std::string& sub, const std::string& extra) {
  const std::string to = dir + "/" + sub;
  if (shell("mkdir -p '" + to + "'") != 0) return -1;
  std::ofstream(to + "/params.txt") << readText(dir + "/params.txt") << "outdir = " << to << "/\n"
                                    << extra;
  return shell("cd '" + to + "' && '" DUKON_EXE "' </dev/null >console.txt 2>errors.txt");
}

// Rows of a run's check file (its header line not counted); -1 when the
// file is missing.
int checkRows(const std::string& outDir, const std::string& name) {
  std::ifstream in(outDir + "/" + name + "/" + name + "-checks.csv");
  if (!in) return -1;
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines - 1;
}

// The figures of headmode = combined beside those of the default rule.
std::string headModeTable(const Figures& bright, const Figures& combined, int checks) {
  std::ostringstream os;
  os << std::fixed << std::setprecision(2) << "  head right, bright / combined    "
     << bright.headRightPct << " / " << combined.headRightPct << " %\n"
     << "  label matches, bright / combined " << bright.labelMatchPct << " / "
     << combined.labelMatchPct << " %\n"
     << "  head checks of the bright rule   " << checks << "\n";
  return os.str();
}

// Segments of wxs.txt whose text contains `word` and whose frame range
// overlaps the truth's frames in `state`.
bool segmentOverlaps(const RunOutputs& o, const std::vector<TruthRow>& truth,
                     const std::string& word, const std::string& state) {
  for (const SegmentLine& s : o.behaviour.segments) {
    if (s.text.find(word) == std::string::npos) continue;
    for (const TruthRow& t : truth)
      if (t.state == state && t.frame >= s.first && t.frame <= s.last) return true;
  }
  return false;
}

// Bouts of `state` in the truth as [first, last] frame ranges.
std::vector<std::pair<int, int>> bouts(const std::vector<TruthRow>& truth,
                                       const std::string& state) {
  std::vector<std::pair<int, int>> b;
  for (size_t i = 0; i < truth.size(); ++i) {
    if (truth[i].state != state) continue;
    if (i == 0 || truth[i - 1].state != state) b.push_back({truth[i].frame, truth[i].frame});
    b.back().second = truth[i].frame;
  }
  return b;
}

// The levels one scenario must reach, as data. Figures without a level for
// a scenario are printed but not checked.
struct Levels {
  std::string scenario;
  double minGoodPct = 0, minConsistentPct = 0;
  double maxErrMedUm = INFINITY, maxErrP95Um = INFINITY;  // stage at rest
  double maxErrAllMedUm = INFINITY;                       // all consistent frames
  double minHeadRightPct = 0, minLabelMatchPct = 0;
  bool reversalsAsTrue = false;  // as many reversals reported as scripted
  int pauseBouts = 0;            // scripted pause bouts, each shown as a pause segment
  // A segment of this kind (omega, loop) over a truth bout of this state.
  std::string segmentKind = "", overBout = "";
  bool coilFramesInconsistent = false;  // the frames inside a coil never consistent
  int minEggsMatched = 0;
  bool noFalseEggs = false;
  // Centrelines: frames with one (all, omega and coil), median distance to
  // the truth (all, omega and coil), head first.
  double minClPct = 0, minClTurnPct = 0, maxClDistMed = INFINITY, maxClTurnDistMed = INFINITY;
  double minClHeadPct = 0;
  // The levels of a scenario with omega turns or coils.
  void centrelinesThroughTurns() {
    minClPct = 95;
    minClTurnPct = 90;
    maxClDistMed = 2.5;
    maxClTurnDistMed = 3;
    minClHeadPct = 99;
  }
};

const std::vector<Levels>& scenarioLevels() {
  static const std::vector<Levels> kLevels = [] {
    std::vector<Levels> v;
    Levels forward{"forward"};
    forward.minGoodPct = 95;
    forward.minConsistentPct = 90;
    forward.maxErrMedUm = 15;
    forward.maxErrP95Um = 40;
    forward.minLabelMatchPct = 90;
    forward.minHeadRightPct = 95;
    v.push_back(forward);
    Levels reversals{"reversals"};
    reversals.minHeadRightPct = 95;
    reversals.reversalsAsTrue = true;
    v.push_back(reversals);
    Levels pauses{"pauses"};
    pauses.pauseBouts = 3;
    v.push_back(pauses);
    Levels omega{"omega"};
    omega.segmentKind = "omega";
    omega.overBout = "omega";
    omega.centrelinesThroughTurns();
    v.push_back(omega);
    Levels coil{"coil"};
    coil.segmentKind = "loop";
    coil.overBout = "coil";
    coil.coilFramesInconsistent = true;
    coil.centrelinesThroughTurns();
    v.push_back(coil);
    Levels eggs{"eggs"};
    eggs.minEggsMatched = 3;
    eggs.noFalseEggs = true;
    v.push_back(eggs);
    Levels imagemotion{"imagemotion"};
    imagemotion.maxErrAllMedUm = 50;
    v.push_back(imagemotion);
    // Five minutes of mixed behaviour with omega turns and coils: measured
    // for its centrelines (its other figures are the forward crawl's).
    Levels long5{"long"};
    long5.centrelinesThroughTurns();
    v.push_back(long5);
    return v;
  }();
  return kLevels;
}

// Scenarios of the generator that are not acceptance runs, and why.
const std::map<std::string, std::string>& notMeasured() {
  static const std::map<std::string, std::string> kWhy = {
      {"posture", "a still body of given tangent angles; the eigenworm tests measure it"},
  };
  return kWhy;
}

std::vector<std::string> measuredScenarios() {
  std::vector<std::string> names;
  for (const Levels& l : scenarioLevels()) names.push_back(l.scenario);
  return names;
}

// A scenario the generator makes must have levels, or say why it has none:
// one added without them would otherwise pass unmeasured.
TEST(AcceptanceLevels, EveryScenarioOfTheGeneratorIsMeasured) {
  const std::vector<std::string> measured = measuredScenarios();
  for (const std::string& name : synth::scenarioNames()) {
    const bool hasLevels = std::count(measured.begin(), measured.end(), name) == 1;
    EXPECT_TRUE(hasLevels || notMeasured().count(name) == 1)
        << "scenario '" << name << "' has no levels";
    EXPECT_FALSE(hasLevels && notMeasured().count(name) == 1) << name;
  }
}

class Acceptance : public ::testing::TestWithParam<std::string> {
 protected:
  // Renders the scenario, runs dukon on it and reads everything back.
  void SetUp() override {
    scenario_ = GetParam();
    dir_ = std::string(DUKON_E2E_DIR) + "/" + scenario_;
    ASSERT_EQ(shell("rm -rf '" + dir_ + "' && mkdir -p '" + dir_ + "'"), 0);
    std::string synth =
        std::string("'") + DUKON_SYNTH_EXE + "' --scenario " + scenario_ + " --out '" + dir_ + "'";
    if (shortSeconds() > 0) synth += " --seconds " + std::to_string(shortSeconds());
    ASSERT_EQ(shell(synth + " >'" + dir_ + "/synth.log' 2>&1"), 0);
    status_ = shell("cd '" + dir_ + "' && '" DUKON_EXE "' </dev/null >console.txt 2>errors.txt");
    ASSERT_EQ(status_, 0) << readText(dir_ + "/errors.txt");
    truth_ = synth::readTruthCsv(dir_ + "/" + scenario_ + ".truth.csv");
    out_ = readOutputs(dir_, scenario_);
    figures_ = measure(out_, readCentrelines(dir_, scenario_), truth_);
    checks_ = checkRows(dir_, scenario_);
    ASSERT_EQ(rerun(dir_, "combined", "headmode = combined\n"), 0)
        << readText(dir_ + "/combined/errors.txt");
    combined_ = measure(readOutputs(dir_ + "/combined", scenario_),
                        readCentrelines(dir_ + "/combined", scenario_), truth_);
    const std::string t = table(scenario_, figures_) + headModeTable(figures_, combined_, checks_);
    std::cout << t;
    std::ofstream(dir_ + "/figures.txt") << t;
  }
  bool full() const { return shortSeconds() == 0; }

  std::string scenario_, dir_;
  int status_ = -1;
  std::vector<TruthRow> truth_;
  RunOutputs out_;
  Figures figures_;
  Figures combined_;  // the same movie with headmode = combined
  int checks_ = -1;   // rows of the check file of the default run
};

TEST_P(Acceptance, MeetsItsLevels) {
  const Figures& f = figures_;
  // Every scenario: one row per frame, structure intact.
  EXPECT_EQ(out_.shapes.size(), truth_.size());
  EXPECT_FALSE(out_.behaviour.segments.empty());
  // The head check runs on every movie and finds nothing on these.
  EXPECT_EQ(checks_, 0);
  if (!full()) return;
  const auto levels = std::find_if(scenarioLevels().begin(), scenarioLevels().end(),
                                   [this](const Levels& l) { return l.scenario == scenario_; });
  ASSERT_NE(levels, scenarioLevels().end()) << "no levels for scenario " << scenario_;
  const Levels& l = *levels;
  EXPECT_GE(f.goodPct, l.minGoodPct);
  EXPECT_GE(f.consistentPct, l.minConsistentPct);
  EXPECT_LE(f.errMedUm, l.maxErrMedUm);
  EXPECT_LE(f.errP95Um, l.maxErrP95Um);
  EXPECT_LE(f.errAllMedUm, l.maxErrAllMedUm);
  EXPECT_GE(f.headRightPct, l.minHeadRightPct);
  EXPECT_GE(f.labelMatchPct, l.minLabelMatchPct);
  // All the evidence: the head right nearly everywhere, movement no worse.
  EXPECT_GE(combined_.headRightPct, 99.5);
  EXPECT_GE(combined_.labelMatchPct, f.labelMatchPct);
  if (l.reversalsAsTrue) {
    EXPECT_EQ(f.reversals, f.trueReversals);
  }
  if (l.pauseBouts > 0) {
    const std::vector<std::pair<int, int>> pauses = bouts(truth_, "pause");
    EXPECT_EQ(pauses.size(), static_cast<size_t>(l.pauseBouts));
    for (auto b : pauses) {
      bool seen = false;
      for (const SegmentLine& s : out_.behaviour.segments)
        seen |=
            s.text.find("pause") != std::string::npos && s.first <= b.second && s.last >= b.first;
      EXPECT_TRUE(seen) << "pause bout " << b.first << "-" << b.second;
    }
  }
  if (!l.segmentKind.empty()) {
    EXPECT_TRUE(segmentOverlaps(out_, truth_, l.segmentKind, l.overBout));
  }
  if (l.coilFramesInconsistent) {
    // Frames inside a coil bout end as loop frames. The bout's first and
    // last frames are left out: there the model's bodies touch by a fraction
    // of a pixel, which the rendered mask may or may not close.
    std::set<int> inner;
    for (auto b : bouts(truth_, "coil"))
      for (int fr = b.first + 1; fr < b.second; ++fr) inner.insert(fr);
    EXPECT_FALSE(inner.empty());
    for (const ShapeRow& r : out_.shapes) {
      if (inner.count(r.frame)) {
        EXPECT_FALSE(r.consistent) << "coil frame " << r.frame;
      }
    }
  }
  if (l.minClPct > 0) {  // NaN figures of a scenario without turns must not pass unseen
    EXPECT_GE(f.clPct, l.minClPct);
    EXPECT_GE(f.clTurnPct, l.minClTurnPct);
    EXPECT_LE(f.clDistMed, l.maxClDistMed);
    EXPECT_LE(f.clTurnDistMed, l.maxClTurnDistMed);
    EXPECT_GE(f.clHeadPct, l.minClHeadPct);
  }
  EXPECT_GE(f.eggsMatched, l.minEggsMatched);
  if (l.noFalseEggs) {
    EXPECT_EQ(f.eggsFalse, 0);
  }
}

// Renders `scenario` with `synthArgs` into a fresh folder `name` under the
// acceptance tree and analyses it there; returns the folder.
std::string renderAndAnalyse(const std::string& name, const std::string& scenario,
                             std::string synthArgs) {
  const std::string dir = std::string(DUKON_E2E_DIR) + "/" + name;
  EXPECT_EQ(shell("rm -rf '" + dir + "' && mkdir -p '" + dir + "'"), 0);
  if (shortSeconds() > 0) synthArgs += " --seconds " + std::to_string(shortSeconds());
  EXPECT_EQ(shell(std::string("'") + DUKON_SYNTH_EXE + "' --scenario " + scenario + " " +
                  synthArgs + " --out '" + dir + "' >'" + dir + "/synth.log' 2>&1"),
            0);
  EXPECT_EQ(shell("cd '" + dir + "' && '" DUKON_EXE "' </dev/null >console.txt 2>errors.txt"), 0)
      << readText(dir + "/errors.txt");
  return dir;
}

void keepFigures(const std::string& dir, const std::string& text) {
  std::cout << text;
  std::ofstream(dir + "/figures.txt") << text;
}

// The five-minute movie of mixed behaviour (reversals, pauses, omega turns,
// coils) with each head rule: all the evidence puts the head right nearly
// everywhere and labels movement no worse than brightness alone.
TEST(HeadModes, FiveMinuteMovieOfMixedBehaviour) {
  const std::string dir = renderAndAnalyse("long-headmodes", "long", "");
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::vector<TruthRow> truth = synth::readTruthCsv(dir + "/long.truth.csv");
  const Figures bright = measure(readOutputs(dir, "long"), readCentrelines(dir, "long"), truth);
  ASSERT_EQ(rerun(dir, "combined", "headmode = combined\n"), 0);
  const Figures combined = measure(readOutputs(dir + "/combined", "long"),
                                   readCentrelines(dir + "/combined", "long"), truth);
  const int checks = checkRows(dir, "long");
  keepFigures(dir, table("long, head rules", bright) + headModeTable(bright, combined, checks));
  EXPECT_EQ(checks, 0);
  if (shortSeconds() > 0) return;
  EXPECT_GE(combined.headRightPct, 99.5);
  EXPECT_GE(combined.labelMatchPct, bright.labelMatchPct);
}

// The forward movie with its grey levels inverted, a bright worm on a dark
// plate, is analysed as well as the original with polarity = bright (which
// the generator writes for it).
TEST(Polarity, BrightWormOnADarkPlate) {
  const std::string dir = renderAndAnalyse("forward-bright", "forward", "--polarity bright");
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::vector<TruthRow> truth = synth::readTruthCsv(dir + "/forward.truth.csv");
  const RunOutputs out = readOutputs(dir, "forward");
  const Figures f = measure(out, readCentrelines(dir, "forward"), truth);
  keepFigures(dir, table("forward, bright worm, polarity = bright", f));
  EXPECT_EQ(checkRows(dir, "forward"), 0);
  if (shortSeconds() > 0) return;
  EXPECT_GE(f.consistentPct, 90);
  EXPECT_GE(f.headRightPct, 99.5);
  EXPECT_GE(f.labelMatchPct, 90);
  EXPECT_NE(readText(dir + "/forward/forward-wxs.txt").find("forward is 100% of movement"),
            std::string::npos);
  // The gaps of a bright worm are fitted as well as those of a dark one.
  EXPECT_GE(f.clPct, 95);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Acceptance, ::testing::ValuesIn(measuredScenarios()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace e2e
}  // namespace dukon
