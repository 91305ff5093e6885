// Runs the dukon executable on bad inputs, each in a fresh working directory,
// and checks that every one ends in a defined way: the expected message, exit
// status 1 for a fatal condition, 3 for a run that left out frames and 0 for
// a completed run (never a signal, a hang or a sanitizer report), exactly the
// expected output files, and never a temporary or lock file left behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/executable.h"
#include "support/mjpeg_avi.h"

namespace dukon {
namespace {

using testing_support::readFile;
using testing_support::RunResult;

// Output files of a run, as bits of a set; each is out/w/w-<name>.
const char* const kOutNames[] = {"wxo.txt",    "wxd.txt",   "spd.txt",  "dsp.txt",
                                 "ang.txt",    "wxs.txt",   "eggs.txt", "skel.csv",
                                 "params.txt", "track.bmp", "wave.bmp"};
constexpr unsigned kNone = 0;
constexpr unsigned kTables = 0x3f;
constexpr unsigned kWxd = 1u << 1;
constexpr unsigned kEggsTxt = 1u << 6;
constexpr unsigned kTrackBmp = 1u << 9;
constexpr unsigned kWaveBmp = 1u << 10;
constexpr unsigned kAll = kTables | 1u << 7 | 1u << 8 | kTrackBmp | kWaveBmp;  // eggs off

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The working directory of one case and the inputs written into it. The
// movie is <dir>/w.avi, the stage log <dir>/w.log.csv, the output root
// <dir>/out/.
struct Workspace {
  std::string dir;

  std::string path(const std::string& name) const { return dir + "/" + name; }
  void params(const std::string& extra) const {
    writeText(path("params.txt"), "moviedir = " + dir + "\nmoviename = w\noutdir = " + dir +
                                      "/out\nmmpix = 100\n" + extra);
  }
  void movie(int frames, cv::Size size = cv::Size(200, 160),
             const std::function<void(cv::Mat&, int)>& draw = testing_support::drawBand) const {
    testing_support::writeMovie(path("w.avi"), frames, size, draw);
  }
  void replaceByDirectory(const std::string& name) const {
    std::remove(path(name).c_str());
    ::mkdir(path(name).c_str(), 0777);
  }
  void log(const std::string& text) const { writeText(path("w.log.csv"), text); }
  void stillLog() const { testing_support::writeStillStageLog(path("w.log.csv"), 3); }
  // A complete good input set: 20 frames with a worm, a log, parameters.
  void good(const std::string& extraParams = "") const {
    movie(20);
    stillLog();
    params(extraParams);
  }
};

// Runs the executable in `dir`; standard input is a file holding one
// character, or /dev/null.
RunResult runDukon(const std::string& dir, bool oneChar) {
  return testing_support::runIn(dir, "", "\n", !oneChar);
}

// Replaces every "@" in `text` by the working directory.
std::string expand(const std::string& text, const std::string& dir) {
  std::string s;
  for (char c : text) {
    if (c == '@')
      s += dir;
    else
      s += c;
  }
  return s;
}

using W = const Workspace&;
using Setup = std::function<void(W)>;

// One bad input and how the run must end. Built by fatal() or completes()
// and refined by the chained calls.
struct BadInputCase {
  std::string name;
  Setup setup;
  int status = 0;                    // exit status
  std::optional<std::string> errIs;  // all of standard error ("@": the directory)
  std::vector<std::string> errHas;   // pieces of standard error ("@": the directory)
  int errLines = -1;                 // lines of standard error, -1: any number
  std::vector<std::string> outHas;   // pieces of standard output
  unsigned files = kAll;             // output files present afterwards
  bool folder = true;                // the run makes the output folder out/w
  std::vector<std::pair<std::string, std::string>> fileHas;  // output name, piece

