// Readers of the run outputs that the annotated movie needs: the parameters
// copy (NAME-params.txt), the full shape table (NAME-wxd.txt), the
// skeleton file (NAME-skel.csv) and the centreline file
// (NAME-centreline.csv).
//
// These are small, self-contained readers of the text formats; they share
// no code with the analyser. Every reader throws RunFileError with a message
// "FILE:LINE: reason" (or "FILE: reason") for a missing, truncated or
// malformed file.
#ifndef DUKON_OVERLAY_RUN_OUTPUTS_H_
#define DUKON_OVERLAY_RUN_OUTPUTS_H_

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace overlay {

class RunFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The parameters copy, reduced to what the overlay uses.
struct RunParams {
  std::string movieDir;   // as listed, with its trailing separator
  std::string movieName;  // the file stem of the movie and of every output
  int mmpix = 0;          // pixels per millimetre
  double frmps = 0.0;     // frames per second used by the run (0: not listed)
  int fframe = 0;         // first and last frame the run was asked for
  int lframe = 0;
};

RunParams readParamsCopy(const std::string& path);

// One row of the shape table. Head and tail are world positions in pixels
// (stage location plus frame position) and are set only for consistent rows.
struct ShapeRow {
  int frame = 0;
  bool ignored = false;
  bool consistent = false;
  std::string label;  // movement label as written, e.g. "fwdreversal", "loop", ""
  cv::Point headWorld{-1, -1};
  cv::Point tailWorld{-1, -1};
};

// Rows in file order (frame numbers strictly increasing).
std::vector<ShapeRow> readShapeTable(const std::string& path);

// The chains of the latest run in a skeleton file: frame number -> chain
// points in frame pixels, in file order (head first once the head is known).
// Frames without a chain map to an empty vector. Every run of a movie appends
// one entry per analysed frame, with no mark where a run starts: the latest
// run's entries are the last `records` of the file (the rows of that run's
// shape table), and a run also starts where the frame number does not grow.
// With `records` kUnknownRecords only the latter rule applies. `skipped`,
// when given, receives the number of earlier entries left out. Throws
// RunFileError also when the file ends with fewer than `records` entries of
// one run.
constexpr size_t kUnknownRecords = static_cast<size_t>(-1);
std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path,
                                                       size_t records = kUnknownRecords,
                                                       size_t* skipped = nullptr);

// A fitted centreline of the centreline file (NAME-centreline.csv): its
// world points less the frame's stage location, i.e. frame pixels, head
// first, and the fit's mismatch.
struct FittedLine {
  std::vector<cv::Point2d> points;
  double fitError = 0;
};

// The rows of source "fitted" in a centreline file, frame -> line; the
// other rows are left out. Read line by line: the file of a long movie is
// large. Throws RunFileError "FILE:LINE: reason" for a malformed row and
// "FILE: reason" for a missing file or header.
std::map<int, FittedLine> readFittedCentrelines(const std::string& path);

// Movement label split into its class and reversal mark.
struct Movement {
  std::string name;  // forward, backward, pause, omega, loop, or "" (none)
  bool reversal = false;
};

// Decodes a label made of the words fwd, bckwd, reversal, pause, omega and
// loop ("reversal" alone marks a backward frame that starts a reversal).
// Throws std::invalid_argument for any other text.
Movement decodeLabel(const std::string& label);

// The movie name of a run folder: the folder's own name when
// NAME-wxd.txt is there, else the NAME of the single *-wxd.txt inside.
// Throws RunFileError when there is none or more than one.
std::string findRunName(const std::string& folder);

}  // namespace overlay
}  // namespace dukon

#endif  // DUKON_OVERLAY_RUN_OUTPUTS_H_
