// The check file "checks.csv" and the console lines of the head check.
//
// checks.csv holds one row per finding of the checks made on every run; it
// is written on every run, with its header line alone when nothing was
// found, so that "checked, nothing found" differs from "not checked". Its
// columns:
//   check        what was checked: "head" (head and tail against the run's
//                evidence)
//   first_frame, last_frame  the stretch of frames found, movie frame numbers
//   frames       consistent frames in the stretch
//   seconds      (last_frame - first_frame + 1) / frames per second
//   brightness, head_swing, body_wave, travel
//                each cue's weighed evidence for the head as written in the
//                results: negative speaks against it
//   evidence     their sum
// Numbers have two decimals.
#ifndef DUKON_OUTPUT_CHECK_FILE_H_
#define DUKON_OUTPUT_CHECK_FILE_H_

#include <ostream>
#include <string>
#include <vector>

#include "skeleton/head_orientation.h"

namespace dukon {

// The header line and one row per check.
void writeChecks(std::ostream& os, const std::vector<HeadCheck>& checks);

// One warning line (with its line end) for a head check: the frames, the
// evidence, the key that orients by it and the file `checkFile` that lists
// it.
std::string headCheckWarning(const HeadCheck& check, const std::string& checkFile);

// One line (with its line end) of a run's evidence for the head it was
// judged to have, for the verbose console output.
std::string runEvidenceLine(const RunJudgement& run, const std::vector<SkelRecord>& records);

}  // namespace dukon

#endif  // DUKON_OUTPUT_CHECK_FILE_H_
