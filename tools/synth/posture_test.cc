// The posture scenario: angle files, the chain built from them, and the
// still worm that holds it.
#include "synth/posture.h"

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "synth/behaviour_script.h"
#include "synth/cli.h"
#include "synth/worm_simulator.h"

namespace dukon {
namespace synth {
namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

class PostureFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dukon_posture_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string write(const std::string& name, const std::string& text) {
    std::string path = (dir_ / name).string();
    std::ofstream(path) << text;
    return path;
  }
  fs::path dir_;
};

TEST_F(PostureFile, AnglesAreReadInOrderAcrossLinesAndSeparators) {
  std::vector<double> a;
  std::string path = write("ok.txt", "# head first\n0.5, -0.25\n1e-1\t2\r\n\n-3\n");
  ASSERT_EQ(readPostureAngles(path, &a), "");
  EXPECT_EQ(a, (std::vector<double>{0.5, -0.25, 0.1, 2.0, -3.0}));
}

TEST_F(PostureFile, BadFilesGiveAReasonNamingTheFileAndLine) {
  std::vector<double> a;
  std::string bad = write("bad.txt", "0.1\n0.2 zero\n");
  EXPECT_EQ(readPostureAngles(bad, &a), bad + ":2: not an angle in radians: 'zero'");
  std::string nan = write("nan.txt", "0.1 nan\n");
  EXPECT_NE(readPostureAngles(nan, &a).find(nan + ":1:"), std::string::npos);
  std::string one = write("one.txt", "# nothing but\n0.3\n");
  EXPECT_EQ(readPostureAngles(one, &a), one + ": a posture needs 2 angles at least");
  EXPECT_EQ(readPostureAngles((dir_ / "missing").string(), &a),
            "cannot read posture file " + (dir_ / "missing").string());

  // On the command line the reason becomes the error; the scenario and the
  // option need each other.
  CliResult r = parseCommandLine({"--scenario", "posture", "--out", "d", "--posture-angles", bad});
  EXPECT_EQ(r.action, CliAction::kError);
  EXPECT_NE(r.error.find(":2:"), std::string::npos);
  EXPECT_EQ(parseCommandLine({"--scenario", "posture", "--out", "d"}).action, CliAction::kError);
  std::string good = write("good.txt", "0 0.1 0.2\n");
  EXPECT_EQ(parseCommandLine({"--out", "d", "--posture-angles", good}).action, CliAction::kError);
  r = parseCommandLine({"--scenario", "posture", "--out", "d", "--posture-angles", good});
  ASSERT_EQ(r.action, CliAction::kRun) << r.error;
  EXPECT_EQ(r.config.postureRad.size(), 3u);
}

TEST(PostureCentreline, PiecesHaveTheGivenAnglesTurnedByTheHeading) {
  const std::vector<double> angles{0.0, 0.3, 0.9, 0.4, -0.2, -0.6};
  const double length = 240.0, heading = 2.0;
  // One point per corner: every piece is one step.
  std::vector<cv::Point2f> c = postureCentreline(angles, length, heading, cv::Point2d(5, 7), 7);
  ASSERT_EQ(c.size(), 7u);
  EXPECT_FLOAT_EQ(c[0].x, 5.0f);
  EXPECT_FLOAT_EQ(c[0].y, 7.0f);
  for (size_t k = 0; k < angles.size(); ++k) {
    cv::Point2f d = c[k + 1] - c[k];
    EXPECT_NEAR(std::hypot(d.x, d.y), length / 6, 1e-3) << k;
    double t = std::atan2(d.y, d.x) - (angles[k] + heading);
    EXPECT_NEAR(std::remainder(t, 2 * kPi), 0.0, 1e-5) << k;
  }
  // Finer sampling stays on the chain, equally spaced along it.
  std::vector<cv::Point2f> fine = postureCentreline(angles, length, heading, cv::Point2d(5, 7), 61);
  for (size_t j = 0; j < fine.size(); ++j) {
    if (j % 10 == 0) {
      EXPECT_NEAR(fine[j].x, c[j / 10].x, 1e-3);
      EXPECT_NEAR(fine[j].y, c[j / 10].y, 1e-3);
    }
    if (j > 0) {
      EXPECT_NEAR(cv::norm(fine[j] - fine[j - 1]), 4.0, 1e-3);
    }
  }
}

TEST(PostureScenario, TheWormHoldsTheShapeStillForTheWholeMovie) {
  SynthConfig config;
  ASSERT_TRUE(scenarioConfig("posture", &config));
  config.seconds = 1.0;
  for (int k = 0; k < 48; ++k) config.postureRad.push_back(0.8 * std::sin(2 * kPi * k / 48.0));
  ASSERT_EQ(validateConfig(config), "");
  Kinematics kin = simulateWorm(config, buildScript(config));
  ASSERT_EQ(kin.frames.size(), 30u);
  const FramePose& first = kin.frames[0];
  double arc = 0.0;
  for (size_t j = 1; j < first.centreline.size(); ++j) {
    arc += cv::norm(first.centreline[j] - first.centreline[j - 1]);
  }
  EXPECT_NEAR(arc, config.lengthPx(), 0.1);  // chords cut the 47 corners a little
  for (const FramePose& f : kin.frames) {
    EXPECT_EQ(f.state, State::kPause);
    EXPECT_EQ(f.speedPxS, 0.0);
    EXPECT_EQ(f.freqHz, 0.0);
    EXPECT_EQ(f.centreline, first.centreline);
  }
  // The heading follows the seed; the shape does not.
  config.seed = 2;
  Kinematics other = simulateWorm(config, buildScript(config));
  cv::Point2f a = first.centreline.back() - first.centreline.front();
  cv::Point2f b = other.frames[0].centreline.back() - other.frames[0].centreline.front();
  EXPECT_NEAR(cv::norm(a), cv::norm(b), 1e-2);
  EXPECT_GT(cv::norm(a - b), 10.0);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
