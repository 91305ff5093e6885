// Runs the dukon executable on small movies written by the tests and checks
// what a user sees: exit status, console messages and the output files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "base/folder_lock.h"
#include "support/executable.h"

namespace dukon {
namespace {

using testing_support::fileExists;
using testing_support::readFile;
using testing_support::runIn;
using testing_support::RunResult;

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        testing_support::freshDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void writeParams(const std::string& extra) {
    std::ofstream(dir_ + "/params.txt") << "moviedir = " << dir_ << "\nmoviename = w\n"
                                        << "outdir = " << dir_ << "/out\nmmpix = 100\n"
                                        << extra;
  }
  void writeMovie(int frames) {
    testing_support::writeMovie(dir_ + "/w.avi", frames, cv::Size(200, 160),
                                testing_support::drawBand);
    testing_support::writeStillStageLog(dir_ + "/w.log.csv", frames / 25 + 2);
  }
  std::string outFile(const std::string& name) const { return dir_ + "/out/w/w-" + name; }

  // Every entry of the output folder with its content.
  std::map<std::string, std::string> outFolder() const {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/out/w"))
      files[e.path().filename()] = readFile(e.path());
    return files;
  }

  // Starts the program in the test's folder, waits until it has begun its
  // result files and kills it: the stage log is a pipe nobody writes, so the
  // run waits there, after the tables are begun and before any is done.
  int killWhileRunning() {
    const std::string log = dir_ + "/w.log.csv";
    std::rename(log.c_str(), (log + ".kept").c_str());
    ::mkfifo(log.c_str(), 0666);
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(dir_.c_str()) != 0) ::_exit(126);
      ::dup2(::open("/dev/null", O_RDONLY), 0);
      ::dup2(::open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0666), 1);
      ::dup2(::open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0666), 2);
      ::execl(DUKON_EXE, DUKON_EXE, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const std::string begun = dir_ + "/out/w/.w-wxo.txt." + std::to_string(pid) + ".tmp";
    for (int i = 0; i < 3000 && !fileExists(begun); ++i) ::usleep(10000);
    EXPECT_TRUE(fileExists(begun));
    ::kill(pid, SIGKILL);
    int raw = 0;
    ::waitpid(pid, &raw, 0);
    std::remove(log.c_str());
    std::rename((log + ".kept").c_str(), log.c_str());
    return WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : WEXITSTATUS(raw);
  }

  std::string dir_;
};

TEST_F(RunDriverTest, CommandLine) {
  RunResult help = runIn(dir_, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("params.txt"), std::string::npos);
  RunResult version = runIn(dir_, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "0.07\n");
  RunResult bad = runIn(dir_, "--frobnicate");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_NE(bad.err.find("usage: dukon"), std::string::npos);
}

TEST_F(RunDriverTest, FatalConditionsExitWithOne) {
  // No parameters file: defaults, then no movie named.
  RunResult none = runIn(dir_, "");
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "\nCouldn't open params.txt, using defaults\n"
            "Movie directory and name must be given in parameters file.\n");
  // A movie directory without the movie.
  writeParams("");
  RunResult noMovie = runIn(dir_, "", "x");
  EXPECT_EQ(noMovie.status, 1);
  EXPECT_NE(noMovie.err.find("Can't open movie file " + dir_ +
                             "/w.avi\n(perhaps need to check "
                             "that codec is supported)\n"),
            std::string::npos);
  // The output folder is made before the movie is opened; it stays empty.
  EXPECT_TRUE(outFolder().empty());
  // A movie path that is a directory.
  ::mkdir((dir_ + "/w.avi").c_str(), 0777);
  EXPECT_EQ(runIn(dir_, "").status, 1);
  // An output path that is too long is refused before anything is created.
  std::ofstream(dir_ + "/params.txt")
      << "moviedir = " << dir_ << "\nmoviename = " << std::string(41, 'n') << "\noutdir = " << dir_
      << "/" << std::string(199 - dir_.size(), 'o') << "\n";
  RunResult longPath = runIn(dir_, "");
  EXPECT_EQ(longPath.status, 1);
  EXPECT_EQ(longPath.err.rfind("Path name too long: ", 0), 0u) << longPath.err;
  EXPECT_FALSE(fileExists(dir_ + "/" + std::string(199 - dir_.size(), 'o')));
}

