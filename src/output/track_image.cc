#include "output/track_image.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include <opencv2/imgproc.hpp>

#include "base/fatal_error.h"
#include "base/params.h"
#include "output/image_file.h"
#include "segment/egg_list.h"

namespace dukon {

namespace {

// Positions beyond this many pixels are meaningless; clamping keeps the int
// arithmetic of canvas positions free of overflow.
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

const cv::Scalar kBlack(0);

}  // namespace

TrackImageSettings trackImageSettings(const Params& prms) {
  TrackImageSettings s;
  s.mmpixstage = prms.mmpixstage();
  s.mmpix = prms.mmpix();
  s.shade = prms.shade();
  s.star = prms.star();
  s.verbose = prms.screenop();
  return s;
}

TrackImage::TrackImage(int width, int height, cv::Point2d rangeMm,
                       const TrackImageSettings& settings, std::ostream& con)
    : settings_(settings), width_(width), height_(height) {
  if (width < 1 || height < 1) {
    std::ostringstream msg;
    msg << "Frame size " << width << "x" << height << " cannot hold a track image\n";
    throw FatalError(msg.str());
  }
  canvas_ = cv::Mat::zeros(height, width, CV_32SC1);
  const double k = settings_.mmpixstage;
  // World extent the canvas must hold, mm: one frame plus the stage travel.
  const double xMm = (width + 1.0) / k + rangeMm.x;
  const double yMm = (height + 1.0) / k + rangeMm.y;
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
  if (settings_.verbose) con << "track scale set to " << scale_ << "\n";
}

cv::Rect TrackImage::frameRegion(cv::Point stagePx) const {
  int ox = std::max(floorPx(stagePx.x / scale_), 0);
  int oy = std::max(floorPx(stagePx.y / scale_), 0);
  if (ox + smallW_ > width_) ox = width_ - smallW_;
  if (oy + smallH_ > height_) oy = height_ - smallH_;
  return cv::Rect(ox, oy, smallW_, smallH_);
}

void TrackImage::addFrame(const cv::Mat& bin, cv::Point stagePx, cv::Point mid) {
  if (bin.type() != CV_8UC1 || bin.size() != cv::Size(width_, height_)) return;
  const cv::Rect roi = frameRegion(stagePx);
  const int midX = ceilPx(mid.x / scale_) + roi.x;
  const int midY = ceilPx(mid.y / scale_) + roi.y;
  if (startX_ == -1) {
    startX_ = midX;
    startY_ = midY;
  }
  lastX_ = midX;
  lastY_ = midY;
  cv::resize(bin, smallMask_, smallMask_.size(), 0, 0, cv::INTER_LINEAR);
  // The 8-bit mask is widened to the canvas's 32-bit counts as it is added.
  cv::Mat region = canvas_(roi);
  cv::add(region, smallMask_, region, cv::noArray(), CV_32S);
}

double TrackImage::shadeFactor(int frameSpan) const {
  // Over a short movie every frame leaves a darker trace. A single analysed
  // frame (a span of 0) counts as a span of one.
  double factor = settings_.shade;
  const double least = 200.0 / (frameSpan == 0 ? 1 : frameSpan);
  if (least > factor) factor = least;
  return factor;
}

const cv::Mat& TrackImage::render(const EggList* eggs, int frameSpan) {
  canvas_.convertTo(canvas_, CV_32SC1, shadeFactor(frameSpan));
  cv::Mat covered;
  canvas_.convertTo(covered, CV_8UC1);  // saturating: nonzero where count >= 1
  cv::add(canvas_, cv::Scalar(kTraceBase), canvas_, covered);
  canvas_.convertTo(trackImg_, CV_8UC1);
  cv::subtract(cv::Scalar(255), trackImg_, trackImg_);
  drawMarks(eggs);
  return trackImg_;
}

bool TrackImage::save(const std::string& path, std::ostream& err) const {
  return saveImage(path, trackImg_, err);
}

void TrackImage::drawMarks(const EggList* eggs) {
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
  for (int i = 0; i < eggs->count(); ++i) {
    const Egg& e = eggs->egg(i);
    if (!e.isVerified()) continue;
    mark("o", ceilPx(e.xpos() / scale_) + floorPx(e.xLoc() / scale_),
         ceilPx(e.ypos() / scale_) + floorPx(e.yLoc() / scale_));
  }
}

}  // namespace dukon
