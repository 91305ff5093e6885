// The behaviour report NAME-wxs.txt: the movement segments and the
// behaviour summary (docs/formats/wxs.md).
#ifndef DUKON_RESULTS_BEHAVIOUR_REPORT_H_
#define DUKON_RESULTS_BEHAVIOUR_REPORT_H_

#include <map>
#include <string>
#include <vector>

namespace dukon {
namespace results {

// A segment line "first-last: text", frame numbers.
struct SegmentLine {
  int first = 0, last = 0;
  std::string text;  // e.g. "reversal backward distance of 30 at angle 180 at speed 0.2", "loop"
};

struct BehaviourReport {
  int cut = 0;     // segments cut before the merge
  int merged = 0;  // segments after it: the segment lines
  std::vector<SegmentLine> segments;
  // The "(N total)" counts of the rate lines: "pause", "omega", "loop",
  // "reversals".
  std::map<std::string, int> totals;
};

BehaviourReport readBehaviourReport(const std::string& path);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_BEHAVIOUR_REPORT_H_
