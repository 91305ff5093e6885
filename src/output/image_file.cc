#include "output/image_file.h"

#include <opencv2/imgcodecs.hpp>

namespace dukon {

bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err) {
  bool saved = false;
  try {
    saved = !img.empty() && cv::imwrite(path, img);
  } catch (const cv::Exception&) {
    saved = false;  // e.g. no encoder for the extension
  }
  if (!saved) err << "Could'nt save " << path << "\n";
  return saved;
}

}  // namespace dukon
