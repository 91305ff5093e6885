// Feature statistics: the distribution of one body feature over the
// consistent frames, per movement class, as a mean plus either a five-number
// box summary or the deciles, read off a 100-bin histogram.
#ifndef DUKON_SKELETON_FEATURE_STATS_H_
#define DUKON_SKELETON_FEATURE_STATS_H_

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/movement_code.h"

namespace dukon {

// Slot 0 mean, slot 1 minimum; box form: slots 2-6 the 5, 25, 50, 75 and 95%
// quantiles, slot 7 maximum; decile form: slots 2-10 the 10 ... 90%
// quantiles, slot 11 maximum. Unused slots are 0.
using FeatureStatistics = std::array<double, 12>;

// Statistics of the values whose class equals `cls` (kNone: every value), NaN
// and infinite values left out; `values[i]` has class `classes[i]` (pairs
// beyond the shorter vector are ignored). The minimum starts at 10000 and
// the maximum at -10000, so they never pass those bounds. `boxForm` chooses
// the layout. Empty when no value is selected.
std::optional<FeatureStatistics> classStatistics(const std::vector<double>& values,
                                                 const std::vector<MovementCode>& classes,
                                                 MovementCode cls, bool boxForm);

// How the statistics blocks are laid out: the settings distbox and emptyrows.
struct StatisticsLayout {
  bool boxForm = false;    // five-number box summary instead of the deciles
  bool emptyRows = false;  // keep the labels of classes without values
};

// Writes the block of one feature to `os`: "\n\n" name ":", then one row per
// class (fwd, bckwd, pause, omega, all) at `precision` significant digits,
// laid out as `layout` says. Leaves the stream at precision 2.
void writeStatisticsBlock(std::ostream& os, const std::string& name,
                          const std::vector<double>& values,
                          const std::vector<MovementCode>& classes, int precision,
                          const StatisticsLayout& layout);

}  // namespace dukon

#endif  // DUKON_SKELETON_FEATURE_STATS_H_
