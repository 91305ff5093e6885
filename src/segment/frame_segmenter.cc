#include "segment/frame_segmenter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <opencv2/imgproc.hpp>

#include "segment/distance_map.h"

namespace dukon {

namespace {

// Canny thresholds and aperture for the edge map merged into the mask.
constexpr double kCannyLow = 60;
constexpr double kCannyHigh = 120;
constexpr int kCannyAperture = 3;

// Closings before and after the edges are merged in.
constexpr int kFirstCloseIterations = 2;
constexpr int kFinalCloseIterations = 4;

// Objects up to this many pixels are never egg candidates.
constexpr int kMinCandidatePixels = 9;

// Index of the first non-zero byte of p[from .. n), or n. Looks at eight
// bytes at a time, as most of a mask is empty.
int nextNonZero(const uchar* p, int from, int n) {
  int i = from;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, sizeof word);
    if (word != 0) break;
  }
  while (i < n && p[i] == 0) ++i;
  return i;
}

}  // namespace

FrameSegmenter::FrameSegmenter(int width, int height, const Params& prms)
    : avgThick_(static_cast<double>(prms.mmpix() / 10)) {
  ensureSize(cv::Size(std::max(width, 0), std::max(height, 0)));
}

void FrameSegmenter::ensureSize(cv::Size size) {
  if (edges_.size() == size) return;
  beforeClose_.create(size, CV_8UC1);
  edges_.create(size, CV_8UC1);
  edges_.setTo(0);
  map_.reset(size);
}

void FrameSegmenter::segmentFrame(const cv::Mat& bw, cv::Mat& bin, const Params& prms,
                                  std::vector<Egg>& eggsToVerify, std::ostream& err) {
  CV_Assert(bw.type() == CV_8UC1);
  ensureSize(bw.size());
  bin.create(bw.size(), CV_8UC1);
  if (bw.empty()) return;

  bool addEdges = false;
  int thr = prms.thresh();
  if (thr < 0) {
    thr = histogramThreshold(bw, prms.smooth());
    if (thr == 255) {
      thr = 0;
      addEdges = true;
      if (prms.screenop()) err << "threshold problem, using only edge detection" << std::endl;
    }
  }
  cv::threshold(bw, bin, thr, 1, cv::THRESH_BINARY_INV);
  closeObjects(bin, kFirstCloseIterations);
  const int area = cv::countNonZero(bin);

  if (thr > 0 && nGood_ > 0 && area > 2.0 * avgArea_) {
    thr = 0;
    if (prms.screenop()) err << "area problem, using only edge detection" << std::endl;
    cv::threshold(bw, bin, thr, 1, cv::THRESH_BINARY_INV);
    closeObjects(bin, kFirstCloseIterations);
    addEdges = true;
  }
  if (nGood_ > 0 && area < avgArea_ / 2.0) addEdges = true;

  // Egg candidates come from the mask before any edges join it. When no
  // edges are merged in, the mask is unchanged and the same labelling then
  // picks the worm.
  int largest = -1;
  bool labelled = false;
  if (prms.eggs()) {
    largest = labelLargestObject(bin);
    labelled = true;
    if (largest >= 0) addEggCandidates(largest, eggsToVerify);
  }

  if (prms.useedges() || addEdges) {
    cv::Canny(bw, edges_, kCannyLow, kCannyHigh, kCannyAperture);
    closeObjects(edges_, kFirstCloseIterations);
    cv::bitwise_or(bin, edges_, bin);
    labelled = false;
  }
  if (!labelled) largest = labelLargestObject(bin);
  if (largest >= 0) clearAllButLargest(bin, largest);
  bin.copyTo(beforeClose_);
  closeObjects(bin, kFinalCloseIterations);
  bin.setTo(1, bin);

  double maxVal = 0.0;
  const cv::Point maxLoc = thickestPoint(bin, &maxVal);

  // A coiled worm encloses background that the closing fills; when the
  // thickest point of the mask was background before the closing, that
  // region is the filled hole and is cleared again.
  if (maxVal > 0.8 * avgThick_ && maxLoc.x >= 0 && maxLoc.y >= 0 &&
      beforeClose_.at<uchar>(maxLoc) == 0) {
    clearFilledHole(bin, beforeClose_, maxLoc.x, maxLoc.y);
    map_.current = false;
  }
}

