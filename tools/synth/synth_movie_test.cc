// The written files against each other and against the pixels: the ground
// truth must describe what the movie shows, in the analyser's conventions.
#include "synth/synth_movie.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <queue>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "base/params.h"
#include "run/movie.h"
#include "stage/stage_util.h"
#include "synth/body_model.h"

namespace dukon {
namespace synth {
namespace {

namespace fs = std::filesystem;

constexpr int kDarkBelow = 145;  // between the worm's edge grey (~108) and the agar (~190)

std::string scratchDir(const std::string& leaf) {
  fs::path p =
      fs::temp_directory_path() / ("dukon_synth_" + std::to_string(::getpid()) + "_" + leaf);
  fs::remove_all(p);
  return p.string();
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

SynthConfig shortForward(double seconds) {
  SynthConfig c;
  scenarioConfig("forward", &c);
  c.seconds = seconds;
  c.recentrePx = 30;  // several stage moves even in a short clip
  return c;
}

// Zhang-Suen thinning of a 0/1 mask.
cv::Mat thin(cv::Mat m) {
  m = m.clone();
  bool changed = true;
  while (changed) {
    changed = false;
    for (int pass = 0; pass < 2; ++pass) {
      cv::Mat del = cv::Mat::zeros(m.size(), CV_8U);
      for (int y = 1; y + 1 < m.rows; ++y) {
        for (int x = 1; x + 1 < m.cols; ++x) {
          if (!m.at<uchar>(y, x)) continue;
          int p[8] = {m.at<uchar>(y - 1, x), m.at<uchar>(y - 1, x + 1),
                      m.at<uchar>(y, x + 1), m.at<uchar>(y + 1, x + 1),
                      m.at<uchar>(y + 1, x), m.at<uchar>(y + 1, x - 1),
                      m.at<uchar>(y, x - 1), m.at<uchar>(y - 1, x - 1)};
          int b = 0, a = 0;
          for (int k = 0; k < 8; ++k) {
            b += p[k];
            a += (!p[k] && p[(k + 1) % 8]);
          }
          bool c1 = pass == 0 ? !(p[0] && p[2] && p[4]) : !(p[0] && p[2] && p[6]);
          bool c2 = pass == 0 ? !(p[2] && p[4] && p[6]) : !(p[0] && p[4] && p[6]);
          if (b >= 2 && b <= 6 && a == 1 && c1 && c2) del.at<uchar>(y, x) = 1;
        }
      }
      if (cv::countNonZero(del)) changed = true;
      m.setTo(0, del);
    }
  }
  return m;
}

// Length of the longest path through a one-pixel-wide skeleton: the
// geodesic path between its farthest ends, measured as a polyline through
// every fifth pixel so that the pixel staircase does not count.
double skeletonLength(const cv::Mat& s) {
  std::vector<cv::Point> pts;
  cv::findNonZero(s, pts);
  if (pts.empty()) return 0.0;
  cv::Mat index(s.size(), CV_32S, cv::Scalar(-1));
  for (size_t k = 0; k < pts.size(); ++k) index.at<int>(pts[k]) = static_cast<int>(k);
  auto farthest = [&](int from, std::vector<int>* prev) {
    std::vector<double> d(pts.size(), 1e18);
    prev->assign(pts.size(), -1);
    using Item = std::pair<double, int>;
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> q;
    d[from] = 0.0;
    q.push({0.0, from});
    while (!q.empty()) {
      auto [dk, k] = q.top();
      q.pop();
      if (dk > d[k]) continue;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          cv::Point p = pts[k] + cv::Point(dx, dy);
          if ((!dx && !dy) || !cv::Rect(0, 0, s.cols, s.rows).contains(p)) continue;
          int m = index.at<int>(p);
          double w = (dx && dy) ? std::sqrt(2.0) : 1.0;
          if (m >= 0 && d[k] + w < d[m]) {
            d[m] = d[k] + w;
            (*prev)[m] = k;
            q.push({d[m], m});
          }
        }
      }
    }
    int best = from;
    for (size_t k = 0; k < pts.size(); ++k) {
      if (d[k] < 1e17 && d[k] > d[best]) best = static_cast<int>(k);
    }
    return best;
  };
  std::vector<int> prev;
  int a = farthest(0, &prev);
  int b = farthest(a, &prev);
  std::vector<cv::Point> path;
  for (int k = b; k >= 0; k = prev[k]) path.push_back(pts[k]);
  double len = 0.0;
  for (size_t k = 5; k < path.size() + 4; k += 5) {
    size_t j = std::min(k, path.size() - 1);
    len += cv::norm(path[j] - path[k - 5]);
  }
  return len;
}

// The dark object of a grey frame: the largest connected region below kDarkBelow.
cv::Mat wormMask(const cv::Mat& grey) {
  cv::Mat dark = grey < kDarkBelow, labels, stats, centroids;
  int n = cv::connectedComponentsWithStats(dark, labels, stats, centroids, 8);
  int best = 0;
  for (int k = 1; k < n; ++k) {
    if (best == 0 || stats.at<int>(k, cv::CC_STAT_AREA) > stats.at<int>(best, cv::CC_STAT_AREA)) {
      best = k;
    }
  }
  cv::Mat mask = labels == best;
  return mask / 255;
}

// Mean of the brightest fifth of eroded body pixels within `radius` of `p`.
double endBrightness(const cv::Mat& grey, const cv::Mat& mask, cv::Point2d p, double radius) {
  cv::Mat inner;
  cv::erode(mask, inner, cv::Mat(), cv::Point(-1, -1), 2);
  std::vector<int> values;
  for (int y = 0; y < grey.rows; ++y) {
    for (int x = 0; x < grey.cols; ++x) {
      if (inner.at<uchar>(y, x) && std::hypot(x - p.x, y - p.y) < radius) {
        values.push_back(grey.at<uchar>(y, x));
      }
    }
  }
  if (values.empty()) return -1.0;
  std::sort(values.rbegin(), values.rend());
  size_t n = std::max<size_t>(1, values.size() / 5);
  double sum = 0.0;
  for (size_t k = 0; k < n; ++k) sum += values[k];
  return sum / n;
}

cv::Point2d inFrame(cv::Point2d world, cv::Point stage) {
  return world - cv::Point2d(stage);
}

// One short MJPG movie written once for the whole suite.
class WrittenMovie : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(scratchDir("written"));
    movie_ = new SynthMovie(shortForward(3.0));
    movie_->writeFiles(*dir_);
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete movie_;
    delete dir_;
  }
  static std::string path(const std::string& suffix) { return *dir_ + "/forward" + suffix; }

