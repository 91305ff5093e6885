#include "segment/first_masks.h"

#include <algorithm>
#include <array>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace dukon {

MaskMaker::MaskMaker(int thresh, int smooth, bool useEdges)
    : thresh_(thresh), smooth_(smooth), useEdges_(useEdges), edgeMap_(kCannyLow, kCannyHigh) {}

void MaskMaker::make(const cv::Mat& bw, FirstMasks& out) {
  CV_Assert(bw.type() == CV_8UC1 && !bw.empty());
  out.thr = thresh_;
  out.noValley = false;
  if (out.thr < 0) {
    out.thr = histogramThreshold(bw, smooth_);
    if (out.thr == kNoValley) {
      out.thr = 0;
      out.noValley = true;
    }
  }
  thresholdClosed(bw, out.thr, out.mask);
  out.area = out.mask.count();
  out.edgesMade = useEdges_ || out.noValley;
  if (out.edgesMade) edgesClosed(bw, out.edges);
}

void MaskMaker::thresholdClosed(const cv::Mat& bw, int thr, BitMask& mask) {
  if (plain_) {
    cv::threshold(bw, image_, thr, 1, cv::THRESH_BINARY_INV);
    mask.fromNonZero(image_);
  } else {
    mask.fromThresholdInv(bw, thr);
  }
  close(mask, kFirstCloseIterations);
}

void MaskMaker::edgesClosed(const cv::Mat& bw, BitMask& edges) {
  if (plain_) {
    cv::Canny(bw, image_, kCannyLow, kCannyHigh, kCannyAperture);
    edges.fromNonZero(image_);
  } else {
    edgeMap_.detect(bw, edges);
  }
  close(edges, kFirstCloseIterations);
}

void MaskMaker::close(BitMask& mask, int iterations) {
  if (!plain_) {
    closeEllipse(mask, iterations, work_);
    return;
  }
  mask.toMat(image_);
  closeMask(image_, iterations);
  mask.fromNonZero(image_);
}

int MaskMaker::histogramThreshold(const cv::Mat& grey, int smooth) {
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

}  // namespace dukon
