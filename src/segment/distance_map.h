// The distance map of a worm mask and its thickest point, shared by the
// segmenter (egg and thickness figures) and the skeletoniser (ridge walk).
#ifndef DUKON_SEGMENT_DISTANCE_MAP_H_
#define DUKON_SEGMENT_DISTANCE_MAP_H_

#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// The image library's Euclidean distance transform with the 5 x 5 mask
// (cv::distanceTransform, DIST_L2, DIST_MASK_5) of `mask` (8-bit, non-zero
// on the worm) into `dist` (32-bit float, created at the mask's size), the
// same values to the last bit: the two-pass chamfer in 16-bit fixed point,
// outside the image counting as far away. Gives the first position in
// raster order of the largest distance on the mask ((-1, -1) when the mask
// is empty) and its value in *maxVal. `work` is scratch space.
cv::Point chamferDistance(const cv::Mat& mask, cv::Mat& dist, std::vector<unsigned>& work,
                          double* maxVal);

// Euclidean distance transform (5 x 5 mask) of `mask` (8-bit, non-zero on
// the worm) into `dist` (32-bit float, mask size, kept by the caller between
// calls), and the position of its largest value on the mask (first in raster
// order), or (-1, -1) on an empty mask; the value goes to *maxVal.
//
// With `useRoi`, only the mask's bounding box grown by one background pixel
// is transformed: every mask pixel's nearest background lies inside it, and
// everything outside is background, i.e. 0. The box is `box` when the caller
// knows it, else measured. `roi` says where `dist` may be non-zero: on entry
// from the previous call (cleared here), on return for this one.
//
// Without `useRoi` the image library transforms the whole mask: the
// reference the faster path is checked against.
cv::Point distanceMap(const cv::Mat& mask, bool useRoi, cv::Mat& dist, cv::Rect& roi,
                      double* maxVal, const cv::Rect* box = nullptr,
                      std::vector<unsigned>* work = nullptr);

// A distance map kept between frames, with the thickest point of the mask it
// was made from. The segmenter makes one of its final mask; the skeletoniser
// takes it over (swapping buffers) while `current` says the mask is
// unchanged since, instead of transforming the same mask again.
struct DistanceMap {
  cv::Mat dist;                // 32-bit float, mask size
  cv::Rect roi;                // where `dist` may be non-zero (see distanceMap)
  cv::Point maxLoc{-1, -1};    // thickest point, (-1, -1) on an empty mask
  double maxVal = 0.0;         // distance at maxLoc, pixels
  bool current = false;        // `dist` is the map of the mask as it is now
  std::vector<unsigned> work;  // scratch of the transform

  // Transforms `mask` into this map and marks it current; `box`, when
  // given, is the mask's bounding box.
  void make(const cv::Mat& mask, bool useRoi, const cv::Rect* box = nullptr) {
    maxLoc = distanceMap(mask, useRoi, dist, roi, &maxVal, box, &work);
    current = true;
  }
  // An all-zero map of `size`, not current.
  void reset(cv::Size size) {
    dist = cv::Mat::zeros(size, CV_32FC1);
    roi = cv::Rect();
    current = false;
  }
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_DISTANCE_MAP_H_
