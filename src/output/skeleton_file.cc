#include "output/skeleton_file.h"

namespace dukon {

void writeSkeletons(std::ostream& os, const std::vector<SkelRecord>& records) {
  for (const SkelRecord& r : records) {
    os << "Frame number: " << r.frame << "\n";
    for (const cv::Point& p : r.points) os << p.x << "," << p.y << "\n";
  }
}

}  // namespace dukon
