#include "skeleton/body_wave.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/geometry.h"

namespace dukon {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Bends of the smoothed profile weaker than this are no crest or trough.
constexpr double kSignificantBend = 13.0;
// Values averaged by the wavelength's smoothing window.
constexpr int kSmoothWindow = 7;
// Fewest bend angles from which a wavelength is sought.
constexpr int kMinAnglesForWavelength = 9;

double distance(cv::Point a, cv::Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// `value` / `len`, NaN for a chain without length.
double perLength(double value, double len) {
  return len > 0 ? value / len : kNaN;
}

}  // namespace

std::vector<double> bendAngles(const SkelRecord& rec) {
  const int n = rec.chainSize();
  const int k = n / 12;
  const std::vector<cv::Point>& p = rec.points;
  std::vector<double> dir(n - k);
  for (int i = 0; i < n - k; ++i) {
    dir[i] = directionAngle(p[i + k].x - p[i].x, p[i + k].y - p[i].y);
  }
  const int m = n - 2 * k;
  std::vector<double> angles(m);
  for (int j = 0; j < m; ++j) {
    double b = dir[j + k] - dir[j];
    if (b > 180) b -= 360;
    if (b < -180) b += 360;
    angles[j] = b;
  }
  return angles;
}

void computeBendProfile(SkelRecord& rec) {
  rec.angles = bendAngles(rec);
  const int m = static_cast<int>(rec.angles.size());
  rec.numAngles = m;
  double maxL = 0.0, minimum = 0.0, sumAbs = 0.0, sum = 0.0;
  for (double b : rec.angles) {
    if (b > maxL) maxL = b;
    if (b < minimum) minimum = b;
    sumAbs += std::fabs(b);
    sum += b;
  }
  rec.maxangL = maxL;
  rec.maxangR = 0.0 - minimum;  // a magnitude; +0 for a chain never bent right
  rec.avgangle = m > 0 ? sumAbs / m : kNaN;
  rec.anglesym = m > 0 ? sum / m : kNaN;
}

namespace {

// One crest or trough of the smoothed bend profile; index -1 = none.
struct Extreme {
  double value = 0.0;
  int index = -1;
};

// Strongest value of sm over [lo, hi] walked from `from` toward `to`
// (maximum when `wantMax`), replacing only on a strictly stronger value and
// starting from 0. An extreme at either end of the range is no turning point.
Extreme findExtreme(const std::vector<double>& sm, int from, int to, bool wantMax) {
  Extreme e;
  const int step = from <= to ? 1 : -1;
  for (int i = from;; i += step) {
    if (wantMax ? sm[i] > e.value : sm[i] < e.value) {
      e.value = sm[i];
      e.index = i;
    }
    if (i == to) break;
  }
  if (e.index == from || e.index == to) e.index = -1;
  return e;
}

}  // namespace

void computeWavelength(SkelRecord& rec, std::ostream& out) {
  rec.wavelen = kNaN;
  const int m = std::min(rec.numAngles, static_cast<int>(rec.angles.size()));
  if (m < kMinAnglesForWavelength) {
    out << "too short for wavelength\n";
    rec.Nwavelen = kNaN;
    return;
  }
  const int s = m - (kSmoothWindow - 1);
  std::vector<double> sm(s);
  for (int i = 0; i < s; ++i) {
    double sum = 0.0;
    for (int j = 0; j < kSmoothWindow; ++j) sum += rec.angles[i + j];
    sm[i] = sum / kSmoothWindow;
  }
  const int half = s / 2;
  Extreme maxL = findExtreme(sm, half, 0, true);
  Extreme maxR = findExtreme(sm, half, s - 1, true);
  Extreme minL = findExtreme(sm, half, 0, false);
  Extreme minR = findExtreme(sm, half, s - 1, false);
  for (Extreme* e : {&minL, &minR}) {
    if (e->value > -kSignificantBend) e->index = -1;
  }
  for (Extreme* e : {&maxL, &maxR}) {
    if (e->value < kSignificantBend) e->index = -1;
  }
  if (maxL.index >= 0 && maxR.index >= 0 && minL.index >= 0 && minR.index >= 0) {
    // Keep the pair whose weaker member is the stronger; troughs win ties
    // only when strictly stronger.
    const double weakerTrough = std::fabs(std::max(minL.value, minR.value));
    const double weakerCrest = std::min(maxL.value, maxR.value);
    if (weakerTrough < weakerCrest) {
      minL.index = minR.index = -1;
    } else {
      maxL.index = maxR.index = -1;
    }
  }
  // Smoothed index i sits at chain point i + offset.
  const int n = rec.chainSize();
  const int offset = (n - m) / 2 + 3;
  // Both extremes found and on the chain (a profile not made from this chain
  // could point past it).
  auto usable = [&](const Extreme& a, const Extreme& b) {
    return a.index >= 0 && b.index >= 0 && a.index != b.index && a.index + offset >= 0 &&
           b.index + offset >= 0 && a.index + offset < n && b.index + offset < n;
  };
  const std::vector<cv::Point>& p = rec.points;
  if (usable(maxL, maxR)) {
    rec.wavelen = distance(p[maxL.index + offset], p[maxR.index + offset]);
  } else if (usable(minL, minR)) {
    rec.wavelen = distance(p[minL.index + offset], p[minR.index + offset]);
  }
  if (rec.len / 3 > rec.wavelen) rec.wavelen = kNaN;
  rec.Nwavelen = perLength(rec.wavelen, rec.len);
}

std::vector<double> signedDistances(const SkelRecord& rec) {
  const int n = rec.chainSize();
  std::vector<double> amp(n, 0.0);
  const cv::Point h = rec.head, t = rec.tail;
  if (h.x == t.x) {
    for (int i = 0; i < n; ++i) {
      const double a = rec.points[i].x - h.x;
      amp[i] = h.y < t.y ? -a : a;
    }
    return amp;
  }
  if (h.y == t.y) {
    for (int i = 0; i < n; ++i) {
      const double a = rec.points[i].y - h.y;
      amp[i] = t.x < h.x ? -a : a;
    }
    return amp;
  }
  const double reference = directionAngle(t.x - h.x, t.y - h.y);
  const double slope = static_cast<double>(h.y - t.y) / (h.x - t.x);
  const double intercept = t.y - t.x * slope;
  const double normal = -1.0 / slope;
  for (int i = 0; i < n; ++i) {
    const cv::Point q = rec.points[i];
    // Foot of the perpendicular from q onto the head-tail line.
    const double c2 = q.y - q.x * normal;
    const double xi = (intercept - c2) / (normal - slope);
    const double yi = slope * xi + intercept;
    const double d = std::hypot(q.x - xi, q.y - yi);
    double diff = directionAngle(q.x - h.x, q.y - h.y) - reference;
    if (diff < 0) diff += 360;
    amp[i] = diff <= 180 ? d : -d;
  }
  return amp;
}

void computeAmplitudes(SkelRecord& rec) {
  const std::vector<double> amp = signedDistances(rec);
  const int n = static_cast<int>(amp.size());
  double maxL = 0.0, minimum = 0.0, sum = 0.0, sumAbs = 0.0;
  int crossings = 0;
  // Points farther than 1.4 px from the line since the last crossing; starts
  // primed so that the first point near the line (normally the head) counts.
  int run = 3;
  for (double a : amp) {
    if (a > maxL && a > 0.001) maxL = a;
    if (a < minimum && a < -0.001) minimum = a;
    sum += a;
    sumAbs += std::fabs(a);
    if (std::fabs(a) > 1.4) ++run;
    if (std::fabs(a) <= 1.0 && run > 2) {
      ++crossings;
      run = 0;
    }
  }
  rec.maxampL = maxL;
  rec.maxampR = 0.0 - minimum;  // a magnitude
  rec.ampsym = n > 0 ? sum / n : kNaN;
  rec.avgamp = n > 0 ? sumAbs / n : kNaN;
  rec.cutpnums = crossings;
  rec.Navgamp = perLength(rec.avgamp, rec.len);
  rec.NmaxampL = perLength(rec.maxampL, rec.len);
  rec.NmaxampR = perLength(rec.maxampR, rec.len);
}

// sinusfs is NaN when the body has no amplitude or no bend at all (a straight
// chain): a balance of nothing is undefined, and the statistics skip NaN.
void computeShapeScores(SkelRecord& rec) {
  if (rec.avgamp > 0 && rec.avgangle > 0) {
    const double a = rec.ampsym / rec.avgamp;
    const double b = rec.anglesym / rec.avgangle;
    rec.sinusfs = 1.0 - std::sqrt((a * a + b * b) / 2);
  } else {
    rec.sinusfs = kNaN;
  }
  const int n = rec.chainSize();
  rec.straightfs = n > 0 ? perLength(distance(rec.points[n - 1], rec.points[0]), rec.len) : kNaN;
}

void computeFeatures(SkelRecord& rec, std::ostream& out) {
  computeBendProfile(rec);
  computeWavelength(rec, out);
  computeAmplitudes(rec);
  computeShapeScores(rec);
}

}  // namespace dukon
