// Acceptance on real footage: 1000 crops of one crawling worm, published
// with a centreline per uncoiled frame, are turned into a movie by
// dukon-frames-to-avi and analysed by the dukon executable as a user runs it.
// The chains of skel.csv are compared with the published centrelines; each
// variant prints one table of figures (also kept as figures.txt beside its
// outputs) and asserts the levels the analysis must reach. Each movie is
// analysed with both head rules: the head is right where chain point 0 lies
// nearer the published point 0 (the head) than the published last point.
// A second real movie, a grey worm on black (the opposite polarity of a
// plate movie), has no worm for the default polarity and one with
// polarity = bright.
//
// Distance between a chain and a centreline: for every point of one, the
// distance to the nearest point of the other taken as a polyline; the mean of
// that over the chain's points and the mean over the centreline's points,
// averaged. It is symmetric, so a chain that is too short (misses part of
// the body) and a chain that runs off the body both raise it. In crop pixels.
//
// The data live in shared/data/real beside the source tree; without them (or
// without h5py for the published centrelines) the tests are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "results/skeleton_file.h"
#include "run_outputs.h"

namespace dukon {
namespace e2e {
namespace {

const std::string kDataDir = DUKON_SOURCE_DIR "/../shared/data/real";
const std::string kToolsDir = DUKON_SOURCE_DIR "/tools/real";
constexpr int kCrops = 1000;
// Share of frames with a published centreline (720 of 1000; the rest are
// mostly coiled). dukon has to find a valid chain in at least as many.
constexpr double kPublishedPct = 72.0;
const char kCheckHeader[] =
    "check,first_frame,last_frame,frames,seconds,brightness,head_swing,body_wave,travel,"
    "evidence\n";
const char kThin[] = "pixels thick on average";

bool exists(const std::string& path) {
  return std::ifstream(path).good();
}

struct Pt {
  double x = 0, y = 0;
};
using Line = std::vector<Pt>;

// skel.csv through the shared reader: frame number -> chain.
std::map<int, Line> readChains(const std::string& path) {
  std::map<int, Line> chains;
  for (const auto& [frame, chain] : results::readSkeletonFile(path)) {
    Line& line = chains[frame];
    for (const cv::Point& p : chain)
      line.push_back(Pt{static_cast<double>(p.x), static_cast<double>(p.y)});
  }
  return chains;
}

// centrelines.py output "frame,point,x,y": crop index -> centreline.
std::map<int, Line> readPublished(const std::string& path) {
  std::istringstream in(readText(path));
  std::map<int, Line> lines;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    int k = 0, j = 0;
    Pt p;
    if (std::sscanf(line.c_str(), "%d,%d,%lf,%lf", &k, &j, &p.x, &p.y) == 4) lines[k].push_back(p);
  }
  return lines;
}

double toSegment(const Pt& p, const Pt& a, const Pt& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

// Mean over the points of `from` of the distance to the polyline `to`.
double meanToPolyline(const Line& from, const Line& to) {
  double sum = 0;
  for (const Pt& p : from) {
    double best = std::hypot(p.x - to[0].x, p.y - to[0].y);
    for (size_t i = 1; i < to.size(); ++i) best = std::min(best, toSegment(p, to[i - 1], to[i]));
    sum += best;
  }
  return sum / from.size();
}

double lineDistance(const Line& a, const Line& b) {
  return (meanToPolyline(a, b) + meanToPolyline(b, a)) / 2;
}

// The curve through `line`'s points, a point about every frame pixel:
// 49 points are as much a curve as a chain's pixels.
Line densified(const Line& line) {
  Line out;
  for (size_t i = 1; i < line.size(); ++i) {
    const Pt &a = line[i - 1], &b = line[i];
    const int steps = std::max(1, static_cast<int>(std::ceil(std::hypot(b.x - a.x, b.y - a.y))));
    for (int k = 0; k < steps; ++k)
      out.push_back({a.x + (b.x - a.x) * k / steps, a.y + (b.y - a.y) * k / steps});
  }
  out.push_back(line.back());
  return out;
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return v.empty() ? std::nan("") : s / v.size();
}

// How the crops are laid into movie frames: enlarged `scale` times, placed
// at (margin, margin) of a size x size canvas.
struct Layout {
  const char* name;
  int scale, margin, size, mmpix;
};

// Chain in frame pixels -> crop pixels. The enlargement keeps pixel centres:
// crop pixel x lands on scale * x + (scale - 1) / 2.
Line toCrop(const Line& chain, const Layout& l) {
  Line out;
  const double shift = l.margin + (l.scale - 1) / 2.0;
  for (const Pt& p : chain) out.push_back({(p.x - shift) / l.scale, (p.y - shift) / l.scale});
  return out;
}

struct Figures {
  double goodPct = 0, consistentPct = 0;
  int compared = 0, comparedConsistent = 0;
  double distMean = 0, distMedian = 0, distP95 = 0;
  double consMean = 0, consP95 = 0;
  double coveragePct = 0;  // published frames with a consistent chain
  // Consistent frames compared one frame off (movie frame k with crop k
  // and with crop k - 2 instead of k - 1): the alignment must be sharper.
  double consMeanEarly = 0, consMeanLate = 0;
  int shortChains = 0, repeats = 0, disconnects = 0, edgeOnly = 0;
  // centreline.csv: frames with a centreline, fitted ones; on the published
  // frames the median distance (each centreline taken as the curve through
  // its points, sampled as densely as a chain) and the share whose point 0
  // is the published head end.
  double clPct = 0, clDistMedian = 0, clHeadPct = 0;
  int clFitted = 0, clCompared = 0;
  double clFittedDistMedian = 0;
};

// Where the head of the consistent frames with a published centreline lies.
struct HeadFigures {
  int compared = 0, right = 0;
  std::string wrong;  // the stretches of frames with the head wrong, "a-b (n)"
  double rightPct() const { return share(right, compared); }
};

int count(const std::string& text, const std::string& word) {
  int n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

Figures measure(const RunOutputs& o, const std::map<int, Line>& chains,
                const std::map<int, Line>& published, const Layout& l, const std::string& errors) {
  Figures f;
  f.goodPct = share(o.summary.good, o.summary.real);
  f.consistentPct = share(o.summary.consistent, o.summary.real);
  std::map<int, bool> consistent;
  for (const ShapeRow& r : o.shapes) consistent[r.frame] = r.consistent;
  std::vector<double> all, cons, early, late;
  for (const auto& [frame, chain] : chains) {
    if (chain.empty()) continue;
    const Line crop = toCrop(chain, l);
    auto at = [&](int k) { return published.find(k); };
    if (at(frame - 1) == published.end()) continue;
    const double d = lineDistance(crop, at(frame - 1)->second);
    all.push_back(d);
    if (!consistent[frame]) continue;
    cons.push_back(d);
    if (at(frame) != published.end()) early.push_back(lineDistance(crop, at(frame)->second));
    if (at(frame - 2) != published.end()) late.push_back(lineDistance(crop, at(frame - 2)->second));
  }
  f.compared = static_cast<int>(all.size());
  f.comparedConsistent = static_cast<int>(cons.size());
  f.distMean = mean(all);
  f.distMedian = quantile(all, 0.5);
  f.distP95 = quantile(all, 0.95);
  f.consMean = mean(cons);
  f.consP95 = quantile(cons, 0.95);
  f.coveragePct = share(f.comparedConsistent, static_cast<double>(published.size()));
  f.consMeanEarly = mean(early);
  f.consMeanLate = mean(late);
  f.shortChains = count(errors, "[short=");
  f.repeats = count(errors, "[repeat@");
  f.disconnects = count(errors, "[disconnect@");
  f.edgeOnly = count(errors, "threshold problem") + count(errors, "area problem");
  return f;
}

void measureCentrelines(const std::map<int, CentrelineRow>& rows,
                        const std::map<int, Line>& published, const Layout& l, Figures* f) {
  std::vector<double> dist, fitted;
  int with = 0, headFirst = 0;
  for (const auto& [frame, row] : rows) {
    if (row.points.empty()) continue;
    ++with;
    f->clFitted += row.source == "fitted";
    auto pub = published.find(frame - 1);
    if (pub == published.end()) continue;
    Line line;
    for (const cv::Point2d& p : row.points) line.push_back({p.x, p.y});
    // The stage stands still at the log's one position, the origin: world
    // pixels are frame pixels.
    const Line crop = toCrop(densified(line), l);
    const double d = lineDistance(crop, pub->second);
    dist.push_back(d);
    if (row.source == "fitted") fitted.push_back(d);
    const Pt &head = crop.front(), &p0 = pub->second.front(), &pn = pub->second.back();
    headFirst +=
        std::hypot(head.x - p0.x, head.y - p0.y) < std::hypot(head.x - pn.x, head.y - pn.y);
  }
  f->clPct = share(with, static_cast<double>(rows.size()));
  f->clCompared = static_cast<int>(dist.size());
  f->clDistMedian = quantile(dist, 0.5);
  f->clFittedDistMedian = quantile(fitted, 0.5);
  f->clHeadPct = share(headFirst, f->clCompared);
}

HeadFigures measureHeads(const RunOutputs& o, const std::map<int, Line>& chains,
                         const std::map<int, Line>& published, const Layout& l) {
  HeadFigures h;
  std::map<int, bool> consistent;
  for (const ShapeRow& r : o.shapes) consistent[r.frame] = r.consistent;
  int first = -1, last = -1, count = 0;
  auto close = [&]() {
    if (count > 0)
      h.wrong += " " + std::to_string(first) + "-" + std::to_string(last) + " (" +
                 std::to_string(count) + ")";
    count = 0;
  };
  for (const auto& [frame, chain] : chains) {
    const auto pub = published.find(frame - 1);
    if (chain.empty() || !consistent[frame] || pub == published.end()) continue;
    const Pt head = toCrop({chain.front()}, l).front();
    const Line& p = pub->second;
    const bool right = std::hypot(head.x - p.front().x, head.y - p.front().y) <
                       std::hypot(head.x - p.back().x, head.y - p.back().y);
    ++h.compared;
    h.right += right;
    if (right) {
      close();
      continue;
    }
    if (count == 0) first = frame;
    last = frame;
    ++count;
  }
  close();
  return h;
}

std::string headTable(const HeadFigures& bright, const HeadFigures& combined) {
  std::ostringstream os;
  os << std::fixed << std::setprecision(2) << "  head at published head, bright    "
     << bright.rightPct() << " % of " << bright.compared
     << " (wrong:" << (bright.wrong.empty() ? " none" : bright.wrong) << ")\n"
     << "  head at published head, combined  " << combined.rightPct() << " % of "
     << combined.compared << " (wrong:" << (combined.wrong.empty() ? " none" : combined.wrong)
     << ")\n";
  return os.str();
}

std::string table(const Layout& l, const Figures& f, size_t published) {
  std::ostringstream os;
  os << std::fixed << std::setprecision(2);
  os << "== " << l.name << " (crops x" << l.scale << " at +" << l.margin << " on " << l.size << "x"
     << l.size << ", mmpix " << l.mmpix << ")\n"
     << "  good frames                          " << f.goodPct << " %\n"
     << "  consistent frames                    " << f.consistentPct << " %\n"
     << "  chain vs published, all chains       mean " << f.distMean << " px, median "
     << f.distMedian << ", p95 " << f.distP95 << " (" << f.compared << " frames)\n"
     << "  chain vs published, consistent       mean " << f.consMean << " px, p95 " << f.consP95
     << " (" << f.comparedConsistent << " frames)\n"
     << "  published frames with consistent     " << f.coveragePct << " % of " << published << "\n"
     << "  consistent, one frame off            " << f.consMeanEarly << " / " << f.consMeanLate
     << " px (crop k / crop k-2 for frame k)\n"
     << "  rejected: short / repeat / disconnect " << f.shortChains << " / " << f.repeats << " / "
     << f.disconnects << ", edge-only masks " << f.edgeOnly << "\n"
     << "  centreline in frames                 " << f.clPct << " % (" << f.clFitted << " fitted)\n"
     << "  centreline vs published              median " << f.clDistMedian << " px, fitted "
     << f.clFittedDistMedian << " px, head first " << f.clHeadPct << " % (" << f.clCompared
     << " frames)\n";
  return os.str();
}

std::string quote(const std::string& s) {
  return "'" + s + "'";
}

class RealFootage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!exists(kDataDir + "/wormpose-sample/00000.png") ||
        !exists(kDataDir + "/masked-avi/test.avi"))
      GTEST_SKIP() << "real footage not found in " << kDataDir;
  }

