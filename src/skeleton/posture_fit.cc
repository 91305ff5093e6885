#include "skeleton/posture_fit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace dukon {

namespace {

constexpr int kMaxParams = kPostureParams + 1;  // the knots, and the length when free
using Vec = std::array<double, kMaxParams>;

// Gauss-Newton normal equations of the cost: the sum of J^T J and J^T r
// over the residuals (upper triangle of h filled).
struct Normal {
  double h[kMaxParams][kMaxParams] = {};
  Vec g{};
};

class Cost {
 public:
  Cost(const BodyModel& model, const FitTarget& target, const FitSettings& settings,
       const Centreline& expected)
      : model_(model),
        target_(target),
        s_(settings),
        n_(settings.freeLength ? kMaxParams : kPostureParams),
        expected_(expected.size() == kCentrelinePoints ? &expected : nullptr) {
    motionWeight_ = settings.motionWeight / std::sqrt(static_cast<double>(kCentrelinePoints));
    bodyWeight_ = 1.0 / std::sqrt(2.0 * kCentrelinePoints - 1);
    const size_t samples = target.samples().size();
    coverWeight_ = samples > 0 ? 1.0 / std::sqrt(static_cast<double>(samples)) : 0.0;
    bendWeight_ = std::sqrt(settings.bendWeight);
  }

  int params() const { return n_; }

  Vec start(const Posture& p, double length) const {
    Vec x{};
    const auto q = p.params();
    std::copy(q.begin(), q.end(), x.begin());
    if (n_ == kMaxParams) x[kPostureParams] = length;
    return x;
  }
  Posture posture(const Vec& x) const {
    std::array<double, kPostureParams> q;
    std::copy(x.begin(), x.begin() + kPostureParams, q.begin());
    return Posture::fromParams(q);
  }
  double length(const Vec& x) const { return n_ == kMaxParams ? x[kPostureParams] : model_.length; }

  // The cost at x; with `normal`, its normal equations too.
  double evaluate(const Vec& x, Normal* normal) {
    const double len = length(x);
    if (!(len > 1.0)) return std::numeric_limits<double>::infinity();
    const Posture p = posture(x);
    line_ = centrelineOf(p, len, normal ? &dx_ : nullptr, normal ? &dy_ : nullptr);
    if (normal && n_ == kMaxParams) {
      // Every point moves away from the centre in proportion to the length.
      for (int k = 0; k < kCentrelinePoints; ++k) {
        lengthGrad_[k] = (line_[k] - p.centre) / len;
      }
    }
    double cost = 0;
    cost += bodyOnBackground(normal);
    cost += uncoveredWorm(normal);
    cost += bending(x, normal);
    cost += motion(normal);
    return cost;
  }

 private:
  // The gradient of point k's position projected on direction v.
  void pointGradient(int k, cv::Point2d v, double w, Vec& row) const {
    for (int i = 0; i < kPostureParams; ++i) row[i] += w * (v.x * dx_[k][i] + v.y * dy_[k][i]);
    if (n_ == kMaxParams) row[kPostureParams] += w * v.dot(lengthGrad_[k]);
  }

  void add(Normal* normal, const Vec& row, double r) const {
    for (int i = 0; i < n_; ++i) {
      if (row[i] == 0) continue;
      normal->g[i] += row[i] * r;
      for (int j = i; j < n_; ++j) normal->h[i][j] += row[i] * row[j];
    }
  }

  // One body sample between points a and b (t from a), half width radius.
  double bodySample(int a, int b, double t, double radius, Normal* normal) const {
    const cv::Point2d at = line_[a] + t * (line_[b] - line_[a]);
    cv::Point2d grad;
    const double d = target_.distance(at, normal ? &grad : nullptr);
    const double e = s_.inside * radius - d;
    if (e <= 0) return 0;
    const double r = bodyWeight_ * e;
    if (normal) {
      Vec row{};
      pointGradient(a, grad, -bodyWeight_ * (1 - t), row);
      if (t > 0) pointGradient(b, grad, -bodyWeight_ * t, row);
      add(normal, row, r);
    }
    return r * r;
  }

  double bodyOnBackground(Normal* normal) const {
    double cost = 0;
    for (int k = 0; k < kCentrelinePoints; ++k) {
      cost += bodySample(k, k, 0, model_.radius[k], normal);
      if (k + 1 < kCentrelinePoints)
        cost += bodySample(k, k + 1, 0.5, model_.radiusAt(k + 0.5), normal);
    }
    return cost;
  }

  // How far pixel q lies out of piece k's disc sweep: its distance to the
  // piece less the half width there; *t receives the nearest place on it.
  double outOfPiece(int k, cv::Point2d q, double* t, double* d) const {
    const cv::Point2d a = line_[k], ab = line_[k + 1] - line_[k];
    const double len2 = ab.dot(ab);
    *t = len2 > 0 ? std::clamp((q - a).dot(ab) / len2, 0.0, 1.0) : 0.0;
    const cv::Point2d off = a + *t * ab - q;
    *d = std::sqrt(off.dot(off));
    return *d - (model_.radius[k] + *t * (model_.radius[k + 1] - model_.radius[k]));
  }

