// Centreline: a worm's body line as a fixed number of points equally spaced
// by arc length, head first. It is the common form of a frame's posture,
// whether it comes from the frame's skeleton chain or from fitting the body
// model, and the form the posture figures (tangent angles, eigenworms) are
// defined on.
#ifndef DUKON_SKELETON_CENTRELINE_H_
#define DUKON_SKELETON_CENTRELINE_H_

#include <cmath>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

// Points of every centreline: 48 equal pieces.
constexpr int kCentrelinePoints = 49;

// kCentrelinePoints points, head first, in pixels (frame or world, as the
// holder says).
using Centreline = std::vector<cv::Point2d>;

// Where a frame's centreline comes from.
enum class CentrelineSource {
  kChain,   // the frame's consistent skeleton chain
  kFitted,  // the body model fitted to the frame
  kNone,    // neither: no worm, no acceptable fit, or fitting off
};

// One analysed frame's centreline, as the run reports it.
struct FrameCentreline {
  int frame = 0;
  CentrelineSource source = CentrelineSource::kNone;
  double fitError = NAN;  // the fit's mismatch; NaN for a chain or when no fit was made
  Centreline line;        // world pixels, head first; empty for kNone
  cv::Point stage{0, 0};  // the frame's stage location: world pixel = frame pixel + stage
};

// Length of the polyline through `line`, pixels.
double polylineLength(const std::vector<cv::Point2d>& line);

// `n` (2 or more) points equally spaced by arc length along the polyline
// `line`, its first and last point included. Empty when `line` has no
// length (fewer than two distinct points).
std::vector<cv::Point2d> resampleByArcLength(const std::vector<cv::Point2d>& line, int n);

// The centreline of a skeleton chain (frame pixels, in chain order): the
// chain's staircase smoothed by a running mean over 7 points (fewer at the
// ends, which stay put), then resampled. Empty for a chain without length.
Centreline chainCentreline(const std::vector<cv::Point>& chain);

// `line` moved by `offset` (from frame to world pixels and back).
Centreline shifted(const Centreline& line, cv::Point2d offset);

// Mean over the points of the distance between corresponding points of two
// centrelines of equal size, pixels.
double meanPointDistance(const Centreline& a, const Centreline& b);

}  // namespace dukon

#endif  // DUKON_SKELETON_CENTRELINE_H_
