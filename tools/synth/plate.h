// Plate: the agar surface under the worm, rendered once per movie.
//
// Bright agar (about grey 190) with low-frequency shading, a fine grain,
// small dark specks, a few faint smudges and scratches, so that the shift of
// the background between frames can be measured. The texture wraps at its
// edges; it is made at least as large as the area the stage travels over
// (up to a size limit beyond which the pattern repeats, too far apart to
// show in one frame).
#ifndef DUKON_SYNTH_PLATE_H_
#define DUKON_SYNTH_PLATE_H_

#include <cstdint>

#include <opencv2/core.hpp>

namespace dukon {
namespace synth {

class Plate {
 public:
  static constexpr int kMaxSide = 4096;
  static constexpr double kAgarGrey = 190.0;

  // A plate covering at least `extent` world pixels (clamped to kMaxSide per
  // side), deterministic in `seed`.
  Plate(cv::Size extent, uint64_t seed);

  // Copies the window of dst->size() whose top-left world pixel is `origin`
  // into `dst` (8-bit, one channel, already allocated).
  void crop(cv::Point origin, cv::Mat* dst) const;

 private:
  cv::Mat texture_;  // CV_8UC1
};

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_PLATE_H_
