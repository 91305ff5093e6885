#include "synth/body_model.h"

#include <algorithm>
#include <cmath>

namespace dukon {
namespace synth {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kHeadEnd = 0.12;    // head rounding ends here
constexpr double kTailStart = 0.72;  // tail taper starts here
constexpr double kTipShare = 0.15;   // tail tip radius / largest radius
constexpr double kNoseShare = 0.35;  // nose radius / largest radius

}  // namespace

BodyModel::BodyModel(const SynthConfig& config)
    : length_(config.lengthPx()), radius_(config.radiusPx()) {}

double BodyModel::radiusAt(double u) const {
  u = std::clamp(u, 0.0, 1.0);
  if (u < kHeadEnd) {
    return radius_ * (kNoseShare + (1.0 - kNoseShare) * std::sin(0.5 * kPi * u / kHeadEnd));
  }
  if (u > kTailStart) {
    return radius_ * (1.0 - (1.0 - kTipShare) * (u - kTailStart) / (1.0 - kTailStart));
  }
  return radius_;
}

double BodyModel::greyAt(double u, double rho) const {
  double base;
  if (u < 1.0 / 3.0) {
    base = kHeadGrey;
  } else if (u > 2.0 / 3.0) {
    base = kTailGrey;
  } else {
    base = kHeadGrey + (kTailGrey - kHeadGrey) * (u - 1.0 / 3.0) * 3.0;
  }
  rho = std::clamp(rho, 0.0, 1.0);
  return base + kEdgeLightening * rho * rho;
}

double BodyModel::area() const {
  const int n = 2000;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += 2.0 * radiusAt((i + 0.5) / n);
  double r0 = radiusAt(0.0), r1 = radiusAt(1.0);
  return sum * length_ / n + 0.5 * kPi * (r0 * r0 + r1 * r1);
}

}  // namespace synth
}  // namespace dukon
