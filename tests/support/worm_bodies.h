// Worms for the tests of the body-model fitting: a model with rounded ends,
// postures of known shape, and the masks such bodies make.
#ifndef DUKON_TESTS_SUPPORT_WORM_BODIES_H_
#define DUKON_TESTS_SUPPORT_WORM_BODIES_H_

#include <cmath>
#include <functional>

#include <opencv2/core.hpp>

#include "skeleton/body_model.h"
#include "skeleton/fit_target.h"
#include "skeleton/posture.h"

namespace dukon {
namespace testing_support {

// A worm `length` pixels long and `radius` pixels in half width, thinning
// to half a pixel over the last tenth at each end.
inline BodyModel testModel(double length = 200, double radius = 8) {
  BodyModel m;
  m.length = length;
  for (int k = 0; k < kCentrelinePoints; ++k) {
    const double end = std::min(k, kCentrelinePoints - 1 - k) / (0.1 * (kCentrelinePoints - 1));
    m.radius[k] = 0.5 + (radius - 0.5) * std::min(1.0, std::sqrt(end));
  }
  return m;
}

// The posture whose tangent angle at body position u (0 head, 1 tail) is
// angle(u), centred at `centre`.
inline Posture postureFrom(const std::function<double(double)>& angle, cv::Point2d centre) {
  Posture p;
  p.centre = centre;
  for (int i = 0; i < kPostureKnots; ++i) p.angle[i] = angle(i / (kPostureKnots - 1.0));
  return p;
}

// A crawling worm's sine wave; a coil whose head runs on round the ring
// past its tail (the ring is 0.8 body lengths round).
inline Posture sinePosture(cv::Point2d centre) {
  return postureFrom([](double u) { return 0.3 + 0.8 * std::sin(2 * CV_PI * 1.4 * u); }, centre);
}
inline Posture coilPosture(cv::Point2d centre) {
  return postureFrom([](double u) { return 2 * CV_PI * u / 0.8; }, centre);
}

// The mask (8-bit, `size`, 1 on the body) of the body along `line`.
inline cv::Mat bodyMask(const BodyModel& model, const Centreline& line, cv::Size size) {
  cv::Mat mask = cv::Mat::zeros(size, CV_8U);
  drawBody(model, line, cv::Point2d(0, 0), mask, 1);
  return mask;
}

// The target of that mask as the fit builds it: margin 40, every 3rd pixel.
inline FitTarget bodyTarget(const BodyModel& model, const Centreline& line, cv::Size size) {
  FitTarget t;
  t.build(bodyMask(model, line, size), 40, 3);
  return t;
}

}  // namespace testing_support
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_WORM_BODIES_H_
