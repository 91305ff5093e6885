#include "run/frame_reader.h"

#include "segment/grey_conversion.h"

namespace dukon {

bool FrameReader::open() {
  if (capture_.isOpened()) return true;
  if (failed_) return false;
  failed_ = !capture_.open(path_, cv::CAP_FFMPEG);
  if (!failed_) log_ = std::make_unique<DecoderLog>();
  return !failed_;
}

bool FrameReader::next() {
  const long errorsBefore = log_->errors();
  if (!capture_.read(colour_) || colour_.empty()) {
    position_ = 0;
    return false;
  }
  fit_ = log_->errors() == errorsBefore && (size_.empty() || colour_.size() == size_);
  position_ = static_cast<int>(capture_.get(cv::CAP_PROP_POS_FRAMES));
  return true;
}

bool FrameReader::read(int frame, cv::Mat& grey) {
  if (frame < 1 || !open()) return false;
  if (frame != position_) {
    if (frame < position_ || frame > position_ + kReadAhead || position_ == 0) {
      // The next read delivers the frame numbered one more than the position.
      capture_.set(cv::CAP_PROP_POS_FRAMES, frame - 1);
      if (!next()) return false;
    }
    while (position_ < frame)
      if (!next()) return false;
    if (position_ != frame) return false;  // the decoder skipped it
  }
  if (!fit_) return false;
  rgbToGrey(colour_, grey);
  return true;
}

}  // namespace dukon