  static std::string* dir_;
  static SynthMovie* movie_;
};
std::string* WrittenMovie::dir_ = nullptr;
SynthMovie* WrittenMovie::movie_ = nullptr;

TEST_F(WrittenMovie, FramesTruthRowsAndCaptureNumberingAgree) {
  std::vector<TruthRow> truth = readTruthCsv(path(".truth.csv"));
  ASSERT_EQ(static_cast<int>(truth.size()), 90);
  cv::VideoCapture cap(path(".avi"));
  ASSERT_TRUE(cap.isOpened());
  EXPECT_EQ(cap.get(cv::CAP_PROP_FRAME_COUNT), 90.0);
  EXPECT_EQ(cap.get(cv::CAP_PROP_FPS), 30.0);
  cv::Mat frame;
  int n = 0;
  while (cap.read(frame)) {
    ASSERT_LT(n, 90);
    EXPECT_EQ(frame.size(), cv::Size(640, 480));
    EXPECT_EQ(frame.type(), CV_8UC3);
    // The truth numbers frames as the capture does after reading them.
    EXPECT_EQ(static_cast<int>(cap.get(cv::CAP_PROP_POS_FRAMES)), truth[n].frame);
    EXPECT_NEAR(cap.get(cv::CAP_PROP_POS_MSEC), truth[n].timeMs, 1e-3);
    ++n;
  }
  EXPECT_EQ(n, 90);
}

