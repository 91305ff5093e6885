#include "results/run_summary.h"

#include "results/run_file.h"

namespace dukon {
namespace results {
namespace {

// The count after `label` in `line`, up to the next blank or the end; false
// when the line does not start with the label.
bool countAfter(const std::string& line, const std::string& label, int* n) {
  if (line.rfind(label, 0) != 0) return false;
  const size_t end = line.find(' ', label.size());
  return parseInt(line.substr(label.size(), end - label.size()), n);
}

}  // namespace

RunSummary readRunSummary(const std::string& path) {
  LineFile file(path);
  RunSummary s;
  bool total = false, real = false, good = false, consistent = false;
  size_t no = 1;
  // The summary ends at the empty line before the shape table's header.
  for (; no <= file.size() && !file.line(no).empty(); ++no) {
    const std::string& line = file.line(no);
    int ignored = 0;
    if (countAfter(line, "Total frames (key+drop) in movie: ", &s.total)) {
      total = true;
    } else if (countAfter(line, "Real frames (key) extracted: ", &s.real)) {
      real = true;
    } else if (countAfter(line, "Exited at frame index ", &s.exitedAt)) {
    } else if (countAfter(line, "Good frames (with skeleton) analyzed: ", &s.good)) {
      good = true;
    } else if (countAfter(line,
                          "Consistent frames (skeleton is good and no loop): ", &s.consistent)) {
      consistent = true;
    } else if (countAfter(line, "Ignored ", &ignored) && line.size() > 19 &&
               line.compare(line.size() - 19, 19, " frames as directed") == 0) {
      s.ignored = ignored;
    } else {
      throw file.error(no, "not a line of the run summary: '" + excerpt(line) + "'");
    }
  }
  if (!total || !real || !good || !consistent)
    throw file.error(no > file.size() ? file.size() : no,
                     "run summary incomplete (total, real, good and consistent frames)");
  return s;
}

}  // namespace results
}  // namespace dukon
