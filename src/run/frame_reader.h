// FrameReader: the grey frames of a movie by frame number, for the passes
// after the frame loop that look at a few frames again.
//
// Frames are numbered as the frame loop numbers them: the capture's position
// after reading the frame (1 for the first). Reading on from the last frame
// read decodes forward; a frame further away (or behind) is sought first.
// The reader prints nothing: the console belongs to the frame loop, and the
// decoder's own messages are kept from standard error (see DecoderLog).
//
// A frame is refused, as the frame loop refuses it, when the decoder reports
// an error while producing it or when its size is not the movie's: such
// frames were left out of the analysis, and one met again here is not used.
#ifndef DUKON_RUN_FRAME_READER_H_
#define DUKON_RUN_FRAME_READER_H_

#include <memory>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "run/decoder_log.h"

namespace dukon {

class FrameReader {
 public:
  // The movie file at `path`, whose frames are `size` (any size when
  // empty); opened on the first read.
  explicit FrameReader(std::string path, cv::Size size = cv::Size())
      : path_(std::move(path)), size_(size) {}

  // Frame `frame` as 8-bit grey (converted as the frame loop converts it)
  // into `grey`. False when the movie cannot be opened, or the frame cannot
  // be decoded or reached, was reported broken by the decoder or has
  // another size.
  bool read(int frame, cv::Mat& grey);

 private:
  bool open();
  // Reads the next frame; false at the end or on a decoding failure. Notes
  // in fit_ whether the frame is fit for use.
  bool next();

  // Frames ahead of the last one read that are decoded rather than sought.
  static constexpr int kReadAhead = 30;

  std::string path_;
  cv::Size size_;
  cv::VideoCapture capture_;
  // Created once the capture is open (as the movie source does), so that
  // the image library's set-up of the decoder's log cannot replace it.
  std::unique_ptr<DecoderLog> log_;
  bool failed_ = false;
  bool fit_ = false;  // colour_ was decoded without error and has size_
  int position_ = 0;  // number of the frame in colour_, 0 before the first read
  cv::Mat colour_;
};

}  // namespace dukon

#endif  // DUKON_RUN_FRAME_READER_H_