TEST_F(WrittenMovie, DecodedFramesShowTheModelWormWhereTheTruthSaysItIs) {
  std::vector<TruthRow> truth = readTruthCsv(path(".truth.csv"));
  BodyModel body(movie_->config());
  cv::VideoCapture cap(path(".avi"));
  cv::Mat frame, grey;
  for (int i = 0; cap.read(frame); ++i) {
    if (i % 10 != 5) continue;
    cv::cvtColor(frame, grey, cv::COLOR_BGR2GRAY);
    cv::Mat mask = wormMask(grey);
    SCOPED_TRACE("frame " + std::to_string(truth[i].frame));
    // Area of the dark object against the body model.
    EXPECT_NEAR(cv::countNonZero(mask), body.area(), 0.06 * body.area());
    // Length of its centreline: thinning loses about a half width at each end.
    double len = skeletonLength(thin(mask));
    EXPECT_GT(len, 0.92 * body.length());
    EXPECT_LT(len, 1.01 * body.length());
    // The truth's centre of mass is the dark object's, within a pixel.
    const cv::Moments m = cv::moments(mask, true);
    EXPECT_LT(cv::norm(cv::Point2d(m.m10 / m.m00, m.m01 / m.m00) -
                       inFrame(truth[i].cmass, truth[i].stage)),
              1.0);
    // Head, middle and tail of the truth and every point of its centreline,
    // moved into the frame, lie on the body.
    std::vector<cv::Point2d> onBody = truth[i].centreline;
    onBody.insert(onBody.end(), {truth[i].head, truth[i].mid, truth[i].tail});
    for (cv::Point2d w : onBody) {
      cv::Point2d p = inFrame(w, truth[i].stage);
      ASSERT_TRUE(p.inside(cv::Rect2d(0, 0, 640, 480)));
      cv::Mat near =
          mask(cv::Rect(cvRound(p.x) - 2, cvRound(p.y) - 2, 5, 5) & cv::Rect(0, 0, 640, 480));
      EXPECT_GT(cv::countNonZero(near), 0) << "at " << p;
    }
    // The centreline runs from head to tail in equal steps (a step is a
    // chord of the bent body, so a little under length / 48).
    const std::vector<cv::Point2d>& c = truth[i].centreline;
    ASSERT_EQ(c.size(), static_cast<size_t>(kCentrelinePoints));
    EXPECT_LT(cv::norm(c.front() - truth[i].head), 0.01);
    EXPECT_LT(cv::norm(c.back() - truth[i].tail), 0.01);
    const double step = body.length() / (kCentrelinePoints - 1);
    for (size_t k = 1; k < c.size(); ++k) {
      EXPECT_LT(cv::norm(c[k] - c[k - 1]), step + 0.02) << k;
      EXPECT_GT(cv::norm(c[k] - c[k - 1]), 0.97 * step) << k;
    }
    // The head end is the brighter one, by the model's margin give or take.
    double r = 0.1 * body.length();
    double head = endBrightness(grey, mask, inFrame(truth[i].head, truth[i].stage), r);
    double tail = endBrightness(grey, mask, inFrame(truth[i].tail, truth[i].stage), r);
    EXPECT_GT(tail, 0.0);
    EXPECT_GT(head - tail, 5.0);
    EXPECT_LT(head - tail, 25.0);
  }
}

