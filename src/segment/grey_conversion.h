// Grey frames from the capture's colour frames, as the analysis takes them.
#ifndef DUKON_SEGMENT_GREY_CONVERSION_H_
#define DUKON_SEGMENT_GREY_CONVERSION_H_

#include <opencv2/core.hpp>

namespace dukon {

// `colour` in grey, into `grey` (reallocated when its size or type differ;
// it must not be `colour` itself),
// bit for bit as cv::cvtColor(colour, grey, cv::COLOR_RGB2GRAY) makes it:
// grey = (9798 c0 + 19235 c1 + 3735 c2 + 16384) >> 15 for the channels
// c0, c1, c2 of each pixel. The frame loop and the passes that read frames
// again both convert with this, so their grey frames agree.
//
// Where the processor has AVX2, 8-bit three-channel images are converted
// here in about half the library's time (the conversion of every decoded
// frame was about 5 % of a run's processor time); anything else is left to
// the library.
void rgbToGrey(const cv::Mat& colour, cv::Mat& grey);

}  // namespace dukon

#endif  // DUKON_SEGMENT_GREY_CONVERSION_H_