  double uncoveredWorm(Normal* normal) {
    double cost = 0;
    const double sigma = s_.robustPx;
    const std::vector<cv::Point2f>& samples = target_.samples();
    hint_.resize(samples.size(), 0);
    for (size_t j = 0; j < samples.size(); ++j) {
      const cv::Point2d q(samples[j].x, samples[j].y);
      // The body is the union of the pieces' discs, so a pixel is as far
      // out as the least of its distances to a piece less that piece's half
      // width; the piece that covered it last time is tried first.
      double t = 0, d = 0;
      double e = outOfPiece(hint_[j], q, &t, &d);
      int bestK = hint_[j];
      double bestT = t, bestD = d;
      for (int k = 0; e > 0 && k + 1 < kCentrelinePoints; ++k) {
        if (k == hint_[j]) continue;
        const double ek = outOfPiece(k, q, &t, &d);
        if (ek < e) {
          e = ek;
          bestK = k;
          bestT = t;
          bestD = d;
        }
      }
      hint_[j] = bestK;
      if (e <= 0) continue;
      // Pseudo-Huber: e^2 / 2 near the body, sigma * e far from it.
      const double root = std::sqrt(1 + (e / sigma) * (e / sigma));
      const double c = sigma * sigma * (root - 1);
      const double r = coverWeight_ * std::sqrt(2 * c);
      cost += r * r;
      if (!normal || bestD <= 0) continue;
      const double drde = r > 1e-12 ? coverWeight_ * coverWeight_ * (e / root) / r : coverWeight_;
      const cv::Point2d n = (line_[bestK] + bestT * (line_[bestK + 1] - line_[bestK]) - q) / bestD;
      Vec row{};
      pointGradient(bestK, n, drde * (1 - bestT), row);
      pointGradient(bestK + 1, n, drde * bestT, row);
      add(normal, row, r);
    }
    return cost;
  }

  double bending(const Vec& x, Normal* normal) const {
    double cost = 0;
    for (int i = 1; i + 1 < kPostureKnots; ++i) {
      const double r = bendWeight_ * (x[2 + i + 1] - 2 * x[2 + i] + x[2 + i - 1]);
      cost += r * r;
      if (!normal) continue;
      Vec row{};
      row[2 + i - 1] = bendWeight_;
      row[2 + i] = -2 * bendWeight_;
      row[2 + i + 1] = bendWeight_;
      add(normal, row, r);
    }
    return cost;
  }

  double motion(Normal* normal) const {
    if (!expected_) return 0;
    double cost = 0;
    const Centreline& e = *expected_;
    for (int k = 0; k < kCentrelinePoints; ++k) {
      // Along the body only: the mask settles the rest.
      const int a = std::max(0, k - 1), b = std::min(kCentrelinePoints - 1, k + 1);
      cv::Point2d along = e[b] - e[a];
      const double n = cv::norm(along);
      if (!(n > 0)) continue;
      along /= n;
      const double r = motionWeight_ * (line_[k] - e[k]).dot(along);
      cost += r * r;
      if (!normal) continue;
      Vec row{};
      pointGradient(k, along, motionWeight_, row);
      add(normal, row, r);
    }
    return cost;
  }

  const BodyModel& model_;
  const FitTarget& target_;
  const FitSettings& s_;
  const int n_;
  const Centreline* expected_;
  double bodyWeight_, coverWeight_, bendWeight_, motionWeight_;
  Centreline line_;
  std::vector<PointGradient> dx_, dy_;
  std::vector<int> hint_;  // per worm sample, the piece that covered it last
  std::array<cv::Point2d, kCentrelinePoints> lengthGrad_{};
};

// Solves (H + lambda diag(H)) step = -g; false when the matrix is not
// positive definite.
bool dampedStep(const Normal& n, int params, double lambda, Vec* step) {
  cv::Mat a(params, params, CV_64F), b(params, 1, CV_64F), x;
  for (int i = 0; i < params; ++i) {
    for (int j = i; j < params; ++j) a.at<double>(i, j) = a.at<double>(j, i) = n.h[i][j];
    a.at<double>(i, i) += lambda * n.h[i][i] + 1e-9;
    b.at<double>(i) = -n.g[i];
  }
  if (!cv::solve(a, b, x, cv::DECOMP_CHOLESKY)) return false;
  step->fill(0);
  for (int i = 0; i < params; ++i) (*step)[i] = x.at<double>(i);
  return true;
}

}  // namespace

FitResult fitPosture(const BodyModel& model, const FitTarget& target, const Posture& start,
                     const FitSettings& settings, int iterations, const Centreline& expected) {
  Cost cost(model, target, settings, expected);
  Vec x = cost.start(start, model.length);
  Normal normal;
  double current = cost.evaluate(x, &normal);
  double lambda = 1e-3;
  FitResult result;
  int it = 0;
  for (; it < iterations; ++it) {
    Vec step;
    if (!dampedStep(normal, cost.params(), lambda, &step)) {
      lambda *= 10;
      continue;
    }
    Vec trial = x;
    for (int i = 0; i < cost.params(); ++i) trial[i] += step[i];
    Normal trialNormal;
    const double next = cost.evaluate(trial, &trialNormal);
    if (next < current) {
      const bool settled = current - next < 1e-4 * current + 1e-9;
      x = trial;
      normal = trialNormal;
      current = next;
      lambda = std::max(lambda / 3, 1e-7);
      if (settled) break;
    } else {
      lambda *= 4;
      if (lambda > 1e6) break;
    }
  }
  result.posture = cost.posture(x);
  result.length = cost.length(x);
  result.cost = current;
  result.iterations = it;
  return result;
}

double postureCost(const BodyModel& model, const FitTarget& target, const Posture& posture,
                   double length, const FitSettings& settings) {
  FitSettings fixed = settings;
  fixed.freeLength = false;
  BodyModel m = model;
  m.length = length;
  Cost cost(m, target, fixed, Centreline());
  return cost.evaluate(cost.start(posture, length), nullptr);
}

}  // namespace dukon
