// Skeleton: reduces the worm mask to one ordered 8-connected chain of pixels.
//
// A ridge walk on the distance transform of the mask: start at the thickest
// point, look ahead on a digital circle of radius 4 pixels, step to the
// circle point of largest distance within a forward cone and draw the
// straight segment; two bends to the same side in a row, or a cone that lies
// outside the worm, end the walk, and the last segment is prolonged to the
// outline. A thin neck followed by a thicker part (something stuck to the
// worm) is cut off. When the walk runs into its own chain the frame is a
// loop frame, and a second branch is searched on the uncovered part of the
// body and merged or discarded by how it touches the first chain.
//
// One object per run; it owns the distance image and the mask backup. The
// mask, skeleton image and record are borrowed for one call only.
#ifndef DUKON_SKELETON_SKELETON_H_
#define DUKON_SKELETON_SKELETON_H_

#include <iostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"
#include "segment/distance_map.h"

namespace dukon {

class Skeleton {
 public:
  Skeleton(int width, int height);

  // Fills `rec`'s chain (one end, the thickest point, the other end) and its
  // loop flag from the mask `bin` (8-bit, 1 on the worm, 0 elsewhere), and
  // draws the chain as 1s into `skel` (8-bit, frame size, created when it is
  // not). A neck cut erases the cut-off part from `bin`; the second-branch
  // search may set the pixels under the chain to 1. `rec` should be fresh;
  // its chain is emptied first. A chain that cannot start
  // (no circle point inside the worm around the thickest point) stays empty.
  // "multi touch" diagnostics go to `err`. Throws FatalError on the internal
  // error of a walk whose previous point is not on the circle.
  void skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, std::ostream& err = std::cerr);
  // The same, starting from `known` when it is current: it must then be the
  // distance map of `bin` as it is now (the segmenter's map of the mask it
  // returned). `known` is taken over by swapping buffers and comes back
  // holding a map that is not current; a map that is not current is left
  // alone and the mask is transformed here.
  void skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, DistanceMap& known,
                   std::ostream& err = std::cerr);

  // Distance transforms are computed on the mask's bounding box grown by one
  // pixel instead of the whole frame; the results are the same. Off only to
  // check exactly that.
  void setUseRoi(bool on) { useRoi_ = on; }

  // One look ahead of the walk.
  struct Step {
    cv::Point next;      // circle point of largest distance
    int turn = 0;        // +1 / -1: bent to one / the other side; 0: ahead
    bool found = false;  // false: the whole cone is background; next unset
  };
  // Looks around `centre` on the radius-4 circle, over the 9 entries centred
  // on the one opposite `prev` (at most 72 degrees off straight ahead), for
  // the largest value of `dist` (32-bit float; 0 outside the image). Ties
  // keep the entry met first. Throws FatalError when `prev` is not on the
  // circle around `centre`.
  static Step circleSearch(const cv::Mat& dist, cv::Point prev, cv::Point centre);

  // Joins the second branch `branch` to `chain` by how they touch (share a
  // point). No touch: false, nothing changes. One touch and no point
  // repeated in either list: a side spur; the frame is no loop after all
  // (`loop` cleared), the shared point leaves the branch, false. Otherwise
  // the branch moves onto the chain's end in reverse order, true. A third
  // touch writes "multi touch" to `err` (once per branch point that has one).
  static bool mergeBranch(std::vector<cv::Point>& chain, std::vector<cv::Point>& branch, bool& loop,
                          std::ostream& err);

 private:
  cv::Point distanceTransform(double* maxVal);
  void skeletonize(cv::Mat& bin, cv::Mat& skel, SkelRecord& rec, DistanceMap* known,
                   std::ostream& err);
  void fitTo(cv::Size size);
  void traceChain();
  bool inside(cv::Point p) const {
    return p.x >= 0 && p.y >= 0 && p.x < map_.dist.cols && p.y < map_.dist.rows;
  }
  Step circleSearch(cv::Point prev, cv::Point centre) const {
    return circleSearch(map_.dist, prev, centre);
  }
  bool halves(cv::Point maxLoc, bool cutNecks);
  void walk(cv::Point from, cv::Point to, int prevTurn);
  void drawSegment(cv::Point a, cv::Point b);
  void extendToOutline(cv::Point a, cv::Point b);
  void cutAtNeck(int start, cv::Point beforeStart);
  cv::Point rayEnd(cv::Point p, int ux, int uy) const;
  // True when the branch found was merged into the chain.
  bool secondBranch(double maxVal);
  bool crossing(cv::Point& cand, cv::Point prev) const;

  // The list the walk appends to: the record's chain, or the second branch
  // while it is searched.
  std::vector<cv::Point>& active() { return onBranch_ ? branch_ : rec_->points; }

  bool useRoi_ = true;
  DistanceMap map_;  // of the mask; frame size
  cv::Mat backup_;   // 8-bit: the mask before a neck cut
  // The second branch of a loop frame while it is searched (frame pixels);
  // scratch of one skeletonize() call, empty between calls.
  std::vector<cv::Point> branch_;
  bool onBranch_ = false;  // the walk appends to branch_

  // Borrowed for the duration of one skeletonize() call.
  DistanceMap* known_ = nullptr;
  cv::Mat* mask_ = nullptr;
  cv::Mat* skel_ = nullptr;
  SkelRecord* rec_ = nullptr;
  std::ostream* err_ = nullptr;
};

}  // namespace dukon

#endif  // DUKON_SKELETON_SKELETON_H_
