// Saving the run's images (track.bmp, wave.bmp; docs/formats/track.md and wave.md).
#ifndef DUKON_OUTPUT_IMAGE_FILE_H_
#define DUKON_OUTPUT_IMAGE_FILE_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// Saves `img` to `path` in the format its extension names. The image is
// encoded in memory and written with every write checked, so a full disk or
// a file-size limit is a failure, not a short file. On failure (including
// an empty image or an encoder error) writes "Could'nt save <path>" and a
// line end to `err`, the path as it will be published (publishedPath), and
// returns false.
bool saveImage(const std::string& path, const cv::Mat& img, std::ostream& err);

// Encodes an 8-bit image of 1, 3 or 4 channels as an uncompressed BMP, the
// same bytes as the image library's BMP encoder: a 40-byte info header, no
// resolution, a grey palette for one channel, rows bottom-up and padded to
// 4 bytes. Returns false, leaving `bytes` empty, for any other image.
//
// The run's images are BMPs and are written with this, not the library's
// codecs, because the first use of those codecs registers every driver of a
// GIS library they link: about 9 MB of resident memory and 4 ms per run.
bool encodeBmp(const cv::Mat& img, std::vector<uint8_t>* bytes);

}  // namespace dukon

#endif  // DUKON_OUTPUT_IMAGE_FILE_H_