TEST_F(RunDriverTest, PlainRunWritesSummaryRecordsAndParameterCopy) {
  writeMovie(20);
  writeParams("ignorefrm = 3-4\n");
  RunResult r = runIn(dir_, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nAnalyzing movie " + dir_ + "/w.avi\n#1 #2 #3 "), std::string::npos);
  std::string wxo = readFile(outFile("wxo.txt"));
  EXPECT_EQ(wxo.rfind("Total frames (key+drop) in movie: 20\nReal frames (key) extracted: 20\n", 0),
            0u)
      << wxo;
  EXPECT_NE(wxo.find("Ignored 2 frames as directed\n"), std::string::npos);
  // One "Frame number" line per record; the ignored frames have no chain.
  std::string skel = readFile(outFile("skel.csv"));
  EXPECT_EQ(std::count(skel.begin(), skel.end(), 'F'), 20);
  EXPECT_NE(skel.find("Frame number: 3\nFrame number: 4\nFrame number: 5\n"), std::string::npos);
  std::string copy = readFile(outFile("params.txt"));
  EXPECT_EQ(copy.rfind("# DUKON version: 0.07 with OpenCV\n# analyzed on: ", 0), 0u);
  EXPECT_NE(copy.find("\n\nmoviedir    = " + dir_ + "/\n"), std::string::npos);
  // The copy shows the movie's rate at precision 3 and the last frame reached.
  EXPECT_NE(copy.find("frmps       = 25\n"), std::string::npos);
  EXPECT_NE(copy.find("lframe      = 20\n"), std::string::npos);
  EXPECT_FALSE(fileExists(outFile("eggs.txt")));

  // The folder holds the results alone: no temporary file, no lock.
  std::vector<std::string> names;
  for (const auto& [name, text] : outFolder()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"w-ang.txt", "w-centreline.csv", "w-checks.csv",
                                             "w-dsp.txt", "w-frames.csv", "w-params.txt",
                                             "w-skel.csv", "w-spd.txt", "w-track.bmp", "w-wave.bmp",
                                             "w-wxd.txt", "w-wxo.txt", "w-wxs.txt"}));

  // A second run replaces the tables but appends to skel.csv.
  ASSERT_EQ(runIn(dir_, "").status, 0);
  EXPECT_EQ(readFile(outFile("skel.csv")), skel + skel);
}

