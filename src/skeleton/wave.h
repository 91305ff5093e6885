// Wave: the body-wave image of a whole movie.
//
// One column per frame from the first to the last frame to analyse, and down
// each column the bend-angle profile of that frame's skeleton, centred
// vertically, as grey levels (127 for a straight body). A bend wave travelling
// along the body shows as diagonal stripes. Marker columns every 100 frames
// and minute labels help reading the time axis.
#ifndef DUKON_SKELETON_WAVE_H_
#define DUKON_SKELETON_WAVE_H_

#include <iostream>
#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {

class OutputDir;

class Wave {
 public:
  // Value of the marker columns (every multiple of 100 but 0).
  static constexpr double kMarker = 99999.0;

  // Columns for frames firstFrame..lastFrame (none when lastFrame <
  // firstFrame), `maxskellen` rows. `out` must outlive the object; the image
  // is saved there as "wave.bmp".
  Wave(int firstFrame, int lastFrame, int maxskellen, const OutputDir& out);

  Wave(const Wave&) = delete;
  Wave& operator=(const Wave&) = delete;

  // Writes the first `numAngles` values of `angles` (degrees) into the column
  // of `frame`, centred vertically; a profile longer than the image shows its
  // middle. Frames outside the range and non-finite values are skipped.
  void addColumn(int frame, const std::vector<double>& angles, int numAngles);

  // The 8-bit image: marker columns 30, bends scaled so that the larger of
  // the two extreme magnitudes maps to 0 and 254 and a straight body to 127,
  // and "%d min." labels every 60 * frmps columns (none when that is below
  // one column). "zero" notes for an empty side go to `out`.
  cv::Mat render(double frmps, std::ostream& out = std::cout) const;

  // Renders and saves "wave.bmp". On failure writes "Could'nt save <path>"
  // to `err` and returns false; the run goes on.
  bool makeImage(double frmps, std::ostream& out = std::cout, std::ostream& err = std::cerr) const;

  int width() const { return width_; }
  int height() const { return height_; }
  // Value at (row, column); 0 where nothing was written.
  double at(int row, int column) const { return data_[static_cast<size_t>(row) * width_ + column]; }

 private:
  int width_;
  int height_;
  int firstFrame_;
  std::vector<double> data_;  // row-major, height_ x width_
  double minimum_ = 0.0;      // smallest value written, 0 if none below
  double maximum_ = 0.0;      // largest value written, 0 if none above
  const OutputDir* out_;
};

}  // namespace dukon

#endif  // DUKON_SKELETON_WAVE_H_
