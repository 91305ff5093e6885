// StageUtil: the stage controller's log of stage positions, read once at the
// start of a run, and a forward-only cursor over its samples.
//
// The log is moviedir + moviename + ".log.csv": a header line, then lines
// "<anything>,MM:SS.s,STAGE,X,Y" or "<anything>,HH:MM:SS.s,STAGE,X,Y". X and Y
// are divided by 1,000,000 into stage millimetres (the parameter mmpixstage
// turns those into frame pixels). The samples stay in file order and always
// end with a sentinel far beyond the end of the movie, so a cursor walked in
// step with the frame times never runs off the end.
//
// Offsets are measured from the smallest X and Y seen inside the analysed
// time window (see StageWindow).
#ifndef DUKON_STAGE_STAGE_UTIL_H_
#define DUKON_STAGE_STAGE_UTIL_H_

#include <iostream>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// The part of the log that belongs to the analysed frames, in ms of movie
// time: samples from `start` to `end` set the range of movement; the end
// sentinel lies beyond `movieEnd`.
struct StageWindow {
  double start = 0.0;
  double end = 0.0;
  double movieEnd = 0.0;
};

// The window of frames fframe .. lframe as the parameters file gives them
// (lframe 0: to the movie's end) in a movie of `frameCount` frames at its
// own rate `fps`. Without a usable rate every sample counts and the sentinel
// lies at infinity.
StageWindow stageWindow(int fframe, int lframe, int frameCount, double fps);

class StageUtil {
 public:
  // One stage sample: time in ms since the log's zero, x and y in stage mm.
  struct Location {
    double time = 0.0;
    double x = 0.0;
    double y = 0.0;
  };

  // Reads the log at `path`; `window` places the range of movement and the
  // end sentinel. Lines that cannot be parsed are reported on `err`; when
  // `verbose` the movement range goes to `out`. Throws FatalError when the
  // log cannot be opened, or when it holds no parsable stage line (a wrong
  // or empty file would place every frame wrongly).
  StageUtil(const std::string& path, const StageWindow& window, bool verbose,
            std::ostream& out = std::cout, std::ostream& err = std::cerr);

  // Reads from `in` instead of a file; `path` only names it in messages.
  StageUtil(std::istream& in, const std::string& path, const StageWindow& window, bool verbose,
            std::ostream& out = std::cout, std::ostream& err = std::cerr);

  StageUtil(const StageUtil&) = delete;
  StageUtil& operator=(const StageUtil&) = delete;

  // Extent of the stage travel inside the analysed window, mm.
  cv::Point2d rangeOfMovement() const;
  // First sample of the file relative to the window's minimum, mm.
  cv::Point2d firstOffset() const;
  // Cursor sample relative to the window's minimum, mm.
  cv::Point2d currentOffset() const;

  // Puts the cursor on sample 0; returns the time of sample 1 (ms).
  double rewind();
  // With `move`, steps the cursor one sample on (never onto the sentinel:
  // there the cursor stays on the last real sample). Returns the time of the
  // sample after the cursor (ms), moved or not.
  double advance(bool move);
  // Checks that the log's times can place the frames of the movie time
  // firstMs .. lastMs (ms): at least two samples, times that never go back
  // (equal neighbours are allowed: a controller may log two positions within
  // one millisecond), and a time span that overlaps the movie's. Throws
  // FatalError naming the log and what is wrong otherwise: a log of
  // time-of-day stamps, one that wraps at midnight, one out of order or with
  // a single sample would place every frame at an invented position.
  void checkTimes(double firstMs, double lastMs) const;

  // False once the sample after the cursor is the sentinel, where advancing
  // no longer changes anything.
  bool canAdvance() const { return cursor_ + 2 < samples_.size(); }

  // All samples in file order, the sentinel last.
  const std::vector<Location>& samples() const { return samples_; }
  const Location& current() const { return samples_[cursor_]; }
  const Location& next() const { return samples_[cursor_ + 1]; }
  const Location& minimum() const { return minimum_; }
  const Location& maximum() const { return maximum_; }

 private:
  void read(std::istream& in, const std::string& path, const StageWindow& window, bool verbose,
            std::ostream& out, std::ostream& err);
  void widenRange(const Location& s);

  // Where the log's times first go back: the line numbers of two
  // neighbouring samples and their times; line 0 when they never do.
  struct Descent {
    int line = 0, previousLine = 0;
    double time = 0.0, previousTime = 0.0;
  };

  std::string path_;
  Descent descent_;
  std::vector<Location> samples_;
  size_t cursor_ = 0;  // never on the sentinel, so cursor_ + 1 is a sample
  // x and y of the window's extremes; -1.0 stands for "not set".
  Location minimum_{0.0, -1.0, -1.0};
  Location maximum_{0.0, -1.0, -1.0};
};

// Parses one data line of the log into `loc`. Accepts
// "<field>,MM:SS,STAGE,X,Y" and "<field>,HH:MM:SS,STAGE,X,Y" (fractional
// seconds allowed; the first field must not be empty). Values that are not
// finite are refused.
bool parseStageLine(const std::string& line, StageUtil::Location* loc);

}  // namespace dukon

#endif  // DUKON_STAGE_STAGE_UTIL_H_
