// Ground truth: one row per frame of a synthetic movie, as CSV.
//
// Columns (units in the names; world coordinates are frame pixels plus the
// stage offset, the analyser's convention):
//   frame            frame number as the movie capture reports it (1 = first)
//   time_ms          movie time of the frame
//   stage_x_px, stage_y_px  stage offset: world pixel = frame pixel + offset
//   stage_moving     1 in the frames shown part way through a stage move
//   head_x, head_y, mid_x, mid_y, tail_x, tail_y   world pixels
//   state            forward, backward, pause, omega or coil
//   wavelength_px    body wavelength along the body (nan in omega and coil)
//   freq_hz          body-wave frequency (nan in omega and coil; 0 in a pause)
//   speed_mm_s       head speed along the body, negative backward
//   length_px        body length
//   egg_event        1 in the first frame that shows a newly laid egg
//   egg_x, egg_y     that egg's centre, world pixels (nan without an event)
//   cmass_x, cmass_y the body's area centroid, world pixels: the centreline
//                    points weighted by the body's width there
//   x0,y0,...,x48,y48  the true centreline: 49 points equally spaced by arc
//                    length along the body, head first, world pixels
#ifndef DUKON_SYNTH_TRUTH_TABLE_H_
#define DUKON_SYNTH_TRUTH_TABLE_H_

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace synth {

struct TruthRow {
  int frame = 0;
  double timeMs = 0.0;
  cv::Point stage;
  bool stageMoving = false;
  cv::Point2d head, mid, tail;
  std::string state;
  double wavelengthPx = 0.0;
  double freqHz = 0.0;
  double speedMmS = 0.0;
  double lengthPx = 0.0;
  int eggEvent = 0;
  cv::Point2d egg;
  cv::Point2d cmass;
  std::vector<cv::Point2d> centreline;  // kCentrelinePoints points, head first
};

// Points of the true centreline of every row.
constexpr int kCentrelinePoints = 49;

// `n` points (2 or more) equally spaced by arc length along the polyline
// `line` (2 or more points), its first and last point included.
std::vector<cv::Point2d> resampleByArcLength(const std::vector<cv::Point2d>& line, int n);

// The header line, without line end.
std::string truthHeader();

// Throws dukon::FatalError when the file cannot be written.
void writeTruthCsv(const std::string& path, const std::vector<TruthRow>& rows);

// Reads a file written by writeTruthCsv. Throws dukon::FatalError when the
// file cannot be opened, its header differs or a row does not parse.
std::vector<TruthRow> readTruthCsv(const std::string& path);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_TRUTH_TABLE_H_