TEST_F(WrittenMovie, StageOffsetOfTheTruthIsWhatTheLogSaysAtThatTime) {
  std::vector<TruthRow> truth = readTruthCsv(path(".truth.csv"));
  // The analyser's own reading: the written parameters file, the movie's
  // frame count and rate as its capture reports them, its stage reader.
  std::ostringstream out, err, stageErr;
  const Params prms = Params::fromFile(*dir_ + "/params.txt", err);
  Movie movie(prms.moviePath(".avi"), prms.screenop(), out, err);
  movie.open();
  StageUtil stage(prms.moviePath(".log.csv"),
                  stageWindow(prms.fframe(), prms.lframe(), movie.length(), movie.fps()),
                  prms.screenop(), out, stageErr);
  EXPECT_EQ(stageErr.str(), "");  // every stage line parsed
  const std::vector<StageUtil::Location>& log = stage.samples();
  ASSERT_GE(log.size(), 2u);  // at least one sample before the end sentinel
  EXPECT_EQ(log[0].time, 0.0);
  int moves = 0;
  for (size_t i = 0; i < truth.size(); ++i) {
    // The analyser holds the frame time as a float and walks the cursor as
    // the track does.
    double t = static_cast<float>(truth[i].timeMs);
    while (stage.next().time < t && stage.canAdvance()) stage.advance(true);
    const cv::Point2d mm = stage.currentOffset();
    cv::Point offset(static_cast<int>(std::floor(prms.mmpixstage() * mm.x)),
                     static_cast<int>(std::floor(prms.mmpixstage() * mm.y)));
    EXPECT_EQ(offset, truth[i].stage) << "frame " << truth[i].frame;
    // Frames shown during a move, and the one before it, have the next
    // sample less than a frame interval ahead: the analyser skips them.
    bool before = i + 1 < truth.size() && truth[i + 1].stageMoving && !truth[i].stageMoving;
    if (truth[i].stageMoving || before) {
      ASSERT_TRUE(stage.canAdvance()) << "no logged sample after frame " << truth[i].frame;
      EXPECT_LT(stage.next().time - t, 1000.0 / 30) << "frame " << truth[i].frame;
    }
    if (before) ++moves;
  }
  EXPECT_GE(moves, 2);
  for (size_t k = 1; k + 1 < log.size(); ++k) {  // the end sentinel excluded
    EXPECT_GT(log[k].time, log[k - 1].time);
    EXPECT_LE(log[k].time - log[k - 1].time, 1000.0 + 1000.0 / 30);
  }
}

