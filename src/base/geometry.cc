#include "base/geometry.h"

namespace dukon {

namespace {

// Pi as the angle tables have always been computed with.
constexpr double kPi = 3.1415926;
// Components this close to zero count as zero.
constexpr double kDeadZone = 0.001;

}  // namespace

double directionAngle(double dx, double dy) {
  if (std::fabs(dx) <= kDeadZone) {
    if (std::fabs(dy) < kDeadZone) return 0.0;
    return dy > 0 ? 90.0 : 270.0;
  }
  if (std::fabs(dy) < kDeadZone) return dx < 0 ? 180.0 : 0.0;
  const double a = std::atan(std::fabs(dy) / std::fabs(dx)) * 180.0 / kPi;
  double angle;
  if (dx > 0 && dy > 0) {
    angle = a;
  } else if (dx < 0 && dy > 0) {
    angle = 180.0 - a;
  } else if (dx < 0 && dy < 0) {
    angle = 180.0 + a;
  } else {
    angle = 360.0 - a;
  }
  // Only a vanishing angle below the +x axis can round up to 360.
  return angle >= 360.0 ? 0.0 : angle;
}

}  // namespace dukon
