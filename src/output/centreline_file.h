// CentrelineFile: the writer of "centreline.csv", every analysed frame's
// centreline.
//
// A header line, then one line per row in the order given:
//   frame,source,fit_error,x0,y0,...,x48,y48,stage_x,stage_y
// `source` is "chain" (the frame's consistent skeleton chain, smoothed and
// resampled), "fitted" (the body model fitted to the frame) or "none";
// `fit_error` is the fit's mismatch (bodyMismatch: the share of the worm's
// pixels the fitted body and the mask disagree on), empty for a chain and
// for a frame where no fit was made; the points are kCentrelinePoints
// points equally spaced by arc length, head first, in world pixels (frame
// pixel plus the frame's stage location), with two decimals, and empty for
// "none"; `stage_x`, `stage_y` are the frame's stage location in pixels
// (world pixel = frame pixel + stage), so that the points can be placed on
// the movie's frame. Numbers are written in the C locale. Format note:
// docs/formats/centreline.md.
#ifndef DUKON_OUTPUT_CENTRELINE_FILE_H_
#define DUKON_OUTPUT_CENTRELINE_FILE_H_

#include <functional>
#include <ostream>
#include <string>

#include "skeleton/centreline.h"

namespace dukon {

class CentrelineFile {
 public:
  // Writes the header to `os`, which must outlive the writer.
  explicit CentrelineFile(std::ostream& os);

  void write(const FrameCentreline& row);

 private:
  std::ostream& os_;
};

// Writes the file `path`, replacing it: the header, then the rows `fill`
// writes. `fill` is not called when the file cannot be opened. False when
// the file could not be opened or written in full.
bool writeCentrelineFile(const std::string& path, const std::function<void(CentrelineFile&)>& fill);

}  // namespace dukon

#endif  // DUKON_OUTPUT_CENTRELINE_FILE_H_
