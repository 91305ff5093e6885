// The centreline file NAME-centreline.csv: every analysed frame's
// centreline, from its chain or from the body model fitted to the frame
// (docs/formats/centreline.md).
#ifndef DUKON_RESULTS_CENTRELINE_FILE_H_
#define DUKON_RESULTS_CENTRELINE_FILE_H_

#include <functional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace results {

// Points of every centreline, head first.
constexpr size_t kCentrelinePoints = 49;

struct CentrelineRow {
  int frame = 0;
  std::string source;  // "chain", "fitted" or "none"
  double fitError;     // the fit's mismatch; NaN when the cell is empty
  // kCentrelinePoints world pixels, head first; empty for "none".
  std::vector<cv::Point2d> points;
  cv::Point2d stage;  // the frame's stage location: a point less it is frame pixels
};

// Hands `use` every row of the file at `path`, in file order. The file is
// read line by line (that of a long movie is large). Throws RunFileError
// "FILE:LINE: reason" for a malformed row and "FILE: reason" for a missing
// file or header.
void readCentrelineFile(const std::string& path,
                        const std::function<void(const CentrelineRow&)>& use);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_CENTRELINE_FILE_H_
