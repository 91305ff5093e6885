// The parameters copy NAME-params.txt: the run header and the parameters as
// the run used them (format: docs/formats/params.md).
#ifndef DUKON_OUTPUT_PARAMS_COPY_H_
#define DUKON_OUTPUT_PARAMS_COPY_H_

#include <ostream>
#include <string>

namespace dukon {

class Params;

// "# DUKON version: " `version`, "# analyzed on: " with the local time in
// ctime's form, an empty line, and the listing of `prms` with frmps and
// lframe as the run used them: `rate` frames per second and `lastFrame`,
// the last frame it reached. Reals at the stream's precision.
void writeParamsCopy(std::ostream& os, const Params& prms, const std::string& version, double rate,
                     int lastFrame);

}  // namespace dukon

#endif  // DUKON_OUTPUT_PARAMS_COPY_H_
