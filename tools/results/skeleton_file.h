// The skeleton file NAME-skel.csv: every analysed frame's chain, appended
// run after run (docs/formats/skel.md).
#ifndef DUKON_RESULTS_SKELETON_FILE_H_
#define DUKON_RESULTS_SKELETON_FILE_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace results {

// The chains of the latest run in a skeleton file: frame number -> chain
// points in frame pixels, in file order (head first once the head is known).
// Frames without a chain map to an empty vector. Every run of a movie appends
// one entry per analysed frame, with no mark where a run starts: the latest
// run's entries are the last `records` of the file (the rows of that run's
// shape table), and a run also starts where the frame number does not grow.
// With `records` kUnknownRecords only the latter rule applies. `skipped`,
// when given, receives the number of earlier entries left out. Throws
// RunFileError also when the file ends with fewer than `records` entries of
// one run.
constexpr size_t kUnknownRecords = static_cast<size_t>(-1);
std::map<int, std::vector<cv::Point>> readSkeletonFile(const std::string& path,
                                                       size_t records = kUnknownRecords,
                                                       size_t* skipped = nullptr);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_SKELETON_FILE_H_
