#include "segment/track.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <opencv2/highgui.hpp>
#include <opencv2/imgproc.hpp>

#include "base/fatal_error.h"
#include "base/image_file.h"
#include "base/params.h"
#include "base/window_gate.h"
#include "segment/egg_list.h"
#include "stage/stage_util.h"

namespace dukon {

namespace {

// Stage positions beyond this many pixels are meaningless; clamping keeps
// the int arithmetic of positions and egg locations free of overflow.
constexpr double kMaxPx = 1 << 29;

// Pixel offset added to the canvas wherever a worm was drawn, so that even a
// trace darkened only a little stands out from the white background.
constexpr int kTraceBase = 20;

int floorPx(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::floor(std::clamp(v, -kMaxPx, kMaxPx)));
}

int ceilPx(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::ceil(std::clamp(v, -kMaxPx, kMaxPx)));
}

int clampPx(long long v) {
  return static_cast<int>(std::clamp<long long>(v, -(1LL << 29), 1LL << 29));
}

const cv::Scalar kBlack(0);

}  // namespace

TrackSettings trackSettings(const Params& prms, double rate) {
  TrackSettings s;
  s.rate = rate;
  s.stageskip = prms.stageskip();
  s.mmpixstage = prms.mmpixstage();
  s.mmpix = prms.mmpix();
  s.shade = prms.shade();
  s.star = prms.star();
  s.debugimg = prms.debugimg();
  s.verbose = prms.screenop();
  return s;
}

Track::Track(int width, int height, StageUtil* stage, const TrackSettings& settings,
             std::ostream& con)
    : settings_(settings), width_(width), height_(height), stage_(stage) {
  if (width < 1 || height < 1) {
    std::ostringstream msg;
    msg << "Frame size " << width << "x" << height << " cannot hold a track image\n";
    throw FatalError(msg.str());
  }
  canvas_ = cv::Mat::zeros(height, width, CV_32SC1);
  const double k = settings_.mmpixstage;
  const cv::Point2d range = stage->rangeOfMovement();
  // World extent the canvas must hold, mm: one frame plus the stage travel.
  const double xMm = (width + 1.0) / k + range.x;
  const double yMm = (height + 1.0) / k + range.y;
  const double px = std::min(std::ceil(width / xMm), std::ceil(height / yMm));
  // With a non-negative range the value lies in [1, k] already; the clamp
  // only guards against a range made negative by odd logs.
  canvasPxPerMm_ = std::isnan(px) ? 1.0 : std::clamp(px, 1.0, k);
  scale_ = (k + 1.0) / canvasPxPerMm_;
  // The shrunk frame can come out one pixel larger than the canvas when
  // mmpixstage exceeds the frame size; it must stay inside it.
  smallW_ = std::min(ceilPx(width / scale_) + 1, width);
  smallH_ = std::min(ceilPx(height / scale_) + 1, height);
  smallMask_.create(smallH_, smallW_, CV_8UC1);
  smallGrey_.create(smallH_, smallW_, CV_8UC1);

  stage->rewind();
  const cv::Point2d start = stage->firstOffset();
  xLocPx_ = floorPx(k * start.x);
  yLocPx_ = floorPx(k * start.y);
  display_ = cv::Mat(height, width, CV_8UC1, cv::Scalar(255));
  if (settings_.verbose) con << "track scale set to " << scale_ << "\n";
}

StagePosition Track::position(double timeMs) const {
  const double skipMs = settings_.stageskip * 1000.0 / settings_.rate;
  return StagePosition{cv::Point(xLocPx_, yLocPx_),
                       skipMs < std::fabs(timeMs - stage_->next().time)};
}

StagePosition Track::addStagePosition(double timeMs) {
  while (stage_->next().time < timeMs && stage_->canAdvance()) stage_->advance(true);
  const double k = settings_.mmpixstage;
  const cv::Point2d mm = stage_->currentOffset();
  xLocPx_ = floorPx(k * mm.x);
  yLocPx_ = floorPx(k * mm.y);
  return position(timeMs);
}

StagePosition Track::addImageMotion(cv::Point shift, double timeMs) {
  xLocPx_ = clampPx(static_cast<long long>(xLocPx_) - shift.x);
  yLocPx_ = clampPx(static_cast<long long>(yLocPx_) - shift.y);
  return position(timeMs);
}

