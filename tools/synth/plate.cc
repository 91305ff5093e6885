#include "synth/plate.h"

#include <algorithm>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace synth {
namespace {

constexpr int kCoarse = 32;      // scale of the shading field
constexpr double kLumpSd = 5.0;  // grey levels

int roundUp(int v, int m) {
  return (v + m - 1) / m * m;
}

// Gaussian blur of a field that wraps at its edges.
void blurWrapped(cv::Mat* field, double sigma) {
  int pad = static_cast<int>(3 * sigma) + 2;
  cv::Mat padded;
  cv::copyMakeBorder(*field, padded, pad, pad, pad, pad, cv::BORDER_WRAP);
  cv::GaussianBlur(padded, padded, cv::Size(0, 0), sigma);
  padded(cv::Rect(pad, pad, field->cols, field->rows)).copyTo(*field);
}

// Smooth shading of about +-amplitude grey levels with features a few
// hundred pixels across, seamless across the wrap.
cv::Mat shading(cv::Size size, double amplitude, cv::RNG& rng) {
  cv::Mat small(size.height / kCoarse, size.width / kCoarse, CV_32F);
  rng.fill(small, cv::RNG::NORMAL, 0.0, 1.0);
  blurWrapped(&small, 2.0);
  double lo, hi;
  cv::minMaxLoc(small, &lo, &hi);
  double scale = hi > lo ? 2.0 * amplitude / (hi - lo) : 0.0;
  small = (small - 0.5 * (lo + hi)) * scale;
  const int pad = 2;
  cv::Mat padded, big;
  cv::copyMakeBorder(small, padded, pad, pad, pad, pad, cv::BORDER_WRAP);
  cv::resize(padded, big, cv::Size(padded.cols * kCoarse, padded.rows * kCoarse), 0, 0,
             cv::INTER_CUBIC);
  return big(cv::Rect(pad * kCoarse, pad * kCoarse, size.width, size.height)).clone();
}

// Specks: particles in the agar, 1 to 3 pixels across, 10 to 40 grey levels
// darker; faint smudges and scratches.
void debris(cv::Mat* dark, cv::RNG& rng) {
  const int shift = 4;  // sub-pixel bits for the drawing calls
  const double one = 1 << shift;
  double area = static_cast<double>(dark->rows) * dark->cols;
  auto pos = [&] {
    return cv::Point(static_cast<int>(rng.uniform(0.0, static_cast<double>(dark->cols)) * one),
                     static_cast<int>(rng.uniform(0.0, static_cast<double>(dark->rows)) * one));
  };
  int specks = static_cast<int>(area / 2500);
  for (int k = 0; k < specks; ++k) {
    int radius = static_cast<int>(rng.uniform(0.6, 1.6) * one);
    cv::circle(*dark, pos(), radius, cv::Scalar(rng.uniform(10.0, 40.0)), cv::FILLED, cv::LINE_AA,
               shift);
  }
  int smudges = static_cast<int>(area / 150000) + 1;
  for (int k = 0; k < smudges; ++k) {
    int radius = static_cast<int>(rng.uniform(3.0, 9.0) * one);
    cv::circle(*dark, pos(), radius, cv::Scalar(rng.uniform(4.0, 9.0)), cv::FILLED, cv::LINE_AA,
               shift);
  }
  int scratches = static_cast<int>(area / 400000) + 1;
  for (int k = 0; k < scratches; ++k) {
    cv::Point a = pos();
    cv::Point b = a + cv::Point(static_cast<int>(rng.uniform(-300.0, 300.0) * one),
                                static_cast<int>(rng.uniform(-300.0, 300.0) * one));
    cv::line(*dark, a, b, cv::Scalar(rng.uniform(4.0, 8.0)), 1, cv::LINE_AA, shift);
  }
}

}  // namespace

Plate::Plate(cv::Size extent, uint64_t seed) {
  cv::Size size(std::clamp(roundUp(extent.width, kCoarse), 2 * kCoarse, kMaxSide),
                std::clamp(roundUp(extent.height, kCoarse), 2 * kCoarse, kMaxSide));
  cv::RNG rng(seed * 6364136223846793005ULL + 1442695040888963407ULL);
  cv::Mat field = shading(size, 6.0, rng);
  cv::Mat grain(size, CV_32F);
  rng.fill(grain, cv::RNG::NORMAL, 0.0, 4.0);
  blurWrapped(&grain, 0.9);
  cv::Mat dark = cv::Mat::zeros(size, CV_32F);
  debris(&dark, rng);
  blurWrapped(&dark, 0.5);
  // Agar structure a few pixels across (std about 5 grey levels): what lets
  // the shift of the background between frames be measured on a coarse grid.
  cv::Mat lumps(size, CV_32F);
  rng.fill(lumps, cv::RNG::NORMAL, 0.0, 1.0);
  blurWrapped(&lumps, 2.5);
  cv::Scalar mean, sd;
  cv::meanStdDev(lumps, mean, sd);
  if (sd[0] > 0) lumps *= kLumpSd / sd[0];
  field += grain;
  field += lumps;
  field -= dark;
  field.convertTo(texture_, CV_8U, 1.0, kAgarGrey);
}

void Plate::crop(cv::Point origin, cv::Mat* dst) const {
  const int pw = texture_.cols, ph = texture_.rows;
  int y = 0;
  int sy = ((origin.y % ph) + ph) % ph;
  while (y < dst->rows) {
    int h = std::min(dst->rows - y, ph - sy);
    int x = 0;
    int sx = ((origin.x % pw) + pw) % pw;
    while (x < dst->cols) {
      int w = std::min(dst->cols - x, pw - sx);
      texture_(cv::Rect(sx, sy, w, h)).copyTo((*dst)(cv::Rect(x, y, w, h)));
      x += w;
      sx = 0;
    }
    y += h;
    sy = 0;
  }
}

}  // namespace synth
}  // namespace dukon
