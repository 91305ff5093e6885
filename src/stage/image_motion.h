// ImageMotion: the stage movement between frames measured from the images,
// for runs without a usable stage log.
//
// The background shifts as a whole when the stage moves. The object keeps a
// reference frame and finds the integer shift (up to +-range pixels on each
// axis) that best aligns the current frame's background with it: a coarse
// grid of `step` pixels, then every shift around the best grid point. The
// measure is the sum of absolute grey-level differences over the reference's
// central window (the frame less `range` pixels on each side), leaving out a
// rectangle around the worm of the reference frame.
//
// Small shifts (|x| + |y| below 6 pixels) are not applied: the reference
// stays until the accumulated shift is large enough or a frame matches it
// exactly, so rounding errors do not pile up frame after frame.
#ifndef DUKON_STAGE_IMAGE_MOTION_H_
#define DUKON_STAGE_IMAGE_MOTION_H_

#include <cstdint>
#include <iostream>
#include <optional>
#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/worm_box.h"

namespace dukon {

class ImageMotion {
 public:
  // The vector instructions the sums of differences are made with: the
  // widest the processor has (AVX2), or the baseline ones (SSE2) all x86-64
  // processors have. Both find the same shifts.
  enum class Vectors { kWidest, kBaseline };

  // `step` is the coarse grid spacing, `range` the largest shift searched,
  // both in pixels; width and height are the frame size. Throws FatalError
  // when the frame is not larger than 2 * range on both axes or step < 1.
  ImageMotion(int step, int range, int width, int height, Vectors vectors = Vectors::kWidest);

  // Measures the shift of the image content from the reference to `bw`
  // (8-bit, one channel, frame size), pixels; `worm` is the worm's box in
  // `bw`. Gives the shift when it is to be applied; the reference and its
  // mask are then renewed from `bw` (the first frame only becomes the
  // reference, with a shift of 0). Gives nothing (reference kept) for a
  // shift too small to apply, and for a frame of the wrong size or type. A
  // non-zero shift is reported on `out` as "found relative movement of
  // x=.. y=..".
  std::optional<cv::Point> findMovement(const cv::Mat& bw, const WormBox& worm,
                                        std::ostream& out = std::cout);

  // The current mask in window coordinates: 1 on background, 0 over the worm.
  cv::Mat mask() const;
  // The rectangle of the mask that is left out, in window coordinates.
  const cv::Rect& wormRect() const { return wormRect_; }

 private:
  // Scores of the shifts (xs[k], sy), 0 <= xs[k], sy <= 2 * range, into
  // sums[k] for k < n: the full sum when it is below bounds[k], otherwise
  // some partial sum >= bounds[k].
  void measure(const cv::Mat& bw, const int* xs, int sy, int n, const uint64_t* bounds,
               uint64_t* sums) const;
  uint64_t boundFor(int index) const;
  void accept(uint64_t m, int sx, int sy, int index);
  void searchFrom(const cv::Mat& bw, const std::vector<cv::Point>& candidates, int firstIndex,
                  cv::Point hint);
  void renew(const cv::Mat& bw, const WormBox& worm);

  int step_;
  int range_;
  int width_;
  int height_;
  int innerWidth_;
  int innerHeight_;
  bool wide_ = false;    // sums made with AVX2
  cv::Mat previous_;     // the reference frame, full size; empty before the first
  cv::Rect wormRect_;    // left out of the measure; clipped to the window
  uint64_t noBest_ = 0;  // a candidate must score below this
  uint64_t best_ = 0;
  int bestIndex_ = -1;  // place of the best candidate in the scan order; -1: none yet
  int bestX_ = 0;
  int bestY_ = 0;
  cv::Point hint_;               // where the search starts: a likely winner
  std::vector<cv::Point> grid_;  // the coarse pass's candidates, in scan order
  std::vector<cv::Point> fine_;  // the fine pass's, around the coarse best
  // One row of candidates being measured: shift x, place in the scan order,
  // bound and score; 2 * range + 1 entries, allocated once.
  std::vector<int> rowX_;
  std::vector<int> rowIndex_;
  std::vector<uint64_t> rowBound_;
  std::vector<uint64_t> rowSum_;
};

}  // namespace dukon

#endif  // DUKON_STAGE_IMAGE_MOTION_H_
