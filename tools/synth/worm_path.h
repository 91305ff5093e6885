// WormPath: the track that the worm's head lays down on the plate.
//
// The head moves along a path whose heading oscillates about a slowly
// wandering mean heading; the body is the last body length of that path, so
// the body wave has the path's wavelength. The path is stored as points one
// step `ds` of arc length apart, in world pixels, and grows on demand.
// Manoeuvres (turns, omega turns, coils) are programs of path segments that
// bend the mean heading and fade the wave; they are queued and consumed as
// the path grows. Generation is deterministic in the random stream given.
#ifndef DUKON_SYNTH_WORM_PATH_H_
#define DUKON_SYNTH_WORM_PATH_H_

#include <deque>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace synth {

// Marks parts of the path that belong to a manoeuvre.
enum class PathTag { kNone = 0, kOmegaApex = 1, kCoilRing = 2, kManoeuvre = 3 };

// One piece of a manoeuvre: over `length` pixels of path the mean heading
// turns by `curvature` radians per pixel (sign: positive turns towards +y in
// image coordinates) and the wave amplitude eases towards `amplitude` (0..1).
struct PathSegment {
  double length = 0.0;
  double curvature = 0.0;
  double amplitude = 1.0;
  PathTag tag = PathTag::kNone;
};

// A stretch of path [start, end] (arc length) with one tag.
struct TaggedSpan {
  double start = 0.0;
  double end = 0.0;
  PathTag tag = PathTag::kNone;
};

class WormPath {
 public:
  struct Shape {
    double wavelength = 175.0;   // pixels of arc per wave
    double amplitudeRad = 0.78;  // heading oscillation amplitude
    double rampLength = 44.0;    // arc over which the wave fades in or out
    double driftSigma = 0.0024;  // std of the wandering curvature, rad / px
    double driftLength = 200.0;  // correlation length of that curvature, px
  };

  // The path starts at `origin` with mean heading `heading` (radians) and a
  // wave phase `phase`. `rng` must outlive the path.
  WormPath(const Shape& shape, cv::Point2d origin, double heading, double phase, cv::RNG* rng);

  static constexpr double kStep = 0.5;  // ds, pixels

  double length() const { return kStep * (nodes_.size() - 1); }
  // Grows the path until its length is at least `s`.
  void extendTo(double s);
  // Point at arc length s (clamped to the path), linearly interpolated.
  cv::Point2d at(double s) const;
  // Drops the path beyond the first node after s, and every queued segment;
  // growth then resumes from that node's state.
  void truncateAfter(double s);
  void queue(const PathSegment& segment) { queue_.push_back(segment); }
  // Tagged stretches generated so far, in arc order.
  const std::vector<TaggedSpan>& spans() const { return spans_; }

 private:
  struct Node {
    cv::Point2d p;
    double meanHeading;
    double drift;  // wandering curvature, rad / px
    double phase;  // wave phase, radians
    double amp;    // wave amplitude share, 0..1
    PathTag tag;
  };
  void grow();
  void noteTag(double s, PathTag tag);

  Shape shape_;
  cv::RNG* rng_;
  std::vector<Node> nodes_;
  std::deque<PathSegment> queue_;
  double used_ = 0.0;  // arc already consumed of queue_.front()
  std::vector<TaggedSpan> spans_;
};

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_WORM_PATH_H_
