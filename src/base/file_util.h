// Small file-system queries shared by the readers of the run's input files.
#ifndef DUKON_BASE_FILE_UTIL_H_
#define DUKON_BASE_FILE_UTIL_H_

#include <ostream>
#include <string>

#include <opencv2/core.hpp>

namespace dukon {

// True when `path` names an existing directory. A directory opens as an
// input stream on Linux and then reads nothing, so the readers treat it as a
// file that cannot be opened.
bool isDirectory(const std::string& path);

// Saves `img` to `path` in the format its extension names. On failure
// (including an empty image or an encoder error) writes "Could'nt save
// <path>" and a line end to `err` and returns false.
bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err);

}  // namespace dukon

#endif  // DUKON_BASE_FILE_UTIL_H_