void Track::update(const cv::Mat& bin, const cv::Mat& bw, int frameNumber, cv::Point mid) {
  const cv::Size frame(width_, height_);
  if (bin.type() != CV_8UC1 || bin.size() != frame || bw.type() != CV_8UC1 || bw.size() != frame)
    return;
  // Canvas origin of this frame, kept inside the canvas: a position far
  // outside the stage range is drawn at the canvas edge.
  int ox = std::max(floorPx(xLocPx_ / scale_), 0);
  int oy = std::max(floorPx(yLocPx_ / scale_), 0);
  if (ox + smallW_ > width_) ox = width_ - smallW_;
  if (oy + smallH_ > height_) oy = height_ - smallH_;
  const int midX = ceilPx(mid.x / scale_) + ox;
  const int midY = ceilPx(mid.y / scale_) + oy;
  if (startX_ == -1) {
    startX_ = midX;
    startY_ = midY;
  }
  lastX_ = midX;
  lastY_ = midY;

  const cv::Rect roi(ox, oy, smallW_, smallH_);
  cv::resize(bin, smallMask_, smallMask_.size(), 0, 0, cv::INTER_LINEAR);
  // The 8-bit mask is widened to the canvas's 32-bit counts as it is added.
  cv::Mat region = canvas_(roi);
  cv::add(region, smallMask_, region, cv::noArray(), CV_32S);

  // The live view is built only when a window can show it.
  if (settings_.debugimg != 0.0 && windows_.available()) {
    cv::resize(bw, smallGrey_, smallGrey_.size(), 0, 0, cv::INTER_LINEAR);
    display_.setTo(255);
    smallGrey_.copyTo(display_(roi));
    char text[16];
    std::snprintf(text, sizeof text, "%3d", frameNumber);
    cv::putText(display_, text, cv::Point(10, height_ - 10), cv::FONT_HERSHEY_PLAIN, 1.0, kBlack, 1,
                cv::LINE_8);
    try {
      cv::namedWindow("out", cv::WINDOW_AUTOSIZE);
      cv::imshow("out", display_);
      cv::waitKey(1);
    } catch (const cv::Exception&) {
      windows_.turnOff();  // a build without window support: the view is optional
    }
  }
}

double Track::shadeFactor(int frameSpan) const {
  // Over a short movie every frame leaves a darker trace. A single analysed
  // frame (a span of 0) counts as a span of one.
  double factor = settings_.shade;
  const double least = 200.0 / (frameSpan == 0 ? 1 : frameSpan);
  if (least > factor) factor = least;
  return factor;
}

bool Track::finish(const EggList* eggs, int frameSpan, const std::string& path, std::ostream& con,
                   std::ostream& err) {
  canvas_.convertTo(canvas_, CV_32SC1, shadeFactor(frameSpan));
  cv::Mat covered;
  canvas_.convertTo(covered, CV_8UC1);  // saturating: nonzero where count >= 1
  cv::add(canvas_, cv::Scalar(kTraceBase), canvas_, covered);
  canvas_.convertTo(trackImg_, CV_8UC1);
  cv::subtract(cv::Scalar(255), trackImg_, trackImg_);
  drawMarks(eggs, con);
  if (settings_.debugimg != 0.0) showAndWait();

  return saveImage(path, trackImg_, err);
}

void Track::drawMarks(const EggList* eggs, std::ostream& con) {
  const int y = height_ - 20;
  const int x1 = 20;
  const int x2 = static_cast<int>(std::min(settings_.mmpix / scale_, kMaxPx)) + 20;
  cv::line(trackImg_, cv::Point(x1, y), cv::Point(x2, y), kBlack, 2, cv::LINE_8);
  const auto mark = [this](const char* text, int x, int y) {
    cv::putText(trackImg_, text, cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, 1.0, kBlack, 2,
                cv::LINE_8);
  };
  mark("1mm", x2 + 20, y);
  // Without any usable frame there is no start or end to mark.
  if (settings_.star && startX_ != -1) {
    mark("*", startX_, startY_);
    mark("x", lastX_, lastY_);
  }
  if (eggs == nullptr) return;
  bool header = false;
  for (int i = 0; i < eggs->count(); ++i) {
    const Egg& e = eggs->egg(i);
    if (!e.isVerified()) continue;
    mark("o", ceilPx(e.xpos() / scale_) + floorPx(e.xLoc() / scale_),
         ceilPx(e.ypos() / scale_) + floorPx(e.yLoc() / scale_));
    if (!header) con << "Eggs clusters found:\n";
    header = true;
    con << "At frame:" << e.frame() << " size:" << e.size()
        << " at(Loc+Pos):" << (static_cast<long long>(e.xLoc()) + e.xpos()) << ","
        << (static_cast<long long>(e.yLoc()) + e.ypos()) << " verified at frame:" << e.verified()
        << "\n";
  }
}

void Track::showAndWait() {
  if (!windows_.available()) return;
  try {
    cv::namedWindow("Track", cv::WINDOW_NORMAL);
    cv::imshow("Track", trackImg_);
    // Only a person at a terminal can answer the wait; otherwise the window
    // is painted and the run goes on.
    cv::waitKey(canWaitForKey() ? 0 : 1);
  } catch (const cv::Exception&) {
    windows_.turnOff();
  }
}

bool Track::displayAvailable() {
  return environmentDisplayReachable();
}

bool Track::canWaitForKey() {
  return displayAvailable() && isatty(STDIN_FILENO) == 1;
}

}  // namespace dukon