// Closing with k iterations moves nothing further than 3k pixels, so it can
// run on horizontal bands of the image: rows holding objects are grouped into
// bands whose objects lie more than 2m rows apart (m = 3k + 3), and each band
// is closed on its objects' columns and rows grown by m. Two such bands never
// meet in the closing, the grown box's own border never reaches a pixel that
// the dilations set, and where a box meets the image border it sees the same
// border as the whole image would; so the result is the whole-image closing.
void FrameSegmenter::closeObjects(cv::Mat& img, int iterations) const {
  if (!useRoi_) {
    closeMask(img, iterations);
    return;
  }
  const int m = 3 * iterations + 3;
  const cv::Rect frame(0, 0, img.cols, img.rows);
  std::vector<cv::Rect> bands;
  int lastRow = -1;
  for (int y = 0; y < img.rows; ++y) {
    const uchar* row = img.ptr<uchar>(y);
    const int first = nextNonZero(row, 0, img.cols);
    if (first == img.cols) continue;
    int last = img.cols - 1;
    while (row[last] == 0) --last;
    if (lastRow < 0 || y - lastRow - 1 > 2 * m) {
      bands.emplace_back(first, y, last - first + 1, 1);
    } else {
      cv::Rect& b = bands.back();
      b |= cv::Rect(first, y, last - first + 1, 1);
    }
    lastRow = y;
  }
  for (const cv::Rect& band : bands) {
    const cv::Rect roi = (band - cv::Point(m, m) + cv::Size(2 * m, 2 * m)) & frame;
    if (roi == frame) {
      closeMask(img, iterations);
      return;
    }
    cv::Mat part = img(roi).clone();
    closeMask(part, iterations);
    part.copyTo(img(roi));
  }
}

// Distance transform of the final mask into map_ and its thickest point.
cv::Point FrameSegmenter::thickestPoint(const cv::Mat& bin, double* maxVal) {
  map_.make(bin, useRoi_);
  *maxVal = map_.maxVal;
  return map_.maxLoc;
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

void FrameSegmenter::boundingBox(const cv::Mat& bin, int width, int height, int& minX, int& minY,
                                 int& maxX, int& maxY) {
  // Mask row r - 1 and column c - 1 count as (c, r) for r = 1 .. rows - 1
  // and c = 1 .. cols - 2: the last row and the last two columns are not
  // looked at. Never look past the image, whatever size the caller claims.
  const int rows = std::min(height, bin.rows);
  const int cols = std::min(width, bin.cols);
  const cv::Rect box =
      rows > 1 && cols > 2 ? cv::boundingRect(bin(cv::Rect(0, 0, cols - 2, rows - 1))) : cv::Rect();
  if (box.empty()) {
    minX = minY = maxX = maxY = -1;
    return;
  }
  minX = box.x + 1;
  minY = box.y + 1;
  maxX = box.x + box.width;
  maxY = box.y + box.height;
}

int FrameSegmenter::histogramThreshold(const cv::Mat& grey, int smooth) {
  CV_Assert(grey.type() == CV_8UC1);
  smooth = std::max(smooth, 1);
  const int bins = std::max(256 / smooth, 1);
  std::array<int, 256> levels{};
  for (int r = 0; r < grey.rows; ++r) {
    const uchar* row = grey.ptr<uchar>(r);
    for (int c = 0; c < grey.cols; ++c) ++levels[row[c]];
  }
  // Uniform bins over [0, 255): level v falls into bin floor(v * bins / 255);
  // level 255 lands past the last bin and is not counted.
  std::vector<double> hist(bins, 0.0);
  for (int v = 0; v < 255; ++v) hist[v * bins / 255] += levels[v];
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
  return 255;
}

void FrameSegmenter::closeMask(cv::Mat& img, int iterations) {
  static const cv::Mat kElement =
      cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(7, 7), cv::Point(3, 3));
  cv::morphologyEx(img, img, cv::MORPH_CLOSE, kElement, cv::Point(3, 3), iterations);
}

