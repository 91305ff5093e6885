// Reads back what one run of dukon wrote, through the readers of the result
// formats (tools/results/), for the acceptance tests; and the few helpers
// those tests share. The generator's ground truth is read with
// synth::readTruthCsv.
#ifndef DUKON_TESTS_E2E_RUN_OUTPUTS_H_
#define DUKON_TESTS_E2E_RUN_OUTPUTS_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "results/behaviour_report.h"
#include "results/centreline_file.h"
#include "results/egg_table.h"
#include "results/run_summary.h"
#include "results/shape_table.h"
#include "support/files.h"

namespace dukon {
namespace e2e {

using results::EggRow;
using results::SegmentLine;
using results::ShapeRow;

using results::CentrelineRow;

// centreline.csv of the run folder, frame -> row (points in world pixels).
// Throws results::RunFileError naming the file and line on a malformed row.
std::map<int, CentrelineRow> readCentrelines(const std::string& outDir, const std::string& name);

struct RunOutputs {
  results::RunSummary summary;         // wxo.txt
  std::vector<ShapeRow> shapes;        // wxd.txt; positions in world pixels
  results::BehaviourReport behaviour;  // wxs.txt
  std::vector<EggRow> eggs;            // eggs.txt; none without the file
};

// The files of run `name` in outDir/name/. Throws results::RunFileError
// naming the file and line on malformed input.
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
