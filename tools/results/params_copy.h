// The parameters copy NAME-params.txt: the run header and the parameters
// the run used (docs/formats/params.md), reduced to what the readers use.
#ifndef DUKON_RESULTS_PARAMS_COPY_H_
#define DUKON_RESULTS_PARAMS_COPY_H_

#include <string>

namespace dukon {
namespace results {

struct RunParams {
  std::string movieDir;   // as listed, with its trailing separator
  std::string movieName;  // the file stem of the movie and of every output
  int mmpix = 0;          // pixels per millimetre
  double frmps = 0.0;     // frames per second used by the run (0: not listed)
  int fframe = 0;         // first frame the run was asked for
  int lframe = 0;         // last frame the run reached
};

RunParams readParamsCopy(const std::string& path);

}  // namespace results
}  // namespace dukon

#endif  // DUKON_RESULTS_PARAMS_COPY_H_
