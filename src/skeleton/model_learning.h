// Learning the body model from a movie's consistent frames: the chains
// give a first guess of the length and the widths, the fit of that guess to
// each frame's mask settles them.
#ifndef DUKON_SKELETON_MODEL_LEARNING_H_
#define DUKON_SKELETON_MODEL_LEARNING_H_

#include <array>
#include <functional>
#include <vector>

#include "skeleton/body_model.h"
#include "skeleton/centreline.h"
#include "skeleton/fit_target.h"
#include "skeleton/posture_fit.h"

namespace dukon {

// Collects frames' lengths and widths; model() gives the medians, point by
// point.
class BodyModelLearner {
 public:
  // A centreline length, pixels.
  void addLength(double length) { lengths_.push_back(length); }
  // The half widths along a frame's centreline (frame pixels, head first)
  // in that frame's target.
  void addWidths(const Centreline& line, const FitTarget& target);

  // True when there is at least one length and one width profile.
  bool ready() const { return !lengths_.empty() && !widths_.empty(); }
  // Median length and median half width at each point; the half widths
  // are at least half a pixel.
  BodyModel model() const;

 private:
  std::vector<double> lengths_;
  std::vector<std::array<double, kCentrelinePoints>> widths_;
};

struct LearntModel {
  bool ok = false;  // false without a frame to learn from
  BodyModel model;
  // bodyMismatch of the model fitted to each learning frame: how well it
  // can match this movie's worm at all.
  std::vector<double> mismatches;
};

// Learns the model from consistent frames: `chains` holds each frame's
// chain centreline (frame pixels, head first), `target(k, t)` makes frame
// k's target in t. The widths are first taken along the chains and the
// length is their median; the model is fitted to every frame with the
// length free, the median fitted length kept, and the widths taken again
// along the fits with that length. (A chain runs out to the outline and
// zigzags a little, so its length is a little long.)
LearntModel learnBodyModel(const std::vector<Centreline>& chains,
                           const std::function<void(size_t, FitTarget&)>& target,
                           const FitSettings& fit);

}  // namespace dukon

#endif  // DUKON_SKELETON_MODEL_LEARNING_H_
