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

namespace dukon {

class Params;

// Slot 0 mean, slot 1 minimum; box form: slots 2-6 the 5, 25, 50, 75 and 95%
// quantiles, slot 7 maximum; decile form: slots 2-10 the 10 ... 90%
// quantiles, slot 11 maximum. Unused slots are 0.
using FeatureStatistics = std::array<double, 12>;

// Statistics of the values whose class equals `cls` (0: every value), NaN
// and infinite values left out. The minimum starts at 10000 and the maximum
// at -10000, so they never pass those bounds. `boxForm` chooses the layout.
// Empty when no value is selected. Uses the first `n` entries of both arrays
// (at most their sizes).
std::optional<FeatureStatistics> classStatistics(const std::vector<double>& values,
                                                 const std::vector<int>& classes, int cls, int n,
                                                 bool boxForm);

// Writes the block of one feature to `os`: "\n\n" name ":", then one row per
// class (fwd, bckwd, pause, omega, all) at `precision` significant digits.
// `distbox` selects the box form, `emptyrows` keeps the labels of empty
// classes. Leaves the stream at precision 2.
void writeStatisticsBlock(std::ostream& os, const std::string& name,
                          const std::vector<double>& values, const std::vector<int>& classes,
                          int precision, int n, const Params& prms);

}  // namespace dukon

#endif  // DUKON_SKELETON_FEATURE_STATS_H_
