#include "skeleton/feature_stats.h"

#include <algorithm>
#include <cmath>

namespace dukon {

namespace {

constexpr int kBins = 100;
constexpr double kBoxQuantiles[] = {0.05, 0.25, 0.5, 0.75, 0.95};
constexpr double kDecileQuantiles[] = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9};

bool selected(double v, MovementCode valueClass, MovementCode cls) {
  return (cls == MovementCode::kNone || valueClass == cls) && std::isfinite(v);
}

// Histogram bin of `v` in [lo, hi]; everything lands in bin 0 when the range
// is empty.
int binOf(double v, double lo, double hi) {
  if (hi == lo) return 0;
  const double b = (v - lo) * kBins / (hi - lo);
  if (!(b >= 0)) return 0;
  if (b >= kBins - 1) return kBins - 1;
  return static_cast<int>(b);
}

}  // namespace

std::optional<FeatureStatistics> classStatistics(const std::vector<double>& values,
                                                 const std::vector<MovementCode>& classes,
                                                 MovementCode cls, bool boxForm) {
  const size_t n = std::min(values.size(), classes.size());
  double lo = 10000, hi = -10000;
  for (size_t i = 0; i < n; ++i) {
    if (!selected(values[i], classes[i], cls)) continue;
    if (values[i] < lo) lo = values[i];
    if (values[i] > hi) hi = values[i];
  }
  std::array<int, kBins> hist{};
  int count = 0;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!selected(values[i], classes[i], cls)) continue;
    ++hist[binOf(values[i], lo, hi)];
    ++count;
    sum += values[i];
  }
  if (count == 0) return std::nullopt;

  FeatureStatistics st{};
  st[0] = sum / count;
  st[1] = lo;
  st[boxForm ? 7 : 11] = hi;
  const double* q = boxForm ? kBoxQuantiles : kDecileQuantiles;
  const int nq = boxForm ? 5 : 9;
  int found = 0;
  int running = 0;
  for (int b = 0; b < kBins && found < nq; ++b) {
    running += hist[b];
    const double rep = lo + (hi - lo) * (b + 0.5) / kBins;
    while (found < nq && running > q[found] * count) st[2 + found++] = rep;
  }
  return st;
}

void writeStatisticsBlock(std::ostream& os, const std::string& name,
                          const std::vector<double>& values,
                          const std::vector<MovementCode>& classes, int precision,
                          const StatisticsLayout& layout) {
  struct Row {
    MovementCode cls;
    const char* label;
  };
  static constexpr Row kRows[] = {{MovementCode::kForward, "\n fwd\t"},
                                  {MovementCode::kBackward, "\n bckwd\t"},
                                  {MovementCode::kPause, "\n pause\t"},
                                  {MovementCode::kOmega, "\n omega\t"},
                                  {MovementCode::kNone, "\n all\t"}};
  const bool box = layout.boxForm;
  os.precision(precision);
  os << "\n\n" << name << ":";
  for (const Row& row : kRows) {
    const std::optional<FeatureStatistics> st = classStatistics(values, classes, row.cls, box);
    if (st || layout.emptyRows) os << row.label;
    if (!st) continue;
    os << "avg: " << (*st)[0] << " " << (box ? "boxplot" : "dist") << ": ";
    const int last = box ? 7 : 11;
    for (int slot = 1; slot <= last; ++slot) os << (slot > 1 ? " " : "") << (*st)[slot];
  }
  os.precision(2);
}

}  // namespace dukon
