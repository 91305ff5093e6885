#include "results/behaviour_report.h"

#include <cstdio>

#include "results/run_file.h"

namespace dukon {
namespace results {
namespace {

// "first-last: text"; false when the line is not a segment line.
bool parseSegment(const std::string& line, SegmentLine* s) {
  const size_t dash = line.find('-');
  const size_t colon = line.find(": ");
  if (dash == std::string::npos || colon == std::string::npos || dash > colon) return false;
  if (!parseInt(line.substr(0, dash), &s->first) ||
      !parseInt(line.substr(dash + 1, colon - dash - 1), &s->last))
    return false;
  s->text = line.substr(colon + 2);
  return !s->text.empty();
}

}  // namespace

BehaviourReport readBehaviourReport(const std::string& path) {
  LineFile file(path);
  BehaviourReport r;
  char tail[64] = "";
  if (file.size() < 2 ||
      std::sscanf(file.line(1).c_str(), "Movements compressed from %d elements to %d elements %63s",
                  &r.cut, &r.merged, tail) != 3 ||
      !file.line(2).empty()) {
    throw file.error(1,
                     "expected 'Movements compressed from N elements to M elements ...' and "
                     "an empty line");
  }
  size_t no = 3;
  for (; no <= file.size() && !file.line(no).empty(); ++no) {
    SegmentLine s;
    if (!parseSegment(file.line(no), &s))
      throw file.error(
          no, "expected a segment line 'first-last: ...', found '" + excerpt(file.line(no)) + "'");
    r.segments.push_back(s);
  }
  if (static_cast<int>(r.segments.size()) != r.merged)
    throw file.error(no, std::to_string(r.segments.size()) + " segment lines, " +
                             std::to_string(r.merged) + " announced (file truncated?)");
  static const char* const kRates[] = {"pause", "omega", "loop", "reversals"};
  for (; no <= file.size(); ++no) {
    const std::string& line = file.line(no);
    for (const char* rate : kRates) {
      const std::string label = std::string(rate) + " rate: ";
      if (line.rfind(label, 0) != 0) continue;
      const size_t open = line.rfind(" (");
      int n = 0;
      if (open == std::string::npos || line.size() < open + 9 ||
          line.compare(line.size() - 7, 7, " total)") != 0 ||
          !parseInt(line.substr(open + 2, line.size() - 7 - open - 2), &n))
        throw file.error(no, "expected '" + label + "... (N total)'");
      r.totals[rate] = n;
    }
  }
  for (const char* rate : kRates) {
    if (!r.totals.count(rate))
      throw file.error(file.size(), std::string("no '") + rate + " rate' line (file truncated?)");
  }
  return r;
}

}  // namespace results
}  // namespace dukon
