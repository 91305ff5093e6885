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
  // A damaged header can claim billions of frames; the count sizes the
  // per-frame arrays of the run, so it is held to what the file can hold.
  const long long most = mostFramesIn(p);
  if (length_ > most) {
    err_ << "Movie header claims " << length_ << " frames, more than the file can hold; using "
         << most << "\n";
    length_ = static_cast<int>(most);
  }
  capture_ = std::move(cap);
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

int MovieFrame::number() const {
  return toIntProperty(position);
}

MovieFrame Movie::read(cv::Mat buffer) {
  MovieFrame f;
  f.image = std::move(buffer);
  if (!capture_ || !capture_->read(f.image) || f.image.empty()) {
    f.image.release();
    f.position = capture_ ? capture_->get(cv::CAP_PROP_POS_FRAMES) : 0.0;
    return f;
  }
  f.position = capture_->get(cv::CAP_PROP_POS_FRAMES);
  f.timeMs = capture_->get(cv::CAP_PROP_POS_MSEC);
  return f;
}

void Movie::reportFetch(const MovieFrame& f) {
  if (!f.fetched()) {
    const int pos = f.number();
    if (pos < length_) err_ << "Could not get frame " << pos << "\n";
    return;
  }
  if (verbose_) {
    out_ << "got frame " << f.position << " (ts=" << f.timeMs;
    if (prevTime_ != -1.0) out_ << ", delay=" << f.timeMs - prevTime_;
    out_ << ")\n";
    prevTime_ = f.timeMs;
  } else {
    out_ << "#" << f.position << " ";
  }
}

bool Movie::getFrame(cv::Mat& frame) {
  MovieFrame f = read(std::move(frame));
  reportFetch(f);
  const bool fetched = f.fetched();
  frame = std::move(f.image);
  return fetched;
}

int Movie::position() const {
  return capture_ ? toIntProperty(capture_->get(cv::CAP_PROP_POS_FRAMES)) : 0;
}

float Movie::time() const {
  return capture_ ? static_cast<float>(capture_->get(cv::CAP_PROP_POS_MSEC)) : 0.0f;
}

void Movie::release() {
  capture_.reset();
}

}  // namespace dukon
