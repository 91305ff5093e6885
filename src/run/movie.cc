#include "run/movie.h"

#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <utility>

#include "base/fatal_error.h"

namespace dukon {

namespace {

// Truncates a capture property to int; NaN and out-of-range values give 0
// rather than undefined behaviour.
int toIntProperty(double v) {
  if (!(v > std::numeric_limits<int>::min() && v < std::numeric_limits<int>::max())) return 0;
  return static_cast<int>(v);
}

bool isRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Every frame takes at least this many bytes of the file (an AVI chunk
// header alone is 8 bytes, even for a dropped frame).
constexpr long long kMinFrameBytes = 8;

// Most frames a file of this size can hold.
long long mostFramesIn(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<long long>(st.st_size) / kMinFrameBytes;
}

// Frames of the movie at `path`, counted by decoding it once: the number of
// the last frame the decoder delivers.
int countFrames(const std::string& path) {
  cv::VideoCapture cap(path, cv::CAP_FFMPEG);
  int last = 0;
  while (cap.isOpened() && cap.grab()) last = toIntProperty(cap.get(cv::CAP_PROP_POS_FRAMES));
  return last;
}

}  // namespace

Movie::Movie(std::string path, bool verbose, std::ostream& out, std::ostream& err)
    : path_(std::move(path)), verbose_(verbose), out_(out), err_(err) {}

void Movie::open() {
  const std::string& p = path_;
  auto cap = std::make_unique<cv::VideoCapture>();
  // A directory or missing file is refused before the decoder sees it.
  if (isRegularFile(p)) cap->open(p, cv::CAP_FFMPEG);
  if (!cap->isOpened()) {
    throw FatalError("Can't open movie file " + p + "\n" +
                     "(perhaps need to check that codec is supported)\n");
  }
  height_ = toIntProperty(cap->get(cv::CAP_PROP_FRAME_HEIGHT));
  width_ = toIntProperty(cap->get(cv::CAP_PROP_FRAME_WIDTH));
  fps_ = cap->get(cv::CAP_PROP_FPS);
  length_ = toIntProperty(cap->get(cv::CAP_PROP_FRAME_COUNT));
  capture_ = std::move(cap);
  decoderLog_ = std::make_unique<DecoderLog>();
  // The count sizes the run's range and per-frame arrays. An unfinished
  // recording has none, a damaged header can claim billions: then the
  // decoder says how many frames there are.
  const long long most = mostFramesIn(p);
  if (length_ <= 0 || length_ > most) {
    const int header = length_;
    length_ = countFrames(p);
    if (header <= 0)
      err_ << "Movie header gives no frame count; counted " << length_ << " frames\n";
    else
      err_ << "Movie header claims " << header << " frames, more than the file can hold; counted "
           << length_ << "\n";
    if (length_ <= 0) throw FatalError("Movie file " + p + " holds no frame that can be decoded\n");
  }
}

void Movie::printParams() const {
  out_ << "\nAnalyzing movie " << path_ << "\n";
  if (!verbose_) return;
  out_ << "movie parameters are as follows:\n";
  out_ << "  height = " << height_ << " pixels\n";
  out_ << "  width  = " << width_ << " pixels\n";
  out_ << "  rate   = " << fps_ << " fps\n";
  out_ << "  length = " << length_ << " frames\n";
  // The codec's code is not taken from the capture; the line keeps its place.
  out_ << "  fourCC = ????\n";
}

void Movie::seek(int frame) {
  if (capture_ && frame > 0) capture_->set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(frame));
}

bool Movie::getFrame(cv::Mat& frame) {
  fault_ = FrameFault::kNone;
  faultText_.clear();
  const long errorsBefore = decoderLog_ ? decoderLog_->errors() : 0;
  if (!capture_ || !capture_->read(frame) || frame.empty()) {
    int pos = position();
    if (pos < length_) err_ << "Could not get frame " << pos << "\n";
    return false;
  }
  if (decoderLog_->errors() != errorsBefore) {
    fault_ = FrameFault::kBroken;
    faultText_ = decoderLog_->latest();
  } else if (frame.cols != width_ || frame.rows != height_) {
    fault_ = FrameFault::kOtherSize;
  }
  double pos = capture_->get(cv::CAP_PROP_POS_FRAMES);
  if (verbose_) {
    double t = capture_->get(cv::CAP_PROP_POS_MSEC);
    out_ << "got frame " << pos << " (ts=" << t;
    if (prevTime_ != -1.0) out_ << ", delay=" << t - prevTime_;
    out_ << ")\n";
    prevTime_ = t;
  } else {
    out_ << "#" << pos << " ";
  }
  return true;
}

int Movie::position() const {
  return capture_ ? toIntProperty(capture_->get(cv::CAP_PROP_POS_FRAMES)) : 0;
}

float Movie::time() const {
  return capture_ ? static_cast<float>(capture_->get(cv::CAP_PROP_POS_MSEC)) : 0.0f;
}

void Movie::release() {
  capture_.reset();
  decoderLog_.reset();
}

}  // namespace dukon
