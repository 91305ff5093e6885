// What the annotated movie shows for one frame: the frame's state, its
// movement class, its skeleton chain with the head and tail ends and the
// centreline fitted where the chain failed, all taken from one run's
// outputs.
#ifndef DUKON_OVERLAY_FRAME_ANNOTATION_H_
#define DUKON_OVERLAY_FRAME_ANNOTATION_H_

#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "results/run_file.h"
#include "results/shape_table.h"

namespace dukon {
namespace overlay {

using results::Movement;
using results::RunFileError;
using results::ShapeRow;

// The state of a frame in the analysis, from best to worst. A frame is in
// exactly one state; the first that applies, in this order:
//   ignored      listed in ignorefrm, not analysed
//   loop         the chain ran into itself, or the frame lies in a run of
//                failed frames next to such a frame
//   consistent   valid skeleton whose length and mid point agree with the
//                movie's median (the frames that get features)
//   good         valid skeleton, not consistent
//   rejected     the skeleton failed validation (no chain in skel.csv)
//   notAnalysed  the frame has no row in the run's shape table
enum class FrameState { kConsistent, kGood, kLoop, kRejected, kIgnored, kNotAnalysed };

// Short name of the state as the movie shows it ("consistent", "rejected").
std::string stateName(FrameState state);
// One line telling what the state means for the frame.
std::string stateExplanation(FrameState state);

struct FrameAnnotation {
  int frame = 0;
  FrameState state = FrameState::kNotAnalysed;
  Movement movement;
  std::vector<cv::Point> chain;  // frame pixels, head first when hasEnds
  bool hasEnds = false;          // head and tail are meaningful (consistent, good)
  cv::Point head, tail;          // frame pixels
  // The centreline fitted where the chain failed (centreline.csv), frame
  // pixels, head first; empty when the frame has none.
  std::vector<cv::Point2d> fitted;
  double fitError = 0;
};

// A centreline fitted where the chain failed (a "fitted" row of
// centreline.csv): its points less the frame's stage location, i.e. frame
// pixels, head first, and the fit's mismatch.
struct FittedLine {
  std::vector<cv::Point2d> points;
  double fitError = 0;
};

// The "fitted" rows of the centreline file at `path`, frame -> line. Throws
// RunFileError as results::readCentrelineFile does.
std::map<int, FittedLine> readFittedCentrelines(const std::string& path);

// The annotations of a run, looked up by frame number.
class RunAnnotations {
 public:
  // `rows` from the shape table, `chains` from the skeleton file of the
  // same run. Throws RunFileError (naming `skelPath`) when a consistent row
  // has no chain: the two files then come from different runs.
  RunAnnotations(const std::vector<ShapeRow>& rows,
                 const std::map<int, std::vector<cv::Point>>& chains, const std::string& skelPath);

  // Adds the fitted centrelines (frame -> line) to the frames they belong
  // to; frames without a row keep none.
  void addFitted(const std::map<int, FittedLine>& fitted);

  // The annotation of `frame`; state kNotAnalysed for a frame without a row.
  FrameAnnotation at(int frame) const;

  bool empty() const { return byFrame_.empty(); }
  int firstFrame() const { return byFrame_.begin()->first; }
  int lastFrame() const { return byFrame_.rbegin()->first; }
  // Consistent rows whose head and tail matched neither end of the chain
  // (their head mark is then the chain's first point).
  int unmatchedEnds() const { return unmatchedEnds_; }
  // Largest x and y of any chain point, to check the movie's frame size.
  cv::Point chainExtent() const { return extent_; }

 private:
  std::map<int, FrameAnnotation> byFrame_;
  int unmatchedEnds_ = 0;
  cv::Point extent_{-1, -1};
};

}  // namespace overlay
}  // namespace dukon

#endif  // DUKON_OVERLAY_FRAME_ANNOTATION_H_
