#include "synth/cli.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace dukon {
namespace synth {
namespace {

namespace fs = std::filesystem;

CliResult parse(std::vector<std::string> args) {
  return parseCommandLine(args);
}

TEST(Cli, ScenarioDefaultsComeFirstWhateverTheOptionOrder) {
  CliResult r = parse({"--seconds", "5", "--out", "d", "--scenario", "imagemotion"});
  ASSERT_EQ(r.action, CliAction::kRun) << r.error;
  EXPECT_EQ(r.config.scenario, "imagemotion");
  EXPECT_TRUE(r.config.trackCorr);
  EXPECT_EQ(r.config.seconds, 5.0);
  EXPECT_EQ(r.config.movieName(), "imagemotion");
  EXPECT_EQ(r.outDir, "d");
  r = parse({"--scenario=long", "--out=x"});
  ASSERT_EQ(r.action, CliAction::kRun) << r.error;
  EXPECT_EQ(r.config.seconds, 300.0);
  EXPECT_EQ(effectiveEggCount(r.config), 7);
  EXPECT_FALSE(effectiveEggDetect(r.config));
}

TEST(Cli, EveryNumberCanBeChanged) {
  CliResult r = parse({"--scenario", "eggs",         "--out",    "o",
                       "--name",     "m1",           "--fps=25", "--seed",
                       "42",         "--codec",      "ffv1",     "--width",
                       "800",        "--height",     "600",      "--mmpix",
                       "300",        "--length-mm",  "1.2",      "--width-mm",
                       "0.09",       "--speed-mm-s", "0.2",      "--back-speed-mm-s",
                       "0.15",       "--freq-hz",    "0.5",      "--bend-deg",
                       "35",         "--bout-s",     "2",        "--eggs",
                       "2",          "--egg-detect", "0",        "--track",
                       "corr",       "--noise",      "3.5",      "--recentre-px",
                       "80",         "--polarity",   "bright"});
  ASSERT_EQ(r.action, CliAction::kRun) << r.error;
  const SynthConfig& c = r.config;
  EXPECT_EQ(c.movieName(), "m1");
  EXPECT_EQ(c.fps, 25.0);
  EXPECT_EQ(c.seed, 42u);
  EXPECT_EQ(c.codec, Codec::kFfv1);
  EXPECT_EQ(c.width, 800);
  EXPECT_EQ(c.height, 600);
  EXPECT_EQ(c.mmpix, 300);
  EXPECT_DOUBLE_EQ(c.lengthPx(), 360.0);
  EXPECT_DOUBLE_EQ(c.radiusPx(), 13.5);
  EXPECT_DOUBLE_EQ(c.wavelengthPx(), 120.0);
  EXPECT_EQ(c.backSpeedMmS, 0.15);
  EXPECT_EQ(c.bendDeg, 35.0);
  EXPECT_EQ(effectiveBoutS(c), 2.0);
  EXPECT_EQ(effectiveEggCount(c), 2);
  EXPECT_FALSE(effectiveEggDetect(c));
  EXPECT_TRUE(c.trackCorr);
  EXPECT_EQ(c.noise, 3.5);
  EXPECT_EQ(c.recentrePx, 80.0);
  EXPECT_TRUE(c.brightWorm);
}

TEST(Cli, BadOptionsAreErrorsWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--scenario", "swim", "--out", "d"},
      {"--out", "d", "--fps"},
      {"--out", "d", "--fps", "abc"},
      {"--out", "d", "--fps", "0"},
      {"--out", "d", "--seconds", "-1"},
      {"--out", "d", "--codec", "h264"},
      {"--out", "d", "--track", "Stage"},
      {"--out", "d", "--polarity", "white"},
      {"--out", "d", "--egg-detect", "2"},
      {"--out", "d", "--bogus", "1"},
      {"--out", "d", "--name", "a b"},
      {"--out", "d", "--name", "../x"},
      {"--out", "d", "--length-mm", "3"},  // longer than the frame
      {"--out", "d", "--freq-hz", "5"},    // wavelength too short
      {"--out", "d", "--scenario", "reversals", "--bout-s", "7"},
      {"--out", "d", "--seconds", "2", "--eggs", "4"},
      {"--seconds", "2"},  // no --out
      {"stray"},
  };
  for (const auto& args : bad) {
    CliResult r = parse(args);
    EXPECT_EQ(r.action, CliAction::kError) << args.back();
    EXPECT_FALSE(r.error.empty()) << args.back();
  }
  EXPECT_EQ(parse({"--out", "d", "--help"}).action, CliAction::kHelp);
}

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int run(const std::string& args, const std::string& out, const std::string& err) {
  std::string cmd = std::string(DUKON_SYNTH_EXE) + " " + args + " >" + out + " 2>" + err;
  int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliProgram, HelpListsEveryOptionAndScenarioBadOptionsExitTwo) {
  fs::path tmp = fs::temp_directory_path() / ("dukon_synth_cli_" + std::to_string(::getpid()));
  fs::create_directories(tmp);
  std::string out = (tmp / "out.txt").string(), err = (tmp / "err.txt").string();
  ASSERT_EQ(run("--help", out, err), 0);
  std::string help = slurp(out);
  for (const char* opt :
       {"--scenario",  "--out",         "--name",       "--seconds",         "--fps",
        "--seed",      "--codec",       "--width",      "--height",          "--mmpix",
        "--length-mm", "--width-mm",    "--speed-mm-s", "--back-speed-mm-s", "--freq-hz",
        "--bend-deg",  "--bout-s",      "--eggs",       "--egg-detect",      "--track",
        "--noise",     "--recentre-px", "--polarity"}) {
    EXPECT_NE(help.find(std::string("  ") + opt + " "), std::string::npos) << opt;
  }
  for (const std::string& s : scenarioNames()) {
    EXPECT_NE(help.find("  " + s + " "), std::string::npos) << s;
  }
  EXPECT_EQ(run("--scenario forward --out " + tmp.string() + " --fps nope", out, err), 2);
  EXPECT_NE(slurp(err).find("--fps"), std::string::npos);
  EXPECT_TRUE(slurp(out).empty());
  EXPECT_EQ(run("--out '" + tmp.string() + "/with space'", out, err), 2);
  EXPECT_FALSE(slurp(err).empty());
  // A real, short run writes the four files.
  std::string dir = (tmp / "movie").string();
  ASSERT_EQ(run("--scenario pauses --seconds 0.4 --name p --out " + dir, out, err), 0)
      << slurp(err);
  for (const char* f : {"/p.avi", "/p.log.csv", "/p.truth.csv", "/params.txt"}) {
    EXPECT_GT(fs::file_size(dir + f), 0u) << f;
  }
  fs::remove_all(tmp);
}

}  // namespace
}  // namespace synth
}  // namespace dukon