// First pass of the labelling over labelBox_: provisional labels into
// labels_, equivalences into the union-find forest parent_ (the smaller label
// is always the root). Returns the number of provisional labels plus one.
int FrameSegmenter::labelFirstPass(const cv::Mat& img) {
  const int w = labelBox_.width, h = labelBox_.height, W = w + 2;
  labels_.assign(static_cast<size_t>(W) * (h + 1), 0);
  parent_.assign(1, 0);
  auto find = [this](int a) {
    while (parent_[a] != a) a = parent_[a];
    return a;
  };
  spans_.assign(h, cv::Vec2i(0, 0));
  int next = 1;
  for (int y = 0; y < h; ++y) {
    const uchar* src = img.ptr<uchar>(labelBox_.y + y) + labelBox_.x;
    int* up = &labels_[static_cast<size_t>(y) * W + 1];
    int* cur = up + W;
    for (int x = nextNonZero(src, 0, w); x < w; x = nextNonZero(src, x + 1, w)) {
      if (spans_[y][1] == 0) spans_[y][0] = x;
      spans_[y][1] = x + 1;
      // `n` touches the other three neighbours, so they already share its
      // object; only the left-hand neighbours and `ne` can join two objects.
      const int n = up[x];
      if (n != 0) {
        cur[x] = n;
        continue;
      }
      const int left = cur[x - 1] != 0 ? cur[x - 1] : up[x - 1];
      const int ne = up[x + 1];
      if (left != 0) {
        cur[x] = left;
        if (ne == 0) continue;
        const int a = find(left), b = find(ne);
        parent_[std::max(a, b)] = std::min(a, b);
      } else if (ne != 0) {
        cur[x] = ne;
      } else {
        cur[x] = next;
        parent_.push_back(next);
        ++next;
      }
    }
  }
  return next;
}

// Two-pass labelling over the objects' bounding box (the whole image when
// the region of interest is off) with a zero frame above, left and right.
int FrameSegmenter::labelObjects(const cv::Mat& img) {
  labelBox_ = useRoi_ ? cv::boundingRect(img) : cv::Rect(0, 0, img.cols, img.rows);
  labelImage_ = img.size();
  const int w = labelBox_.width, h = labelBox_.height, W = w + 2;
  const int next = labelFirstPass(img);
  // Union keeps the smaller label as root, so parents precede children and
  // one ascending sweep flattens the forest. Objects are numbered in the
  // order of their smallest label, i.e. of their first pixel in raster order.
  objectOf_.assign(next, -1);
  int objects = 0;
  for (int l = 1; l < next; ++l) {
    parent_[l] = parent_[parent_[l]];
    objectOf_[l] = parent_[l] == l ? objects++ : objectOf_[parent_[l]];
  }
  counts_.assign(objects, 0);
  std::vector<cv::Point> lo(objects, cv::Point(w, h)), hi(objects, cv::Point(-1, -1));
  for (int y = 0; y < h; ++y) {
    int* cur = &labels_[static_cast<size_t>(y + 1) * W + 1];
    for (int x = spans_[y][0]; x < spans_[y][1]; ++x) {
      if (cur[x] == 0) continue;
      const int k = objectOf_[cur[x]];
      cur[x] = k + 1;  // from now on: object index + 1
      ++counts_[k];
      lo[k].x = std::min(lo[k].x, x);
      hi[k].x = std::max(hi[k].x, x);
      lo[k].y = std::min(lo[k].y, y);
      hi[k].y = y;
    }
  }
  boxes_.assign(objects, cv::Rect());
  for (int k = 0; k < objects; ++k) {
    boxes_[k] = cv::Rect(lo[k] + labelBox_.tl(), hi[k] + labelBox_.tl() + cv::Point(1, 1));
  }
  return objects;
}

const int* FrameSegmenter::labelRow(int y) const {
  return &labels_[static_cast<size_t>(y - labelBox_.y + 1) * (labelBox_.width + 2) + 1];
}

int FrameSegmenter::labelAt(int x, int y) const {
  return labelBox_.contains(cv::Point(x, y)) ? labelRow(y)[x - labelBox_.x] : 0;
}

