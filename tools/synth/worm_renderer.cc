#include "synth/worm_renderer.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace dukon {
namespace synth {
namespace {

constexpr int kRhoBins = 9;         // texture samples across the half width
constexpr double kBlurSigma = 0.6;  // optical blur, pixels
constexpr double kTexture = 3.0;    // std of the body's granular texture, grey levels
constexpr float kFar = 1e9f;

cv::Rect clipped(cv::Rect r, const cv::Mat& m) {
  return r & cv::Rect(0, 0, m.cols, m.rows);
}

}  // namespace

WormRenderer::WormRenderer(const SynthConfig& config, int points, uint64_t seed)
    : body_(config), eggMajor_(6.0 * config.mmpix / 280.0), eggMinor_(4.0 * config.mmpix / 280.0) {
  const int n = std::max(2, points);
  cv::RNG rng(seed * 40503ULL + 99);
  cv::Mat noise(n, kRhoBins, CV_32F);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, 1.0);
  // Granules a few pixels long along the body.
  cv::GaussianBlur(noise, noise, cv::Size(0, 0), 0.8, 2.0, cv::BORDER_REFLECT);
  cv::Scalar mean, sd;
  cv::meanStdDev(noise, mean, sd);
  noise = (noise - mean[0]) * (kTexture / std::max(1e-6, sd[0]));
  shade_.create(n, kRhoBins, CV_32F);
  for (int j = 0; j < n; ++j) {
    double u = static_cast<double>(j) / (n - 1);
    radii_.push_back(static_cast<float>(body_.radiusAt(u)));
    for (int k = 0; k < kRhoBins; ++k) {
      double rho = static_cast<double>(k) / (kRhoBins - 1);
      shade_.at<float>(j, k) = static_cast<float>(body_.greyAt(u, rho)) + noise.at<float>(j, k);
    }
  }
}

void WormRenderer::drawWorm(const std::vector<cv::Point2f>& c, cv::Mat* grey) const {
  const int n = std::min(static_cast<int>(c.size()), shade_.rows);
  if (n < 2) return;
  const float rmax = static_cast<float>(body_.maxRadius());
  const int margin = static_cast<int>(std::ceil(rmax + 3 * kBlurSigma + 3));
  cv::Rect box = cv::boundingRect(std::vector<cv::Point2f>(c.begin(), c.begin() + n));
  box = clipped(
      cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin),
      *grey);
  if (box.empty()) return;
  // Signed distance to the union of discs, with the disc that gave it.
  cv::Mat sdf(box.size(), CV_32F, cv::Scalar(kFar));
  cv::Mat owner(box.size(), CV_32S, cv::Scalar(-1));
  cv::Mat dist(box.size(), CV_32F, cv::Scalar(0));
  for (int j = 0; j < n; ++j) {
    const float r = radii_[j], cx = c[j].x - box.x, cy = c[j].y - box.y;
    int x0 = std::max(0, static_cast<int>(std::floor(cx - r - 2)));
    int x1 = std::min(box.width - 1, static_cast<int>(std::ceil(cx + r + 2)));
    int y0 = std::max(0, static_cast<int>(std::floor(cy - r - 2)));
    int y1 = std::min(box.height - 1, static_cast<int>(std::ceil(cy + r + 2)));
    for (int y = y0; y <= y1; ++y) {
      float* s = sdf.ptr<float>(y);
      int* o = owner.ptr<int>(y);
      float* d = dist.ptr<float>(y);
      float dy = y - cy;
      for (int x = x0; x <= x1; ++x) {
        float dx = x - cx;
        float dd = std::sqrt(dx * dx + dy * dy);
        if (dd - r < s[x]) {
          s[x] = dd - r;
          o[x] = j;
          d[x] = dd;
        }
      }
    }
  }
  // Coverage from the distance to the outline (a one-pixel ramp), and the
  // body's grey premultiplied by it, both blurred by the optics.
  cv::Mat alpha(box.size(), CV_32F), paint(box.size(), CV_32F);
  for (int y = 0; y < box.height; ++y) {
    const float* s = sdf.ptr<float>(y);
    const int* o = owner.ptr<int>(y);
    const float* d = dist.ptr<float>(y);
    float* a = alpha.ptr<float>(y);
    float* p = paint.ptr<float>(y);
    for (int x = 0; x < box.width; ++x) {
      a[x] = std::clamp(0.5f - s[x], 0.0f, 1.0f);
      if (a[x] <= 0.0f) {
        p[x] = 0.0f;
        continue;
      }
      int j = o[x];
      float rho = std::min(1.0f, d[x] / std::max(radii_[j], 1e-3f));
      p[x] = a[x] * shade_.at<float>(j, static_cast<int>(std::lround(rho * (kRhoBins - 1))));
    }
  }
  cv::GaussianBlur(alpha, alpha, cv::Size(5, 5), kBlurSigma, kBlurSigma, cv::BORDER_REPLICATE);
  cv::GaussianBlur(paint, paint, cv::Size(5, 5), kBlurSigma, kBlurSigma, cv::BORDER_REPLICATE);
  cv::Mat roi = (*grey)(box);
  for (int y = 0; y < box.height; ++y) {
    uchar* g = roi.ptr<uchar>(y);
    const float* a = alpha.ptr<float>(y);
    const float* p = paint.ptr<float>(y);
    for (int x = 0; x < box.width; ++x) {
      g[x] = cv::saturate_cast<uchar>(g[x] * (1.0f - a[x]) + p[x]);
    }
  }
}

void WormRenderer::drawEgg(cv::Point2d centre, double angleDeg, cv::Mat* grey) const {
  const double a = eggMajor_, b = eggMinor_;
  const int reach = static_cast<int>(std::ceil(a)) + 2;
  cv::Rect box = clipped(
      cv::Rect(static_cast<int>(std::floor(centre.x)) - reach,
               static_cast<int>(std::floor(centre.y)) - reach, 2 * reach + 2, 2 * reach + 2),
      *grey);
  const double cs = std::cos(angleDeg * CV_PI / 180.0), sn = std::sin(angleDeg * CV_PI / 180.0);
  const int ss = 4;  // supersampling per axis
  for (int y = box.y; y < box.y + box.height; ++y) {
    uchar* g = grey->ptr<uchar>(y);
    for (int x = box.x; x < box.x + box.width; ++x) {
      double cover = 0.0, shade = 0.0;
      for (int sy = 0; sy < ss; ++sy) {
        for (int sx = 0; sx < ss; ++sx) {
          double dx = x + (sx + 0.5) / ss - 0.5 - centre.x;
          double dy = y + (sy + 0.5) / ss - 0.5 - centre.y;
          double u = (dx * cs + dy * sn) / a, v = (-dx * sn + dy * cs) / b;
          double q = u * u + v * v;
          if (q > 1.0) continue;
          cover += 1.0;
          shade += q > 0.55 ? 100.0 : 118.0;  // dark shell, lighter inside
        }
      }
      if (cover == 0.0) continue;
      double alpha = cover / (ss * ss);
      g[x] = cv::saturate_cast<uchar>(g[x] * (1.0 - alpha) + shade / (ss * ss));
    }
  }
}

}  // namespace synth
}  // namespace dukon
