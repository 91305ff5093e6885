#include "run/run_driver.h"

#include <cmath>
#include <fstream>
#include <iostream>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <vector>

#include "run/fatal_error.h"
#include "run/movie.h"
#include "run/output_dir.h"
#include "run/params.h"
#include "skeleton/skel_record.h"

namespace dukon {

namespace {

// Owns every long-lived object of one run, in creation order; members are
// destroyed in the reverse order.
class RunDriver {
 public:
  explicit RunDriver(const std::string& paramFN) : paramFN_(paramFN), prms_(paramFN) {}

  int run() {
    startUp();
    frameLoop();
    passesOverRecords();
    writeSummary();
    postProcess();
    return finish();
  }

 private:
  void startUp();
  void frameLoop();
  // Handles one fetched frame; false when the loop must end.
  bool takeFrame(const cv::Mat& frame);
  void passesOverRecords();
  void writeSummary();
  void writeSummaryTo(std::ostream& os, bool console) const;
  void postProcess();
  int finish();

  const std::string paramFN_;
  Params prms_;
  std::unique_ptr<OutputDir> out_;
  std::ofstream wxo_, wxd_, spd_, dsp_, ang_, wxs_, egs_;
  std::unique_ptr<Movie> movie_;
  std::vector<SkelRecord> records_;
  cv::Mat bw_, bin_, skel_;

