// dukon-overlay as a user runs it: on the outputs of a real analysis of a
// synthetic movie with known answers, and on bad input.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "overlay/overlay_drawing.h"
#include "results/test_samples.h"

namespace dukon {
namespace overlay {
namespace {

namespace fs = std::filesystem;
namespace samples = results::samples;

// Runs a shell command; returns its exit status, its output in `output`.
int run(const std::string& command, std::string* output = nullptr) {
  std::string text;
  FILE* pipe = popen((command + " 2>&1 </dev/null").c_str(), "r");
  if (!pipe) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
  int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

std::string overlay(const std::string& args) {
  return std::string(DUKON_OVERLAY_EXE) + " " + args;
}

// Frame position of the true head and tail, from the generator's truth
// file (world pixels minus the stage offset), by frame number.
struct TrueEnds {
  cv::Point2d head, tail;
};

std::map<int, TrueEnds> readTruth(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::stringstream header(line);
  for (std::string f; std::getline(header, f, ',');) names.push_back(f);
  auto col = [&](const std::string& n) {
    return static_cast<size_t>(std::find(names.begin(), names.end(), n) - names.begin());
  };
  std::map<int, TrueEnds> truth;
  while (std::getline(in, line)) {
    std::vector<double> v;
    std::stringstream row(line);
    for (std::string f; std::getline(row, f, ',');) v.push_back(std::atof(f.c_str()));
    cv::Point2d stage(v[col("stage_x_px")], v[col("stage_y_px")]);
    truth[static_cast<int>(v[col("frame")])] = {
        cv::Point2d(v[col("head_x")], v[col("head_y")]) - stage,
        cv::Point2d(v[col("tail_x")], v[col("tail_y")]) - stage};
  }
  return truth;
}

// Centroid of the head mark's red in the image area of an annotated frame.
cv::Point2d redCentroid(const cv::Mat& canvas, const OverlayLayout& layout, int* count) {
  cv::Point2d sum(0, 0);
  *count = 0;
  cv::Rect area = layout.imageArea();
  for (int y = area.y; y < area.br().y; ++y) {
    for (int x = 0; x < area.width; ++x) {
      cv::Vec3b p = canvas.at<cv::Vec3b>(y, x);
      if (p[2] > 170 && p[1] < 80 && p[0] < 80) {
        sum += cv::Point2d(x, y);
        ++*count;
      }
    }
  }
  return *count ? sum / *count : sum;
}

int bannerPixelsOf(const cv::Mat& canvas, const OverlayLayout& layout, FrameState state) {
  cv::Mat mask;
  cv::Scalar c = stateColour(state), tol(40, 40, 40);
  cv::inRange(canvas(cv::Rect(0, 0, canvas.cols, layout.bannerHeight)), c - tol, c + tol, mask);
  return cv::countNonZero(mask);
}

// A 3-second forward crawl whose frame kBlank shows the empty plate: the
// analyser finds no skeleton there.
class AnalysedSyntheticRun : public ::testing::Test {
 protected:
  static constexpr int kBlank = 40;
  static constexpr int kFrames = 90;

  static void SetUpTestSuite() {
    dir_ = samples::freshDir("e2e");
    fs::path movie = dir_ / "movie";
    ASSERT_EQ(run(std::string(DUKON_SYNTH_EXE) + " --scenario forward --seconds 3 --out " +
                  quoted(movie)),
              0);
    blankOneFrame(movie / "forward.avi");
    std::ofstream(movie / "params.txt", std::ios::app)
        << "outdir = " << (dir_ / "out").string() << "/\n";
    std::string log;
    ASSERT_EQ(run("cd " + quoted(movie) + " && " + DUKON_EXE, &log), 0) << log;
    runDir_ = dir_ / "out" / "forward";
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static void blankOneFrame(const fs::path& avi) {
    cv::VideoCapture in(avi.string(), cv::CAP_FFMPEG);
    fs::path copy = avi.parent_path() / "copy.avi";
    cv::VideoWriter out(copy.string(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                        in.get(cv::CAP_PROP_FPS),
                        cv::Size(static_cast<int>(in.get(cv::CAP_PROP_FRAME_WIDTH)),
                                 static_cast<int>(in.get(cv::CAP_PROP_FRAME_HEIGHT))));
    cv::Mat f;
    for (int n = 1; in.read(f); ++n) {
      if (n == kBlank) f.setTo(cv::mean(f));
      out.write(f);
    }
    out.release();
    fs::rename(copy, avi);
  }

  static fs::path dir_, runDir_;
};
fs::path AnalysedSyntheticRun::dir_, AnalysedSyntheticRun::runDir_;

TEST_F(AnalysedSyntheticRun, StillsShowTheHeadOnTheTrueHeadAndTheBlankFrameRejected) {
  std::map<int, TrueEnds> truth = readTruth(dir_ / "movie" / "forward.truth.csv");
  const double scale = 0.75;
  OverlayLayout layout = makeLayout(cv::Size(640, 480), scale);
  for (int frame : {10, 55, kBlank}) {
    fs::path png = dir_ / ("still-" + std::to_string(frame) + ".png");
    std::string log;
    ASSERT_EQ(run(overlay(quoted(runDir_) + " --scale 0.75 --still " + std::to_string(frame) +
                          " --out " + quoted(png)),
                  &log),
              0)
        << log;
    cv::Mat canvas = cv::imread(png.string());
    ASSERT_EQ(canvas.size(), layout.canvas());
    int red = 0;
    cv::Point2d head = redCentroid(canvas, layout, &red);
    if (frame == kBlank) {
      EXPECT_NE(log.find("(rejected,"), std::string::npos) << log;
      EXPECT_GT(bannerPixelsOf(canvas, layout, FrameState::kRejected), 100);
      EXPECT_EQ(bannerPixelsOf(canvas, layout, FrameState::kConsistent), 0);
      EXPECT_EQ(red, 0) << "a rejected frame has no head mark";
      continue;
    }
    EXPECT_GT(bannerPixelsOf(canvas, layout, FrameState::kConsistent), 100) << frame;
    ASSERT_GT(red, 10) << frame;
    // The skeleton ends inside the body, about half a body width (11 px)
    // short of the tip; the tail is a body length (280 px) away.
    cv::Point2d trueHead = layout.toCanvas(truth.at(frame).head);
    cv::Point2d trueTail = layout.toCanvas(truth.at(frame).tail);
    EXPECT_LT(cv::norm(head - trueHead), 15 * scale) << frame;
    EXPECT_GT(cv::norm(head - trueTail), 200 * scale) << frame;
  }
}

TEST_F(AnalysedSyntheticRun, MovieHasEveryStepthFrameInOrder) {
  fs::path mp4 = dir_ / "every-other.mp4";
  std::string log;
  ASSERT_EQ(
      run(overlay(quoted(runDir_) + " --scale 0.5 --step 2 --from 2 --out " + quoted(mp4)), &log),
      0)
      << log;
  EXPECT_NE(log.find("wrote 45 frames (320x"), std::string::npos) << log;
  EXPECT_FALSE(fs::exists(dir_ / "every-other.part.mp4"));
  cv::VideoCapture movie(mp4.string(), cv::CAP_FFMPEG);
  ASSERT_TRUE(movie.isOpened());
  OverlayLayout layout = makeLayout(cv::Size(640, 480), 0.5);
  EXPECT_EQ(movie.get(cv::CAP_PROP_FRAME_WIDTH), layout.canvas().width);
  EXPECT_EQ(movie.get(cv::CAP_PROP_FRAME_HEIGHT), layout.canvas().height);
  EXPECT_NEAR(movie.get(cv::CAP_PROP_FPS), 15.0, 0.01);
  // Frames 2, 4, ... 90: the blank frame 40 is the 20th, and the only
  // rejected one.
  cv::Mat canvas;
  int count = 0;
  std::vector<int> rejected;
  while (movie.read(canvas)) {
    ++count;
    if (bannerPixelsOf(canvas, layout, FrameState::kRejected) > 50) rejected.push_back(count);
  }
  EXPECT_EQ(count, 45);
  EXPECT_EQ(rejected, std::vector<int>{kBlank / 2});
}

TEST_F(AnalysedSyntheticRun, BadInputGetsAMessageAndStatusOne) {
  fs::path bad = dir_ / "bad";
  fs::create_directories(bad);
  fs::copy(runDir_, bad / "forward", fs::copy_options::recursive);
  fs::path notMovie = bad / "notes.avi";
  samples::writeText(notMovie, "not a movie\n");
  fs::path small = bad / "small.avi";
  {
    cv::VideoWriter w(small.string(), cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                      10, cv::Size(64, 48));
    for (int i = 0; i < 3; ++i) w.write(cv::Mat(48, 64, CV_8UC3, cv::Scalar(200, 200, 200)));
  }
  const std::string folder = quoted(bad / "forward");
  struct Case {
    std::string args, message;
  } cases[] = {
      {quoted(bad / "absent"), "absent: no such folder"},
      {folder + " " + quoted(notMovie), "cannot read movie " + notMovie.string()},
      {folder + " " + quoted(small), "outside the 64x48 frames of " + small.string()},
      {folder + " " + quoted(bad / "gone.avi"), "no movie file " + (bad / "gone.avi").string()},
      {folder + " --out " + quoted(bad / "nowhere" / "x.mp4"), "no folder"},
      {folder + " --from 500", "no frame to write: the run covers frames 1 to 90"},
  };
  for (const Case& c : cases) {
    std::string log;
    EXPECT_EQ(run(overlay(c.args), &log), 1) << c.args;
    EXPECT_NE(log.find("dukon-overlay: "), std::string::npos) << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
  }
  // A truncated shape table and a skeleton file of another movie.
  fs::path wxd = bad / "forward" / "forward-wxd.txt";
  fs::resize_file(wxd, fs::file_size(wxd) / 2);
  std::string log;
  EXPECT_EQ(run(overlay(folder), &log), 1);
  EXPECT_NE(log.find(wxd.string() + ":"), std::string::npos) << log;
  fs::copy_file(runDir_ / "forward-wxd.txt", wxd, fs::copy_options::overwrite_existing);
  samples::writeText(bad / "forward" / "forward-skel.csv", "Frame number: 1\n");
  EXPECT_EQ(run(overlay(folder), &log), 1);
  EXPECT_NE(log.find("files of different runs?"), std::string::npos) << log;
}

TEST(OverlayCommandLine, UsageErrorsGetStatusTwo) {
  for (const std::string args :
       {"", "--scale 0.5", "run --scale 9", "run --step 0", "run --bogus 1", "run --out x.avi",
        "run --still 3 --out x.mp4", "run --from 9 --to 3", "run movie.avi extra", "run --fps"}) {
    std::string log;
    EXPECT_EQ(run(overlay(args), &log), 2) << args;
    EXPECT_NE(log.find("(see dukon-overlay --help)"), std::string::npos) << args;
  }
  std::string help;
  EXPECT_EQ(run(overlay("--help"), &help), 0);
  EXPECT_NE(help.find("Usage: dukon-overlay RUN_DIR [MOVIE.avi] [options]"), std::string::npos);
}

}  // namespace
}  // namespace overlay
}  // namespace dukon
