// The run driver: one analysis of one movie, from "params.txt" in the working
// directory to the result files of its output directory.
#ifndef DUKON_RUN_RUN_DRIVER_H_
#define DUKON_RUN_RUN_DRIVER_H_

#include <string>

namespace dukon {

// Version written into the parameters copy and printed by --version.
constexpr const char* kVersion = "0.07";

// Runs the whole analysis configured by `paramFN`. Returns the exit status:
// 0 when every result was written, 1 when some output could not be written.
// Fatal conditions throw FatalError.
int runDukon(const std::string& paramFN);

}  // namespace dukon

#endif  // DUKON_RUN_RUN_DRIVER_H_
