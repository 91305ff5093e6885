// FirstMasks: the part of a frame's segmentation that depends on the frame
// alone, so that it can be made ahead of the segmenter, on another thread.
//
// The segmenter (frame_segmenter.h) thresholds a grey frame at the valley of
// its histogram (or a fixed value), closes the mask and, when asked, joins
// the closed Canny edges; only then do its running means of the worm's area
// and thickness decide whether the threshold failed. Everything before that
// decision is made here, from the grey frame and the settings, with scratch
// of its own: a MaskMaker used by one thread at a time gives exactly what
// the segmenter would have made itself.
#ifndef DUKON_SEGMENT_FIRST_MASKS_H_
#define DUKON_SEGMENT_FIRST_MASKS_H_

#include <opencv2/core.hpp>

#include "segment/edge_map.h"
#include "segment/mask_ops.h"

namespace dukon {

// What a frame's segmentation starts from.
struct FirstMasks {
  int thr = 0;             // the threshold used: 0 when the histogram had no valley
  bool noValley = false;   // the histogram had no valley (the edges must join)
  BitMask mask;            // pixels at most thr, closed
  int area = 0;            // pixels set in `mask`
  bool edgesMade = false;  // `edges` holds this frame's closed edges
  BitMask edges;           // Canny edges, closed
};

class MaskMaker {
 public:
  // Thresholds on the gradient of the Canny edges, and the closings before
  // the segmenter's decision.
  static constexpr double kCannyLow = 60;
  static constexpr double kCannyHigh = 120;
  static constexpr int kCannyAperture = 3;
  static constexpr int kFirstCloseIterations = 2;

  // `thresh`: a fixed grey threshold, or negative for the histogram's
  // valley with bins `smooth` grey levels wide; `useEdges`: the edges are
  // made for every frame (otherwise only when there is no valley).
  MaskMaker(int thresh, int smooth, bool useEdges);

  // The first masks of the grey frame `bw` (8-bit, one channel, not
  // empty) into `out`.
  void make(const cv::Mat& bw, FirstMasks& out);

  // The steps, also used by the segmenter when its decision asks for them:
  // pixels at most `thr`, closed, into `mask`; the closed edges into `edges`.
  void thresholdClosed(const cv::Mat& bw, int thr, BitMask& mask);
  void edgesClosed(const cv::Mat& bw, BitMask& edges);
  // A closing with the segmenter's ellipse.
  void close(BitMask& mask, int iterations);

  // Plain mode: every step through the image library on 8-bit images, to
  // check frame by frame that both give the same.
  void setPlain(bool on) { plain_ = on; }

  // Grey value that starts the valley between the dark worm and the bright
  // background in a histogram of bins `smooth` grey levels wide over
  // [0, 255); kNoValley when the histogram never rises again towards the
  // dark end.
  static constexpr int kNoValley = 255;
  static int histogramThreshold(const cv::Mat& grey, int smooth);

 private:
  int thresh_;
  int smooth_;
  bool useEdges_;
  bool plain_ = false;
  EdgeMap edgeMap_;
  MorphWork work_;
  cv::Mat image_;  // 8-bit scratch of the plain mode
};

}  // namespace dukon

#endif  // DUKON_SEGMENT_FIRST_MASKS_H_
