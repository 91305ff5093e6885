// The run summary: how many frames the run took and how many passed, at the
// head of wxo.txt (format: docs/formats/wxo.md) and, with screenop, on the
// console.
#ifndef DUKON_OUTPUT_RUN_SUMMARY_H_
#define DUKON_OUTPUT_RUN_SUMMARY_H_

#include <cstddef>
#include <ostream>

namespace dukon {

// The frame counts of a run, as the frame loop and the record passes left
// them.
struct RunCounts {
  int totalFrames = 1;       // frames the movie spans from the first to the last one reached
  int realFrames = 0;        // frames taken into the analysis, ignored ones included
  int goodFrames = 0;        // frames whose skeleton passed validation
  int consistentFrames = 0;  // frames found consistent
  size_t ignoredFrames = 0;  // entries of the ignored-frames list passed
  int lastReached = 0;       // number of the last frame taken
  int lastPlanned = 0;       // number of the last frame to analyse
};

// The summary lines of wxo.txt, at the stream's precision (2). The line
// "Exited at frame index" appears only when the run stopped before its
// last planned frame.
void writeRunSummary(std::ostream& wxo, const RunCounts& counts);

// The same summary for the console, at the stream's precision: without the
// "Exited at" line, and with the consistent line's shorter label.
void writeConsoleSummary(std::ostream& con, const RunCounts& counts);

}  // namespace dukon

#endif  // DUKON_OUTPUT_RUN_SUMMARY_H_
