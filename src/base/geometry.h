// Plane geometry shared by the passes: distances and directions between
// pixels. Points are cv::Point (x right, y down), in whatever pixel frame the
// caller uses for both.
#ifndef DUKON_BASE_GEOMETRY_H_
#define DUKON_BASE_GEOMETRY_H_

#include <cmath>

#include <opencv2/core.hpp>

namespace dukon {

// Euclidean distance between two pixels, sqrt(dx * dx + dy * dy) in double.
inline double pointDistance(cv::Point a, cv::Point b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return std::sqrt(dx * dx + dy * dy);
}

// Direction of the vector (dx, dy) in degrees, measured from +x toward +y
// (image y grows downward), in [0, 360). Components within 0.001 of zero
// count as zero; the null vector gives 0. Uses pi = 3.1415926 so results
// match the established tables to the last digit.
double directionAngle(double dx, double dy);

}  // namespace dukon

#endif  // DUKON_BASE_GEOMETRY_H_
