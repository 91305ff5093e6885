// Wave: the body-wave image wave.bmp of a whole movie (docs/formats/wave.md).
//
// One column per frame from the first to the last frame to analyse, and down
// each column the bend-angle profile of that frame's skeleton, centred
// vertically, as grey levels (127 for a straight body). A bend wave travelling
// along the body shows as diagonal stripes. Marker columns every 100 frames
// and minute labels help reading the time axis.
//
// The grey scale depends on the extreme bends of the whole movie, and the
// profiles are not kept (about 2 KB per frame), so the image is built in two
// passes: every profile is first noted for the scale, then drawn. Only the
// 8-bit image is held, one byte per cell.
#ifndef DUKON_OUTPUT_WAVE_IMAGE_H_
#define DUKON_OUTPUT_WAVE_IMAGE_H_

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

class Wave {
 public:
  // Columns for frames firstFrame..lastFrame (none when lastFrame <
  // firstFrame), `maxskellen` rows.
  Wave(int firstFrame, int lastFrame, int maxskellen);

  Wave(const Wave&) = delete;
  Wave& operator=(const Wave&) = delete;

  // First pass: widens the grey scale to the values of the first `numAngles`
  // values of `angles` (degrees) that the column of `frame` will show (see
  // addColumn). Throws std::logic_error once a column has been drawn, since
  // the drawn columns would no longer match the scale.
  void noteProfile(int frame, const std::vector<double>& angles, int numAngles);

  // Second pass: draws the first `numAngles` values of `angles` into the
  // column of `frame`, centred vertically; a profile longer than the image
  // shows its middle. Frames outside the range and non-finite values are
  // skipped. The scale is fixed by the profiles noted so far; a value beyond
  // it is drawn at the nearest end of the scale.
  void addColumn(int frame, const std::vector<double>& angles, int numAngles);

  // The 8-bit image: marker columns 30, bends scaled so that the larger of
  // the two extreme magnitudes maps to 0 and 254 and a straight body (or a
  // cell never drawn) to 127, and "%d min." labels every 60 * frmps columns
  // (none when that is below one column). "zero" notes for an empty side of
  // the scale go to `out`.
  cv::Mat render(double frmps, std::ostream& out = std::cout) const;

  // Renders and saves the image to `path` (the run's "wave.bmp"). On failure
  // writes "Could'nt save <path>" to `err` and returns false; the run goes
  // on. With no column at all nothing is written and the result is true.
  bool makeImage(const std::string& path, double frmps, std::ostream& out = std::cout,
                 std::ostream& err = std::cerr) const;

  int width() const { return width_; }
  int height() const { return height_; }

 private:
  // Where the profile of `frame` with `n` values lands: its column, the first
  // row, the first value shown and how many are shown. False outside the range.
  struct Placement {
    int column = 0, rowOffset = 0, valueOffset = 0, used = 0;
  };
  bool place(int frame, int n, Placement& p) const;
  // The magnitude that maps to 0 and 254; with `out`, notes an empty side.
  double scale(std::ostream* out) const;

  int width_;
  int height_;
  int firstFrame_;
  cv::Mat img_;           // height_ x width_, 8-bit, without the labels
  double minimum_ = 0.0;  // smallest value noted, 0 if none below
  double maximum_ = 0.0;  // largest value noted, 0 if none above
  bool drawing_ = false;  // a column has been drawn: the scale is fixed
};

}  // namespace dukon

#endif  // DUKON_OUTPUT_WAVE_IMAGE_H_
