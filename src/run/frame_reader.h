// FrameReader: the grey frames of a movie by frame number, for the passes
// after the frame loop that look at a few frames again.
//
// Frames are numbered as the frame loop numbers them: the capture's position
// after reading the frame (1 for the first). Reading on from the last frame
// read decodes forward; a frame further away (or behind) is sought first.
// The reader prints nothing: the console belongs to the frame loop.
#ifndef DUKON_RUN_FRAME_READER_H_
#define DUKON_RUN_FRAME_READER_H_

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

namespace dukon {

class FrameReader {
 public:
  // The movie file at `path`; opened on the first read.
  explicit FrameReader(std::string path) : path_(std::move(path)) {}

  // Frame `frame` as 8-bit grey (converted as the frame loop converts it)
  // into `grey`. False when the movie cannot be opened or the frame cannot
  // be decoded or reached.
  bool read(int frame, cv::Mat& grey);

 private:
  bool open();
  // Reads the next frame; false at the end or on a decoding failure.
  bool next();

  // Frames ahead of the last one read that are decoded rather than sought.
  static constexpr int kReadAhead = 30;

  std::string path_;
  cv::VideoCapture capture_;
  bool failed_ = false;
  int position_ = 0;  // number of the frame in colour_, 0 before the first read
  cv::Mat colour_;
};

}  // namespace dukon

#endif  // DUKON_RUN_FRAME_READER_H_
