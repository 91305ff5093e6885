#include "overlay/run_outputs.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace dukon {
namespace overlay {
namespace {

namespace fs = std::filesystem;

const char kWxdHeader[] =
    "frame,OK?,(head),(mid),(tail),(cmass),#skelpts,#cutpt,len,thick,area,avgamp,ampsym,"
    "maxampL,maxampR,Navgamp,NmaxampL,NmaxampR,avgang,angsym,maxangL,maxangR,wvlen,Nwvlen,"
    "freq,straightfs,sinusfs,disp,mv";
// A shape-table row has 28 fields after "#frame,"; an ignored one 24.
constexpr size_t kRowFields = 28;
constexpr size_t kIgnoredFields = 24;

// A text file as numbered lines (1-based), line ends removed.
class LineFile {
 public:
  explicit LineFile(const std::string& path) : path_(path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RunFileError(path + ": cannot open (missing file?)");
    std::ostringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    endsWithNewline_ = !all.empty() && all.back() == '\n';
    std::string line;
    std::istringstream lines(all);
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
    }
  }

  size_t size() const { return lines_.size(); }
  const std::string& line(size_t number) const { return lines_[number - 1]; }
  bool endsWithNewline() const { return endsWithNewline_; }

  RunFileError error(size_t number, const std::string& reason) const {
    return RunFileError(path_ + ":" + std::to_string(number) + ": " + reason);
  }
  RunFileError error(const std::string& reason) const {
    return RunFileError(path_ + ": " + reason);
  }

 private:
  std::string path_;
  std::vector<std::string> lines_;
  bool endsWithNewline_ = false;
};

bool parseInt(const std::string& s, int* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long n = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < -2147483647L || n > 2147483647L) return false;
  *v = static_cast<int>(n);
  return true;
}

bool parseDouble(const std::string& s, double* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(s.c_str(), &end);
  if (*end != '\0' || errno == ERANGE) return false;
  *v = d;
  return true;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == sep) {
      parts.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// "(x y)" as the shape table writes a point.
bool parsePoint(const std::string& s, cv::Point* p) {
  if (s.size() < 5 || s.front() != '(' || s.back() != ')') return false;
  std::vector<std::string> xy = split(s.substr(1, s.size() - 2), ' ');
  return xy.size() == 2 && parseInt(xy[0], &p->x) && parseInt(xy[1], &p->y);
}

ShapeRow parseShapeRow(const LineFile& file, size_t no) {
  const std::string& text = file.line(no);
  size_t comma = text.find(',');
  ShapeRow row;
  if (text.empty() || text[0] != '#' || comma == std::string::npos ||
      !parseInt(text.substr(1, comma - 1), &row.frame)) {
    throw file.error(no, "expected a row '#frame,...', found '" + text.substr(0, 40) + "'");
  }
  std::vector<std::string> f = split(text.substr(comma + 1), ',');
  if (f.size() == kIgnoredFields && f.back() == "IGNORED") {
    for (size_t i = 0; i + 1 < f.size(); ++i) {
      if (!f[i].empty()) throw file.error(no, "row of an ignored frame carries values");
    }
    row.ignored = true;
    return row;
  }
  if (f.size() != kRowFields) {
    throw file.error(no, "expected 29 comma-separated fields, found " +
                             std::to_string(f.size() + 1) + " (file truncated?)");
  }
  if (f[0] != "0" && f[0] != "1") throw file.error(no, "OK? must be 0 or 1, found '" + f[0] + "'");
  row.consistent = f[0] == "1";
  row.label = f.back();
  try {
    decodeLabel(row.label);
  } catch (const std::invalid_argument& e) {
    throw file.error(no, e.what());
  }
  if (row.consistent && (!parsePoint(f[1], &row.headWorld) || !parsePoint(f[3], &row.tailWorld))) {
    throw file.error(no, "head or tail is not a point '(x y)'");
  }
  return row;
}

}  // namespace

