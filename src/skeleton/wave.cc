#include "skeleton/wave.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "run/output_dir.h"

namespace dukon {

namespace {

// Frames between marker columns.
constexpr int kMarkerSpacing = 100;
// Grey level of the marker columns.
constexpr uchar kMarkerGrey = 30;

}  // namespace

Wave::Wave(int firstFrame, int lastFrame, int maxskellen, const OutputDir& out)
    : width_(lastFrame >= firstFrame ? lastFrame - firstFrame + 1 : 0),
      height_(maxskellen > 0 ? maxskellen : 0),
      firstFrame_(firstFrame),
      data_(static_cast<size_t>(width_) * height_, 0.0),
      out_(&out) {
  for (int x = kMarkerSpacing; x < width_; x += kMarkerSpacing) {
    for (int y = 0; y < height_; ++y) data_[static_cast<size_t>(y) * width_ + x] = kMarker;
  }
}

void Wave::addColumn(int frame, const std::vector<double>& angles, int numAngles) {
  const long long column = static_cast<long long>(frame) - firstFrame_;
  if (column < 0 || column >= width_) return;
  const int n = std::max(0, std::min(numAngles, static_cast<int>(angles.size())));
  int rowOffset = 0, valueOffset = 0, used = n;
  if (n < height_) {
    rowOffset = (height_ - n) / 2;
  } else {
    valueOffset = (n - height_) / 2;
    used = height_;
  }
  for (int k = 0; k < used; ++k) {
    const double v = angles[valueOffset + k];
    if (!std::isfinite(v)) continue;
    data_[static_cast<size_t>(k + rowOffset) * width_ + column] = v;
    if (v < minimum_) minimum_ = v;
    if (v > maximum_) maximum_ = v;
  }
}

cv::Mat Wave::render(double frmps, std::ostream& out) const {
  cv::Mat img(height_, width_, CV_8UC1, cv::Scalar(0));
  double minimum = -minimum_;  // now a magnitude
  double maximum = maximum_;
  if (maximum == 0) {
    out << "wave maxVal is zero!!!";
    maximum = 1.0;
  }
  if (minimum == 0) {
    out << "wave minVal is zero!!!";
    minimum = 1.0;
  }
  if (maximum < minimum) maximum = minimum;
  for (int y = 0; y < height_; ++y) {
    uchar* row = img.ptr<uchar>(y);
    for (int x = 0; x < width_; ++x) {
      const double v = data_[static_cast<size_t>(y) * width_ + x];
      row[x] = v == kMarker ? kMarkerGrey : static_cast<uchar>((v / maximum + 1) * 127);
    }
  }
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

bool Wave::makeImage(double frmps, std::ostream& out, std::ostream& err) const {
  const std::string path = out_->completePath("wave.bmp");
  // With no frame in the range there is no column to draw, and an image
  // without columns cannot be stored; that is not a failure of the run.
  if (width_ <= 0) {
    out << "no frames in range: " << path << " not written\n";
    return true;
  }
  const cv::Mat img = render(frmps, out);
  bool saved = false;
  try {
    saved = !img.empty() && cv::imwrite(path, img);
  } catch (const cv::Exception&) {
    saved = false;
  }
  if (!saved) err << "Could'nt save " << path << "\n";
  return saved;
}

}  // namespace dukon
