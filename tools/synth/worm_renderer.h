// WormRenderer: draws the worm and its eggs into a grey frame.
//
// The body is the union of discs along the centreline with the BodyModel's
// radius; each pixel's coverage comes from its distance to that outline, so
// edges are anti-aliased, and a slight optical blur softens them. Work is
// confined to the body's bounding box. Eggs are small dark ellipses with a
// darker rim, drawn with sub-pixel coverage.
#ifndef DUKON_SYNTH_WORM_RENDERER_H_
#define DUKON_SYNTH_WORM_RENDERER_H_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/body_model.h"
#include "synth/synth_config.h"

namespace dukon {
namespace synth {

class WormRenderer {
 public:
  // `points` is the number of centreline points the worm will be drawn
  // with; the body texture is laid out along them. Deterministic in `seed`.
  WormRenderer(const SynthConfig& config, int points, uint64_t seed);

  // Draws the body whose centreline (head first, `points` points) is given in
  // frame pixels into `grey` (CV_8UC1). Parts outside the frame are clipped.
  void drawWorm(const std::vector<cv::Point2f>& centreline, cv::Mat* grey) const;

  // Draws an egg centred at `centre` (frame pixels) with its long axis at
  // `angleDeg` into `grey`.
  void drawEgg(cv::Point2d centre, double angleDeg, cv::Mat* grey) const;

  // Half major axis of an egg, pixels.
  double eggMajor() const { return eggMajor_; }

 private:
  BodyModel body_;
  std::vector<float> radii_;  // per centreline point
  cv::Mat shade_;             // CV_32F, points x kRhoBins: grey incl. texture
  double eggMajor_;
  double eggMinor_;
};

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_WORM_RENDERER_H_
