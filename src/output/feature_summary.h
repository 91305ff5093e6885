// The feature summary at the end of wxo.txt: for each body feature, its
// statistics block, one row per movement class (format: docs/formats/wxo.md).
#ifndef DUKON_OUTPUT_FEATURE_SUMMARY_H_
#define DUKON_OUTPUT_FEATURE_SUMMARY_H_

#include <ostream>
#include <vector>

#include "skeleton/feature_stats.h"

namespace dukon {

// How the statistics blocks are laid out: the settings distbox and emptyrows.
struct StatisticsLayout {
  bool boxForm = false;    // five-number box summary instead of the deciles
  bool emptyRows = false;  // keep the labels of classes without values
};

// Writes the block of one feature to `os`: "\n\n" name ":", then one row per
// class (fwd, bckwd, pause, omega, all) at the feature's precision, laid out
// as `layout` says (`layout.boxForm` must be the form the statistics were
// taken in). Leaves the stream at precision 2.
void writeStatisticsBlock(std::ostream& os, const FeatureSummary& feature,
                          const StatisticsLayout& layout);

// Appends every feature's block to `wxo`, then a line end.
void writeFeatureSummary(std::ostream& wxo, const std::vector<FeatureSummary>& features,
                         const StatisticsLayout& layout);

}  // namespace dukon

#endif  // DUKON_OUTPUT_FEATURE_SUMMARY_H_
