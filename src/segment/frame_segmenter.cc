#include "segment/frame_segmenter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "base/params.h"

namespace dukon {

namespace {

// Canny thresholds and aperture for the edge map merged into the mask.
constexpr double kCannyLow = 60;
constexpr double kCannyHigh = 120;
constexpr int kCannyAperture = 3;

// Closings before and after the edges are merged in.
constexpr int kFirstCloseIterations = 2;
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

FrameSegmenter::FrameSegmenter(int width, int height, const SegmenterSettings& settings)
    : settings_(settings),
      avgThick_(static_cast<double>(settings.mmpix / 10)),
      edgeMap_(kCannyLow, kCannyHigh) {
  map_.reset(cv::Size(std::max(width, 0), std::max(height, 0)));
}

void FrameSegmenter::segmentFrame(const cv::Mat& bw, cv::Mat& bin, std::vector<Egg>& eggsToVerify,
                                  std::ostream& err) {
  CV_Assert(bw.type() == CV_8UC1);
  if (map_.dist.size() != bw.size()) map_.reset(bw.size());
  bin.create(bw.size(), CV_8UC1);
  holeCleared_ = false;
  if (bw.empty()) {
    mask_.reset(bw.size());
    maskBox_ = cv::Rect();
    return;
  }
  const bool addEdges = thresholdMask(bw, err);
  keepWorm(bw, addEdges, eggsToVerify);
  mask_.toMat(bin);
  maskBox_ = mask_.boundingBox();
  map_.make(bin, !plain_, &maskBox_);
  openFilledHole(bin);
}

// Threshold at the histogram's valley, or at the fixed value, and the first
// closing. Without a valley, or when the mask swallowed the background,
// only pure black is kept and the edges carry the segmentation; a mask that
// lost the worm gets the edges too. Returns whether the edges must join.
bool FrameSegmenter::thresholdMask(const cv::Mat& bw, std::ostream& err) {
  bool addEdges = false;
  int thr = settings_.thresh;
  if (thr < 0) {
    thr = histogramThreshold(bw, settings_.smooth);
    if (thr == kNoValley) {
      thr = 0;
      addEdges = true;
      if (settings_.verbose) err << "threshold problem, using only edge detection" << std::endl;
    }
  }
  threshold(bw, thr);
  close(mask_, kFirstCloseIterations);
  const int area = mask_.count();
  if (thr > 0 && nGood_ > 0 && area > kAreaFactor * avgArea_) {
    thr = 0;
    if (settings_.verbose) err << "area problem, using only edge detection" << std::endl;
    threshold(bw, thr);
    close(mask_, kFirstCloseIterations);
    addEdges = true;
  }
  if (nGood_ > 0 && area < avgArea_ / kAreaFactor) addEdges = true;
  return addEdges;
}

// Egg candidates from the thresholded mask, the edges joined when asked,
// the largest object kept and closed. When no edges join, the labelling of
// the egg candidates also picks the worm.
void FrameSegmenter::keepWorm(const cv::Mat& bw, bool addEdges, std::vector<Egg>& eggsToVerify) {
  bool labelled = false;
  if (settings_.eggs) {
    objects_.label(mask_);
    labelled = true;
    addEggCandidates(objects_, bw.size(), eggsToVerify);
  }
  if (settings_.useEdges || addEdges) {
    detectEdges(bw);
    mask_.orWith(edges_);
    labelled = false;
  }
  if (!labelled) objects_.label(mask_);
  const int largest = objects_.largest();
  if (largest >= 0) objects_.keepOnly(largest, mask_);
  beforeClose_ = mask_;
  close(mask_, kFinalCloseIterations);
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

void FrameSegmenter::threshold(const cv::Mat& bw, int thr) {
  if (!plain_) {
    mask_.fromThresholdInv(bw, thr);
    return;
  }
  cv::threshold(bw, image_, thr, 1, cv::THRESH_BINARY_INV);
  mask_.fromNonZero(image_);
}

void FrameSegmenter::close(BitMask& mask, int iterations) {
  if (!plain_) {
    closeEllipse(mask, iterations, work_);
    return;
  }
  mask.toMat(image_);
  closeMask(image_, iterations);
  mask.fromNonZero(image_);
}

void FrameSegmenter::detectEdges(const cv::Mat& bw) {
  if (plain_) {
    cv::Canny(bw, image_, kCannyLow, kCannyHigh, kCannyAperture);
    edges_.fromNonZero(image_);
  } else {
    edgeMap_.detect(bw, edges_);
  }
  close(edges_, kFirstCloseIterations);
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

int FrameSegmenter::histogramThreshold(const cv::Mat& grey, int smooth) {
  CV_Assert(grey.type() == CV_8UC1);
  smooth = std::max(smooth, 1);
  const int bins = std::max(256 / smooth, 1);
  // Four interleaved counts, summed at the end, keep neighbouring pixels of
  // one grey level from waiting on each other's increments.
  std::array<std::array<int, 256>, 4> part{};
  for (int r = 0; r < grey.rows; ++r) {
    const uchar* row = grey.ptr<uchar>(r);
    int c = 0;
    for (; c + 4 <= grey.cols; c += 4) {
      ++part[0][row[c]];
      ++part[1][row[c + 1]];
      ++part[2][row[c + 2]];
      ++part[3][row[c + 3]];
    }
    for (; c < grey.cols; ++c) ++part[0][row[c]];
  }
  // Uniform bins over [0, 255): level v falls into bin floor(v * bins / 255);
  // level 255 lands past the last bin and is not counted.
  std::vector<double> hist(bins, 0.0);
  for (int v = 0; v < 255; ++v)
    hist[v * bins / 255] += part[0][v] + part[1][v] + part[2][v] + part[3][v];
  const double peak = *std::max_element(hist.begin(), hist.end());

  int i = 0;
  while (i < bins - 1 && hist[i] < peak / 4.0) ++i;
  double prev = hist[i];
  while (i > 0) {
    const double v = hist[i];
    if (v > prev) return (i + 1) * smooth;
    prev = v;
    --i;
  }
  return kNoValley;
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
