#include "segment/egg_list.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace dukon {

namespace {

// Largest distance-transform value that still counts as no egg, pixels.
constexpr double kMinEggRadius = 1.0;

}  // namespace

EggList::EggList(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      prevMask_(cv::Mat::zeros(height_, width_, CV_8UC1)) {}

void EggList::findLaidEggs(int frameIndex, const cv::Mat& bin, const SkelRecord& rec, float ts) {
  if (!rec.located) return;
  if (bin.type() != CV_8UC1 || bin.cols != width_ || bin.rows != height_) return;
  const int last = lastIndex_;
  lastIndex_ = frameIndex;
  if (last == -1 || static_cast<long long>(last) + 1 != frameIndex) {
    bin.copyTo(prevMask_);
    return;
  }
  // Eggs leave the worm near the middle of its body: look at a square of
  // twice the body thickness around mid, cut to the frame.
  const double t = std::min(2.0 * rec.thickness, 2.0 * (width_ + height_));
  const int side = t > 0.0 ? static_cast<int>(t) : 0;
  const cv::Rect square(rec.mid.x - side / 2, rec.mid.y - side / 2, side, side);
  const cv::Rect roi = square & cv::Rect(0, 0, width_, height_);
  if (roi.area() > 0) {
    // Only the square is read, and the distance transform sees nothing
    // beyond the image it is given (outside counts as far from background),
    // so the map of new pixels is needed inside the square alone.
    newPixels_.create(roi.size(), CV_8UC1);
    for (int y = 0; y < roi.height; ++y) {
      const uint8_t* p = prevMask_.ptr<uint8_t>(roi.y + y) + roi.x;
      const uint8_t* b = bin.ptr<uint8_t>(roi.y + y) + roi.x;
      uint8_t* n = newPixels_.ptr<uint8_t>(y);
      for (int x = 0; x < roi.width; ++x) n[x] = (p[x] == 0 && b[x] != 0) ? 1 : 0;
    }
    cv::Mat dist;
    cv::distanceTransform(newPixels_, dist, cv::DIST_L2, 5);
    double maxVal = 0.0;
    cv::Point maxLoc;
    cv::minMaxLoc(dist, nullptr, &maxVal, nullptr, &maxLoc);
    if (maxVal > kMinEggRadius) {
      addEgg(Egg(rec.xLoc, rec.yLoc, rec.frame, maxVal, maxLoc.x + roi.x, maxLoc.y + roi.y, ts));
    }
  }
  bin.copyTo(prevMask_);
}

bool EggList::addEgg(const Egg& egg) {
  for (const Egg& listed : eggs_)
    if (egg.overlaps(listed)) return false;
  eggs_.push_back(egg);
  return true;
}

void EggList::verifyCandidate(Egg& candidate, const SkelRecord& rec) {
  candidate.setLocationOnce(rec.xLoc, rec.yLoc, rec.frame);
  for (Egg& listed : eggs_) {
    if (candidate.overlaps(listed)) {
      listed.setVerifiedOnce(static_cast<uint32_t>(rec.frame));
      return;
    }
  }
}

}  // namespace dukon
