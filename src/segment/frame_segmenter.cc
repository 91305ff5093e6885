#include "segment/frame_segmenter.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "base/params.h"

namespace dukon {

namespace {

// Closings after the edges are merged in.
constexpr int kFinalCloseIterations = 4;

// A threshold mask more than this many times the mean worm area swallowed
// the background; one under the mean area divided by it lost the worm.
constexpr double kAreaFactor = 2.0;
// The thickest point of a coiled worm's filled hole is thicker than this
// share of the mean thickness.
constexpr double kHoleThickness = 0.8;

// Objects up to this many pixels are never egg candidates; a candidate's
// inscribed radius must exceed kMinCandidateRadius pixels.
constexpr int kMinCandidatePixels = 9;
constexpr double kMinCandidateRadius = 1.0;

}  // namespace

SegmenterSettings segmenterSettings(const Params& prms) {
  SegmenterSettings s;
  s.mmpix = prms.mmpix();
  s.thresh = prms.thresh();
  s.smooth = prms.smooth();
  s.useEdges = prms.useedges();
  s.eggs = prms.eggs();
  s.verbose = prms.screenop();
  return s;
}

MaskMaker FrameSegmenter::maskMaker(const SegmenterSettings& settings) {
  return MaskMaker(settings.thresh, settings.smooth, settings.useEdges);
}

FrameSegmenter::FrameSegmenter(int width, int height, const SegmenterSettings& settings)
    : settings_(settings),
      avgThick_(static_cast<double>(settings.mmpix / 10)),
      maker_(maskMaker(settings)) {
  map_.reset(cv::Size(std::max(width, 0), std::max(height, 0)));
}

void FrameSegmenter::segmentFrame(const cv::Mat& bw, cv::Mat& bin, std::vector<Egg>& eggsToVerify,
                                  std::ostream& err) {
  CV_Assert(bw.type() == CV_8UC1);
  if (!bw.empty()) maker_.make(bw, first_);
  segmentFrom(bw, first_, bin, eggsToVerify, err);
}

void FrameSegmenter::segmentFrom(const cv::Mat& bw, FirstMasks& first, cv::Mat& bin,
                                 std::vector<Egg>& eggsToVerify, std::ostream& err) {
  CV_Assert(bw.type() == CV_8UC1);
  if (map_.dist.size() != bw.size()) map_.reset(bw.size());
  bin.create(bw.size(), CV_8UC1);
  holeCleared_ = false;
  if (bw.empty()) {
    mask_.reset(bw.size());
    maskBox_ = cv::Rect();
    return;
  }
  CV_Assert(first.mask.size() == bw.size());
  const bool addEdges = thresholdMask(bw, first, err);
  keepWorm(bw, addEdges, first, eggsToVerify);
  mask_.toMat(bin);
  maskBox_ = mask_.boundingBox();
  map_.make(bin, !plain_, &maskBox_);
  openFilledHole(bin);
}

// The first mask, thresholded at the histogram's valley or at the fixed
// value and closed. Without a valley, or when the mask swallowed the
// background, only pure black is kept and the edges carry the
// segmentation; a mask that lost the worm gets the edges too. Returns
// whether the edges must join.
bool FrameSegmenter::thresholdMask(const cv::Mat& bw, FirstMasks& first, std::ostream& err) {
  bool addEdges = first.noValley;
  if (first.noValley && settings_.verbose)
    err << "threshold problem, using only edge detection" << std::endl;
  std::swap(mask_, first.mask);
  const int area = first.area;
  if (first.thr > 0 && nGood_ > 0 && area > kAreaFactor * avgArea_) {
    if (settings_.verbose) err << "area problem, using only edge detection" << std::endl;
    maker_.thresholdClosed(bw, 0, mask_);
    addEdges = true;
  }
  if (nGood_ > 0 && area < avgArea_ / kAreaFactor) addEdges = true;
  return addEdges;
}

// Egg candidates from the thresholded mask, the edges joined when asked,
// the largest object kept and closed. When no edges join, the labelling of
// the egg candidates also picks the worm.
void FrameSegmenter::keepWorm(const cv::Mat& bw, bool addEdges, FirstMasks& first,
                              std::vector<Egg>& eggsToVerify) {
  bool labelled = false;
  if (settings_.eggs) {
    objects_.label(mask_);
    labelled = true;
    addEggCandidates(objects_, bw.size(), eggsToVerify);
  }
  if (settings_.useEdges || addEdges) {
    if (!first.edgesMade) maker_.edgesClosed(bw, first.edges);
    mask_.orWith(first.edges);
    labelled = false;
  }
  if (!labelled) objects_.label(mask_);
  const int largest = objects_.largest();
  if (largest >= 0) objects_.keepOnly(largest, mask_);
  beforeClose_ = mask_;
  maker_.close(mask_, kFinalCloseIterations);
}

// A coiled worm encloses background that the closing fills; when the
// thickest point of the mask was background before the closing, that
// region is the filled hole and is cleared again from `bin`.
void FrameSegmenter::openFilledHole(cv::Mat& bin) {
  const cv::Point at = map_.maxLoc;
  if (!(map_.maxVal > kHoleThickness * avgThick_) || at.x < 0 || at.y < 0 ||
      beforeClose_.test(at.x, at.y))
    return;
  beforeClose_.toMat(image_);
  clearFilledHole(bin, image_, at.x, at.y);
  map_.current = false;
  holeCleared_ = true;
  holeBox_ = boundingBox(bin);
}

void FrameSegmenter::updateAverages(double thick, double area) {
  if (!std::isfinite(thick) || !std::isfinite(area)) return;
  if (nGood_ == 0) {
    nGood_ = 1;
    avgThick_ = thick;
    avgArea_ = area;
    return;
  }
  ++nGood_;
  const double n = nGood_;
  avgThick_ = (n - 1) / n * avgThick_ + thick / n;
  avgArea_ = (n - 1) / n * avgArea_ + area / n;
}

WormBox FrameSegmenter::wormBox() const {
  // Clearing a hole can shrink the box; that rare mask was scanned.
  if (holeCleared_) return holeBox_;
  const cv::Size size = mask_.size();
  if (size.height <= 1 || size.width <= 2) return WormBox{};
  const cv::Rect box = mask_.boundingBox(cv::Rect(0, 0, size.width - 2, size.height - 1));
  if (box.empty()) return WormBox{};
  return WormBox{box.x + 1, box.y + 1, box.x + box.width, box.y + box.height};
}

WormBox FrameSegmenter::boundingBox(const cv::Mat& bin) {
  // The last row and the last two columns are not looked at.
  const cv::Rect box = bin.rows > 1 && bin.cols > 2
                           ? cv::boundingRect(bin(cv::Rect(0, 0, bin.cols - 2, bin.rows - 1)))
                           : cv::Rect();
  if (box.empty()) return WormBox{};
  return WormBox{box.x + 1, box.y + 1, box.x + box.width, box.y + box.height};
}

// The distance transform of one object alone is computed on its bounding box
// grown by one background pixel (clipped to the image): the nearest
// background of every object pixel lies inside that box, and at the image
// border the transform treats the outside alike in both cases, so the values
// and the first maximum in raster order equal those over the whole frame.
void FrameSegmenter::addEggCandidates(const MaskObjects& objects, cv::Size frame,
                                      std::vector<Egg>& eggsToVerify) {
  const int largest = objects.largest();
  if (largest < 0) return;
  const cv::Rect whole(cv::Point(0, 0), frame);
  cv::Mat objectImg, dist;
  for (int k = 0; k < objects.count(); ++k) {
    const int size = objects.pixels(k);
    if (size == objects.pixels(largest) || size <= kMinCandidatePixels) continue;
    const cv::Rect box = (objects.box(k) + cv::Size(2, 2) - cv::Point(1, 1)) & whole;
    objects.paint(k, box, objectImg);
    cv::distanceTransform(objectImg, dist, cv::DIST_L2, cv::DIST_MASK_5);
    double maxVal = 0.0;
    cv::Point middle;
    cv::minMaxLoc(dist, nullptr, &maxVal, nullptr, &middle);
    if (maxVal > kMinCandidateRadius) {
      eggsToVerify.emplace_back(-1, -1, -1, maxVal, middle.x + box.x, middle.y + box.y, -1.0f);
    }
  }
}

}  // namespace dukon
