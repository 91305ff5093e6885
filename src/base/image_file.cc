#include "base/image_file.h"

#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "base/file_util.h"

namespace dukon {

bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err) {
  // The encoder is chosen by the final name's extension; a temporary name
  // ends in ".tmp".
  const std::string shown = publishedPath(path);
  const size_t dot = shown.rfind('.');
  bool saved = false;
  if (!img.empty() && dot != std::string::npos && shown.find('/', dot) == std::string::npos) {
    std::vector<uchar> bytes;
    try {
      saved = cv::imencode(shown.substr(dot), img, bytes) &&
              writeWholeFile(path, bytes.data(), bytes.size());
    } catch (const cv::Exception&) {
      saved = false;  // e.g. no encoder for the extension
    }
  }
  if (!saved) err << "Could'nt save " << shown << "\n";
  return saved;
}

}  // namespace dukon
