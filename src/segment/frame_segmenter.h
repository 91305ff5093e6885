// FrameSegmenter: turns each grey frame into a mask holding the worm alone.
//
// The worm is dark on a brighter background. The mask comes from a threshold
// at the valley of the grey histogram, closed, joined with Canny edges when
// asked or when the threshold looks wrong, reduced to its largest 8-connected
// object, closed again and cleaned of a coiled worm's filled-in hole. The
// segmenter keeps running means of the worm's thickness and area over the
// frames whose skeleton was accepted and uses them to notice a bad threshold.
// One object per run; it owns its work images.
#ifndef DUKON_SEGMENT_FRAME_SEGMENTER_H_
#define DUKON_SEGMENT_FRAME_SEGMENTER_H_

#include <iostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/params.h"
#include "segment/distance_map.h"
#include "segment/egg.h"

namespace dukon {

class FrameSegmenter {
 public:
  // Work images of width x height; the thickness guess before the first
  // accepted frame is the width 0.1 mm spans (mmpix / 10, integer division).
  FrameSegmenter(int width, int height, const Params& prms);

  // Makes `bin` (8-bit, frame size, created when it is not) hold 1 on the
  // worm and 0 elsewhere, from the grey frame `bw` (8-bit, read only). With
  // the `eggs` setting, every separate dark object beside the worm that is
  // thick enough is appended to `eggsToVerify` as a candidate (by value,
  // location and frame -1). Diagnostics go to `err` when `screenop` is set.
  void segmentFrame(const cv::Mat& bw, cv::Mat& bin, const Params& prms,
                    std::vector<Egg>& eggsToVerify, std::ostream& err = std::cerr);

  // Folds one accepted frame's thickness and area (pixels) into the running
  // means. Non-finite values (a chain without length) are not folded in.
  void updateAverages(double thick, double area);

  // Bounding box of the mask's pixels in rows 0 .. height-2 and columns
  // 0 .. width-3, each coordinate plus one; an empty mask gives all -1.
  static void boundingBox(const cv::Mat& bin, int width, int height, int& minX, int& minY,
                          int& maxX, int& maxY);

  // Closings, labelling and distance transforms work on the objects'
  // bounding boxes (with margins) instead of the whole frame; the results are
  // the same. Off only to check exactly that.
  void setUseRoi(bool on) { useRoi_ = on; }

  double avgThick() const { return avgThick_; }
  double avgArea() const { return avgArea_; }

  // The distance map of the last mask segmentFrame() returned; `current`
  // while that mask is unchanged. The skeletoniser may take it over.
  DistanceMap& distanceMap() { return map_; }
  int nGood() const { return nGood_; }

  // --- Steps of segmentFrame, public so that they can be tested alone. ---

  // Grey value that starts the valley between the dark worm and the bright
  // background in a histogram of bins `smooth` grey levels wide over
  // [0, 255); 255 when the histogram never rises again towards the dark end.
  static int histogramThreshold(const cv::Mat& grey, int smooth);
  // Morphological closing in place with a 7x7 ellipse, `iterations` dilations
  // then as many erosions.
  static void closeMask(cv::Mat& img, int iterations);
  // Without `eggsToVerify`: clears every pixel outside the largest
  // 8-connected object (ties: the one met first in raster order). With it:
  // leaves `img` alone and appends a candidate for every object of more than
  // 9 pixels whose size differs from the largest one's and whose inscribed
  // radius exceeds 1 pixel, in raster order of the objects.
  void keepLargestObject(cv::Mat& img, std::vector<Egg>* eggsToVerify);
  // Clears the 8-connected region of pixels set in `mask` and 0 in
  // `reference` that contains (x, y); (x, y) itself is always cleared.
  static void clearFilledHole(cv::Mat& mask, const cv::Mat& reference, int x, int y);

 private:
  void ensureSize(cv::Size size);
  void closeObjects(cv::Mat& img, int iterations) const;
  cv::Point thickestPoint(const cv::Mat& bin, double* maxVal);
  // Labels the 8-connected objects of `img` into labels_ (object index + 1,
  // numbered in raster order of their first pixel); returns the object count
  // and fills counts_ and boxes_.
  int labelObjects(const cv::Mat& img);
  // Labels `img` and returns the index of its largest object (ties: the
  // first in raster order), -1 when it holds none. The labels stay valid for
  // clearAllButLargest() and addEggCandidates() until `img` changes.
  int labelLargestObject(const cv::Mat& img);
  // Clears every pixel of `img` outside object `largest` of the labelling
  // last made of this same, unchanged image.
  void clearAllButLargest(cv::Mat& img, int largest) const;
  int labelFirstPass(const cv::Mat& img);
  // Row of labels_ for image row y (inside labelBox_), from column labelBox_.x.
  const int* labelRow(int y) const;
  // Label of image pixel (x, y); 0 outside labelBox_.
  int labelAt(int x, int y) const;
  void addEggCandidates(int largest, std::vector<Egg>& eggsToVerify);

  double avgThick_;
  double avgArea_ = 0.0;
  int nGood_ = 0;
  bool useRoi_ = true;
  cv::Mat beforeClose_;  // 8-bit: the mask just before the final closing
  cv::Mat edges_;        // 8-bit: Canny edges, closed
  DistanceMap map_;      // of the final mask; not current once a hole is cleared

  // Labelling work space, kept between frames to avoid reallocation.
  cv::Size labelImage_;           // size of the labelled image
  cv::Rect labelBox_;             // the labelled part of the image
  std::vector<int> labels_;       // (box width + 2) x (box height + 1), zero frame
  std::vector<cv::Vec2i> spans_;  // per box row: first and one past last set column
  std::vector<int> parent_;       // union-find over provisional labels
  std::vector<int> objectOf_;     // provisional label -> object index
  std::vector<int> counts_;       // pixels per object
  std::vector<cv::Rect> boxes_;   // bounding box per object
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_FRAME_SEGMENTER_H_
