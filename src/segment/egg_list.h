// EggList: the eggs the worm laid during the run, found from the pixels that
// newly join the worm's mask near the middle of its body, and confirmed by
// the separate dark objects the segmenter reports in later frames.
//
// Eggs are kept in order of detection; a detection that overlaps a listed egg
// (world positions, see Egg::overlaps) is merged into it, so each entry is
// an egg cluster. Positions are frame pixels; an egg's world position is its
// stage location plus its position in the frame.
#ifndef DUKON_SEGMENT_EGG_LIST_H_
#define DUKON_SEGMENT_EGG_LIST_H_

#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"
#include "segment/egg.h"

namespace dukon {

class EggList {
 public:
  // width and height are the frame size in pixels.
  EggList(int width, int height);

  // Looks for an egg laid between the previous accepted frame and this one.
  // `frameIndex` is the run's index of the frame (one per frame read), `bin`
  // the final worm mask (8-bit, frame size, nonzero = worm), `rec` the
  // frame's record (located, frame, mid, thickness, xLoc, yLoc) and `ts` the
  // frame's time stamp in ms. Does nothing for a record that is not located.
  // The first call, and the first after a frame index was skipped, only
  // stores the mask.
  void findLaidEggs(int frameIndex, const cv::Mat& bin, const SkelRecord& rec, float ts);

  // Gives the segmenter's candidate the frame's stage location (once) and
  // marks the first listed egg it overlaps as verified at rec.frame, unless
  // that egg was verified before. The candidate is not stored.
  void verifyCandidate(Egg& candidate, const SkelRecord& rec);

  // Appends `egg` unless it overlaps a listed egg, in which case it is
  // dropped. Returns true when it was appended.
  bool addEgg(const Egg& egg);

  int count() const { return static_cast<int>(eggs_.size()); }
  // Index access, 0 <= i < count().
  const Egg& egg(int i) const { return eggs_.at(static_cast<size_t>(i)); }
  int xpos(int i) const { return egg(i).xpos(); }
  int ypos(int i) const { return egg(i).ypos(); }
  int xLoc(int i) const { return egg(i).xLoc(); }
  int yLoc(int i) const { return egg(i).yLoc(); }

  // Frame index of the last call that reached the mask, -1 before any.
  int lastIndex() const { return lastIndex_; }

 private:
  int width_;
  int height_;
  std::vector<Egg> eggs_;
  int lastIndex_ = -1;
  // The previous accepted frame's mask, as passed in (nonzero = worm).
  cv::Mat prevMask_;
  // 8-bit work image, the size of the square looked at: 1 where the worm
  // covers a pixel it did not cover in the previous accepted frame.
  cv::Mat newPixels_;
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_EGG_LIST_H_
