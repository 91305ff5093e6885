#include "skeleton/model_learning.h"

#include <algorithm>
#include <cmath>

#include "skeleton/posture.h"

namespace dukon {

namespace {

// Steps of each learning fit.
constexpr int kLearnIterations = 30;

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  const size_t mid = v.size() / 2;
  std::nth_element(v.begin(), v.begin() + mid, v.end());
  return v[mid];
}

}  // namespace

void BodyModelLearner::addWidths(const Centreline& line, const FitTarget& target) {
  if (line.size() != kCentrelinePoints || target.empty()) return;
  std::array<double, kCentrelinePoints> w;
  for (int k = 0; k < kCentrelinePoints; ++k) w[k] = target.distance(line[k]);
  widths_.push_back(w);
}

BodyModel BodyModelLearner::model() const {
  BodyModel m;
  m.length = median(lengths_);
  std::vector<double> column(widths_.size());
  for (int k = 0; k < kCentrelinePoints; ++k) {
    for (size_t f = 0; f < widths_.size(); ++f) column[f] = widths_[f][k];
    m.radius[k] = std::max(0.5, median(column));
  }
  return m;
}

LearntModel learnBodyModel(const std::vector<Centreline>& chains,
                           const std::function<void(size_t, FitTarget&)>& target,
                           const FitSettings& fit) {
  LearntModel out;
  BodyModelLearner first;
  FitTarget t;
  for (size_t k = 0; k < chains.size(); ++k) {
    first.addLength(polylineLength(chains[k]));
    target(k, t);
    first.addWidths(chains[k], t);
  }
  if (!first.ready()) return out;
  const BodyModel guess = first.model();
  FitSettings free = fit;
  free.freeLength = true;
  std::vector<double> lengths;
  std::vector<Posture> postures;
  for (size_t k = 0; k < chains.size(); ++k) {
    target(k, t);
    if (t.empty()) continue;
    const FitResult r = fitPosture(guess, t, postureOf(chains[k]), free, kLearnIterations);
    lengths.push_back(r.length);
    postures.push_back(r.posture);
  }
  BodyModel sized = guess;
  sized.length = median(lengths);
  BodyModelLearner second;
  second.addLength(sized.length);
  std::vector<Centreline> fitted;
  for (size_t k = 0, p = 0; k < chains.size(); ++k) {
    target(k, t);
    if (t.empty()) continue;
    const FitResult r = fitPosture(sized, t, postures[p++], fit, kLearnIterations);
    fitted.push_back(centrelineOf(r.posture, sized.length));
    second.addWidths(fitted.back(), t);
  }
  out.model = second.model();
  for (size_t k = 0, p = 0; k < chains.size(); ++k) {
    target(k, t);
    if (!t.empty()) out.mismatches.push_back(bodyMismatch(out.model, fitted[p++], t));
  }
  out.ok = true;
  return out;
}

}  // namespace dukon
