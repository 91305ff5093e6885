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

FeatureSummary summarizeFeature(const std::string& name, int precision,
                                const std::vector<double>& values,
                                const std::vector<MovementCode>& classes, bool boxForm) {
  FeatureSummary f;
  f.name = name;
  f.precision = precision;
  for (size_t k = 0; k < kSummaryClasses.size(); ++k)
    f.rows[k] = classStatistics(values, classes, kSummaryClasses[k], boxForm);
  return f;
}

std::vector<FeatureSummary> summarizeFeatures(const std::vector<SkelRecord>& records,
                                              bool boxForm) {
  struct Feature {
    const char* name;
    double (*get)(const SkelRecord&);
    int precision;
  };
  static const Feature kFeatures[] = {
      {"numsklpts", [](const SkelRecord& r) { return double(r.chainSize()); }, 3},
      {"len", [](const SkelRecord& r) { return r.len; }, 3},
      {"cutpnums", [](const SkelRecord& r) { return double(r.cutpnums); }, 2},
      {"avgamp", [](const SkelRecord& r) { return r.avgamp; }, 2},
      {"ampsym", [](const SkelRecord& r) { return r.ampsym; }, 2},
      {"maxampL", [](const SkelRecord& r) { return r.maxampL; }, 2},
      {"maxampR", [](const SkelRecord& r) { return r.maxampR; }, 2},
      {"Navgamp", [](const SkelRecord& r) { return r.Navgamp; }, 4},
      {"NmaxampL", [](const SkelRecord& r) { return r.NmaxampL; }, 4},
      {"NmaxampR", [](const SkelRecord& r) { return r.NmaxampR; }, 4},
      {"avgangle", [](const SkelRecord& r) { return r.avgangle; }, 2},
      {"anglesym", [](const SkelRecord& r) { return r.anglesym; }, 2},
      {"maxangL", [](const SkelRecord& r) { return r.maxangL; }, 2},
      {"maxangR", [](const SkelRecord& r) { return r.maxangR; }, 2},
      {"thickness", [](const SkelRecord& r) { return r.thickness; }, 3},
      {"area", [](const SkelRecord& r) { return r.area; }, 4},
      {"wavelen", [](const SkelRecord& r) { return r.wavelen; }, 3},
      {"Nwavelen", [](const SkelRecord& r) { return r.Nwavelen; }, 3},
      {"freq", [](const SkelRecord& r) { return r.freq; }, 3},
      {"straightfs", [](const SkelRecord& r) { return r.straightfs; }, 2},
      {"sinusfs", [](const SkelRecord& r) { return r.sinusfs; }, 2},
      {"disp", [](const SkelRecord& r) { return r.disp == -1.0 ? SkelRecord::kNaN : r.disp; }, 3},
  };
  std::vector<MovementCode> classes;
  for (const SkelRecord& r : records)
    if (r.consistent) classes.push_back(r.mv);
  std::vector<FeatureSummary> out;
  std::vector<double> values;
  for (const Feature& f : kFeatures) {
    values.clear();
    for (const SkelRecord& r : records)
      if (r.consistent) values.push_back(f.get(r));
    out.push_back(summarizeFeature(f.name, f.precision, values, classes, boxForm));
  }
  return out;
}

}  // namespace dukon
