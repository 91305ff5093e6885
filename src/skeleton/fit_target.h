// FitTarget: one frame's worm as the body-model fitting sees it.
//
// Made from the frame's worm mask over a region around the worm: the signed
// distance to the mask's outline (positive inside, negative outside, zero
// half-way between a worm pixel and a background pixel) and a grid sample
// of the worm's pixels, which a good fit covers. Frame pixels throughout.
#ifndef DUKON_SKELETON_FIT_TARGET_H_
#define DUKON_SKELETON_FIT_TARGET_H_

#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// The worm's pixels as the fit compares them, from the grey frame `grey`
// and the segmenter's mask `mask` (both 8-bit, frame size): the pixels no
// brighter than half-way between the worm's median grey (inside the mask,
// two pixels in from its edge) and the background's (three pixels out from
// it and beyond, over the mask's box grown by kFitMaskMargin), within three
// pixels of the mask. The mask's closings fill the corners where body parts
// touch and its edges add spurs; neither is dark, so neither is a worm pixel
// here. Returns the part of the frame holding every such pixel (255 on the
// worm), with its top left corner in *origin; empty for an empty mask.
cv::Mat fitMask(const cv::Mat& grey, const cv::Mat& mask, cv::Point* origin);

class FitTarget {
 public:
  // An empty target (no worm pixel); build() fills it.
  FitTarget() = default;

  // From `mask` (8-bit, frame size, non-zero on the worm): the signed
  // distance over the mask's bounding box grown by `margin` pixels (clipped
  // to the frame), and the worm pixels whose coordinates are both multiples
  // of `stride`. An empty mask gives an empty target.
  void build(const cv::Mat& mask, int margin, int stride);
  // The same from the part `crop` of such a mask that holds every worm
  // pixel, placed at `origin` in a frame of size `frame`.
  void build(const cv::Mat& crop, cv::Point origin, cv::Size frame, int margin, int stride);

  bool empty() const { return area_ == 0; }
  // Worm pixels in the mask.
  int area() const { return area_; }
  // The region the distances cover, frame pixels.
  const cv::Rect& region() const { return region_; }
  // The sampled worm pixels, frame pixels.
  const std::vector<cv::Point2f>& samples() const { return samples_; }
  // The mask over region() (8-bit, 0 or 1).
  const cv::Mat& mask() const { return mask_; }

  // Signed distance to the outline at `p` (frame pixels), interpolated
  // bilinearly, with its gradient in *grad when given. Beyond the region it
  // falls on by the distance from the region's edge; far below any real
  // distance for an empty target or a point that is not finite.
  double distance(cv::Point2d p, cv::Point2d* grad = nullptr) const;

 private:
  cv::Rect region_;
  cv::Mat mask_;    // CV_8U, region size
  cv::Mat signed_;  // CV_32F, region size
  std::vector<cv::Point2f> samples_;
  int area_ = 0;
};

}  // namespace dukon

#endif  // DUKON_SKELETON_FIT_TARGET_H_
