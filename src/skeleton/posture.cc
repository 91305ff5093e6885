#include "skeleton/posture.h"

#include <algorithm>
#include <cmath>

namespace dukon {

namespace {

constexpr int kPieces = kCentrelinePoints - 1;
constexpr int kMid = kPieces / 2;

// Where piece j's angle comes from: knots a and a + 1, weights 1 - f and f.
struct KnotSpan {
  int a;
  double f;
};

// The knots around arc position u (0 at the head, 1 at the tail), clamped
// to the body.
KnotSpan spanAt(double u) {
  const double pos = std::clamp(u, 0.0, 1.0) * (kPostureKnots - 1);
  const int a = std::min(static_cast<int>(pos), kPostureKnots - 2);
  return {a, pos - a};
}

KnotSpan pieceSpan(int j) {
  return spanAt((j + 0.5) / kPieces);
}

double angleAt(const Posture& p, double u) {
  const KnotSpan s = spanAt(u);
  return (1 - s.f) * p.angle[s.a] + s.f * p.angle[s.a + 1];
}

// grad += w * d(piece j's angle)/d(params).
void addPieceGradient(PointGradient& grad, int j, double w) {
  const KnotSpan s = pieceSpan(j);
  grad[2 + s.a] += w * (1 - s.f);
  grad[2 + s.a + 1] += w * s.f;
}

// The point at fractional index `at` of `line`, straight on beyond the ends.
cv::Point2d pointAt(const Centreline& line, double at) {
  const int last = static_cast<int>(line.size()) - 1;
  const int i = std::clamp(static_cast<int>(std::floor(at)), 0, last - 1);
  const double t = at - i;
  return line[i] + t * (line[i + 1] - line[i]);
}

}  // namespace

std::array<double, kPostureParams> Posture::params() const {
  std::array<double, kPostureParams> p;
  p[0] = centre.x;
  p[1] = centre.y;
  std::copy(angle.begin(), angle.end(), p.begin() + 2);
  return p;
}

Posture Posture::fromParams(const std::array<double, kPostureParams>& p) {
  Posture out;
  out.centre = cv::Point2d(p[0], p[1]);
  std::copy(p.begin() + 2, p.end(), out.angle.begin());
  return out;
}

Centreline centrelineOf(const Posture& posture, double length, std::vector<PointGradient>* dx,
                        std::vector<PointGradient>* dy) {
  const double step = length / kPieces;
  std::array<double, kPieces> c, s;
  for (int j = 0; j < kPieces; ++j) {
    const KnotSpan k = pieceSpan(j);
    const double theta = (1 - k.f) * posture.angle[k.a] + k.f * posture.angle[k.a + 1];
    c[j] = std::cos(theta);
    s[j] = std::sin(theta);
  }
  Centreline line(kCentrelinePoints);
  line[kMid] = posture.centre;
  for (int k = kMid + 1; k < kCentrelinePoints; ++k)
    line[k] = line[k - 1] + step * cv::Point2d(c[k - 1], s[k - 1]);
  for (int k = kMid - 1; k >= 0; --k) line[k] = line[k + 1] - step * cv::Point2d(c[k], s[k]);
  if (dx == nullptr || dy == nullptr) return line;

  dx->assign(kCentrelinePoints, PointGradient{});
  dy->assign(kCentrelinePoints, PointGradient{});
  (*dx)[kMid][0] = 1;
  (*dy)[kMid][1] = 1;
  for (int k = kMid + 1; k < kCentrelinePoints; ++k) {
    (*dx)[k] = (*dx)[k - 1];
    (*dy)[k] = (*dy)[k - 1];
    addPieceGradient((*dx)[k], k - 1, -step * s[k - 1]);
    addPieceGradient((*dy)[k], k - 1, step * c[k - 1]);
  }
  for (int k = kMid - 1; k >= 0; --k) {
    (*dx)[k] = (*dx)[k + 1];
    (*dy)[k] = (*dy)[k + 1];
    addPieceGradient((*dx)[k], k, step * s[k]);
    addPieceGradient((*dy)[k], k, -step * c[k]);
  }
  return line;
}

Posture postureOf(const Centreline& line) {
  Posture p;
  p.centre = line[kMid];
  // Normal equations of the knot angles against the pieces' angles.
  cv::Mat m = cv::Mat::zeros(kPostureKnots, kPostureKnots, CV_64F);
  cv::Mat rhs = cv::Mat::zeros(kPostureKnots, 1, CV_64F);
  double prev = 0;
  for (int j = 0; j < kPieces; ++j) {
    const cv::Point2d d = line[j + 1] - line[j];
    double theta = std::atan2(d.y, d.x);
    if (j > 0) theta = prev + std::remainder(theta - prev, 2 * CV_PI);  // unwrapped
    prev = theta;
    const KnotSpan k = pieceSpan(j);
    const double w[2] = {1 - k.f, k.f};
    for (int r = 0; r < 2; ++r) {
      rhs.at<double>(k.a + r) += w[r] * theta;
      for (int q = 0; q < 2; ++q) m.at<double>(k.a + r, k.a + q) += w[r] * w[q];
    }
  }
  cv::Mat knots;
  cv::solve(m, rhs, knots, cv::DECOMP_CHOLESKY);
  for (int i = 0; i < kPostureKnots; ++i) p.angle[i] = knots.at<double>(i);
  return p;
}

Posture slidAlongBody(const Posture& posture, double shift, double length) {
  // Body point u now lies where point u - shift / length lay.
  const double du = shift / length;
  if (!std::isfinite(du)) return posture;
  Posture out;
  for (int i = 0; i < kPostureKnots; ++i)
    out.angle[i] = angleAt(posture, static_cast<double>(i) / (kPostureKnots - 1) - du);
  const Centreline line = centrelineOf(posture, length);
  out.centre = pointAt(line, kMid - du * kPieces);
  return out;
}

}  // namespace dukon
