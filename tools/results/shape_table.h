// The full shape table NAME-wxd.txt: one row per analysed frame
// (docs/formats/wxd.md), and the movement labels its rows end with.
#ifndef DUKON_RESULTS_SHAPE_TABLE_H_
#define DUKON_RESULTS_SHAPE_TABLE_H_

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "results/run_file.h"

namespace dukon {
namespace results {

// One row. Positions are world pixels (the frame's stage location plus the
// position in the frame) and are set only for consistent rows, (-1, -1)
// otherwise; every number of a row that is not consistent is NaN (0 for the
// counts).
struct ShapeRow {
  int frame = 0;
  bool ignored = false;
  bool consistent = false;
  std::string label;  // movement label as written, e.g. "fwdreversal", "loop", ""
  cv::Point head{-1, -1}, mid{-1, -1}, tail{-1, -1};
  cv::Point cmass{-1, -1};  // centre of mass as written: x holds the row, y the column
  int skelpts = 0, cutpt = 0;
  double len = 0, thick = 0, area = 0;
  double avgamp = 0, ampsym = 0, maxampL = 0, maxampR = 0;
  double Navgamp = 0, NmaxampL = 0, NmaxampR = 0;
  double avgang = 0, angsym = 0, maxangL = 0, maxangR = 0;
  double wvlen = 0, Nwvlen = 0, freq = 0, straightfs = 0, sinusfs = 0;
  double disp = 0;  // mm; -1: not measured
};

// Rows in file order (frame numbers strictly increasing).
std::vector<ShapeRow> readShapeTable(const std::string& path);

// Movement label split into its class and reversal mark.
struct Movement {
  std::string name;  // forward, backward, pause, omega, loop, or "" (none)
  bool reversal = false;
};

// Decodes a label made of the words fwd, bckwd, reversal, pause, omega and
// loop ("reversal" alone marks a backward frame that starts a reversal).
// Throws std::invalid_argument for any other text.
Movement decodeLabel(const std::string& label);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_SHAPE_TABLE_H_
