// BodyModel: the worm's shape and shading along its body.
//
// Positions along the body are given as u, the fraction of the body length
// from the head (0) to the tail tip (1). Lengths are frame pixels, grey
// levels 0..255 on the 8-bit grey scale the analyser works on.
#ifndef DUKON_SYNTH_BODY_MODEL_H_
#define DUKON_SYNTH_BODY_MODEL_H_

#include "synth/synth_config.h"

namespace dukon {
namespace synth {

class BodyModel {
 public:
  explicit BodyModel(const SynthConfig& config);

  double length() const { return length_; }
  double maxRadius() const { return radius_; }

  // Half width at u: a blunt rounded head, a constant middle, a tail that
  // narrows to a thin tip.
  double radiusAt(double u) const;

  // Grey level of the body at u and at rho = distance from the centreline /
  // local half width (0..1). The head third is brighter than the tail third
  // by kHeadGrey - kTailGrey; the edges are lighter than the middle.
  double greyAt(double u, double rho) const;

  // Area in square pixels that the body covers when it does not overlap
  // itself: the swept width plus the half discs that round off both ends.
  double area() const;

  static constexpr double kHeadGrey = 92.0;
  static constexpr double kTailGrey = 77.0;
  static constexpr double kEdgeLightening = 16.0;

 private:
  double length_;
  double radius_;
};

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_BODY_MODEL_H_