  int width_ = 0, height_ = 0, frameCount_ = 0;
  double movieFps_ = 0;
  int firstFrame_ = 0;
  int lastFrame_ = 0;
  int frameNumber_ = 0;
  int frameIndex_ = -1;
  size_t ignoreCursor_ = 0;
  int totalFrames_ = 1;
  int realFrames_ = 0;
  int goodFrames_ = 0;
  int consistentFrames_ = 0;
  int n_ = 0;  // records filled
};

void RunDriver::startUp() {
  prms_.read(std::cerr);
  prms_.printIfVerbose(std::cout);
  out_ = std::make_unique<OutputDir>(prms_);
  out_->openStream(wxo_, "wxo.txt", 2);
  out_->openStream(wxd_, "wxd.txt", 2);
  out_->openStream(spd_, "spd.txt", 3);
  out_->openStream(dsp_, "dsp.txt", 4);
  out_->openStream(ang_, "ang.txt", 4);
  out_->openStream(wxs_, "wxs.txt", 3);
  if (prms_.eggs()) out_->openStream(egs_, "eggs.txt", 4);

  movie_ = std::make_unique<Movie>(&prms_, std::cout, std::cerr);
  movie_->open();
  movie_->printParams();
  width_ = movie_->width();
  height_ = movie_->height();
  frameCount_ = movie_->length();
  movieFps_ = movie_->fps();
  if (!(prms_.frmps() > 0)) {
    if (!(movieFps_ > 0) || !std::isfinite(movieFps_))
      throw FatalError("The movie reports no frame rate: set frmps in the parameters file.\n");
    prms_.setFrmps(movieFps_);
  }
  // The capture numbers frames from 1 (see Movie), so the range starts at
  // frame 1 at the earliest; starting at 0 would count a frame that does not
  // exist as dropped.
  firstFrame_ = prms_.fframe() < 1 ? 1 : prms_.fframe();
  lastFrame_ = prms_.lframe();
  if (lastFrame_ <= 0 || lastFrame_ > frameCount_) lastFrame_ = frameCount_;
  // Positions after a fetch are one-based, so seeking to firstFrame - 1
  // makes the first frame delivered the one numbered firstFrame.
  movie_->seek(firstFrame_ - 1);
  frameNumber_ = firstFrame_;

  // A first frame beyond the end leaves the array empty and the loop idle.
  const long size = static_cast<long>(lastFrame_) - firstFrame_ + 1;
  records_.resize(size > 0 ? static_cast<size_t>(size) : 0);
  bw_ = cv::Mat::zeros(height_, width_, CV_8UC1);
  bin_ = cv::Mat::zeros(height_, width_, CV_8UC1);
  skel_ = cv::Mat::zeros(height_, width_, CV_8UC1);
}

void RunDriver::frameLoop() {
  cv::Mat frame;
  while (frameNumber_ <= lastFrame_) {
    if (!movie_->getFrame(frame)) {
      std::cout << "can't fetch frame, last frame index is " << frameNumber_ << "\n";
      break;
    }
    if (!takeFrame(frame)) break;
  }
}

bool RunDriver::takeFrame(const cv::Mat& frame) {
  const int p = movie_->position();
  if (p < firstFrame_) return true;  // delivered by the seek before the first frame
  if (p > lastFrame_) return false;
  // A movie that repeats positions could fill more records than there are
  // frames in the range; the analysis stops when the array is full.
  if (frameIndex_ + 1 >= static_cast<int>(records_.size())) return false;
  totalFrames_ += p - frameNumber_;
  frameNumber_ = p;
  ++frameIndex_;
  SkelRecord& rec = records_[frameIndex_];
  rec.frame = frameNumber_;
  ++realFrames_;

  if (frameNumber_ == prms_.ignoredFrame(ignoreCursor_)) {
    rec.ignored = true;
    rec.consistent = false;
    rec.located = false;
    rec.numsklpts = 0;
    ++ignoreCursor_;
    return true;
  }
  cv::cvtColor(frame, bw_, cv::COLOR_RGB2GRAY);
  return true;
}

void RunDriver::passesOverRecords() {
  n_ = frameIndex_ + 1;
  const int median = medianLength(records_, n_, prms_.mmpix());
  consistentFrames_ = consistencyPass(records_, n_, median);
  loopSpreading(records_, n_);
}

void RunDriver::writeSummaryTo(std::ostream& os, bool console) const {
  os << "Total frames (key+drop) in movie: " << totalFrames_ << "\n";
  os << "Real frames (key) extracted: " << realFrames_ << "\n";
  if (!console && frameNumber_ != lastFrame_)
    os << "Exited at frame index " << frameNumber_ << "\n";
  // With no frame analysed the shares are written as 0 rather than nan.
  const float g = realFrames_ > 0 ? static_cast<float>(goodFrames_) / realFrames_ * 100 : 0.0f;
  const float c =
      realFrames_ > 0 ? static_cast<float>(consistentFrames_) / realFrames_ * 100 : 0.0f;
  os << "Good frames (with skeleton) analyzed: " << goodFrames_ << " (" << g << "%)\n";
  os << (console ? "Consistent frames (skeleton is good): "
                 : "Consistent frames (skeleton is good and no loop): ")
     << consistentFrames_ << " (" << c << "%)\n";
  if (ignoreCursor_ != 0) os << "Ignored " << ignoreCursor_ << " frames as directed\n";
}

void RunDriver::writeSummary() {
  writeSummaryTo(wxo_, false);
  prms_.setLframe(frameNumber_);
  if (prms_.screenop()) writeSummaryTo(std::cout, true);
}

void RunDriver::postProcess() {
  out_->writeSkeletons(records_, n_);
  std::ofstream po;
  out_->openStream(po, paramFN_, 3);
  prms_.writeHeader(std::string(kVersion) + " with OpenCV", po);
  po.close();
  if (po.fail()) out_->noteFailure(out_->completePath(paramFN_));
}

int RunDriver::finish() {
  bw_.release();
  bin_.release();
  skel_.release();
  movie_->release();
  records_.clear();
  struct Named {
    std::ofstream* os;
    const char* name;
  };
  const Named streams[] = {{&egs_, "eggs.txt"}, {&wxs_, "wxs.txt"}, {&ang_, "ang.txt"},
                           {&dsp_, "dsp.txt"},  {&spd_, "spd.txt"}, {&wxd_, "wxd.txt"},
                           {&wxo_, "wxo.txt"}};
  for (const Named& s : streams) {
    if (!s.os->is_open()) continue;
    s.os->close();
    if (s.os->fail()) out_->noteFailure(out_->completePath(s.name));
  }
  if (out_->failures().empty()) return 0;
  for (const std::string& path : out_->failures())
    std::cerr << "Could not write output file " << path << "\n";
  return 1;
}

}  // namespace

int runDukon(const std::string& paramFN) {
  RunDriver driver(paramFN);
  return driver.run();
}

}  // namespace dukon
