// FrameSegmenter: turns each grey frame into a mask holding the worm alone.
//
// The worm is dark on a brighter background. The mask comes from a threshold
// at the valley of the grey histogram, closed, joined with Canny edges when
// asked or when the threshold looks wrong, reduced to its largest 8-connected
// object, closed again and cleaned of a coiled worm's filled-in hole. The
// segmenter keeps running means of the worm's thickness and area over the
// frames whose skeleton was accepted and uses them to notice a bad threshold.
// One object per run; it owns its work images.
//
// The mask is worked on packed (see mask_ops.h, edge_map.h). The plain mode
// makes every step with the image library's own operations on 8-bit images
// instead; it exists to check, frame by frame, that both give the same.
#ifndef DUKON_SEGMENT_FRAME_SEGMENTER_H_
#define DUKON_SEGMENT_FRAME_SEGMENTER_H_

#include <iostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/worm_box.h"
#include "segment/distance_map.h"
#include "segment/egg.h"
#include "segment/first_masks.h"
#include "segment/mask_ops.h"

namespace dukon {

class Params;

// The settings the segmenter uses.
struct SegmenterSettings {
  int mmpix = 1;         // pixels per mm: the first thickness guess
  int thresh = -1;       // fixed grey threshold; negative: from the histogram
  int smooth = 4;        // histogram bin width, grey levels
  bool useEdges = true;  // always join the edges
  bool eggs = false;     // collect egg candidates
  bool verbose = false;  // report threshold problems
};
SegmenterSettings segmenterSettings(const Params& prms);

class FrameSegmenter {
 public:
  // Work images of width x height; the thickness guess before the first
  // accepted frame is the width 0.1 mm spans (mmpix / 10, integer division).
  FrameSegmenter(int width, int height, const SegmenterSettings& settings);

  // Makes `bin` (8-bit, frame size, created when it is not) hold 1 on the
  // worm and 0 elsewhere, from the grey frame `bw` (8-bit, read only). With
  // eggs on, every separate dark object beside the worm that is thick
  // enough is appended to `eggsToVerify` as a candidate (by value, location
  // and frame -1). Diagnostics go to `err` when verbose.
  void segmentFrame(const cv::Mat& bw, cv::Mat& bin, std::vector<Egg>& eggsToVerify,
                    std::ostream& err = std::cerr);
  // The same, from the frame's first masks made ahead by a MaskMaker with
  // this segmenter's settings (see maskMaker()); `first` is used up.
  void segmentFrom(const cv::Mat& bw, FirstMasks& first, cv::Mat& bin,
                   std::vector<Egg>& eggsToVerify, std::ostream& err = std::cerr);
  // A MaskMaker that makes first masks as this segmenter would.
  static MaskMaker maskMaker(const SegmenterSettings& settings);

  // Folds one accepted frame's thickness and area (pixels) into the running
  // means. Non-finite values (a chain without length) are not folded in.
  void updateAverages(double thick, double area);

  // The worm's box in `bin` (see WormBox).
  static WormBox boundingBox(const cv::Mat& bin);
  // The same box of the mask the last segmentFrame() returned, without
  // scanning it again.
  WormBox wormBox() const;
  // A rectangle holding every worm pixel of that mask (its bounding box, or
  // more when a hole was cleared); empty for an empty mask.
  const cv::Rect& maskBox() const { return maskBox_; }

  // Plain mode: every step through the image library on 8-bit images.
  void setPlain(bool on) {
    plain_ = on;
    maker_.setPlain(on);
  }

  double avgThick() const { return avgThick_; }
  double avgArea() const { return avgArea_; }
  int nGood() const { return nGood_; }

  // The distance map of the last mask segmentFrame() returned; `current`
  // while that mask is unchanged. The skeletoniser may take it over.
  DistanceMap& distanceMap() { return map_; }

  // Egg candidates among the objects of `objects` (labelled from a mask of
  // `frame` size): every object of more than 9 pixels whose size differs
  // from the largest one's and whose inscribed radius exceeds 1 pixel, in
  // object order.
  static void addEggCandidates(const MaskObjects& objects, cv::Size frame,
                               std::vector<Egg>& eggsToVerify);

 private:
  // The stages of segmentFrom.
  bool thresholdMask(const cv::Mat& bw, FirstMasks& first, std::ostream& err);
  void keepWorm(const cv::Mat& bw, bool addEdges, FirstMasks& first,
                std::vector<Egg>& eggsToVerify);
  void openFilledHole(cv::Mat& bin);

  const SegmenterSettings settings_;
  double avgThick_;
  double avgArea_ = 0.0;
  int nGood_ = 0;
  bool plain_ = false;
  BitMask mask_;         // the mask being made
  BitMask beforeClose_;  // the mask just before the final closing
  cv::Rect maskBox_;
  bool holeCleared_ = false;  // the returned mask is mask_ less a filled hole,
  WormBox holeBox_;           // whose box is this
  MaskObjects objects_;       // labelling of mask_
  MaskMaker maker_;           // the first masks of segmentFrame, and the fallbacks
  FirstMasks first_;          // those of segmentFrame
  cv::Mat image_;             // 8-bit scratch of the hole
  DistanceMap map_;           // of the final mask; not current once a hole is cleared
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_FRAME_SEGMENTER_H_