// A run that fails, is refused or is killed leaves the results of the run
// before it byte for byte; the next run clears what a killed one left.
TEST_F(RunDriverTest, AFailedRerunLeavesTheEarlierResults) {
  writeMovie(20);
  writeParams("");
  ASSERT_EQ(runIn(dir_, "").status, 0);
  const std::map<std::string, std::string> earlier = outFolder();
  const std::string log = dir_ + "/w.log.csv";
  struct Case {
    const char* name;
    std::function<RunResult()> rerun;
    int status;
    std::string errHas;
  };
  const std::string self = std::to_string(::getpid());
  const std::vector<Case> cases = {
      {"stage log gone",
       [&] {
         std::rename(log.c_str(), (log + ".kept").c_str());
         RunResult r = runIn(dir_, "");
         std::rename((log + ".kept").c_str(), log.c_str());
         return r;
       },
       1, "Couldn't open stage data file"},
      // 56 blocks of 512 bytes (28 KiB) hold every table and the two runs'
      // skel.csv (26 KB), but not the track image (33 KB).
      {"file-size limit", [&] { return runIn(dir_, "", "", true, "ulimit -f 56"); }, 1,
       "Could'nt save " + outFile("track.bmp") + "\nCould not write output file " +
           outFile("track.bmp") + "\nResults not published: " + dir_ +
           "/out/w/ keeps the files of the earlier run\n"},
      {"another run holds the folder",
       [&] {
         FolderLock other(dir_ + "/out/w/", ".w-lock");
         return runIn(dir_, "");
       },
       1, "Output folder " + dir_ + "/out/w/ is in use by another run (process " + self + ")"},
      {"killed",
       [&] {
         return RunResult{killWhileRunning(), "", ""};
       },
       137, ""},
  };
  for (const Case& c : cases) {
    const RunResult r = c.rerun();
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
    EXPECT_NE(r.err.find(c.errHas), std::string::npos) << c.name << "\n" << r.err;
    std::map<std::string, std::string> now = outFolder();
    for (auto it = now.begin(); it != now.end();)  // what a killed run leaves
      it = it->first[0] == '.' && c.status == 137 ? now.erase(it) : std::next(it);
    EXPECT_TRUE(now == earlier) << c.name;
  }
  const RunResult again = runIn(dir_, "");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.err.find("did not finish; its unfinished files are removed\n"), std::string::npos)
      << again.err;
  const std::map<std::string, std::string> after = outFolder();
  EXPECT_EQ(after.size(), earlier.size());
  EXPECT_EQ(after.at("w-skel.csv"), earlier.at("w-skel.csv") + earlier.at("w-skel.csv"));
}

TEST_F(RunDriverTest, FrameRangeAndVerboseSummary) {
  writeMovie(30);
  writeParams("fframe = 5\nlframe = 12\nscreenop = 1\neggs = 1\n");
  RunResult r = runIn(dir_, "");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("got frame 5 (ts=160)\ngot frame 6 (ts=200, delay=40)\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Total frames (key+drop) in movie: 8\nReal frames (key) extracted: 8\n"),
            std::string::npos);
  // Stopping at lframe as directed is no early exit: wxo.txt does not say
  // where the run stopped.
  const std::string wxo = readFile(outFile("wxo.txt"));
  EXPECT_EQ(wxo.rfind("Total frames (key+drop) in movie: 8\nReal frames (key) extracted: 8\n", 0),
            0u)
      << wxo;
  EXPECT_EQ(wxo.find("Exited at frame index"), std::string::npos) << wxo;
  std::string skel = readFile(outFile("skel.csv"));
  EXPECT_EQ(skel.rfind("Frame number: 5\n", 0), 0u);
  EXPECT_TRUE(fileExists(outFile("eggs.txt")));
}

TEST_F(RunDriverTest, ShortAndBrokenMovies) {
  // One frame.
  writeMovie(1);
  writeParams("");
  RunResult one = runIn(dir_, "");
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_NE(readFile(outFile("wxo.txt")).find("Real frames (key) extracted: 1\n"),
            std::string::npos);
  // A movie cut in the middle of its data.
  writeMovie(40);
  std::string whole = readFile(dir_ + "/w.avi");
  std::ofstream(dir_ + "/w.avi", std::ios::binary) << whole.substr(0, whole.size() / 2);
  RunResult cut = runIn(dir_, "");
  EXPECT_EQ(cut.status, 3) << cut.err;
  // The frames before the cut are analysed; the run says where it stopped.
  const std::string wxo = readFile(outFile("wxo.txt"));
  int real = -1;
  ASSERT_EQ(std::sscanf(wxo.c_str(),
                        "Total frames (key+drop) in movie: %*d\nReal frames (key) "
                        "extracted: %d",
                        &real),
            1)
      << wxo;
  EXPECT_GT(real, 0);
  EXPECT_LT(real, 40);
  EXPECT_NE(wxo.find("Exited at frame index "), std::string::npos);
}

}  // namespace
}  // namespace dukon