  // Fresh run directory under the acceptance tree.
  static std::string makeDir(const std::string& name) {
    const std::string dir = std::string(DUKON_E2E_DIR) + "/" + name;
    EXPECT_EQ(shell("rm -rf " + quote(dir) + " && mkdir -p " + quote(dir)), 0);
    return dir;
  }

  // Runs dukon in `dir` (params.txt and inputs there); returns its exit
  // status, stderr in errors.txt.
  static int runDukon(const std::string& dir) {
    return shell("cd " + quote(dir) + " && " + quote(DUKON_EXE) +
                 " </dev/null >console.txt 2>errors.txt");
  }

  static void keepFigures(const std::string& dir, const std::string& text) {
    std::cout << text;
    std::ofstream(dir + "/figures.txt") << text;
  }

  // Builds the movie for `l`, exports the centrelines, runs dukon and reads
  // everything back into figures_. Skips when h5py is missing.
  void analyse(const Layout& l) {
    dir_ = makeDir(l.name);
    const std::string centrelines = dir_ + "/centrelines.csv";
    const int export_status =
        shell("/usr/bin/python3 " + quote(kToolsDir + "/centrelines.py") + " " +
              quote(kDataDir + "/wormpose-sample/features.h5") + " " + quote(centrelines) + " >" +
              quote(dir_ + "/export.log") + " 2>&1");
    if (export_status == 3) GTEST_SKIP() << "h5py missing: install python3-h5py";
    ASSERT_EQ(export_status, 0) << readText(dir_ + "/export.log");
    ASSERT_EQ(
        shell(quote(DUKON_FRAMES_TO_AVI_EXE) + " --in " + quote(kDataDir + "/wormpose-sample") +
              " --out " + quote(dir_ + "/wormpose.avi") + " --scale " + std::to_string(l.scale) +
              " --margin " + std::to_string(l.margin) + " --size " + std::to_string(l.size) + " >" +
              quote(dir_ + "/movie.log") + " 2>&1"),
        0)
        << readText(dir_ + "/movie.log");
    // The shipped settings, then this layout's scale; later lines win.
    // screenop makes the rejected chains' reasons show on stderr.
    std::ofstream(dir_ + "/params.txt")
        << readText(kToolsDir + "/params.txt") << "mmpix = " << l.mmpix << "\nscreenop = 1\n";
    std::ofstream(dir_ + "/wormpose.log.csv") << readText(kToolsDir + "/wormpose.log.csv");
    ASSERT_EQ(runDukon(dir_), 0) << readText(dir_ + "/errors.txt");

    const RunOutputs out = readOutputs(dir_, "wormpose");
    published_ = readPublished(centrelines);
    const std::map<int, Line> chains = readChains(dir_ + "/wormpose/wormpose-skel.csv");
    EXPECT_EQ(out.summary.real, kCrops);
    EXPECT_EQ(out.shapes.size(), static_cast<size_t>(kCrops));
    EXPECT_EQ(chains.size(), static_cast<size_t>(kCrops));
    EXPECT_EQ(published_.size(), static_cast<size_t>(kPublishedPct * kCrops / 100));
    errors_ = readText(dir_ + "/errors.txt");
    figures_ = measure(out, chains, published_, l, errors_);
    const std::map<int, CentrelineRow> rows = readCentrelines(dir_, "wormpose");
    EXPECT_EQ(rows.size(), static_cast<size_t>(kCrops));
    measureCentrelines(rows, published_, l, &figures_);
    bright_ = measureHeads(out, chains, published_, l);

    // The same movie with headmode = combined, outputs in combined/.
    const std::string sub = dir_ + "/combined";
    ASSERT_EQ(shell("mkdir -p " + quote(sub)), 0);
    std::ofstream(sub + "/params.txt")
        << readText(dir_ + "/params.txt") << "moviedir = ..\noutdir = .\nheadmode = combined\n";
    ASSERT_EQ(runDukon(sub), 0) << readText(sub + "/errors.txt");
    combined_ = measureHeads(readOutputs(sub, "wormpose"),
                             readChains(sub + "/wormpose/wormpose-skel.csv"), published_, l);
    checks_ = readText(dir_ + "/wormpose/wormpose-checks.csv");
    keepFigures(dir_, table(l, figures_, published_.size()) + headTable(bright_, combined_));
  }

