// EdgeMap: the Canny edges the segmenter joins to the worm mask, as a
// packed mask.
//
// The edges are exactly the pixels cv::Canny marks with the same thresholds,
// aperture 3 and the L1 gradient: a pixel whose gradient magnitude
// |dx| + |dy| (3 x 3 Sobel, border replicated) exceeds the low threshold and
// is a maximum across the gradient direction is a candidate; the edges are
// the 8-connected groups of candidates that hold one above the high
// threshold. On a plate almost no pixel is a candidate, so after one pass
// that computes the magnitudes, the rest of the work is done only at the
// candidates. The tests compare the result with the library's own.
#ifndef DUKON_SEGMENT_EDGE_MAP_H_
#define DUKON_SEGMENT_EDGE_MAP_H_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "segment/mask_ops.h"

namespace dukon {

class EdgeMap {
 public:
  // The vector instructions the gradients are made with: the widest the
  // processor has, or the baseline ones (SSE2) all x86-64 processors have.
  // Both give the same edges.
  enum class Vectors { kWidest, kBaseline };

  // Thresholds on the gradient magnitude, as cv::Canny takes them.
  EdgeMap(double low, double high, Vectors vectors = Vectors::kWidest);

  // The edges of `grey` (8-bit, one channel) into `edges` (resized).
  void detect(const cv::Mat& grey, BitMask& edges);

 private:
  // One row's vertical smoothing `v` and difference `d` (columns -1 ..
  // width, at indices 0 .. width + 1), from which the derivatives of a
  // column follow, and its magnitudes, with a zero at each end (index 0 and
  // width + 1) for the comparisons at the border. `over` lists the columns
  // whose magnitude exceeds the low threshold.
  struct GradientRow {
    std::vector<int16_t> v, d, mag;
    std::vector<int> over;
  };
  void gradientRow(const cv::Mat& grey, int y, GradientRow& out);
  // Candidates of row y into the hysteresis map and the lists.
  void suppressRow(int y, const GradientRow& above, const GradientRow& row,
                   const GradientRow& below);
  void prepareMap(cv::Size size);

  bool wide_ = false;  // AVX2 for the gradients
  int low_;
  int high_;
  int width_ = 0;
  GradientRow rows_[4];  // zero row, and the ring of three
  // Hysteresis map of (width + 2) x (height + 2): 1 no candidate, 0 weak
  // candidate, 2 edge. Kept at 1 between frames (only candidates change).
  std::vector<uint8_t> map_;
  cv::Size mapSize_;
  std::vector<int> candidates_;  // map indices of this frame's candidates
  std::vector<int> stack_;
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_EDGE_MAP_H_
