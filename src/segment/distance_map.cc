#include "segment/distance_map.h"

#include <opencv2/imgproc.hpp>

namespace dukon {

cv::Point distanceMap(const cv::Mat& mask, bool useRoi, cv::Mat& dist, cv::Rect& roi,
                      double* maxVal, const cv::Rect* knownBox) {
  *maxVal = 0.0;
  cv::Point maxLoc(-1, -1);
  if (!useRoi) {
    cv::distanceTransform(mask, dist, cv::DIST_L2, cv::DIST_MASK_5);
    cv::minMaxLoc(dist, nullptr, maxVal, nullptr, &maxLoc, mask);
    return maxLoc;
  }
  if (!roi.empty()) dist(roi).setTo(0);
  const cv::Rect box = knownBox != nullptr ? *knownBox : cv::boundingRect(mask);
  roi = box.empty()
            ? cv::Rect()
            : (box - cv::Point(1, 1) + cv::Size(2, 2)) & cv::Rect(0, 0, mask.cols, mask.rows);
  if (roi.empty()) return maxLoc;
  cv::Mat roiDist = dist(roi);
  cv::distanceTransform(mask(roi), roiDist, cv::DIST_L2, cv::DIST_MASK_5);
  cv::minMaxLoc(roiDist, nullptr, maxVal, nullptr, &maxLoc, mask(roi));
  if (maxLoc.x >= 0) maxLoc += roi.tl();
  return maxLoc;
}

}  // namespace dukon