  // Levels of the head at every scale: all the evidence puts it right in
  // 99 % of the compared frames; the check of a run finds nothing with it.
  void expectHeadLevels() const {
    EXPECT_GE(combined_.compared, 500);
    EXPECT_GE(combined_.rightPct(), 99.0);
    EXPECT_EQ(readText(dir_ + "/combined/wormpose/wormpose-checks.csv"), kCheckHeader);
  }

  // Levels both layouts reach: a chain wherever a pose was published, the
  // published frames compared nearly all, and the movie's frame numbering
  // (frame k is crop k - 1) visibly sharper than one frame off either way.
  void expectCommonLevels() const {
    const Figures& f = figures_;
    EXPECT_GE(f.goodPct, kPublishedPct);
    EXPECT_GE(f.compared, 700);
    EXPECT_LT(f.consMean, 0.9 * f.consMeanEarly);
    EXPECT_LT(f.consMean, 0.9 * f.consMeanLate);
  }

  std::string dir_;
  std::map<int, Line> published_;
  Figures figures_;
  std::string errors_;  // stderr of the default run
  std::string checks_;  // its check file
  HeadFigures bright_, combined_;
};

// The crops at their own size: the worm is about 89 px long and 9 px thick.
// A margin keeps the worm off the frame's top and left edges: the crops are
// cut tight, and the mask's closing would otherwise fill the strip between
// worm and edge. The fixed 7x7 closings still bridge gaps narrower than
// about 20 px between body parts, so bent worms lose frames and a chain may
// cut across a bend: hence the looser bounds.
TEST_F(RealFootage, NativeScaleChainsFollowPublishedCentrelines) {
  analyse({"real-native", 1, 10, 128, 89});
  if (IsSkipped() || HasFatalFailure()) return;
  expectCommonLevels();
  const Figures& f = figures_;
  EXPECT_GE(f.consistentPct, 50);
  EXPECT_GE(f.coveragePct, 65);
  EXPECT_LT(f.distMean, 2.5);
  EXPECT_LT(f.consMean, 1.2);
  expectHeadLevels();
  // About 7 pixels thick: the warning says what that costs.
  EXPECT_NE(errors_.find(kThin), std::string::npos) << errors_;
}

// Twice the native size: the brightness rule puts the head at the tail for
// the longest run (27 s of forward crawling), and the check says so.
TEST_F(RealFootage, DoubledScaleHeadNeedsAllTheEvidence) {
  analyse({"real-x2", 2, 20, 256, 178});
  if (IsSkipped() || HasFatalFailure()) return;
  expectCommonLevels();
  expectHeadLevels();
  EXPECT_LT(bright_.rightPct(), 50.0);
  EXPECT_NE(errors_.find("Warning: head and tail may be swapped in frames 391-843"),
            std::string::npos)
      << errors_;
  EXPECT_NE(errors_.find("headmode = combined"), std::string::npos);
  EXPECT_NE(checks_.find("\nhead,391,843,"), std::string::npos) << checks_;
  EXPECT_EQ(errors_.find(kThin), std::string::npos);
}

// The crops enlarged three times (worm about 267 px long, 27 px thick, the
// scale the segmentation's fixed pixel sizes suit): nearly every published
// pose is matched, within half a crop pixel on average.
TEST_F(RealFootage, TripledScaleChainsMatchPublishedCentrelines) {
  analyse({"real-x3", 3, 30, 384, 267});
  if (IsSkipped() || HasFatalFailure()) return;
  expectCommonLevels();
  const Figures& f = figures_;
  EXPECT_GE(f.consistentPct, 70);
  EXPECT_GE(f.coveragePct, 90);
  EXPECT_LT(f.distMean, 0.7);
  EXPECT_LT(f.consMean, 0.6);
  EXPECT_LT(f.consP95, 0.8);
  // A centreline in nearly every frame, the coiled ones included, as close
  // to the published ones as the chains are, head first.
  EXPECT_GE(f.clPct, 95);
  EXPECT_EQ(f.clCompared, 720);
  EXPECT_LE(f.clDistMedian, f.distMedian);
  EXPECT_GE(f.clHeadPct, 99);
  expectHeadLevels();
  EXPECT_EQ(checks_, kCheckHeader);
  EXPECT_EQ(errors_.find(kThin), std::string::npos);
}

// A grey worm on black. Taken for a dark worm, every frame's mask is the
// black plate: no worm, no results, and the message names the key. With
// polarity = bright the frames are inverted and the worm is found.
TEST_F(RealFootage, MaskedMovieNeedsPolarityBright) {
  const std::string dir = makeDir("real-masked");
  ASSERT_EQ(
      shell("ln -s " + quote(kDataDir + "/masked-avi/test.avi") + " " + quote(dir + "/masked.avi")),
      0);
  // The worm covers about 390 px at about 6 px width: some 65 px long.
  const std::string params = "moviedir = .\nmoviename = masked\noutdir = .\nmmpix = 65\n";
  std::ofstream(dir + "/params.txt") << params;
  std::ofstream(dir + "/masked.log.csv") << readText(kToolsDir + "/wormpose.log.csv");
  ASSERT_EQ(runDukon(dir), 1);
  const std::string noWorm = readText(dir + "/errors.txt");
  EXPECT_EQ(noWorm.rfind("No worm found in the 563 frames analysed", 0), 0u) << noWorm;
  EXPECT_NE(noWorm.find("set polarity = bright in params.txt"), std::string::npos) << noWorm;

  std::ofstream(dir + "/params.txt") << params << "polarity = bright\nscreenop = 1\n";
  ASSERT_EQ(runDukon(dir), 0) << readText(dir + "/errors.txt");
  for (const char* f : {"wxo.txt", "wxd.txt", "wxs.txt", "spd.txt", "dsp.txt", "ang.txt",
                        "skel.csv", "params.txt", "track.bmp", "wave.bmp", "checks.csv"})
    EXPECT_TRUE(exists(dir + "/masked/masked-" + f)) << f;
  const RunOutputs out = readOutputs(dir, "masked");
  const std::string errors = readText(dir + "/errors.txt");
  EXPECT_EQ(out.summary.real, 563);
  EXPECT_EQ(out.shapes.size(), 563u);
  const double consistent = share(out.summary.consistent, out.summary.real);
  std::ostringstream os;
  os << std::fixed << std::setprecision(2)
     << "== real-masked (grey worm on black, mmpix 65, polarity = bright)\n"
     << "  good frames                          " << share(out.summary.good, out.summary.real)
     << " %\n"
     << "  consistent frames                    " << consistent << " %\n"
     << "  edge-only masks                      "
     << count(errors, "threshold problem") + count(errors, "area problem") << "\n"
     << "  movement segments                    " << out.behaviour.segments.size() << "\n";
  keepFigures(dir, os.str());
  EXPECT_GE(consistent, 50);
}

}  // namespace
}  // namespace e2e
}  // namespace dukon
