// The skeleton file NAME-skel.csv: every analysed frame's chain, appended
// run after run (docs/formats/skel.md).
#ifndef DUKON_RESULTS_SKELETON_FILE_H_
#define DUKON_RESULTS_SKELETON_FILE_H_

#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace results {

// The chains of the most recent run: frame number -> chain points in frame
// pixels, in file order (head first once the head is known). A run starts
// where the frame number does not grow. Frames without a chain map to an
// empty vector.
std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_SKELETON_FILE_H_
