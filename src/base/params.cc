#include "base/params.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "base/fatal_error.h"
#include "base/file_util.h"

namespace dukon {

namespace {

// Longest range one ignorefrm line may add; a larger one is surely a typo and
// would otherwise allocate without bound.
constexpr long kMaxIgnoreRange = 10000000;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Splits `line` like sscanf(line, "%s = %s", key, value): a first word, a
// literal "=" with optional white space around it, a second word. Returns
// false when either word is missing.
bool splitKeyValue(const std::string& line, std::string* key, std::string* value) {
  size_t i = 0;
  const size_t n = line.size();
  while (i < n && isSpace(line[i])) ++i;
  size_t start = i;
  while (i < n && !isSpace(line[i])) ++i;
  if (i == start) return false;
  *key = line.substr(start, i - start);
  while (i < n && isSpace(line[i])) ++i;
  if (i >= n || line[i] != '=') return false;
  ++i;
  while (i < n && isSpace(line[i])) ++i;
  start = i;
  while (i < n && !isSpace(line[i])) ++i;
  if (i == start) return false;
  *value = line.substr(start, i - start);
  return true;
}

// Parses a leading decimal integer as strtol does, saturated to int.
// Returns false when there is none; *end receives the index after it.
bool leadingInt(const std::string& s, size_t from, int* out, size_t* end) {
  const char* begin = s.c_str() + from;
  char* stop = nullptr;
  errno = 0;
  long v = std::strtol(begin, &stop, 10);
  if (stop == begin) return false;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int>(v);
  *end = from + static_cast<size_t>(stop - begin);
  return true;
}

// atoi: the longest leading number, 0 when there is none.
int toInt(const std::string& s) {
  int v = 0;
  size_t end = 0;
  return leadingInt(s, 0, &v, &end) ? v : 0;
}

// atof: the longest leading real, 0 when there is none.
double toReal(const std::string& s) {
  return std::strtod(s.c_str(), nullptr);
}

std::string cut(const std::string& s, size_t maxLen) {
  return s.size() > maxLen ? s.substr(0, maxLen) : s;
}

// Directory values get a separator appended, unless they already end with one
// or have no room left for it.
std::string asDirectory(const std::string& value) {
  std::string d = cut(value, Params::kBufLen - 1);
  if (!d.empty() && d.back() != '/' && d.size() < Params::kBufLen - 1) d += '/';
  return d;
}

}  // namespace

Params::Params(std::string fileName) : fileName_(std::move(fileName)) {}

void Params::read(std::ostream& err) {
  std::ifstream in(fileName_, std::ios::binary);
  if (in && !isDirectory(fileName_)) {
    read(in, err);
    return;
  }
  // No line to read: every parameter keeps its default.
  err << "\nCouldn't open " << fileName_ << ", using defaults\n";
  std::istringstream none;
  read(none, err);
}

void Params::read(std::istream& in, std::ostream& err) {
  moviedir_.clear();
  moviename_.clear();
  outdir_.clear();
  {
    std::string line;
    while (std::getline(in, line)) {
      // A NUL ends the text as it would in a C buffer.
      size_t nul = line.find('\0');
      if (nul != std::string::npos) line.resize(nul);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.size() > static_cast<size_t>(kBufLen - 1)) {
        err << "\nParameter line longer than " << (kBufLen - 1) << " characters cut: `"
            << line.substr(0, 40) << "...'\n";
        line.resize(kBufLen - 1);
      }
      if (line.empty() || line[0] == '#') continue;
      parseLine(line, err);
    }
  }
  complete();
}

void Params::complete() {
  if (mmpixstage_ == -1) mmpixstage_ = mmpix_;
  std::sort(ignorefrm_.begin(), ignorefrm_.end());
  ignorefrm_.push_back(kIgnoreEnd);
  if (moviedir_.empty() || moviename_.empty())
    throw FatalError("Movie directory and name must be given in parameters file.\n");
  checkValues();
}

void Params::parseLine(const std::string& line, std::ostream& err) {
  std::string key, value;
  if (!splitKeyValue(line, &key, &value)) {
    err << "\nCan't parse parameter `" << line << "'\n";
    return;
  }
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  store(key, value);
}

