// Reads back what one run of dukon wrote, and the generator's ground truth,
// into plain tables for the acceptance tests.
#ifndef DUKON_TESTS_E2E_RUN_OUTPUTS_H_
#define DUKON_TESTS_E2E_RUN_OUTPUTS_H_

#include <map>
#include <string>
#include <vector>

namespace dukon {
namespace e2e {

// One row of the ground truth (world pixels, milliseconds, Hz).
struct TruthRow {
  int frame = 0;
  double timeMs = 0;
  bool stageMoving = false;
  double headX = 0, headY = 0, midX = 0, midY = 0, tailX = 0, tailY = 0;
  std::string state;  // forward, backward, pause, omega, coil
  double wavelength = 0, freq = 0;
  bool eggEvent = false;
  double eggX = 0, eggY = 0;
};

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

struct RunOutputs {
  std::map<std::string, double> summary;  // "good", "consistent", "real", "total"
  std::vector<ShapeRow> shapes;
  std::vector<SegmentLine> segments;
  int reversals = -1;  // from "reversals rate: ... (N total)"
  std::vector<EggLine> eggs;
  std::string wxs;
};

// Throws std::runtime_error naming the file and line on malformed input.
std::vector<TruthRow> readTruth(const std::string& path);
RunOutputs readOutputs(const std::string& outDir, const std::string& name);
std::string readText(const std::string& path);

}  // namespace e2e
}  // namespace dukon

#endif  // DUKON_TESTS_E2E_RUN_OUTPUTS_H_
