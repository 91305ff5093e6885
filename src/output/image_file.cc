#include "output/image_file.h"

#include <strings.h>

#include <opencv2/imgcodecs.hpp>

#include "base/file_util.h"

namespace dukon {

namespace {

void putWord(std::vector<uint8_t>* b, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    b->push_back(static_cast<uint8_t>(v >> (8 * i)));  // little-endian
}

}  // namespace

bool encodeBmp(const cv::Mat& img, std::vector<uint8_t>* bytes) {
  bytes->clear();
  const int channels = img.channels();
  if (img.empty() || img.dims != 2 || img.depth() != CV_8U ||
      (channels != 1 && channels != 3 && channels != 4))
    return false;
  const size_t rowBytes = static_cast<size_t>(img.cols) * channels;
  const size_t fileStep = (rowBytes + 3) & ~size_t{3};
  const uint32_t paletteSize = channels == 1 ? 1024 : 0;
  const uint32_t headerSize = 14 + 40 + paletteSize;
  const size_t fileSize = fileStep * img.rows + headerSize;
  if (fileSize > 0x7fffffff) return false;  // the size field is a signed 32-bit count
  bytes->reserve(fileSize);
  bytes->push_back('B');
  bytes->push_back('M');
  putWord(bytes, static_cast<uint32_t>(fileSize), 4);
  putWord(bytes, 0, 4);  // reserved
  putWord(bytes, headerSize, 4);
  putWord(bytes, 40, 4);  // info header size
  putWord(bytes, img.cols, 4);
  putWord(bytes, img.rows, 4);  // positive: rows bottom-up
  putWord(bytes, 1, 2);         // planes
  putWord(bytes, channels * 8, 2);
  for (int i = 0; i < 6; ++i) putWord(bytes, 0, 4);  // uncompressed, sizes, resolution, colours
  for (uint32_t i = 0; i < paletteSize / 4; ++i) {
    const uint8_t grey = static_cast<uint8_t>(i);
    bytes->insert(bytes->end(), {grey, grey, grey, 0});  // blue, green, red, unused
  }
  for (int y = img.rows - 1; y >= 0; --y) {
    const uint8_t* row = img.ptr<uint8_t>(y);
    bytes->insert(bytes->end(), row, row + rowBytes);
    bytes->insert(bytes->end(), fileStep - rowBytes, 0);
  }
  return true;
}

bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err) {
  // The encoder is chosen by the final name's extension; a temporary name
  // ends in ".tmp".
  const std::string shown = publishedPath(path);
  const size_t dot = shown.rfind('.');
  bool saved = false;
  if (!img.empty() && dot != std::string::npos && shown.find('/', dot) == std::string::npos) {
    const std::string ext = shown.substr(dot);
    std::vector<uint8_t> bytes;
    try {
      saved = (::strcasecmp(ext.c_str(), ".bmp") == 0 && encodeBmp(img, &bytes)) ||
              cv::imencode(ext, img, bytes);
      saved = saved && writeWholeFile(path, bytes.data(), bytes.size());
    } catch (const cv::Exception&) {
      saved = false;  // e.g. no encoder for the extension
    }
  }
  if (!saved) err << "Could'nt save " << shown << "\n";
  return saved;
}

}  // namespace dukon
