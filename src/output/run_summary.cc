#include "output/run_summary.h"

namespace dukon {

namespace {

void writeSummary(std::ostream& os, const RunCounts& c, bool console) {
  os << "Total frames (key+drop) in movie: " << c.totalFrames << "\n";
  os << "Real frames (key) extracted: " << c.realFrames << "\n";
  if (!console && c.lastReached != c.lastPlanned)
    os << "Exited at frame index " << c.lastReached << "\n";
  // With no frame analysed the shares are written as 0 rather than nan.
  const int real = c.realFrames;
  const float g = real > 0 ? static_cast<float>(c.goodFrames) / real * 100 : 0.0f;
  const float k = real > 0 ? static_cast<float>(c.consistentFrames) / real * 100 : 0.0f;
  os << "Good frames (with skeleton) analyzed: " << c.goodFrames << " (" << g << "%)\n";
  os << (console ? "Consistent frames (skeleton is good): "
                 : "Consistent frames (skeleton is good and no loop): ")
     << c.consistentFrames << " (" << k << "%)\n";
  if (c.ignoredFrames != 0) os << "Ignored " << c.ignoredFrames << " frames as directed\n";
}

}  // namespace

void writeRunSummary(std::ostream& wxo, const RunCounts& counts) {
  writeSummary(wxo, counts, false);
}

void writeConsoleSummary(std::ostream& con, const RunCounts& counts) {
  writeSummary(con, counts, true);
}

}  // namespace dukon