void Params::store(const std::string& key, const std::string& v) {
  if (key == "moviedir")
    moviedir_ = asDirectory(v);
  else if (key == "moviename")
    moviename_ = cut(v, kBufLen - 1);
  else if (key == "outdir")
    outdir_ = asDirectory(v);
  else if (key == "mmpix")
    mmpix_ = toInt(v);
  else if (key == "frmps")
    frmps_ = toReal(v);
  else if (key == "fframe")
    fframe_ = toInt(v);
  else if (key == "lframe")
    lframe_ = toInt(v);
  else if (key == "ignorefrm")
    addIgnored(v);
  else if (key == "screenop")
    screenop_ = toInt(v) != 0;
  else if (key == "debugimg")
    debugimg_ = toReal(v);
  else if (key == "seglen")
    seglen_ = toReal(v);
  else if (key == "pausespdlim")
    pausespdlim_ = toReal(v);
  else if (key == "displen")
    displen_ = toReal(v);
  else if (key == "anglen")
    anglen_ = toReal(v);
  else if (key == "smooth")
    smooth_ = toInt(v);
  else if (key == "thresh")
    thresh_ = toInt(v);
  else if (key == "useedges")
    useedges_ = toInt(v) != 0 ? 1 : 0;
  else if (key == "maxskellen")
    maxskellen_ = toInt(v);
  else if (key == "minloopradius")
    minloopradius_ = toReal(v);
  else if (key == "track")
    track_ = (v == "stage") ? 1 : 2;
  else if (key == "stageskip")
    stageskip_ = toInt(v);
  else if (key == "mmpixstage")
    mmpixstage_ = toInt(v);
  else if (key == "shade")
    shade_ = toReal(v);
  else if (key == "star")
    star_ = toInt(v) != 0;
  else if (key == "subbg")
    subbg_ = toInt(v) != 0;
  else if (key == "rsedg")
    rsedg_ = toInt(v);
  else if (key == "objclniter")
    objclniter_ = toInt(v);
  else if (key == "wsiblck")
    wsiblck_ = toReal(v);
  else if (key == "disjntdel")
    disjntdel_ = toInt(v);
  else if (key == "segangdif")
    segangdif_ = toInt(v);
  else if (key == "distbox")
    distbox_ = toInt(v) != 0;
  else if (key == "emptyrows")
    emptyrows_ = toInt(v) != 0;
  else if (key == "eggs")
    eggs_ = toInt(v) != 0;
  // Unknown keys are ignored without a message.
}

void Params::addIgnored(const std::string& value) {
  int first = 0, last = 0;
  size_t end = 0;
  if (!leadingInt(value, 0, &first, &end)) return;
  int second = 0;
  size_t end2 = 0;
  if (end < value.size() && value[end] == '-' && leadingInt(value, end + 1, &second, &end2))
    last = second;
  else
    last = first;
  if (last < first) return;
  if (static_cast<long>(last) - first >= kMaxIgnoreRange) {
    std::ostringstream msg;
    msg << "Range of ignored frames too large: ignorefrm = " << value << "\n";
    throw FatalError(msg.str());
  }
  for (long f = first; f <= last; ++f) ignorefrm_.push_back(static_cast<int>(f));
}

