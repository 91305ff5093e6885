// Saving the run's images (track.bmp, wave.bmp).
#ifndef DUKON_BASE_IMAGE_FILE_H_
#define DUKON_BASE_IMAGE_FILE_H_

#include <ostream>
#include <string>

#include <opencv2/core.hpp>

namespace dukon {

// Saves `img` to `path` in the format its extension names. The image is
// encoded in memory and written with every write checked, so a full disk or
// a file-size limit is a failure, not a short file. On failure (including
// an empty image or an encoder error) writes "Could'nt save <path>" and a
// line end to `err`, the path as it will be published (publishedPath), and
// returns false.
bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err);

}  // namespace dukon

#endif  // DUKON_BASE_IMAGE_FILE_H_
