// Helpers for tests that run the dukon executable as a user would, in a
// working folder with params.txt, a movie and a stage log. The executable's
// path comes from DUKON_EXE, defined by the build for the test targets.
#ifndef DUKON_TESTS_SUPPORT_EXECUTABLE_H_
#define DUKON_TESTS_SUPPORT_EXECUTABLE_H_

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"

namespace dukon {
namespace testing_support {

// Result of one run of the executable.
struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Longest a run of the executable may take before it counts as a hang.
constexpr int kHangSeconds = 120;

// Runs the executable with `args` in `dir`, with `input` on standard input,
// or /dev/null when `noInput`, after the shell commands `limits` (such as
// "ulimit -f 24"). A hang is stopped after kHangSeconds and shows as status
// 124 (137 if it ignored the terminate signal).
inline RunResult runIn(const std::string& dir, const std::string& args,
                       const std::string& input = "", bool noInput = false,
                       const std::string& limits = "") {
  std::ofstream(dir + "/.stdin") << input;
  const std::string in = noInput ? "/dev/null" : ".stdin";
  std::string cmd = "cd '" + dir + "' && " + (limits.empty() ? "" : limits + " && ") +
                    "exec timeout -k 5 " + std::to_string(kHangSeconds) + " '" DUKON_EXE "' " +
                    args + " <" + in + " >.stdout 2>.stderr";
  int raw = std::system(cmd.c_str());
  RunResult r;
  if (WIFEXITED(raw))
    r.status = WEXITSTATUS(raw);
  else if (WIFSIGNALED(raw))
    r.status = 128 + WTERMSIG(raw);
  r.out = readFile(dir + "/.stdout");
  r.err = readFile(dir + "/.stderr");
  return r;
}

// Writes an MJPG movie of `frames` frames of `size`; `draw` paints frame i.
inline void writeMovie(const std::string& path, int frames, cv::Size size,
                       const std::function<void(cv::Mat&, int)>& draw, double fps = 25.0) {
  cv::VideoWriter w(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, size);
  for (int i = 0; i < frames; ++i) {
    cv::Mat f(size, CV_8UC3, cv::Scalar::all(190));
    draw(f, i);
    w.write(f);
  }
}

// A plain plate with a dark worm-like band moving slowly to the right.
inline void drawBand(cv::Mat& f, int i) {
  std::vector<cv::Point> pts;
  for (int x = 0; x < 90; x += 3)
    pts.emplace_back(60 + x + i, 80 + static_cast<int>(10 * std::sin((x + 2 * i) / 14.0)));
  cv::polylines(f, pts, false, cv::Scalar::all(80), 7, cv::LINE_AA);
}

// A stage log whose stage never moves.
inline void writeStillStageLog(const std::string& path, int seconds) {
  std::ofstream log(path);
  log << "Index,Time,Event,X,Y\n";
  for (int s = 0; s <= seconds; ++s)
    log << s << ",00:" << (s < 10 ? "0" : "") << s << ".000,STAGE,1000000,2000000\n";
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_EXECUTABLE_H_