TEST_F(WrittenMovie, ParamsNameTheMovieForTheAnalyser) {
  std::string text = slurp(*dir_ + "/params.txt");
  std::string dir = absoluteDir(*dir_);
  EXPECT_NE(text.find("\nmoviedir = " + dir + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nmoviename = forward\n"), std::string::npos);
  EXPECT_NE(text.find("\noutdir = " + dir + "\n"), std::string::npos);
  EXPECT_NE(text.find("\nmmpix = 280\n"), std::string::npos);
  EXPECT_NE(text.find("\nfrmps = 30\n"), std::string::npos);
  EXPECT_NE(text.find("\ntrack = stage\n"), std::string::npos);
  EXPECT_NE(text.find("\neggs = 0\n"), std::string::npos);
  EXPECT_EQ(text.find(" =\n"), std::string::npos);
}

// The background belongs to the world: where two frames with different
// stage offsets overlap in the world, away from the worm, they are identical.
TEST(SynthMovie, BackgroundIsFixedInTheWorld) {
  SynthMovie movie(shortForward(3.0));
  const std::vector<TruthRow>& t = movie.truth();
  int a = 0, b = static_cast<int>(t.size()) - 1;
  cv::Point d = t[b].stage - t[a].stage;
  ASSERT_NE(d, cv::Point(0, 0));
  cv::Mat ga, gb;
  movie.renderClean(a, &ga);
  movie.renderClean(b, &gb);
  // World rectangle seen in both frames, minus a band around the worm.
  cv::Rect inA = cv::Rect(0, 0, 640, 480) & cv::Rect(d.x, d.y, 640, 480);
  cv::Mat diff;
  cv::absdiff(ga(inA), gb(inA - d), diff);
  cv::Mat worm = (ga(inA) < 170) | (gb(inA - d) < 170);
  cv::dilate(worm, worm, cv::Mat(), cv::Point(-1, -1), 8);
  diff.setTo(0, worm);
  EXPECT_EQ(cv::countNonZero(diff), 0);
  EXPECT_GT(inA.area() - cv::countNonZero(worm), 100000);
}

TEST(SynthMovie, LaidEggsStayInTheWorldAndParamsSwitchEggDetectionOn) {
  SynthConfig c;
  scenarioConfig("eggs", &c);
  SynthMovie movie(c);
  int events = 0;
  EXPECT_NE(paramsText(c, "/tmp/x/").find("\neggs = 1\n"), std::string::npos);
  for (const TruthRow& r : movie.truth()) {
    if (!r.eggEvent) continue;
    ++events;
    // Dark in the laying frame and, at the same world place, three seconds
    // later, when the worm has crawled on and the egg lies on its own.
    for (int later : {0, 90}) {
      int i = r.frame - 1 + later;
      if (i >= movie.frameCount()) continue;
      cv::Mat grey;
      movie.renderClean(i, &grey);
      cv::Point2d p = inFrame(r.egg, movie.truth()[i].stage);
      if (!p.inside(cv::Rect2d(2, 2, 636, 476))) continue;
      EXPECT_LT(grey.at<uchar>(cvRound(p.y), cvRound(p.x)), kDarkBelow) << "egg " << events;
      if (later == 0) continue;
      cv::Mat mask = wormMask(grey);
      EXPECT_EQ(mask.at<uchar>(cvRound(p.y), cvRound(p.x)), 0) << "egg still on the worm";
    }
  }
  EXPECT_EQ(events, 4);
}

TEST(SynthMovie, FixedSeedGivesIdenticalFilesAndLosslessCodecKeepsThePixels) {
  SynthConfig c = shortForward(0.5);
  c.codec = Codec::kFfv1;
  const std::vector<std::string> files = {"/forward.avi", "/forward.log.csv", "/forward.truth.csv",
                                          "/params.txt"};
  std::string two = scratchDir("seed_a"), three = scratchDir("seed_b");
  SynthMovie(c).writeFiles(two);
  std::vector<std::string> first;
  for (const std::string& f : files) first.push_back(slurp(two + f));
  SynthMovie movie(c);
  movie.writeFiles(two);
  for (size_t k = 0; k < files.size(); ++k) {
    EXPECT_FALSE(first[k].empty()) << files[k];
    EXPECT_EQ(first[k], slurp(two + files[k])) << files[k];
  }
  c.seed = 7;
  SynthMovie(c).writeFiles(three);
  EXPECT_NE(first[0], slurp(three + files[0]));
  EXPECT_NE(first[2], slurp(three + files[2]));
  // FFV1 gives back exactly the rendered frames.
  cv::VideoCapture cap(two + "/forward.avi");
  cv::Mat got, want;
  int n = 0;
  while (cap.read(got)) {
    movie.renderFrame(n, &want);
    ASSERT_EQ(cv::norm(got, want, cv::NORM_INF), 0.0) << "frame " << n;
    EXPECT_EQ(static_cast<int>(cap.get(cv::CAP_PROP_POS_FRAMES)), n + 1);
    ++n;
  }
  EXPECT_EQ(n, movie.frameCount());
  fs::remove_all(two);
  fs::remove_all(three);
}

TEST(SynthMovie, MjpgIsDeterministicToo) {
  SynthConfig c = shortForward(0.5);
  std::string dir = scratchDir("mjpg");
  SynthMovie(c).writeFiles(dir);
  std::string a = slurp(dir + "/forward.avi");
  SynthMovie(c).writeFiles(dir);
  EXPECT_GT(a.size(), 10000u);
  EXPECT_EQ(a, slurp(dir + "/forward.avi"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
