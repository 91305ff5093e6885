// Movie: the movie file, read forward frame by frame through OpenCV's file
// capture.
//
// Frame numbers and time stamps are the capture's own: after each fetch the
// position is the fetched frame's number (1 for the first frame with the
// FFmpeg backend) and the time its stamp in milliseconds (0 for the first).
// Gaps in the numbering are frames the movie dropped.
//
// A frame may be fetched and still be unfit for analysis: the decoder
// reported it broken, or it has another size than the movie's (two
// recordings joined). fault() says so after each fetch; the decoder's own
// messages are kept from standard error meanwhile (see DecoderLog).
#ifndef DUKON_RUN_MOVIE_H_
#define DUKON_RUN_MOVIE_H_

#include <memory>
#include <ostream>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include "run/decoder_log.h"

namespace dukon {

// Why a fetched frame is unfit for analysis.
enum class FrameFault {
  kNone,
  kBroken,     // the decoder reported an error while producing it
  kOtherSize,  // its size differs from the movie's frame size
};

class Movie {
 public:
  // The movie file at `path`. With `verbose` every fetch and the movie's
  // properties are reported in full. `out` receives the progress lines,
  // `err` the fetch failures; both must outlive the movie.
  Movie(std::string path, bool verbose, std::ostream& out, std::ostream& err);
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;

  // Opens the file and reads its properties. Throws
  // FatalError "Can't open movie file ..." when that fails. When the header
  // gives no frame count, or one beyond what the file's size can hold (8
  // bytes a frame), the frames are counted by decoding the movie once, with
  // a note on `err`; a movie without a frame to decode is fatal.
  void open();
  // The "Analyzing movie" block, with the properties when verbose.
  void printParams() const;

  int length() const { return length_; }
  int width() const { return width_; }
  int height() const { return height_; }
  double fps() const { return fps_; }

  // Positions the capture so that the next fetch delivers frame `frame`.
  void seek(int frame);
  // Fetches the next frame; false at the end or when decoding fails. The
  // frame (8-bit, 3 channels) stays valid until the next call.
  bool getFrame(cv::Mat& frame);
  // Whether the last fetched frame is fit for analysis, and if not why.
  FrameFault fault() const { return fault_; }
  // The decoder's message about the last fetched frame when it is kBroken.
  const std::string& faultText() const { return faultText_; }
  // The capture's frame position after the last fetch.
  int position() const;
  // The capture's time stamp of the last fetched frame, milliseconds.
  float time() const;
  void release();

 private:
  const std::string path_;
  const bool verbose_;
  // Created once the capture is open, so that the image library's own set-up
  // of the decoder's log cannot replace it; outlives the capture.
  std::unique_ptr<DecoderLog> decoderLog_;
  std::unique_ptr<cv::VideoCapture> capture_;
  FrameFault fault_ = FrameFault::kNone;
  std::string faultText_;
  int length_ = 0;
  int width_ = 0;
  int height_ = 0;
  double fps_ = 0;
  std::ostream& out_;
  std::ostream& err_;
  // Time of the previous frame reported with screenop; -1 before the first.
  double prevTime_ = -1.0;
};

}  // namespace dukon

#endif  // DUKON_RUN_MOVIE_H_
