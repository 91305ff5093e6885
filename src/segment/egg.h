// Egg: one egg, or one cluster of eggs, seen on the plate.
//
// A plain value type. The segmenter creates candidates (location unknown,
// -1) for every separate thick dark object beside the worm; the laid-egg
// detection creates eggs with a known location and keeps them in the run's
// egg list. Positions are frame pixels: (xpos, ypos) inside the frame,
// (xLoc, yLoc) the stage position of that frame; their sum is the egg's world
// position. Sizes are pixels, times milliseconds of movie time.
#ifndef DUKON_SEGMENT_EGG_H_
#define DUKON_SEGMENT_EGG_H_

#include <cstdint>
#include <limits>

namespace dukon {

class Egg {
 public:
  // `verified` value of an egg that has not been confirmed yet.
  static constexpr uint32_t kNotVerified = std::numeric_limits<uint32_t>::max();

  // `size` is the radius of the largest disc inside the egg's patch; `ts` the
  // time stamp of the frame it was laid in (-1.0 for a candidate).
  Egg(int xLoc, int yLoc, int frame, double size, int xpos, int ypos, float ts)
      : xLoc_(xLoc), yLoc_(yLoc), frame_(frame), size_(size), xpos_(xpos), ypos_(ypos), ts_(ts) {}

  // True when the world centres are closer than the two radii plus 2 pixels.
  bool overlaps(const Egg& other) const;
  // Sets the three location fields only while xLoc is still -1.
  void setLocationOnce(int xLoc, int yLoc, int frame);
  // Records the first confirmation frame; later calls change nothing.
  void setVerifiedOnce(uint32_t frame);
  bool isVerified() const { return verified_ != kNotVerified; }

  int xLoc() const { return xLoc_; }
  int yLoc() const { return yLoc_; }
  int frame() const { return frame_; }
  double size() const { return size_; }
  int xpos() const { return xpos_; }
  int ypos() const { return ypos_; }
  uint32_t verified() const { return verified_; }
  float ts() const { return ts_; }

 private:
  int xLoc_;
  int yLoc_;
  int frame_;
  double size_;
  int xpos_;
  int ypos_;
  uint32_t verified_ = kNotVerified;
  float ts_;
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_EGG_H_
