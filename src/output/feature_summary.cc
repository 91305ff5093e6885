#include "output/feature_summary.h"

namespace dukon {

void writeStatisticsBlock(std::ostream& os, const FeatureSummary& feature,
                          const StatisticsLayout& layout) {
  static constexpr const char* kLabels[kSummaryClasses.size()] = {
      "\n fwd\t", "\n bckwd\t", "\n pause\t", "\n omega\t", "\n all\t"};
  const bool box = layout.boxForm;
  os.precision(feature.precision);
  os << "\n\n" << feature.name << ":";
  for (size_t k = 0; k < kSummaryClasses.size(); ++k) {
    const std::optional<FeatureStatistics>& st = feature.rows[k];
    if (st || layout.emptyRows) os << kLabels[k];
    if (!st) continue;
    os << "avg: " << (*st)[0] << " " << (box ? "boxplot" : "dist") << ": ";
    const int last = box ? 7 : 11;
    for (int slot = 1; slot <= last; ++slot) os << (slot > 1 ? " " : "") << (*st)[slot];
  }
  os.precision(2);
}

void writeFeatureSummary(std::ostream& wxo, const std::vector<FeatureSummary>& features,
                         const StatisticsLayout& layout) {
  for (const FeatureSummary& f : features) writeStatisticsBlock(wxo, f, layout);
  wxo << "\n";
}

}  // namespace dukon
