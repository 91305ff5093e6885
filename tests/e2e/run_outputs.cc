#include "run_outputs.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "results/run_file.h"
#include "results/run_folder.h"

namespace dukon {
namespace e2e {

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

std::map<int, CentrelineRow> readCentrelines(const std::string& outDir, const std::string& name) {
  std::map<int, CentrelineRow> rows;
  results::readCentrelineFile(results::runFile(outDir + "/" + name, name, "centreline.csv"),
                              [&rows](const CentrelineRow& r) { rows[r.frame] = r; });
  return rows;
}

RunOutputs readOutputs(const std::string& outDir, const std::string& name) {
  const std::string folder = outDir + "/" + name;
  auto file = [&](const char* f) { return results::runFile(folder, name, f); };
  RunOutputs o;
  o.summary = results::readRunSummary(file("wxo.txt"));
  o.shapes = results::readShapeTable(file("wxd.txt"));
  o.behaviour = results::readBehaviourReport(file("wxs.txt"));
  if (results::fileExists(file("eggs.txt"))) o.eggs = results::readEggTable(file("eggs.txt"));
  return o;
}

}  // namespace e2e
}  // namespace dukon
