// The distance map of a worm mask and its thickest point, shared by the
// segmenter (egg and thickness figures) and the skeletoniser (ridge walk).
#ifndef DUKON_SKELETON_DISTANCE_MAP_H_
#define DUKON_SKELETON_DISTANCE_MAP_H_

#include <opencv2/core.hpp>

namespace dukon {

// Euclidean distance transform (5 x 5 mask) of `mask` (8-bit, non-zero on
// the worm) into `dist` (32-bit float, mask size, kept by the caller between
// calls), and the position of its largest value on the mask (first in raster
// order), or (-1, -1) on an empty mask; the value goes to *maxVal.
//
// With `useRoi`, only the mask's bounding box grown by one background pixel
// is transformed: every mask pixel's nearest background lies inside it, and
// everything outside is background, i.e. 0. `roi` says where `dist` may be
// non-zero: on entry from the previous call (cleared here), on return for
// this one.
cv::Point distanceMap(const cv::Mat& mask, bool useRoi, cv::Mat& dist, cv::Rect& roi,
                      double* maxVal);

}  // namespace dukon

#endif  // DUKON_SKELETON_DISTANCE_MAP_H_
