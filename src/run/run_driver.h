// The run driver: one analysis of one movie, from "params.txt" in the working
// directory to the result files of its output directory.
#ifndef DUKON_RUN_RUN_DRIVER_H_
#define DUKON_RUN_RUN_DRIVER_H_

#include <string>

namespace dukon {

// Version written into the parameters copy and printed by --version; set
// from the project version by the build.
constexpr const char* kVersion = DUKON_VERSION;

// Wall-clock time spent in each stage of a run, milliseconds, summed over
// all frames; filled only when a caller (the benchmark) asks for it.
struct StageTimes {
  double decode = 0;        // waiting for the next decoded frame
  double decodeThread = 0;  // decoding, on the decoding thread beside the analysis
  double preparing = 0;     // grey frames and first masks, on the decoding thread
  double grey = 0;          // colour to grey conversion
  double segment = 0;       // worm mask
  double skeleton = 0;      // skeleton chain and validation
  double headMeasures = 0;  // head/tail decision, basic measures, eggs
  double tracking = 0;      // stage position or image motion, track canvas
  double post = 0;          // everything after the frame loop, writers included
  int frames = 0;           // frames fetched in the range
  // The centreline pass, part of `post`: learning the body model, reading,
  // segmenting and fitting the frames without a consistent chain.
  double fitting = 0;
  double fittingCpu = 0;  // the same in processor time, all threads
  int fitFrames = 0;      // frames fitting was tried on
  int fitted = 0;         // of them, frames with an accepted fit
};

// Exit status of a run that published its results but left out frames it
// had planned to analyse.
constexpr int kPartialRun = 3;

// Runs the whole analysis configured by `paramFN`. Returns the exit status:
// 0 when every result was published, kPartialRun when they were but some
// planned frame was not analysed, 1 when some output could not be written
// (then none is published). Fatal conditions throw FatalError; the output
// folder then keeps the earlier run's files. With `times`, the stage times
// are added to it.
int runDukon(const std::string& paramFN, StageTimes* times = nullptr);

}  // namespace dukon

#endif  // DUKON_RUN_RUN_DRIVER_H_
