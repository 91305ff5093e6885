// fitPosture: the body model's posture fitted to one frame's worm.
//
// The cost has three parts, each a mean of squares in pixels:
// - body on the background: at every centreline point and every piece's
//   middle, how far the disc of `inside` times the model's half width
//   reaches beyond the mask's outline;
// - worm left uncovered: for every sampled worm pixel, how far it lies
//   beyond the body (its distance to the nearest piece of the centreline
//   less the half width there). Nearest piece only, so where the body lies
//   on itself its pixels count once. Robust: far pixels (a filled gap, a
//   speck stuck to the worm) weigh about linearly rather than squared;
// - bending: the knot angles' second differences, radians, weighted;
// - motion, when an expected centreline is given: how far each point lies
//   along the body from where the worm's motion so far puts it, weighted.
//   It settles what the mask leaves open, such as how far a coiled body has
//   slid along its own ring, and leaves the shape to the mask.
// It is minimised from a start posture by damped Gauss-Newton steps
// (Levenberg-Marquardt) with the derivatives of the centreline.
#ifndef DUKON_SKELETON_POSTURE_FIT_H_
#define DUKON_SKELETON_POSTURE_FIT_H_

#include "skeleton/body_model.h"
#include "skeleton/fit_target.h"
#include "skeleton/posture.h"

namespace dukon {

struct FitSettings {
  double inside = 0.9;         // share of the half width that must lie on the worm
  double bendWeight = 0.05;    // weight of a radian of second difference, per knot
  double robustPx = 4.0;       // uncovered pixels beyond this distance weigh less
  bool freeLength = false;     // fit the body length too (learning the model)
  double motionWeight = 0.15;  // weight of a pixel along the body off the expected centreline
};

struct FitResult {
  Posture posture;
  double length = 0;  // the model's, or the fitted one with freeLength
  double cost = 0;    // final cost (see above), square pixels
  int iterations = 0;
};

// Fits from `start` for at most `iterations` steps (frame pixels).
// `expected`, when not empty, is the centreline the motion term pulls
// towards (frame pixels, kCentrelinePoints points).
FitResult fitPosture(const BodyModel& model, const FitTarget& target, const Posture& start,
                     const FitSettings& settings, int iterations,
                     const Centreline& expected = Centreline());

// The cost of `posture` (body `length` pixels long) without fitting.
double postureCost(const BodyModel& model, const FitTarget& target, const Posture& posture,
                   double length, const FitSettings& settings);

}  // namespace dukon

#endif  // DUKON_SKELETON_POSTURE_FIT_H_
