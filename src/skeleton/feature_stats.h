// Feature statistics: the distribution of one body feature over the
// consistent frames, per movement class, as a mean plus either a five-number
// box summary or the deciles, read off a 100-bin histogram. The feature
// summary of wxo.txt is written from these (output/feature_summary.h).
#ifndef DUKON_SKELETON_FEATURE_STATS_H_
#define DUKON_SKELETON_FEATURE_STATS_H_

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "base/movement_code.h"
#include "base/skel_record.h"

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

// The summary rows of one feature, in the order the feature summary shows
// them: forward, backward, pause, omega, and all values (kNone).
constexpr std::array<MovementCode, 5> kSummaryClasses = {
    MovementCode::kForward, MovementCode::kBackward, MovementCode::kPause, MovementCode::kOmega,
    MovementCode::kNone};

// The statistics of one feature per class of kSummaryClasses; a class
// without values has none.
struct FeatureSummary {
  std::string name;   // the feature's column name, e.g. "len"
  int precision = 2;  // significant digits the summary shows
  std::array<std::optional<FeatureStatistics>, kSummaryClasses.size()> rows;
};

// The summary of the values `values` of classes `classes` (as for
// classStatistics).
FeatureSummary summarizeFeature(const std::string& name, int precision,
                                const std::vector<double>& values,
                                const std::vector<MovementCode>& classes, bool boxForm);

// The summary of every feature over the consistent records, in the order of
// the feature summary of wxo.txt (numsklpts, len, ... disp). An unmeasured
// displacement (-1) counts as no value.
std::vector<FeatureSummary> summarizeFeatures(const std::vector<SkelRecord>& records, bool boxForm);

}  // namespace dukon

#endif  // DUKON_SKELETON_FEATURE_STATS_H_