RunParams readParamsCopy(const std::string& path) {
  LineFile file(path);
  if (file.size() < 3 || file.line(1).rfind("# DUKON version: ", 0) != 0 ||
      file.line(2).rfind("# analyzed on: ", 0) != 0 || !file.line(3).empty()) {
    throw file.error(1, "not a parameters copy (run header missing)");
  }
  RunParams p;
  bool haveName = false, haveMmpix = false;
  for (size_t no = 4; no <= file.size(); ++no) {
    const std::string& text = file.line(no);
    size_t eq = text.find(" = ");
    size_t keyEnd = text.find(' ');
    if (eq == std::string::npos || keyEnd == 0) {
      throw file.error(no, "expected 'key = value', found '" + text.substr(0, 40) + "'");
    }
    std::string key = text.substr(0, keyEnd), value = text.substr(eq + 3);
    bool ok = true;
    if (key == "moviedir") {
      p.movieDir = value;
    } else if (key == "moviename") {
      p.movieName = value;
      haveName = !value.empty();
    } else if (key == "mmpix") {
      ok = parseInt(value, &p.mmpix) && p.mmpix > 0;
      haveMmpix = true;
    } else if (key == "frmps") {
      ok = parseDouble(value, &p.frmps);
    } else if (key == "fframe") {
      ok = parseInt(value, &p.fframe);
    } else if (key == "lframe") {
      ok = parseInt(value, &p.lframe);
    }
    if (!ok) throw file.error(no, key + ": cannot read value '" + value + "'");
  }
  if (!haveName || !haveMmpix) {
    throw file.error(file.size(), "parameter listing lacks moviename or mmpix (truncated?)");
  }
  return p;
}

std::vector<ShapeRow> readShapeTable(const std::string& path) {
  LineFile file(path);
  if (file.size() < 2 || !file.line(1).empty()) {
    throw file.error(1, "expected an empty first line before the header");
  }
  if (file.line(2) != kWxdHeader) throw file.error(2, "unexpected table header");
  std::vector<ShapeRow> rows;
  for (size_t no = 3; no <= file.size(); ++no) {
    ShapeRow row = parseShapeRow(file, no);
    if (!rows.empty() && row.frame <= rows.back().frame) {
      throw file.error(no, "frame " + std::to_string(row.frame) + " does not follow frame " +
                               std::to_string(rows.back().frame));
    }
    rows.push_back(row);
  }
  return rows;
}

std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path, size_t records,
                                                       size_t* skipped) {
  static const std::string kFrame = "Frame number: ";
  LineFile file(path);
  if (file.size() && !file.endsWithNewline()) {
    throw file.error(file.size(), "last line has no line end (file truncated?)");
  }
  std::vector<std::pair<int, std::vector<cv::Point>>> entries;  // file order
  size_t start = 0;                                             // first entry of the latest run
  for (size_t no = 1; no <= file.size(); ++no) {
    const std::string& text = file.line(no);
    int frame = 0;
    if (text.rfind(kFrame, 0) == 0) {
      if (!parseInt(text.substr(kFrame.size()), &frame)) {
        throw file.error(no, "bad frame number '" + text.substr(kFrame.size(), 20) + "'");
      }
      if (!entries.empty() && frame <= entries.back().first) start = entries.size();
      entries.push_back({frame, {}});
      continue;
    }
    std::vector<std::string> xy = split(text, ',');
    cv::Point p;
    if (xy.size() != 2 || !parseInt(xy[0], &p.x) || !parseInt(xy[1], &p.y)) {
      throw file.error(no,
                       "expected 'Frame number: N' or 'x,y', found '" + text.substr(0, 40) + "'");
    }
    if (entries.empty()) throw file.error(no, "point before the first 'Frame number:' line");
    entries.back().second.push_back(p);
  }
  if (records != kUnknownRecords) {
    if (records > entries.size() - start) {
      throw file.error("the last run analysed " + std::to_string(records) +
                       " frames, but its block here holds " +
                       std::to_string(entries.size() - start) +
                       " entries (file cut short, or files of different runs?)");
    }
    start = entries.size() - records;
  }
  if (skipped) *skipped = start;
  std::map<int, std::vector<cv::Point>> chains;
  for (size_t i = start; i < entries.size(); ++i) {
    chains[entries[i].first] = std::move(entries[i].second);
  }
  return chains;
}

