#include "base/params.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <limits>
#include <sstream>
#include <type_traits>
#include <variant>

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
// false when either word is missing. *valueAt receives where the value
// begins in the line, *valueEnd where it ends.
bool splitKeyValue(const std::string& line, std::string* key, std::string* value, size_t* valueAt,
                   size_t* valueEnd) {
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
  *valueAt = start;
  *valueEnd = i;
  return true;
}

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && isSpace(s[a])) ++a;
  while (b > a && isSpace(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// Edit distance between two words (insertions, deletions, substitutions).
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string lowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Parses a leading decimal integer as strtol does, saturated to int.
// Returns false when there is none; *end receives the index after it and
// *saturated whether the number lay beyond int.
bool leadingInt(const std::string& s, size_t from, int* out, size_t* end,
                bool* saturated = nullptr) {
  const char* begin = s.c_str() + from;
  char* stop = nullptr;
  errno = 0;
  long v = std::strtol(begin, &stop, 10);
  if (stop == begin) return false;
  const bool beyond = errno == ERANGE || v > INT_MAX || v < INT_MIN;
  if (v > INT_MAX) v = INT_MAX;
  if (v < INT_MIN) v = INT_MIN;
  *out = static_cast<int>(v);
  *end = from + static_cast<size_t>(stop - begin);
  if (saturated != nullptr) *saturated = beyond;
  return true;
}

// atoi: the longest leading number, 0 when there is none. *how says what
// was not read as written: "" when the whole word was the integer.
int toInt(const std::string& s, std::string* how) {
  int v = 0;
  size_t end = 0;
  bool saturated = false;
  if (!leadingInt(s, 0, &v, &end, &saturated)) {
    *how = "not an integer, read as 0";
    return 0;
  }
  char* realEnd = nullptr;
  std::strtod(s.c_str(), &realEnd);
  if (saturated)
    *how = "beyond the integer range, read as " + std::to_string(v);
  else if (static_cast<size_t>(realEnd - s.c_str()) > end)
    *how = "a fraction given to an integer key, read as " + std::to_string(v);
  else if (end < s.size())
    *how = "read as " + std::to_string(v);
  return v;
}

// atof: the longest leading real, 0 when there is none; *how as for toInt.
double toReal(const std::string& s, std::string* how) {
  char* stop = nullptr;
  const double v = std::strtod(s.c_str(), &stop);
  if (stop == s.c_str()) {
    *how = "not a number, read as 0";
  } else if (*stop != '\0') {
    std::ostringstream os;
    os << "read as " << v;
    *how = os.str();
  }
  return v;
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

constexpr double kInf = std::numeric_limits<double>::infinity();

// Whether `word` is one of the words of `words`, which are joined by " or ".
bool isOneOf(const std::string& word, const std::string& words) {
  const std::string sep = " or ";
  size_t at = 0;
  for (;;) {
    const size_t end = words.find(sep, at);
    if (words.compare(at, end == std::string::npos ? std::string::npos : end - at, word) == 0)
      return true;
    if (end == std::string::npos) return false;
    at = end + sep.size();
  }
}

}  // namespace

// One key of the parameters file: how it is read, checked, listed and
// documented. Numbers and flags keep their default in `def`.
struct Params::Key {
  // kWord: one of a few words, `allowed` lists them joined by " or ",
  // `shownDefault` is the default one.
  enum class Kind { kText, kDirectory, kInt, kReal, kFlag, kTrack, kFrameList, kWord };
  using Field = std::variant<std::string Params::*, int Params::*, double Params::*, bool Params::*,
                             Tracking Params::*, FrameList Params::*>;
  // Values a checked key accepts: lo (exclusive when loOpen) to hi, finite
  // ones only when `finite`. NaN never passes. `rank` places the key's
  // refusal among those of one file (1 first); 0: the key is not checked.
  struct Range {
    int rank = 0;
    double lo = -kInf;
    bool loOpen = false;
    double hi = kInf;
    bool finite = false;
    bool accepts(double v) const {
      return (!finite || std::isfinite(v)) && (loOpen ? v > lo : v >= lo) && v <= hi;
    }
  };

  const char* name;
  const char* label;  // listing label, "name = " padded
  Kind kind;
  Field field;
  double def;                // default of a number or flag
  const char* shownDefault;  // the README's default, when not simply `def`
  Range range;
  const char* allowed;  // the accepted values as the refusal says them
  // When set, the range is checked only if this holds (smooth: only the
  // automatic threshold divides by it).
  bool (*checkedWhen)(const Params&);
  const char* meaning;  // the README's description
  // Listed (parameters copy, verbose console) only when not at its default:
  // a key added later leaves the listing of a run at default settings as
  // it was.
  bool listedWhenSet = false;
};

namespace {

using Key = Params::Key;
using Kind = Key::Kind;
using Range = Key::Range;

constexpr Range kUnchecked{};
constexpr Range positiveSpan(int rank) {
  return Range{rank, 0.0, true, Params::kMaxSpan, false};
}
constexpr Range finiteOnly(int rank) {
  return Range{rank, -kInf, false, kInf, true};
}
// A word key: checked against its words, not a range.
constexpr Range oneOfItsWords(int rank) {
  return Range{rank, -kInf, false, kInf, false};
}

}  // namespace

const std::vector<Params::Key>& Params::keys() {
  static const char* const kSpanAllowed = "seconds, above 0, at most 86400";
  static const char* const kUnused = "accepted and listed, not used";
  static const std::vector<Key> kKeys = {
      {"moviedir", "moviedir    = ", Kind::kDirectory, &Params::moviedir_, 0, "— (required)",
       kUnchecked, "", nullptr, "directory of the movie"},
      {"moviename", "moviename   = ", Kind::kText, &Params::moviename_, 0, "— (required)",
       kUnchecked, "", nullptr,
       "movie name without `.avi`; names the output folder and prefixes every output file"},
      {"outdir", "outdir      = ", Kind::kDirectory, &Params::outdir_, 0,
       "empty (working directory)", kUnchecked, "", nullptr, "root of the output"},
      {"mmpix",
       "mmpix       = ",
       Kind::kInt,
       &Params::mmpix_,
       291,
       nullptr,
       {1, 1, false, 100000, false},
       "pixels per mm, 1 to 100000",
       nullptr,
       "image scale, pixels per millimetre"},
      {"frmps",
       "frmps       = ",
       Kind::kReal,
       &Params::frmps_,
       -1,
       "the movie's rate",
       {8, -kInf, false, kMaxFrmps, true},
       "frames per second, at most 10000; 0 or less: the movie's rate",
       nullptr,
       "frames per second"},
      {"fframe",
       "fframe      = ",
       Kind::kInt,
       &Params::fframe_,
       0,
       nullptr,
       {9, kMinFframe, false, kInf, false},
       "frame number, -1000000000 or above",
       nullptr,
       "first frame to analyse (frames are numbered from 1)"},
      {"lframe", "lframe      = ", Kind::kInt, &Params::lframe_, 0, "0 (the movie's end)",
       kUnchecked, "", nullptr, "last frame to analyse; 0 or less, or beyond the end: the last"},
      {"ignorefrm", "ignorefrm = ", Kind::kFrameList, &Params::ignorefrm_, 0, "none", kUnchecked,
       "", nullptr, "a frame `N` or a range `A-B` to leave out; may be repeated"},
      {"screenop", "screenop    = ", Kind::kFlag, &Params::screenop_, 0, nullptr, kUnchecked, "",
       nullptr, "verbose console output and the parameter listing"},
      {"debugimg",
       "debugimg    = ",
       Kind::kReal,
       &Params::debugimg_,
       0,
       nullptr,
       {12, 0, false, 16, false},
       "window scale, 0 to 16",
       nullptr,
       "scale of the debug windows; 0 shows none"},
      {"seglen", "seglen      = ", Kind::kReal, &Params::seglen_, 0.5, nullptr, positiveSpan(5),
       kSpanAllowed, nullptr, "movement segment length, seconds"},
      {"pausespdlim", "pausespdlim = ", Kind::kReal, &Params::pausespdlim_, 0.05, nullptr,
       finiteOnly(10), "mm per second", nullptr, "speed below which a segment is a pause, mm/s"},
      {"displen", "displen     = ", Kind::kReal, &Params::displen_, 0.5, nullptr, positiveSpan(6),
       kSpanAllowed, nullptr, "time span of the displacement table, seconds"},
      {"anglen", "anglen      = ", Kind::kReal, &Params::anglen_, 10, nullptr, positiveSpan(7),
       kSpanAllowed, nullptr, "time span of the turning-angle table, seconds"},
      {"smooth",
       "smooth      = ",
       Kind::kInt,
       &Params::smooth_,
       4,
       nullptr,
       {3, 1, false, kInf, false},
       "histogram bin width, above 0",
       [](const Params& p) { return p.thresh_ < 0; },
       "histogram bin width for the automatic threshold, grey levels"},
      {"thresh", "thresh      = ", Kind::kInt, &Params::thresh_, -1, nullptr, kUnchecked, "",
       nullptr, "fixed grey threshold; negative selects the automatic one"},
      {"useedges", "useedges    = ", Kind::kFlag, &Params::useedges_, 1, nullptr, kUnchecked, "",
       nullptr, "adds edges to the worm mask"},
      {"maxskellen",
       "maxskellen  = ",
       Kind::kInt,
       &Params::maxskellen_,
       350,
       nullptr,
       {4, 1, false, 10000, false},
       "1 to 10000 rows",
       nullptr,
       "rows of the wave image"},
      {"minloopradius", "minloopradius = ", Kind::kReal, &Params::minloopradius_, 0.02, nullptr,
       kUnchecked, "", nullptr, kUnused},
      {"track", "track       = ", Kind::kTrack, &Params::track_, 0, "stage", kUnchecked, "",
       nullptr,
       "`stage`: positions from the stage log; any other word (`corr`): from image motion"},
      {"stageskip", "stageskip   = ", Kind::kInt, &Params::stageskip_, 1, nullptr, kUnchecked, "",
       nullptr, "stage-sample spacing in frames beyond which a frame is usable for tracking"},
      {"mmpixstage",
       "mmpixstage  = ",
       Kind::kInt,
       &Params::mmpixstage_,
       -1,
       "mmpix",
       {2, 1, false, kInf, false},
       "pixels per mm of stage travel, above 0",
       nullptr,
       "pixels per millimetre of stage travel"},
      {"shade", "shade       = ", Kind::kReal, &Params::shade_, 0.2, nullptr, finiteOnly(11),
       "a factor", nullptr, "least darkening factor of the trace in the track image"},
      {"star", "star        = ", Kind::kFlag, &Params::star_, 0, nullptr, kUnchecked, "", nullptr,
       "start and end marks in the track image"},
      {"subbg", "subbg       = ", Kind::kFlag, &Params::subbg_, 0, nullptr, kUnchecked, "", nullptr,
       kUnused},
      {"rsedg", "rsedg       = ", Kind::kInt, &Params::rsedg_, 16, nullptr, kUnchecked, "", nullptr,
       kUnused},
      {"objclniter", "objclniter  = ", Kind::kInt, &Params::objclniter_, 2, nullptr, kUnchecked, "",
       nullptr, kUnused},
      {"wsiblck", "wsiblck     = ", Kind::kReal, &Params::wsiblck_, 0.035, nullptr, kUnchecked, "",
       nullptr, kUnused},
      {"disjntdel", "disjntdel   = ", Kind::kInt, &Params::disjntdel_, 20, nullptr, kUnchecked, "",
       nullptr, kUnused},
      {"segangdif", "segangdif   = ", Kind::kInt, &Params::segangdif_, 60, nullptr, kUnchecked, "",
       nullptr, kUnused},
      {"distbox", "distbox     = ", Kind::kFlag, &Params::distbox_, 0, nullptr, kUnchecked, "",
       nullptr, "box-plot form instead of deciles in the feature statistics"},
      {"emptyrows", "emptyrows   = ", Kind::kFlag, &Params::emptyrows_, 0, nullptr, kUnchecked, "",
       nullptr, "rows for empty movement classes in the feature statistics"},
      {"eggs", "eggs        = ", Kind::kFlag, &Params::eggs_, 0, nullptr, kUnchecked, "", nullptr,
       "egg detection and `eggs.txt`"},
      {"headmode", "headmode    = ", Kind::kWord, &Params::headmode_, 0, "bright",
       oneOfItsWords(13), "bright or combined", nullptr,
       "head end: `bright`, the brighter end by majority over each run of frames; `combined`, "
       "from brightness, head swing, body wave and travel over runs of linked frames"},
      {"polarity", "polarity    = ", Kind::kWord, &Params::polarity_, 0, "dark", oneOfItsWords(14),
       "dark or bright", nullptr,
       "`dark`: a dark worm on a brighter plate; `bright`: a bright worm on a darker plate "
       "(every frame is inverted)"},
      {"centrelines", "centrelines = ", Kind::kFlag, &Params::centrelines_, 1, nullptr, kUnchecked,
       "", nullptr,
       "`centreline.csv` with the body model fitted where the chain fails; 0: chains only", true},
  };
  return kKeys;
}

Params::Params(std::string fileName) : fileName_(std::move(fileName)) {
  for (const Key& k : keys()) {
    std::visit(
        [this, &k](auto field) {
          using T = std::decay_t<decltype(this->*field)>;
          if constexpr (std::is_same_v<T, int>) {
            this->*field = static_cast<int>(k.def);
          } else if constexpr (std::is_same_v<T, double>) {
            this->*field = k.def;
          } else if constexpr (std::is_same_v<T, bool>) {
            this->*field = k.def != 0;
          } else if constexpr (std::is_same_v<T, std::string>) {
            this->*field = k.kind == Kind::kWord ? k.shownDefault : "";
          } else {
            this->*field = T{};  // texts empty, no ignored frames, stage log
          }
        },
        k.field);
  }
}

Params Params::fromFile(const std::string& fileName, std::ostream& err) {
  std::ifstream in(fileName, std::ios::binary);
  if (in && !isDirectory(fileName)) return fromStream(in, fileName, err);
  // No line to read: every parameter keeps its default.
  err << "\nCouldn't open " << fileName << ", using defaults\n";
  std::istringstream none;
  return fromStream(none, fileName, err);
}

Params Params::fromStream(std::istream& in, const std::string& fileName, std::ostream& err) {
  Params p(fileName);
  p.read(in, err);
  p.complete();
  return p;
}

// One file being read: where warnings go and which line is read, and the
// ignorefrm ranges gathered so far.
struct Params::Reading {
  std::ostream& err;
  int line = 0;
  std::vector<FrameList::Range> ignored;

  // "FILE:LINE: text" and a line end.
  void warn(const std::string& file, const std::string& text) const {
    err << file << ":" << line << ": " << text << "\n";
  }
};

void Params::read(std::istream& in, std::ostream& err) {
  Reading r{err, 0, {}};
  std::string line;
  while (std::getline(in, line)) {
    ++r.line;
    // Editors on some systems begin a UTF-8 file with a byte-order mark.
    if (r.line == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    // A NUL ends the text as it would in a C buffer.
    const size_t nul = line.find('\0');
    if (nul != std::string::npos) line.resize(nul);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > static_cast<size_t>(kBufLen - 1)) {
      err << "\nParameter line longer than " << (kBufLen - 1) << " characters cut: `"
          << line.substr(0, 40) << "...'\n";
      line.resize(kBufLen - 1);
    }
    if (line.empty() || line[0] == '#') continue;
    parseLine(line, r);
  }
  ignorefrm_ = FrameList(r.ignored);
}

// For a known key glued to its value ("mmpix=300"), how to write the line;
// "" for any other line.
std::string Params::gluedKeyHint(const std::string& line) {
  const std::string t = trim(line);
  const size_t eq = t.find('=');
  if (eq == std::string::npos || eq == 0 || isSpace(t[eq - 1])) return "";
  const std::string key = t.substr(0, eq);
  const std::string value = trim(t.substr(eq + 1));
  for (const Key& k : keys())
    if (lowerCase(key) == k.name && !value.empty())
      return " (a blank is needed before \"=\": " + key + " = " + value + ")";
  return "";
}

void Params::parseLine(const std::string& line, Reading& r) {
  std::string key, value;
  size_t valueAt = 0, valueEnd = 0;
  if (!splitKeyValue(line, &key, &value, &valueAt, &valueEnd)) {
    r.err << "\nCan't parse parameter `" << line << "'\n";
    r.warn(fileName_, "not a \"key = value\" line, ignored" + gluedKeyHint(line));
    return;
  }
  key = lowerCase(key);
  const Key* found = nullptr;
  for (const Key& k : keys())
    if (key == k.name) found = &k;
  if (found == nullptr) {
    const Key* nearest = &keys().front();
    for (const Key& k : keys())
      if (editDistance(key, k.name) < editDistance(key, nearest->name)) nearest = &k;
    r.warn(fileName_, "unknown key \"" + key + "\" ignored (nearest key: " + nearest->name + ")");
    return;
  }
  const Key& k = *found;
  // Folders and names take the rest of the line, so that they may hold
  // blanks; ignorefrm reads "A - B" as the range.
  if (k.kind == Kind::kText || k.kind == Kind::kDirectory || k.kind == Kind::kFrameList) {
    store(k, trim(line.substr(valueAt)), r);
    return;
  }
  const std::string rest = trim(line.substr(valueEnd));
  if (!rest.empty())
    r.warn(fileName_,
           std::string(k.name) + " = " + value + ": \"" + rest + "\" after the value ignored");
  store(k, value, r);
}

void Params::store(const Key& k, const std::string& v, Reading& r) {
  std::string how;
  switch (k.kind) {
    case Kind::kText:
    case Kind::kWord:
      this->*std::get<std::string Params::*>(k.field) = cut(v, kBufLen - 1);
      break;
    case Kind::kDirectory:
      this->*std::get<std::string Params::*>(k.field) = asDirectory(v);
      break;
    case Kind::kInt:
      this->*std::get<int Params::*>(k.field) = toInt(v, &how);
      break;
    case Kind::kReal:
      this->*std::get<double Params::*>(k.field) = toReal(v, &how);
      break;
    case Kind::kFlag:
      this->*std::get<bool Params::*>(k.field) = toInt(v, &how) != 0;
      break;
    case Kind::kTrack:
      this->*std::get<Tracking Params::*>(k.field) =
          v == "stage" ? Tracking::kStageLog : Tracking::kImageMotion;
      if (v != "stage" && v != "corr")
        how = "neither stage nor corr, read as corr (positions from image motion)";
      break;
    case Kind::kFrameList:
      addIgnored(v, r);
      break;
  }
  if (!how.empty()) r.warn(fileName_, std::string(k.name) + " = " + v + ": " + how);
}

// "A", "A-B" or "A - B": the frames A to B. Anything else adds what its
// leading number says, as "%d-%d" then "%d" would read it.
void Params::addIgnored(const std::string& value, Reading& r) {
  int first = 0, last = 0;
  size_t end = 0;
  if (!leadingInt(value, 0, &first, &end)) {
    r.warn(fileName_, "ignorefrm = " + value + ": not a frame N or range A-B, ignored");
    return;
  }
  last = first;
  size_t i = end;
  while (i < value.size() && isSpace(value[i])) ++i;
  int second = 0;
  size_t end2 = 0;
  if (i < value.size() && value[i] == '-' && leadingInt(value, i + 1, &second, &end2)) {
    last = second;
    end = end2;
  }
  const std::string rest = trim(value.substr(end));
  if (!rest.empty())
    r.warn(fileName_, "ignorefrm = " + value + ": \"" + rest + "\" after the frames ignored");
  if (last < first) {
    r.warn(fileName_, "ignorefrm = " + value + ": the range ends before it begins, no frame");
    return;
  }
  if (static_cast<long>(last) - first >= kMaxIgnoreRange) {
    std::ostringstream msg;
    msg << "Range of ignored frames too large: ignorefrm = " << value << "\n";
    throw FatalError(msg.str());
  }
  r.ignored.emplace_back(first, last);
}

void Params::complete() {
  if (mmpixstage_ == -1) mmpixstage_ = mmpix_;
  if (moviedir_.empty() || moviename_.empty())
    throw FatalError("Movie directory and name must be given in parameters file.\n");
  checkValues();
}

void Params::checkValues() const {
  std::vector<const Key*> checked;
  for (const Key& k : keys())
    if (k.range.rank > 0) checked.push_back(&k);
  std::sort(checked.begin(), checked.end(),
            [](const Key* a, const Key* b) { return a->range.rank < b->range.rank; });
  std::ostringstream msg;
  for (const Key* key : checked) {
    const Key& k = *key;
    if (k.checkedWhen != nullptr && !k.checkedWhen(*this)) continue;
    std::visit(
        [&](auto field) {
          using T = std::decay_t<decltype(this->*field)>;
          if constexpr (std::is_same_v<T, int> || std::is_same_v<T, double>) {
            const T value = this->*field;
            if (!k.range.accepts(static_cast<double>(value)))
              msg << "Invalid value in parameters file: " << k.name << " = " << value << " ("
                  << k.allowed << ")\n";
          } else if constexpr (std::is_same_v<T, std::string>) {
            const std::string& value = this->*field;
            if (k.kind == Kind::kWord && !isOneOf(value, k.allowed))
              msg << "Invalid value in parameters file: " << k.name << " = " << value << " ("
                  << k.allowed << ")\n";
          }
        },
        k.field);
  }
  if (!msg.str().empty()) throw FatalError(msg.str());
}

std::string Params::moviePath(const std::string& suffix, int bufSize) const {
  std::string p = moviedir_ + moviename_ + suffix;
  return cut(p, bufSize > 0 ? static_cast<size_t>(bufSize - 1) : 0);
}

void Params::printIfVerbose(std::ostream& out) const {
  if (!screenop_) return;
  out << "Using the following parameters:\n";
  print(out);
}

void Params::print(std::ostream& os) const {
  printListing(os, frmps_, lframe_);
}

void Params::printListing(std::ostream& os, double frmps, int lframe) const {
  for (const Key& k : keys()) {
    if (k.listedWhenSet && atDefault(k)) continue;
    if (k.kind == Kind::kFrameList) {
      ignorefrm_.forEach([&](int f) { os << k.label << f << "\n"; });
      continue;
    }
    if (k.kind == Kind::kWord && this->*std::get<std::string Params::*>(k.field) == k.shownDefault)
      continue;  // a word key at its default is not listed
    os << k.label;
    if (k.kind == Kind::kTrack) {
      os << (track_ == Tracking::kStageLog ? "stage" : "corr");
    } else if (k.field == Key::Field(&Params::frmps_)) {
      os << frmps;
    } else if (k.field == Key::Field(&Params::lframe_)) {
      os << lframe;
    } else {
      std::visit(
          [&](auto field) {
            using T = std::decay_t<decltype(this->*field)>;
            if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, int> ||
                          std::is_same_v<T, double> || std::is_same_v<T, bool>)
              os << this->*field;
          },
          k.field);
    }
    os << "\n";
  }
}

bool Params::atDefault(const Key& k) const {
  return std::visit(
      [&](auto field) {
        using T = std::decay_t<decltype(this->*field)>;
        if constexpr (std::is_same_v<T, int> || std::is_same_v<T, double>)
          return static_cast<double>(this->*field) == k.def;
        else if constexpr (std::is_same_v<T, bool>)
          return this->*field == (k.def != 0);
        else
          return false;
      },
      k.field);
}

void Params::writeHeader(const std::string& version, double rate, int lastFrame,
                         std::ostream& os) const {
  std::time_t now = std::time(nullptr);
  char buf[64];
  // ctime's fixed form: "Www Mmm dd hh:mm:ss yyyy\n".
  std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y\n", std::localtime(&now));
  os << "# DUKON version: " << version << "\n";
  os << "# analyzed on: " << buf << "\n";
  printListing(os, rate, lastFrame);
}

void Params::writeKeyTable(std::ostream& os) {
  static const char* const kTypeNames[] = {"text",     "folder", "integer",      "real",
                                           "flag 0/1", "word",   "frame or A-B", "word"};
  os << "| key | type | default | accepted | meaning |\n|---|---|---|---|---|\n";
  for (const Key& k : keys()) {
    os << "| " << k.name << " | " << kTypeNames[static_cast<int>(k.kind)] << " | ";
    if (k.shownDefault != nullptr)
      os << k.shownDefault;
    else
      os << k.def;
    os << " | " << (k.range.rank > 0 ? k.allowed : "any") << " | " << k.meaning << " |\n";
  }
}

}  // namespace dukon