  BadInputCase stderrIs(const std::string& s) const {
    BadInputCase c = *this;
    c.errIs = s;
    return c;
  }
  BadInputCase stderrHas(const std::string& s) const {
    BadInputCase c = *this;
    c.errHas.push_back(s);
    return c;
  }
  BadInputCase stderrLines(int n) const {
    BadInputCase c = *this;
    c.errLines = n;
    return c;
  }
  BadInputCase stdoutHas(const std::string& s) const {
    BadInputCase c = *this;
    c.outHas.push_back(s);
    return c;
  }
  BadInputCase leaves(unsigned f) const {
    BadInputCase c = *this;
    c.files = f;
    c.folder = c.folder || f != kNone;
    return c;
  }
  BadInputCase outputHas(const std::string& name, const std::string& piece) const {
    BadInputCase c = *this;
    c.fileHas.emplace_back(name, piece);
    return c;
  }
  BadInputCase exits(int status) const {
    BadInputCase c = *this;
    c.status = status;
    return c;
  }
};

// A run that completes: exit status 0 and every output written.
BadInputCase completes(const std::string& name, Setup setup) {
  BadInputCase c;
  c.name = name;
  c.setup = std::move(setup);
  return c;
}

// A fatal condition: exit status 1 and no result file; the output folder
// exists when the condition was met after it was made (`folder`).
constexpr bool kFolder = true;
BadInputCase fatal(const std::string& name, Setup setup, bool folder = false) {
  BadInputCase c = completes(name, std::move(setup));
  c.status = 1;
  c.files = kNone;
  c.folder = folder;
  return c;
}

// The band movie of 20 frames as JPEG images, frame `broken` (1-based) cut
// in half, frames from `resizedFrom` on 320x240 (two recordings joined),
// frame `dropped` empty (dropped by the recorder).
std::vector<std::string> bandJpegs(int broken, int resizedFrom, int dropped = 0) {
  std::vector<std::string> jpegs;
  for (int i = 0; i < 20; ++i) {
    cv::Mat f(i + 1 >= resizedFrom ? cv::Size(320, 240) : cv::Size(200, 160), CV_8UC3,
              cv::Scalar::all(190));
    testing_support::drawBand(f, i);
    std::string j = testing_support::jpegOf(f);
    jpegs.push_back(i + 1 == broken ? j.substr(0, j.size() / 2) : i + 1 == dropped ? "" : j);
  }
  return jpegs;
}

const char kMovieGone[] =
    "Can't open movie file @/w.avi\n(perhaps need to check that codec is supported)\n";
const char kNoStageLog[] = "Couldn't open stage data file @/w.log.csv\n(Hit return to close)";
const char kNoMovieNamed[] = "Movie directory and name must be given in parameters file.\n";
const char kNoStageLine[] =
    "Stage data file @/w.log.csv holds no stage position line (expected "
    "\"name,MM:SS.s,STAGE,X,Y\" or \"name,HH:MM:SS.s,STAGE,X,Y\" after the header line)\n";
const char kOneSegment[] = "analyzing whole movie as one movement segment\n";
const char kOutOfOrder[] =
    "a log out of order, or one that wraps at midnight, cannot place the frames\n";

std::string noWorm(int frames) {
  return "No worm found in the " + std::to_string(frames) +
         " frames analysed: every frame's mask was empty, touched three or more frame borders or "
         "covered more than half of the frame.\n";
}

std::string invalid(const std::string& what) {
  return "Invalid value in parameters file: " + what + "\n";
}

// A log with a stage line every 200 ms over `seconds` seconds, each made by
// `line`(index, milliseconds).
std::string logOf(int seconds, const std::function<std::string(int, int)>& line,
                  const std::string& header = "Index,Time,Event,X,Y\n") {
  std::string text = header;
  for (int i = 0, ms = 0; ms <= seconds * 1000; ++i, ms += 200) text += line(i, ms);
  return text;
}

std::string stageLine(int i, int ms, const std::string& x, const std::string& y,
                      const char* eol = "\n") {
  char t[32];
  std::snprintf(t, sizeof t, "%02d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
  return std::to_string(i) + "," + t + ",STAGE," + x + "," + y + eol;
}

// The stage moves 0.005 stage units to the right every 200 ms; over the
// 20-frame movie (800 ms) X ranges from 1 to 1.02.
std::string movingStageLine(int i, int ms, const char* eol = "\n") {
  return stageLine(i, ms, std::to_string(1000000 + 5000 * i), "2000000", eol);
}
const char kMovingRange[] = "Range of X movement: 1 to 1.02\n";

// A worm whose tail runs out of the frame at the left edge.
void drawAtBorder(cv::Mat& f, int i) {
  std::vector<cv::Point> pts;
  for (int x = -30; x < 60; x += 3)
    pts.emplace_back(x + i, 80 + static_cast<int>(10 * std::sin((x + 2 * i) / 14.0)));
  cv::polylines(f, pts, false, cv::Scalar::all(80), 7, cv::LINE_AA);
}

// A textured plate moving 7 pixels a frame to the left under a worm whose
// tail runs out of the frame: image motion with the worm's box at the border.
void drawMovingPlate(cv::Mat& f, int i) {
  for (int y = 0; y < f.rows; ++y)
    for (int x = 0; x < f.cols; ++x) {
      const int u = x + 7 * i;
      const int grey = 180 + static_cast<int>(8 * std::sin(u * 0.3) * std::cos(y * 0.2 + u * 0.05));
      f.at<cv::Vec3b>(y, x) = cv::Vec3b::all(static_cast<uchar>(grey));
    }
  drawAtBorder(f, 0);
}

// The band worm with its grey levels inverted: bright (175) on a dark plate
// (65).
void drawBrightBand(cv::Mat& f, int i) {
  testing_support::drawBand(f, i);
  cv::bitwise_not(f, f);
}

std::function<void(cv::Mat&, int)> plain(int grey) {
  return [grey](cv::Mat& f, int) { f.setTo(cv::Scalar::all(grey)); };
}

// Overwrites the 32-bit little-endian field `offset` bytes after the first
// `tag` chunk of an AVI file ("avih": +16 frame count; "strh": +28 scale,
// +32 rate, +40 length in frames).
void setAviField(const std::string& path, const char* tag, size_t offset, uint32_t value) {
  std::string avi = readFile(path);
  const size_t at = avi.find(tag);
  ASSERT_NE(at, std::string::npos) << tag;
  ASSERT_LE(at + offset + 4, avi.size());
  for (int b = 0; b < 4; ++b) avi[at + offset + b] = static_cast<char>((value >> (8 * b)) & 0xff);
  writeText(path, avi);
}

std::string binaryGarbage(size_t n) {
  std::string s;
  unsigned v = 12345;
  for (size_t i = 0; i < n; ++i) {
    v = v * 1103515245u + 12345u;
    s += static_cast<char>(v >> 16);
  }
  return s;
}

std::vector<BadInputCase> fatalCases() {
  const std::string longOut(250, 'o');
  return {
      fatal("params.txt missing", [](W) {})
          .stderrIs("\nCouldn't open params.txt, using defaults\n" + std::string(kNoMovieNamed)),
      fatal("params.txt a directory", [](W w) { w.good(), w.replaceByDirectory("params.txt"); })
          .stderrIs("\nCouldn't open params.txt, using defaults\n" + std::string(kNoMovieNamed)),
      fatal("params without moviedir",
            [](W w) { writeText(w.path("params.txt"), "moviename = w\n"); })
          .stderrIs(kNoMovieNamed),
      fatal("params without moviename",
            [](W w) { writeText(w.path("params.txt"), "moviedir = " + w.dir + "\n"); })
          .stderrIs(kNoMovieNamed),
      // 251 + 1 + 20 > 260; a relative output root keeps the message fixed.
      fatal("output path too long",
            [longOut](W w) {
              w.good();
              writeText(w.path("params.txt"),
                        "moviedir = " + w.dir + "\nmoviename = w\noutdir = " + longOut + "\n");
            })
          .stderrIs("Path name too long: " + longOut + "//w-... \n"),
      fatal(
          "movie missing", [](W w) { w.stillLog(), w.params(""); }, kFolder)
          .stderrIs(kMovieGone),
      fatal(
          "movie path a directory", [](W w) { w.good(), w.replaceByDirectory("w.avi"); }, kFolder)
          .stderrIs(kMovieGone),
      fatal(
          "stage log missing", [](W w) { w.movie(5), w.params(""); }, kFolder)
          .stderrIs(kNoStageLog)
          .stdoutHas("Analyzing movie @/w.avi\n"),
      fatal(
          "stage log a directory", [](W w) { w.good(), w.replaceByDirectory("w.log.csv"); },
          kFolder)
          .stderrIs(kNoStageLog),
      fatal(
          "stage log without a parsable line",
          [](W w) {
            w.good();
            w.log("Index,Time,Event,X,Y\n0,00:00.000,MOVE,1,2\nrubbish\n");
          },
          kFolder)
          .stderrHas("problem parsing 0,00:00.000,MOVE,1,2 from stage file\n")
          .stderrHas("problem parsing rubbish from stage file\n")
          .stderrHas(kNoStageLine),
      fatal("mmpix = 0", [](W w) { w.good("mmpix = 0\nmmpixstage = 100\n"); })
          .stderrIs(invalid("mmpix = 0 (pixels per mm, 1 to 100000)")),
      fatal("seglen = 0", [](W w) { w.good("seglen = 0\n"); })
          .stderrIs(invalid("seglen = 0 (seconds, above 0, at most 86400)")),
      fatal("maxskellen = -1", [](W w) { w.good("maxskellen = -1\n"); })
          .stderrIs(invalid("maxskellen = -1 (1 to 10000 rows)")),
      fatal("debugimg = nan", [](W w) { w.good("debugimg = nan\n"); })
          .stderrIs(invalid("debugimg = nan (window scale, 0 to 16)")),
      fatal("frmps = inf, mmpixstage = -5", [](W w) { w.good("frmps = inf\nmmpixstage = -5\n"); })
          .stderrIs(invalid("mmpixstage = -5 (pixels per mm of stage travel, above 0)") +
                    invalid("frmps = inf (frames per second, at most 10000; 0 or less: the "
                            "movie's rate)")),
      // Rates and spans whose product in frames would overflow int.
      fatal("frmps = 1e300, seglen = 1e300, anglen = 1e300",
            [](W w) { w.good("frmps = 1e300\nseglen = 1e300\nanglen = 1e300\n"); })
          .stderrIs(invalid("seglen = 1e+300 (seconds, above 0, at most 86400)") +
                    invalid("anglen = 1e+300 (seconds, above 0, at most 86400)") +
                    invalid("frmps = 1e+300 (frames per second, at most 10000; 0 or less: the "
                            "movie's rate)")),
      fatal("fframe = -2147483648", [](W w) { w.good("fframe = -2147483648\n"); })
          .stderrIs(invalid("fframe = -2147483648 (frame number, -1000000000 or above)")),
      fatal(
          "AVI header claiming 1e9 frames per second",
          [](W w) {
            w.good();
            setAviField(w.path("w.avi"), "strh", 28, 1);
            setAviField(w.path("w.avi"), "strh", 32, 1000000000);
          },
          kFolder)
          .stderrIs("The movie reports 1e+09 frames per second, more than 10000: set frmps in "
                    "the parameters file.\n"),
      fatal("ignorefrm over 2e9 frames", [](W w) { w.good("ignorefrm = 0-2000000000\n"); })
          .stderrIs("Range of ignored frames too large: ignorefrm = 0-2000000000\n"),
      fatal(
          "image motion, 16x16 movie",
          [](W w) {
            w.good("track = corr\n");
            w.movie(5, cv::Size(16, 16), plain(190));
          },
          kFolder)
          .stderrIs("Frame size 16x16 is too small for image-based stage motion: both sides must "
                    "exceed 40 pixels (twice the search range of 20)\n"),
      fatal(
          "zero-length AVI", [](W w) { w.good(), writeText(w.path("w.avi"), ""); }, kFolder)
          .stderrIs(kMovieGone),
  };
}

std::vector<BadInputCase> movieCases() {
  return {
      completes("truncated AVI",
                [](W w) {
                  w.good();
                  w.movie(30);
                  const std::string whole = readFile(w.path("w.avi"));
                  writeText(w.path("w.avi"), whole.substr(0, whole.size() / 2));
                })
          .exits(3)
          .stderrHas("Could not get frame ")
          .stderrHas("Partial run: ")
          .stderrHas(" of the 30 frames planned (1 to 30)\n")
          .stdoutHas("can't fetch frame, last frame index is ")
          .outputHas("wxo.txt", "Exited at frame index "),
      completes("AVI header claiming 2e9 frames",
                [](W w) {
                  w.good();
                  setAviField(w.path("w.avi"), "avih", 16, 2000000000);
                  setAviField(w.path("w.avi"), "strh", 40, 2000000000);
                })
          .stderrIs("Movie header claims 2000000000 frames, more than the file can hold; counted "
                    "20\n")
          .outputHas("wxo.txt", "Real frames (key) extracted: 20\nGood frames"),
      completes("AVI header without a frame count",
                [](W w) {
                  w.good();
                  setAviField(w.path("w.avi"), "avih", 16, 0);
                  setAviField(w.path("w.avi"), "strh", 40, 0);
                })
          .stderrIs("Movie header gives no frame count; counted 20 frames\n")
          .outputHas("wxo.txt", "Real frames (key) extracted: 20\nGood frames"),
      fatal(
          "fframe beyond the movie's end", [](W w) { w.good("fframe = 50\n"); }, kFolder)
          .stderrIs("No frame to analyse: fframe = 50 is beyond the movie's last frame, 20\n"),
      fatal(
          "fframe after lframe", [](W w) { w.good("fframe = 15\nlframe = 10\n"); }, kFolder)
          .stderrIs("No frame to analyse: fframe = 15 is after lframe = 10\n"),
      // The decoder reports every frame of the second size once, and hands
      // out the last frame of the first size again: none of them is analysed,
      // and one line says so.
      completes("frame size changes mid-movie",
                [](W w) {
                  w.good();
                  testing_support::writeMjpegAvi(w.path("w.avi"), bandJpegs(0, 11), 200, 160);
                })
          .exits(3)
          .stderrHas("Partial run: 10 frames the decoder reported broken left out, the first "
                     "frame 11 (")
          .stderrHas("); analysed 10 of the 20 frames planned (1 to 20)\n")
          .stderrHas(kOneSegment)
          .stderrLines(2)
          .outputHas("wxo.txt",
                     "Total frames (key+drop) in movie: 10\nReal frames (key) "
                     "extracted: 10\nExited at frame index 10\n"),
      completes("a damaged frame mid-movie",
                [](W w) {
                  w.good();
                  testing_support::writeMjpegAvi(w.path("w.avi"), bandJpegs(8, 99), 200, 160);
                })
          .exits(3)
          .stderrHas("Partial run: 1 frame the decoder reported broken left out, the first frame "
                     "8 (")
          .stderrHas("); analysed 19 of the 20 frames planned (1 to 20)\n")
          .stderrLines(1)
          .outputHas("wxo.txt",
                     "Total frames (key+drop) in movie: 20\nReal frames (key) extracted: 19\n"),
      // The decoder numbers the frames it delivers, so the numbers end one
      // short of the count, but the last frame is the movie's last.
      completes("AVI with a dropped frame",
                [](W w) {
                  w.good();
                  testing_support::writeMjpegAvi(w.path("w.avi"), bandJpegs(0, 99, 8), 200, 160);
                })
          .stderrIs("Could not get frame 19\n")
          .outputHas("wxo.txt", "Real frames (key) extracted: 19\n"),
      completes("AVI of one frame", [](W w) { w.good(), w.movie(1); })
          .stderrIs(kOneSegment)
          .stdoutHas("Analyzing movie @/w.avi\n#1 ")
          .outputHas("wxo.txt", "Real frames (key) extracted: 1\n"),
      // Frames without a worm give no results: the run ends with status 1.
      fatal(
          "AVI of 16x16 pixels, stage mode", [](W w) { w.good(), w.movie(10, cv::Size(16, 16)); },
          kFolder)
          .stderrIs(noWorm(10)),
      fatal(
          "all-dark movie", [](W w) { w.good(), w.movie(10, cv::Size(64, 48), plain(5)); }, kFolder)
          .stderrIs(noWorm(10)),
      fatal(
          "all-bright movie", [](W w) { w.good(), w.movie(10, cv::Size(64, 48), plain(255)); },
          kFolder)
          .stderrIs(noWorm(10)),
      fatal(
          "image motion: 42x42 movie",
          [](W w) { w.good("track = corr\n"), w.movie(10, cv::Size(42, 42)); }, kFolder)
          .stderrIs(noWorm(10)),
      // A fixed threshold between plate and worm takes the plate as the
      // mask: every frame is rejected, and the message names the key that
      // inverts the frames; with it the same movie is analysed.
      fatal(
          "bright worm on a dark plate",
          [](W w) { w.good("thresh = 100\n"), w.movie(20, cv::Size(200, 160), drawBrightBand); },
          kFolder)
          .stderrIs(noWorm(20) +
                    "The plate is darker than the object in these frames: for a bright worm on a "
                    "dark plate, set polarity = bright in params.txt.\n"),
      completes("bright worm on a dark plate, polarity = bright",
                [](W w) {
                  w.good("thresh = 100\npolarity = bright\n");
                  w.movie(20, cv::Size(200, 160), drawBrightBand);
                })
          .stderrIs(""),
      completes("image motion: moving plate, worm at the border",
                [](W w) {
                  w.good("track = corr\neggs = 1\n");
                  w.movie(20, cv::Size(200, 160), drawMovingPlate);
                })
          .stdoutHas("found relative movement of x=-7 y=0\n")
          .leaves(kAll | kEggsTxt),
      completes("worm touching the border, eggs on",
                [](W w) {
                  w.good("eggs = 1\n");
                  w.movie(20, cv::Size(200, 160), drawAtBorder);
                })
          .stderrIs("")
          .leaves(kAll | kEggsTxt),
  };
}

std::vector<BadInputCase> stageLogCases() {
  return {
      completes("stage log: garbage between good lines",
                [](W w) {
                  w.good("screenop = 1\n");
                  w.log(logOf(3, [](int i, int ms) {
                    return movingStageLine(i, ms) +
                           (i % 3 == 0 ? "garbage " + std::to_string(i) + "\n" : "\n");
                  }));
                })
          .stderrIs(
              "problem parsing garbage 0 from stage file\nproblem parsing garbage 3 from stage "
              "file\nproblem parsing garbage 6 from stage file\nproblem parsing garbage 9 from "
              "stage file\nproblem parsing garbage 12 from stage file\nproblem parsing garbage 15 "
              "from stage file\n")
          .stdoutHas(kMovingRange),
      fatal(
          "stage log: times going backwards",
          [](W w) {
            w.good();
            w.log(logOf(3, [](int i, int ms) { return movingStageLine(i, 3000 - ms); }));
          },
          kFolder)
          .stderrIs("Stage data file @/w.log.csv: its times must ascend, but line 3 (00:02.800) "
                    "comes after line 2 (00:03.000); " +
                    std::string(kOutOfOrder)),
      fatal(
          "stage log: image motion, shuffled",
          [](W w) {
            w.good("track = corr\n");
            w.log(logOf(3, [](int i, int ms) {  // neighbours swapped
              return movingStageLine(i, i % 2 ? ms - 200 : ms + 200);
            }));
          },
          kFolder)
          .stderrIs("Stage data file @/w.log.csv: its times must ascend, but line 3 (00:00.000) "
                    "comes after line 2 (00:00.200); " +
                    std::string(kOutOfOrder)),
      fatal(
          "stage log: wraps at midnight",
          [](W w) {
            w.good();
            w.log(
                "h\n1,23:59:59.800,STAGE,1,1\n2,23:59:59.900,STAGE,1,1\n"
                "3,00:00:00.000,STAGE,1,1\n4,00:00:01.000,STAGE,1,1\n");
          },
          kFolder)
          .stderrIs("Stage data file @/w.log.csv: its times must ascend, but line 4 (00:00.000) "
                    "comes after line 3 (23:59:59.900); " +
                    std::string(kOutOfOrder)),
      fatal(
          "stage log: time of day",
          [](W w) {
            w.good();
            w.log(logOf(3, [](int i, int ms) {
              return std::to_string(i) + ",14:30:0" + std::to_string(ms / 1000) + "." +
                     std::to_string(ms % 1000 + 100).substr(0, 3) + ",STAGE,1000000,2000000\n";
            }));
          },
          kFolder)
          .stderrIs("Stage data file @/w.log.csv: its times (14:30:00.100 to 14:30:03.100) do "
                    "not overlap the analysed movie time (00:00.000 to 00:00.760); the log's "
                    "times must count from the start of the movie, not the time of day\n"),
      fatal(
          "stage log: a single sample", [](W w) { w.good(), w.log("h\n1,00:00.000,STAGE,1,1\n"); },
          kFolder)
          .stderrIs("Stage data file @/w.log.csv: holds a single stage position; at least two, "
                    "spanning the movie, are needed\n"),
      completes("stage log: equal neighbouring times",
                [](W w) {
                  w.good();
                  w.log(logOf(3, [](int i, int ms) { return movingStageLine(i, ms / 400 * 400); }));
                })
          .stderrIs(""),
      completes("stage log: enormous numbers",
                [](W w) {
                  w.good("screenop = 1\n");
                  w.log(logOf(3,
                              [](int i, int ms) {
                                return stageLine(i, ms, i % 2 ? "1e308" : "99999999999999999999",
                                                 "-1e308");
                              }) +
                        "99,1e308:00,STAGE,1,1\n");
                })
          .stderrIs("problem parsing 99,1e308:00,STAGE,1,1 from stage file\n")
          .stdoutHas("Range of X movement: 1e+14 to 1e+302\n"),
      completes("stage log: a 100,000-character line",
                [](W w) {
                  w.good("screenop = 1\n");
                  w.log(logOf(3, [](int i, int ms) {
                    return (i == 2 ? std::string(100000, 'x') + "\n" : "") + movingStageLine(i, ms);
                  }));
                })
          .stderrIs("problem parsing " + std::string(259, 'x') + " from stage file\n")
          .stdoutHas(kMovingRange),
      fatal(
          "stage log: empty file", [](W w) { w.good(), w.log(""); }, kFolder)
          .stderrIs(kNoStageLine),
      fatal(
          "stage log: header only", [](W w) { w.good(), w.log("Index,Time,Event,X,Y\n"); }, kFolder)
          .stderrIs(kNoStageLine),
      completes("stage log: Windows line ends",
                [](W w) {
                  w.good("screenop = 1\n");
                  w.log(logOf(
                      3, [](int i, int ms) { return movingStageLine(i, ms, "\r\n"); },
                      "Index,Time,Event,X,Y\r\n"));
                })
          .stderrIs("")
          .stdoutHas(kMovingRange),
  };
}

std::vector<BadInputCase> paramsAndOutputCases() {
  std::string allBlocked =
      "Could'nt save @/afile/w/w-track.bmp\nCould'nt save @/afile/w/w-wave.bmp\n";
  for (const char* name :
       {"wxo.txt", "wxd.txt", "spd.txt", "dsp.txt", "ang.txt", "wxs.txt", "track.bmp", "wave.bmp",
        "frames.csv", "skel.csv", "centreline.csv", "params.txt"})
    allBlocked += "Could not write output file @/afile/w/w-" + std::string(name) + "\n";
  allBlocked.insert(allBlocked.find("Could not write output file @/afile/w/w-track.bmp"),
                    "Could not write output file @/afile/w/w-checks.csv\n");
  allBlocked += "Results not published: @/afile/w/ keeps the files of the earlier run\n";
  return {
      completes("params: a 10,000-character line",
                [](W w) { w.good(std::string(10000, 'k') + " = 1\nscreenop = 1\n"); })
          .stderrIs("\nParameter line longer than 259 characters cut: `" + std::string(40, 'k') +
                    "...'\n\nCan't parse parameter `" + std::string(259, 'k') +
                    "'\nparams.txt:5: not a \"key = value\" line, ignored\n")
          .stdoutHas("screenop    = 1\n"),
      fatal("params: binary garbage",
            [](W w) { w.good(), writeText(w.path("params.txt"), binaryGarbage(4096)); })
          .stderrHas("\nCan't parse parameter `")
          .stderrHas(kNoMovieNamed),
      fatal("params: empty file", [](W w) { w.good(), writeText(w.path("params.txt"), ""); })
          .stderrIs(kNoMovieNamed),
      // Root may write anywhere, so the output root is made unusable by
      // placing it under a regular file, where no directory can be made.
      completes("output root under a regular file",
                [](W w) {
                  w.good("outdir = " + w.dir + "/afile\n");
                  writeText(w.path("afile"), "not a directory");
                })
          .exits(1)
          .stderrIs(allBlocked)
          .stdoutHas("can't fetch frame, last frame index is 20\n")
          .leaves(kNone),
      // A run publishes all its results or none.
      fatal(
          "two outputs blocked by directories",
          [](W w) {
            w.good();
            for (const char* d : {"out", "out/w", "out/w/w-wxd.txt", "out/w/w-track.bmp"})
              ::mkdir(w.path(d).c_str(), 0777);
          },
          kFolder)
          .stderrIs("Could not write output file @/out/w/w-wxd.txt\n"
                    "Could not write output file @/out/w/w-track.bmp\n"
                    "Results not published: @/out/w/ keeps the files of the earlier run\n"),
      completes("params: a misspelt key", [](W w) { w.good("mmpx = 3\n"); })
          .stderrIs("params.txt:5: unknown key \"mmpx\" ignored (nearest key: mmpix)\n"),
  };
}

// Names in directory `dir`.
std::set<std::string> entries(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(d);
  }
  return names;
}

// Checks one finished case; failures name the case. `before` lists the
// working directory before the run: a run may add the output root out/ and
// nothing else, and nothing at all when no output is expected (so that
// outputs written somewhere else than out/w/ are not missed). The files in
// which the harness captures the streams do not count.
void checkCase(const BadInputCase& c, const std::string& dir, const RunResult& r,
               const std::set<std::string>& before) {
  SCOPED_TRACE(c.name);
  ASSERT_NE(r.status, 124) << "hung; stderr:\n" << r.err;
  ASSERT_LT(r.status, 128) << "killed by signal " << r.status - 128 << "; stderr:\n" << r.err;
  EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
  EXPECT_EQ(r.status, c.status) << "stderr:\n" << r.err;
  if (c.errIs) {
    EXPECT_EQ(r.err, expand(*c.errIs, dir));
  }
  for (const std::string& piece : c.errHas)
    EXPECT_NE(r.err.find(expand(piece, dir)), std::string::npos) << piece << "\nin:\n" << r.err;
  for (const std::string& piece : c.outHas)
    EXPECT_NE(r.out.find(expand(piece, dir)), std::string::npos) << piece << "\nin:\n" << r.out;
  if (c.errLines >= 0) {
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), c.errLines) << r.err;
  }
  for (size_t i = 0; i < std::size(kOutNames); ++i) {
    const std::string path = dir + "/out/w/w-" + kOutNames[i];
    EXPECT_EQ(isRegularFile(path), ((c.files >> i) & 1u) != 0) << path;
  }
  for (const std::string& name : entries(dir + "/out/w"))
    EXPECT_NE(name[0], '.') << "left behind: " << name;
  for (const auto& [name, piece] : c.fileHas) {
    const std::string text = readFile(dir + "/out/w/w-" + name);
    EXPECT_NE(text.find(piece), std::string::npos) << name << " lacks " << piece;
  }
  for (const std::string& name : entries(dir)) {
    if (before.count(name) != 0 || name == ".stdin" || name == ".stdout" || name == ".stderr")
      continue;
    EXPECT_TRUE(name == "out" && c.folder) << "the run created " << dir << "/" << name;
  }
}