Movement decodeLabel(const std::string& label) {
  static const std::pair<const char*, const char*> kWords[] = {
      {"fwd", "forward"}, {"bckwd", "backward"}, {"reversal", ""},
      {"pause", "pause"}, {"omega", "omega"},    {"loop", "loop"}};
  Movement m;
  size_t at = 0;
  while (at < label.size()) {
    bool matched = false;
    for (const auto& w : kWords) {
      std::string word = w.first;
      if (label.compare(at, word.size(), word) != 0) continue;
      if (word == "reversal") {
        m.reversal = true;
      } else if (m.name.empty() || m.name == w.second) {
        m.name = w.second;
      } else {
        throw std::invalid_argument("movement label '" + label + "' names two classes");
      }
      at += word.size();
      matched = true;
      break;
    }
    if (!matched) throw std::invalid_argument("unknown movement label '" + label + "'");
  }
  if (m.reversal && m.name.empty()) m.name = "backward";
  return m;
}

std::map<int, FittedLine> readFittedCentrelines(const std::string& path) {
  constexpr size_t kPoints = 49;
  constexpr size_t kFields = 3 + 2 * kPoints + 2;  // frame, source, fit_error, points, stage
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunFileError(path + ": cannot open (missing file?)");
  std::string line;
  if (!std::getline(in, line) || line.rfind("frame,source,fit_error,x0,y0,", 0) != 0)
    throw RunFileError(path + ": not a centreline file (no header)");
  std::map<int, FittedLine> fitted;
  for (size_t number = 2; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = split(line, ',');
    auto bad = [&](const std::string& why) {
      return RunFileError(path + ":" + std::to_string(number) + ": " + why);
    };
    if (f.size() != kFields) throw bad("expected " + std::to_string(kFields) + " fields");
    int frame = 0;
    if (!parseInt(f[0], &frame)) throw bad("bad frame number");
    if (f[1] != "fitted") continue;
    FittedLine l;
    cv::Point2d stage;
    if (!parseDouble(f[2], &l.fitError) || !parseDouble(f[kFields - 2], &stage.x) ||
        !parseDouble(f[kFields - 1], &stage.y))
      throw bad("bad fit error or stage location");
    for (size_t k = 0; k < kPoints; ++k) {
      cv::Point2d p;
      if (!parseDouble(f[3 + 2 * k], &p.x) || !parseDouble(f[4 + 2 * k], &p.y))
        throw bad("bad point " + std::to_string(k));
      l.points.push_back(p - stage);
    }
    fitted[frame] = std::move(l);
  }
  return fitted;
}

std::string findRunName(const std::string& folder) {
  fs::path dir(folder);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw RunFileError(folder + ": no such folder");
  std::string own = dir.lexically_normal().filename().string();
  if (own.empty()) own = dir.lexically_normal().parent_path().filename().string();
  if (fs::is_regular_file(dir / (own + "-wxd.txt"), ec)) return own;
  std::vector<std::string> found;
  const std::string suffix = "-wxd.txt";
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    std::string name = e.path().filename().string();
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(name.substr(0, name.size() - suffix.size()));
    }
  }
  if (found.empty()) throw RunFileError(folder + ": no *-wxd.txt, not a run's output folder");
  if (found.size() > 1) {
    throw RunFileError(folder + ": several runs in one folder; name one with --name");
  }
  return found[0];
}

}  // namespace overlay
}  // namespace dukon
