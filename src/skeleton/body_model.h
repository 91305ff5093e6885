// BodyModel: the movie's own worm as the fitting draws it, a centreline of
// fixed length with a half width at each of its points (learnt from the
// frames whose skeleton chain is consistent, model_learning.h).
#ifndef DUKON_SKELETON_BODY_MODEL_H_
#define DUKON_SKELETON_BODY_MODEL_H_

#include <array>

#include <opencv2/core.hpp>

#include "skeleton/centreline.h"
#include "skeleton/fit_target.h"

namespace dukon {

struct BodyModel {
  double length = 0;  // centreline length, pixels
  // Half width at each centreline point: the signed distance from the point
  // to the mask's outline (FitTarget::distance), pixels.
  std::array<double, kCentrelinePoints> radius{};

  // Half width at fractional point index `at` (0 to kCentrelinePoints - 1).
  double radiusAt(double at) const;
};

// The share of pixels that the body drawn along `line` (frame pixels) and
// the target's mask disagree on, over the target's region: worm pixels the
// body leaves uncovered plus body pixels on the background, divided by the
// worm's pixel count. A body that lies on itself counts its pixels once.
// 0 is a perfect match; an empty target gives infinity.
double bodyMismatch(const BodyModel& model, const Centreline& line, const FitTarget& target);

// Draws the body along `line` (pixels of `canvas` after subtracting
// `origin`) into `canvas` (8-bit) with `value`: the union of discs of the
// model's half width along it.
void drawBody(const BodyModel& model, const Centreline& line, cv::Point2d origin, cv::Mat& canvas,
              int value);

}  // namespace dukon

#endif  // DUKON_SKELETON_BODY_MODEL_H_
