#include "stage/stage_util.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>

#include "base/fatal_error.h"
#include "base/file_util.h"
#include "base/params.h"

namespace dukon {

namespace {

// Longest line kept; the rest of a longer line is read and dropped.
constexpr size_t kMaxLine = Params::kBufLen - 1;
// Stage values are written in millionths of a stage unit.
constexpr double kStageUnit = 1000000.0;

// Reads one line of any length, keeping at most kMaxLine characters (cut at
// an embedded NUL, as a C buffer would be, and without a trailing CR).
// Returns false at end of input when nothing was read.
bool readLine(std::istream& in, std::string& line) {
  line.clear();
  std::streambuf* sb = in.rdbuf();
  bool any = false;
  bool nul = false;
  for (;;) {
    const int c = sb->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    any = true;
    if (c == '\n') break;
    if (c == '\0') nul = true;
    if (!nul && line.size() < kMaxLine) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

// A cursor over one line that matches scanf-style conversions.
class Scanner {
 public:
  explicit Scanner(const std::string& s) : s_(s.c_str()) {}

  // "%*[^,]": one or more characters other than a comma.
  bool skipField() {
    const char* start = s_;
    while (*s_ != '\0' && *s_ != ',') ++s_;
    return s_ != start;
  }
  bool literal(const char* text) {
    const char* p = s_;
    for (; *text != '\0'; ++text, ++p)
      if (*p != *text) return false;  // also stops at the end of the line
    s_ = p;
    return true;
  }
  // "%lf": optional white space, then a real as strtod reads it.
  bool real(double* v) {
    char* end = nullptr;
    *v = std::strtod(s_, &end);
    if (end == s_) return false;
    s_ = end;
    return true;
  }

 private:
  const char* s_;
};

// "%*[^,],%lf:%lf,STAGE,%lf,%lf" or "%*[^,],%lf:%lf:%lf,STAGE,%lf,%lf";
// the values come back as hours, minutes, seconds, X, Y.
bool scanStageLine(const std::string& line, double v[5]) {
  Scanner a(line);
  v[0] = 0.0;
  if (a.skipField() && a.literal(",") && a.real(&v[1]) && a.literal(":") && a.real(&v[2]) &&
      a.literal(",STAGE,") && a.real(&v[3]) && a.literal(",") && a.real(&v[4]))
    return true;
  Scanner b(line);
  return b.skipField() && b.literal(",") && b.real(&v[0]) && b.literal(":") && b.real(&v[1]) &&
         b.literal(":") && b.real(&v[2]) && b.literal(",STAGE,") && b.real(&v[3]) &&
         b.literal(",") && b.real(&v[4]);
}

// A log time as "MM:SS.sss", or "H:MM:SS.sss" from one hour on (ms), for
// messages.
std::string formatLogTime(double ms) {
  if (!std::isfinite(ms) || std::fabs(ms) > 1e15) {
    std::ostringstream os;
    os << ms << " ms";
    return os.str();
  }
  const bool negative = ms < 0;
  const long long total = std::llround(std::fabs(ms));
  const long long millis = total % 1000, secs = total / 1000 % 60;
  const long long mins = total / 60000 % 60, hours = total / 3600000;
  char buf[64];
  if (hours > 0)
    std::snprintf(buf, sizeof buf, "%s%lld:%02lld:%02lld.%03lld", negative ? "-" : "", hours, mins,
                  secs, millis);
  else
    std::snprintf(buf, sizeof buf, "%s%02lld:%02lld.%03lld", negative ? "-" : "", mins, secs,
                  millis);
  return buf;
}

}  // namespace

bool parseStageLine(const std::string& line, StageUtil::Location* loc) {
  double v[5];
  if (!scanStageLine(line, v)) return false;
  const double time = ((v[0] * 60.0 + v[1]) * 60.0 + v[2]) * 1000.0;
  const double x = v[3] / kStageUnit;
  const double y = v[4] / kStageUnit;
  if (!std::isfinite(time) || !std::isfinite(x) || !std::isfinite(y)) return false;
  *loc = StageUtil::Location{time, x, y};
  return true;
}

StageWindow stageWindow(int fframe, int lframe, int frameCount, double fps) {
  const bool rateKnown = fps > 0.0 && std::isfinite(fps);
  const double inf = std::numeric_limits<double>::infinity();
  StageWindow w;
  w.movieEnd = rateKnown ? frameCount / fps * 1000.0 : inf;
  w.start = rateKnown ? fframe / fps * 1000.0 : -inf;
  w.end = rateKnown ? lframe / fps * 1000.0 : inf;
  if (w.end == 0.0) w.end = w.movieEnd;
  return w;
}

StageUtil::StageUtil(const std::string& path, const StageWindow& window, bool verbose,
                     std::ostream& out, std::ostream& err) {
  std::ifstream in(path);
  if (!in || isDirectory(path)) {
    throw FatalError("Couldn't open stage data file " + path + "\n(Hit return to close)");
  }
  read(in, path, window, verbose, out, err);
}

StageUtil::StageUtil(std::istream& in, const std::string& path, const StageWindow& window,
                     bool verbose, std::ostream& out, std::ostream& err) {
  read(in, path, window, verbose, out, err);
}

void StageUtil::read(std::istream& in, const std::string& path, const StageWindow& window,
                     bool verbose, std::ostream& out, std::ostream& err) {
  path_ = path;
  std::string line;
  readLine(in, line);  // header, never parsed
  int lineNo = 1, previousLine = 0;
  while (readLine(in, line)) {
    ++lineNo;
    Location s;
    if (!parseStageLine(line, &s)) {
      if (!line.empty()) err << "problem parsing " << line << " from stage file\n";
      continue;
    }
    if (!samples_.empty() && s.time < samples_.back().time && descent_.line == 0)
      descent_ = Descent{lineNo, previousLine, s.time, samples_.back().time};
    previousLine = lineNo;
    samples_.push_back(s);
    if (window.start <= s.time && s.time <= window.end) widenRange(s);
  }
  if (samples_.empty()) {
    throw FatalError("Stage data file " + path +
                     " holds no stage position line (expected \"name,MM:SS.s,STAGE,X,Y\" or "
                     "\"name,HH:MM:SS.s,STAGE,X,Y\" after the header line)\n");
  }
  samples_.push_back(Location{window.movieEnd + 1000000.0, 0.0, 0.0});

  if (verbose) {
    out << "\nPreparing to track movement:\n";
    out << "Range of X movement: " << minimum_.x << " to " << maximum_.x << "\n";
    out << "Range of Y movement: " << minimum_.y << " to " << maximum_.y << "\n";
  }
  rewind();
}

void StageUtil::widenRange(const Location& s) {
  // -1.0 means "not set", recognised by equality, so a real coordinate of
  // exactly -1.0 is overwritten by the next sample in the window.
  if (minimum_.x == -1.0 || s.x < minimum_.x) minimum_.x = s.x;
  if (maximum_.x == -1.0 || s.x > maximum_.x) maximum_.x = s.x;
  if (minimum_.y == -1.0 || s.y < minimum_.y) minimum_.y = s.y;
  if (maximum_.y == -1.0 || s.y > maximum_.y) maximum_.y = s.y;
}

cv::Point2d StageUtil::rangeOfMovement() const {
  return cv::Point2d(maximum_.x - minimum_.x, maximum_.y - minimum_.y);
}

cv::Point2d StageUtil::firstOffset() const {
  return cv::Point2d(samples_[0].x - minimum_.x, samples_[0].y - minimum_.y);
}

cv::Point2d StageUtil::currentOffset() const {
  return cv::Point2d(current().x - minimum_.x, current().y - minimum_.y);
}

void StageUtil::checkTimes(double firstMs, double lastMs) const {
  const std::string log = "Stage data file " + path_ + ": ";
  const size_t n = samples_.size() - 1;  // without the sentinel
  if (n < 2) {
    throw FatalError(log +
                     "holds a single stage position; at least two, spanning the movie, are "
                     "needed\n");
  }
  if (descent_.line != 0) {
    std::ostringstream msg;
    msg << log << "its times must ascend, but line " << descent_.line << " ("
        << formatLogTime(descent_.time) << ") comes after line " << descent_.previousLine << " ("
        << formatLogTime(descent_.previousTime)
        << "); a log out of order, or one that wraps at midnight, cannot place the frames\n";
    throw FatalError(msg.str());
  }
  const double logFirst = samples_.front().time, logLast = samples_[n - 1].time;
  if (logLast < firstMs || logFirst > lastMs) {
    std::ostringstream msg;
    msg << log << "its times (" << formatLogTime(logFirst) << " to " << formatLogTime(logLast)
        << ") do not overlap the analysed movie time (" << formatLogTime(firstMs) << " to "
        << formatLogTime(lastMs)
        << "); the log's times must count from the start of the movie, not the time of day\n";
    throw FatalError(msg.str());
  }
}

double StageUtil::rewind() {
  cursor_ = 0;
  return next().time;
}

double StageUtil::advance(bool move) {
  if (move && canAdvance()) ++cursor_;
  return next().time;
}

}  // namespace dukon
