// Reads back what one run of dukon wrote into plain tables for the
// acceptance tests, and the few helpers those tests share. The generator's
// ground truth is read with synth::readTruthCsv.
#ifndef DUKON_TESTS_E2E_RUN_OUTPUTS_H_
#define DUKON_TESTS_E2E_RUN_OUTPUTS_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/files.h"

namespace dukon {
namespace e2e {

// One row of the full shape table wxd.txt (world pixels).
struct ShapeRow {
  int frame = 0;
  bool consistent = false;
  double headX = 0, headY = 0, midX = 0, midY = 0, tailX = 0, tailY = 0;
  int skelpts = 0;
  double len = 0, wavelen = 0, freq = 0;
  std::string label;  // "fwd", "bckwd", "reversal", "fwdreversal", "pause", "omega", "loop", ""
};

// A segment line of wxs.txt: "first-last: text".
struct SegmentLine {
  int first = 0, last = 0;
  std::string text;
};

struct EggLine {
  int frame = 0;
  double x = 0, y = 0;  // world pixels
};

// One row of centreline.csv: the points are world pixels, head first;
// `points` is empty for "none".
struct CentrelineRow {
  int frame = 0;
  std::string source;   // "chain", "fitted", "none"
  double fitError = 0;  // nan when empty
  std::vector<std::pair<double, double>> points;
};

// centreline.csv of the run folder, frame -> row; throws std::runtime_error
// naming the file and line on a malformed row.
std::map<int, CentrelineRow> readCentrelines(const std::string& outDir, const std::string& name);

struct RunOutputs {
  std::map<std::string, double> summary;  // "good", "consistent", "real", "total"
  std::vector<ShapeRow> shapes;
  std::vector<SegmentLine> segments;
  int reversals = -1;  // from "reversals rate: ... (N total)"
  std::vector<EggLine> eggs;
  std::string wxs;
};

// Throws std::runtime_error naming the file and line on malformed input.
RunOutputs readOutputs(const std::string& outDir, const std::string& name);
using testing_support::shell;
std::string readText(const std::string& path);

// The element at rank floor(q * size) of `v` sorted (the largest for q
// near 1): the q quantile (0 <= q <= 1); nan for an empty `v`.
double quantile(std::vector<double> v, double q);

// `part` as a percentage of `whole`; nan when `whole` is not positive.
double share(double part, double whole);

}  // namespace e2e
}  // namespace dukon

#endif  // DUKON_TESTS_E2E_RUN_OUTPUTS_H_
