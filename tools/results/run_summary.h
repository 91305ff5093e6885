// The run summary at the head of NAME-wxo.txt: how many frames the run took
// and how many passed (docs/formats/wxo.md).
#ifndef DUKON_RESULTS_RUN_SUMMARY_H_
#define DUKON_RESULTS_RUN_SUMMARY_H_

#include <string>

namespace dukon {
namespace results {

struct RunSummary {
  int total = 0;       // frames the movie spans from the first to the last one reached
  int real = 0;        // frames taken into the analysis
  int good = 0;        // frames whose skeleton passed validation
  int consistent = 0;  // consistent frames
  int exitedAt = -1;   // "Exited at frame index N"; -1 when the run reached its last frame
  int ignored = 0;     // frames ignored as directed
};

RunSummary readRunSummary(const std::string& path);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_RUN_SUMMARY_H_
