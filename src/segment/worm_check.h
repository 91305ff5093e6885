// Worm check: whether a frame's mask can be a worm at all.
//
// A worm lies inside the frame and covers a small part of it. A mask that
// touches three or more of the frame's borders, or covers more than half of
// the frame, is the plate (or most of it): the threshold took the wrong side,
// as with a bright worm on a dark plate, or the frame holds no worm. Such a
// frame is given no chain at all rather than a confident wrong one.
#ifndef DUKON_SEGMENT_WORM_CHECK_H_
#define DUKON_SEGMENT_WORM_CHECK_H_

#include <string>

#include <opencv2/core.hpp>

namespace dukon {

// Empty when the mask `bin` (8-bit, nonzero on the worm) can be a worm;
// otherwise why not, as a phrase: "the mask touches 4 frame borders" or "the
// mask covers 63% of the frame". `box` must hold every nonzero pixel of
// `bin` (a bounding box, or more); an empty mask is left to the skeleton.
std::string notAWormReason(const cv::Mat& bin, const cv::Rect& box);

// Whether the grey frame `bw` (8-bit) looks like a bright object on a darker
// plate: the plate is the frame's median grey level, and the object the
// minority that pulls the mean away from it, here upwards.
bool plateDarkerThanObject(const cv::Mat& bw);

}  // namespace dukon

#endif  // DUKON_SEGMENT_WORM_CHECK_H_