int FrameSegmenter::labelLargestObject(const cv::Mat& img) {
  CV_Assert(img.type() == CV_8UC1);
  const int objects = labelObjects(img);
  if (objects == 0) return -1;
  int largest = 0;
  for (int k = 1; k < objects; ++k) {
    if (counts_[k] > counts_[largest]) largest = k;
  }
  return largest;
}

void FrameSegmenter::clearAllButLargest(cv::Mat& img, int largest) const {
  // Outside labelBox_ and the row spans the image is 0 already.
  for (int y = labelBox_.y; y < labelBox_.br().y; ++y) {
    uchar* dst = img.ptr<uchar>(y) + labelBox_.x;
    const int* lab = labelRow(y);
    const cv::Vec2i span = spans_[y - labelBox_.y];
    for (int x = span[0]; x < span[1]; ++x) {
      if (lab[x] != largest + 1) dst[x] = 0;
    }
  }
}

void FrameSegmenter::keepLargestObject(cv::Mat& img, std::vector<Egg>* eggsToVerify) {
  const int largest = labelLargestObject(img);
  if (largest < 0) return;
  if (eggsToVerify != nullptr) {
    addEggCandidates(largest, *eggsToVerify);
  } else {
    clearAllButLargest(img, largest);
  }
}

// The distance transform of one object alone is computed on its bounding box
// grown by one background pixel (clipped to the image): the nearest
// background of every object pixel lies inside that box, and at the image
// border the transform treats the outside alike in both cases, so the values
// and the first maximum in raster order equal those over the whole frame.
void FrameSegmenter::addEggCandidates(int largest, std::vector<Egg>& eggsToVerify) {
  const cv::Rect frame(cv::Point(0, 0), labelImage_);
  cv::Mat objectImg, dist;
  for (int k = 0; k < static_cast<int>(counts_.size()); ++k) {
    if (counts_[k] == counts_[largest] || counts_[k] <= kMinCandidatePixels) continue;
    const cv::Rect box = (boxes_[k] + cv::Size(2, 2) - cv::Point(1, 1)) & frame;
    objectImg.create(box.size(), CV_8UC1);
    for (int y = 0; y < box.height; ++y) {
      uchar* dst = objectImg.ptr<uchar>(y);
      for (int x = 0; x < box.width; ++x) dst[x] = labelAt(box.x + x, box.y + y) == k + 1;
    }
    cv::distanceTransform(objectImg, dist, cv::DIST_L2, cv::DIST_MASK_5);
    double maxVal = 0.0;
    cv::Point middle;
    cv::minMaxLoc(dist, nullptr, &maxVal, nullptr, &middle);
    if (maxVal > 1.0) {
      eggsToVerify.emplace_back(-1, -1, -1, maxVal, middle.x + box.x, middle.y + box.y, -1.0f);
    }
  }
}

void FrameSegmenter::clearFilledHole(cv::Mat& mask, const cv::Mat& reference, int x, int y) {
  CV_Assert(mask.type() == CV_8UC1 && reference.type() == CV_8UC1 &&
            mask.size() == reference.size());
  if (x < 0 || y < 0 || x >= mask.cols || y >= mask.rows) return;
  static constexpr int kDx[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  static constexpr int kDy[8] = {0, 1, -1, -1, 1, 1, 0, -1};
  // Explicit stack: the region can span much of the frame.
  std::vector<cv::Point> stack;
  mask.at<uchar>(y, x) = 0;
  stack.emplace_back(x, y);
  while (!stack.empty()) {
    const cv::Point p = stack.back();
    stack.pop_back();
    for (int d = 0; d < 8; ++d) {
      const int nx = p.x + kDx[d], ny = p.y + kDy[d];
      if (nx < 0 || ny < 0 || nx >= mask.cols || ny >= mask.rows) continue;
      if (reference.at<uchar>(ny, nx) != 0 || mask.at<uchar>(ny, nx) == 0) continue;
      mask.at<uchar>(ny, nx) = 0;
      stack.emplace_back(nx, ny);
    }
  }
}

}  // namespace dukon
