#include "run_outputs.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace dukon {
namespace e2e {

namespace {

std::vector<std::string> splitCsv(const std::string& line) {
  std::vector<std::string> out;
  std::string cell;
  std::istringstream ss(line);
  while (std::getline(ss, cell, ',')) out.push_back(cell);
  if (!line.empty() && line.back() == ',') out.emplace_back();
  return out;
}

double number(const std::string& s) {
  if (s == "nan" || s == "-nan" || s == "n/a") return std::nan("");
  return std::strtod(s.c_str(), nullptr);
}

// "(x y)" -> x, y
void pair(const std::string& s, double* x, double* y) {
  if (std::sscanf(s.c_str(), "(%lf %lf)", x, y) != 2) throw std::runtime_error("bad pair " + s);
}

[[noreturn]] void malformed(const std::string& path, int line, const std::string& why) {
  throw std::runtime_error(path + ":" + std::to_string(line) + ": " + why);
}

}  // namespace

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double quantile(std::vector<double> v, double q) {
  if (v.empty()) return std::nan("");
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * v.size()))];
}

double share(double part, double whole) {
  return whole > 0 ? 100.0 * part / whole : std::nan("");
}

namespace {

void readSummary(const std::string& path, RunOutputs* o) {
  std::istringstream in(readText(path));
  std::string line;
  std::smatch m;
  const std::regex total("Total frames \\(key\\+drop\\) in movie: (\\d+)");
  const std::regex real("Real frames \\(key\\) extracted: (\\d+)");
  const std::regex good("Good frames \\(with skeleton\\) analyzed: (\\d+) ");
  const std::regex cons("Consistent frames \\(skeleton is good and no loop\\): (\\d+) ");
  for (int i = 0; i < 8 && std::getline(in, line); ++i) {
    if (std::regex_search(line, m, total)) o->summary["total"] = std::stod(m[1]);
    if (std::regex_search(line, m, real)) o->summary["real"] = std::stod(m[1]);
    if (std::regex_search(line, m, good)) o->summary["good"] = std::stod(m[1]);
    if (std::regex_search(line, m, cons)) o->summary["consistent"] = std::stod(m[1]);
  }
  for (const char* k : {"total", "real", "good", "consistent"})
    if (!o->summary.count(k)) malformed(path, 1, std::string("summary lacks ") + k);
}

void readShapes(const std::string& path, RunOutputs* o) {
  std::istringstream in(readText(path));
  std::string line;
  int lineNo = 0;
  std::map<std::string, size_t> col;
  size_t columns = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.rfind("frame,", 0) == 0) {
      std::vector<std::string> head = splitCsv(line);
      columns = head.size();
      for (size_t i = 0; i < head.size(); ++i) col[head[i]] = i;
      continue;
    }
    if (line.empty() || line[0] != '#') continue;
    if (columns == 0) malformed(path, lineNo, "row before header");
    std::vector<std::string> c = splitCsv(line);
    if (c.size() != columns) malformed(path, lineNo, "wrong column count");
    ShapeRow r;
    r.frame = std::atoi(c[0].c_str() + 1);
    r.consistent = c[col["OK?"]] == "1";
    pair(c[col["(head)"]], &r.headX, &r.headY);
    pair(c[col["(mid)"]], &r.midX, &r.midY);
    pair(c[col["(tail)"]], &r.tailX, &r.tailY);
    r.skelpts = std::atoi(c[col["#skelpts"]].c_str());
    r.len = number(c[col["len"]]);
    r.wavelen = number(c[col["wvlen"]]);
    r.freq = number(c[col["freq"]]);
    r.label = c[col["mv"]];
    o->shapes.push_back(r);
  }
}

void readBehaviour(const std::string& path, RunOutputs* o) {
  o->wxs = readText(path);
  std::istringstream in(o->wxs);
  std::string line;
  const std::regex seg("^(\\d+)-(\\d+): (.*)$");
  const std::regex rev("reversals rate: .* \\((\\d+) total\\)");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_match(line, m, seg))
      o->segments.push_back({std::stoi(m[1]), std::stoi(m[2]), m[3]});
    else if (std::regex_search(line, m, rev))
      o->reversals = std::stoi(m[1]);
  }
}

void readEggs(const std::string& path, RunOutputs* o) {
  std::ifstream probe(path);
  if (!probe) return;
  std::istringstream in(readText(path));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    EggLine e;
    double ts, size;
    if (std::sscanf(line.c_str(), "%d\t%lf\t%lf\t%lf,%lf", &e.frame, &ts, &size, &e.x, &e.y) == 5)
      o->eggs.push_back(e);
  }
}

}  // namespace

std::map<int, CentrelineRow> readCentrelines(const std::string& outDir, const std::string& name) {
  const std::string path = outDir + "/" + name + "/" + name + "-centreline.csv";
  std::istringstream in(readText(path));
  std::map<int, CentrelineRow> rows;
  std::string line;
  int lineNo = 1;
  if (!std::getline(in, line) || line.rfind("frame,source,fit_error,x0,y0,", 0) != 0)
    malformed(path, 1, "no header");
  while (std::getline(in, line)) {
    ++lineNo;
    const std::vector<std::string> c = splitCsv(line);
    if (c.size() != 3 + 2 * 49 + 2) malformed(path, lineNo, "wrong column count");
    CentrelineRow r;
    r.frame = std::atoi(c[0].c_str());
    r.source = c[1];
    r.fitError = c[2].empty() ? std::nan("") : number(c[2]);
    for (size_t k = 3; r.source != "none" && k < 3 + 2 * 49; k += 2)
      r.points.emplace_back(number(c[k]), number(c[k + 1]));
    rows[r.frame] = r;
  }
  return rows;
}

RunOutputs readOutputs(const std::string& outDir, const std::string& name) {
  const std::string prefix = outDir + "/" + name + "/" + name + "-";
  RunOutputs o;
  readSummary(prefix + "wxo.txt", &o);
  readShapes(prefix + "wxd.txt", &o);
  readBehaviour(prefix + "wxs.txt", &o);
  readEggs(prefix + "eggs.txt", &o);
  return o;
}

}  // namespace e2e
}  // namespace dukon
