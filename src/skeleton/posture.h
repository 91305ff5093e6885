// Posture: the smooth parameters a fitted centreline is made from.
//
// A body of fixed length L is a chain of 48 equal pieces whose tangent
// angles vary linearly between kPostureKnots knots spread evenly from the
// head (knot 0) to the tail; the chain is placed by its middle point. The
// 19 numbers (centre x and y in pixels, knot angles in radians from +x
// towards +y) describe every shape a crawling or coiling worm takes, with
// the bends smoothed over a sixteenth of the body.
#ifndef DUKON_SKELETON_POSTURE_H_
#define DUKON_SKELETON_POSTURE_H_

#include <array>

#include <opencv2/core.hpp>

#include "skeleton/centreline.h"

namespace dukon {

constexpr int kPostureKnots = 17;
constexpr int kPostureParams = 2 + kPostureKnots;  // centre x, centre y, knot angles

struct Posture {
  cv::Point2d centre;                         // middle point of the centreline, pixels
  std::array<double, kPostureKnots> angle{};  // tangent angle at each knot, radians

  // The parameters in order: centre x, centre y, then the knot angles.
  std::array<double, kPostureParams> params() const;
  static Posture fromParams(const std::array<double, kPostureParams>& p);
};

// Derivative of one centreline point's x or y by each parameter.
using PointGradient = std::array<double, kPostureParams>;

// The centreline of `posture` for a body `length` pixels long. With `dx`
// and `dy`, also the derivative of every point's coordinates by the
// parameters (kCentrelinePoints entries each).
Centreline centrelineOf(const Posture& posture, double length,
                        std::vector<PointGradient>* dx = nullptr,
                        std::vector<PointGradient>* dy = nullptr);

// The posture nearest to `line` (kCentrelinePoints points): its middle point
// and the knot angles that fit its 48 tangent angles (unwrapped along the
// body) best in the least-squares sense.
Posture postureOf(const Centreline& line);

// `posture` with the body moved `shift` pixels along itself towards the
// head (forward crawling; negative: backward), for a body `length` pixels
// long. The body beyond an end continues straight in the end's direction.
Posture slidAlongBody(const Posture& posture, double shift, double length);

}  // namespace dukon

#endif  // DUKON_SKELETON_POSTURE_H_