void Params::checkValues() const {
  std::ostringstream msg;
  auto bad = [&msg](const char* key, auto value, const char* why) {
    msg << "Invalid value in parameters file: " << key << " = " << value << " (" << why << ")\n";
  };
  if (mmpix_ <= 0 || mmpix_ > 100000) bad("mmpix", mmpix_, "pixels per mm, 1 to 100000");
  if (mmpixstage_ <= 0) bad("mmpixstage", mmpixstage_, "pixels per mm of stage travel, above 0");
  if (thresh_ < 0 && smooth_ <= 0) bad("smooth", smooth_, "histogram bin width, above 0");
  if (maxskellen_ <= 0 || maxskellen_ > 10000) bad("maxskellen", maxskellen_, "1 to 10000 rows");
  // Spans and the rate are multiplied into frame counts held in int.
  const auto span = [](double s) { return s > 0 && s <= kMaxSpan; };
  if (!span(seglen_)) bad("seglen", seglen_, "seconds, above 0, at most 86400");
  if (!span(displen_)) bad("displen", displen_, "seconds, above 0, at most 86400");
  if (!span(anglen_)) bad("anglen", anglen_, "seconds, above 0, at most 86400");
  if (!std::isfinite(frmps_) || frmps_ > kMaxFrmps)
    bad("frmps", frmps_, "frames per second, at most 10000; 0 or less: the movie's rate");
  if (fframe_ < kMinFframe) bad("fframe", fframe_, "frame number, -1000000000 or above");
  if (!std::isfinite(pausespdlim_)) bad("pausespdlim", pausespdlim_, "mm per second");
  if (!std::isfinite(shade_)) bad("shade", shade_, "a factor");
  if (!(debugimg_ >= 0) || debugimg_ > 16) bad("debugimg", debugimg_, "window scale, 0 to 16");
  if (!msg.str().empty()) throw FatalError(msg.str());
}

std::string Params::moviePath(const std::string& suffix, int bufSize) const {
  std::string p = moviedir_ + moviename_ + suffix;
  return cut(p, bufSize > 0 ? static_cast<size_t>(bufSize - 1) : 0);
}

int Params::ignoredFrame(size_t i) const {
  return i < ignorefrm_.size() ? ignorefrm_[i] : kIgnoreEnd;
}

void Params::printIfVerbose(std::ostream& out) const {
  if (!screenop_) return;
  out << "Using the following parameters:\n";
  print(out);
}

void Params::print(std::ostream& os) const {
  os << "moviedir    = " << moviedir_ << "\n";
  os << "moviename   = " << moviename_ << "\n";
  os << "outdir      = " << outdir_ << "\n";
  os << "mmpix       = " << mmpix_ << "\n";
  os << "frmps       = " << frmps_ << "\n";
  os << "fframe      = " << fframe_ << "\n";
  os << "lframe      = " << lframe_ << "\n";
  for (int f : ignorefrm_)
    if (f != kIgnoreEnd) os << "ignorefrm = " << f << "\n";
  os << "screenop    = " << screenop_ << "\n";
  os << "debugimg    = " << debugimg_ << "\n";
  os << "seglen      = " << seglen_ << "\n";
  os << "pausespdlim = " << pausespdlim_ << "\n";
  os << "displen     = " << displen_ << "\n";
  os << "anglen      = " << anglen_ << "\n";
  os << "smooth      = " << smooth_ << "\n";
  os << "thresh      = " << thresh_ << "\n";
  os << "useedges    = " << useedges_ << "\n";
  os << "maxskellen  = " << maxskellen_ << "\n";
  os << "minloopradius = " << minloopradius_ << "\n";
  os << "track       = " << (track_ == 1 ? "stage" : "corr") << "\n";
  os << "stageskip   = " << stageskip_ << "\n";
  os << "mmpixstage  = " << mmpixstage_ << "\n";
  os << "shade       = " << shade_ << "\n";
  os << "star        = " << star_ << "\n";
  os << "subbg       = " << subbg_ << "\n";
  os << "rsedg       = " << rsedg_ << "\n";
  os << "objclniter  = " << objclniter_ << "\n";
  os << "wsiblck     = " << wsiblck_ << "\n";
  os << "disjntdel   = " << disjntdel_ << "\n";
  os << "segangdif   = " << segangdif_ << "\n";
  os << "distbox     = " << distbox_ << "\n";
  os << "emptyrows   = " << emptyrows_ << "\n";
  os << "eggs        = " << eggs_ << "\n";
}

void Params::writeHeader(const std::string& version, std::ostream& os) const {
  std::time_t now = std::time(nullptr);
  char buf[64];
  // ctime's fixed form: "Www Mmm dd hh:mm:ss yyyy\n".
  std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y\n", std::localtime(&now));
  os << "# DUKON version: " << version << "\n";
  os << "# analyzed on: " << buf << "\n";
  print(os);
}

}  // namespace dukon