// Every case, built once.
const std::vector<BadInputCase>& allCases() {
  static const std::vector<BadInputCase> kCases = [] {
    std::vector<BadInputCase> cases;
    for (const auto& group : {fatalCases(), movieCases(), stageLogCases(), paramsAndOutputCases()})
      cases.insert(cases.end(), group.begin(), group.end());
    return cases;
  }();
  return kCases;
}

// The case's name as a test name: letters, digits and underscores; a name
// that would repeat an earlier one gets the case's number.
std::string testName(size_t index) {
  auto clean = [](const std::string& name) {
    std::string out;
    for (char c : name) {
      const bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
      if (word)
        out += c;
      else if (!out.empty() && out.back() != '_')
        out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out;
  };
  const std::string name = clean(allCases()[index].name);
  for (size_t i = 0; i < index; ++i)
    if (clean(allCases()[i].name) == name) return name + "_" + std::to_string(index);
  return name;
}

// Each bad input ends in a defined way. Every case runs in its own fresh
// directory, with standard input a file of one character or /dev/null in
// turn; the directories carry the process id, so that builds testing at the
// same time do not share them, and are kept only when the case failed.
class BadInputTest : public ::testing::TestWithParam<size_t> {};

TEST_P(BadInputTest, EndsCleanly) {
  const size_t i = GetParam();
  const BadInputCase& c = allCases()[i];
  const std::string dir = testing_support::freshDir("bad_input_" + std::to_string(::getpid()) +
                                                    "_" + std::to_string(i));
  c.setup(Workspace{dir});
  const std::set<std::string> before = entries(dir);
  checkCase(c, dir, runDukon(dir, i % 2 == 0), before);
  if (!HasFailure()) std::system(("rm -rf '" + dir + "'").c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, ::testing::Range<size_t>(0, allCases().size()),
                         [](const ::testing::TestParamInfo<size_t>& info) {
                           return testName(info.param);
                         });

}  // namespace
}  // namespace dukon
