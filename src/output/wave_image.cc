#include "output/wave_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include <opencv2/imgproc.hpp>

#include "output/image_file.h"

namespace dukon {

namespace {

// Frames between marker columns.
constexpr int kMarkerSpacing = 100;
// Grey level of the marker columns.
constexpr uchar kMarkerGrey = 30;
// Grey level of a straight body, and of a cell no profile reaches.
constexpr uchar kStraightGrey = 127;

}  // namespace

Wave::Wave(int firstFrame, int lastFrame, int maxskellen)
    : width_(lastFrame >= firstFrame ? lastFrame - firstFrame + 1 : 0),
      height_(maxskellen > 0 ? maxskellen : 0),
      firstFrame_(firstFrame) {
  if (width_ == 0 || height_ == 0) return;
  img_.create(height_, width_, CV_8UC1);
  img_.setTo(kStraightGrey);
  for (int x = kMarkerSpacing; x < width_; x += kMarkerSpacing) img_.col(x).setTo(kMarkerGrey);
}

bool Wave::place(int frame, int n, Placement& p) const {
  const long long column = static_cast<long long>(frame) - firstFrame_;
  if (column < 0 || column >= width_) return false;
  p.column = static_cast<int>(column);
  p.rowOffset = 0;
  p.valueOffset = 0;
  p.used = n;
  if (n < height_) {
    p.rowOffset = (height_ - n) / 2;
  } else {
    p.valueOffset = (n - height_) / 2;
    p.used = height_;
  }
  return true;
}

void Wave::noteProfile(int frame, const std::vector<double>& angles, int numAngles) {
  if (drawing_) throw std::logic_error("Wave::noteProfile after the first column was drawn");
  const int n = std::max(0, std::min(numAngles, static_cast<int>(angles.size())));
  Placement p;
  if (!place(frame, n, p)) return;
  for (int k = 0; k < p.used; ++k) {
    const double v = angles[p.valueOffset + k];
    if (!std::isfinite(v)) continue;
    if (v < minimum_) minimum_ = v;
    if (v > maximum_) maximum_ = v;
  }
}

double Wave::scale(std::ostream* out) const {
  double minimum = -minimum_;  // now a magnitude
  double maximum = maximum_;
  if (maximum == 0) {
    if (out) *out << "wave maxVal is zero!!!";
    maximum = 1.0;
  }
  if (minimum == 0) {
    if (out) *out << "wave minVal is zero!!!";
    minimum = 1.0;
  }
  return maximum < minimum ? minimum : maximum;
}

void Wave::addColumn(int frame, const std::vector<double>& angles, int numAngles) {
  const int n = std::max(0, std::min(numAngles, static_cast<int>(angles.size())));
  Placement p;
  if (!place(frame, n, p)) return;
  drawing_ = true;
  const double maximum = scale(nullptr);
  for (int k = 0; k < p.used; ++k) {
    const double v = angles[p.valueOffset + k];
    if (!std::isfinite(v)) continue;
    // Truncation toward zero, as the grey levels have always been computed;
    // the clamp only matters for a value that was never noted.
    const double grey = std::clamp((v / maximum + 1) * 127, 0.0, 254.0);
    img_.at<uchar>(k + p.rowOffset, p.column) = static_cast<uchar>(grey);
  }
}

cv::Mat Wave::render(double frmps, std::ostream& out) const {
  cv::Mat img = img_.clone();
  scale(&out);
  if (img.empty()) return img;
  // A frame rate below one frame per minute gives a step of 0: no labels.
  const double stepFrames = 60 * frmps;
  if (!(stepFrames >= 1)) return img;
  const long long step = stepFrames < width_ ? static_cast<long long>(stepFrames) : width_;
  int minute = 1;
  for (long long x = step; x < width_; x += step) {
    char text[32];
    std::snprintf(text, sizeof text, "%d min.", minute++);
    cv::putText(img, text, cv::Point(static_cast<int>(x) + 3, img.rows - 3), cv::FONT_HERSHEY_PLAIN,
                1.0, cv::Scalar(0), 1, cv::LINE_8);
  }
  return img;
}

bool Wave::makeImage(const std::string& path, double frmps, std::ostream& out,
                     std::ostream& err) const {
  // With no frame in the range there is no column to draw, and an image
  // without columns cannot be stored; that is not a failure of the run.
  if (width_ <= 0) {
    out << "no frames in range: " << path << " not written\n";
    return true;
  }
  return saveImage(path, render(frmps, out), err);
}

}  // namespace dukon
