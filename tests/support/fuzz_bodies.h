// What the fuzz targets do with one input; shared with the regression test
// that replays every input kept under tests/fuzz/.
#ifndef DUKON_TOOLS_FUZZ_FUZZ_BODIES_H_
#define DUKON_TOOLS_FUZZ_FUZZ_BODIES_H_

#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fatal_error.h"
#include "base/params.h"
#include "stage/stage_util.h"

namespace dukon {
namespace fuzz {

// The parameters reader on arbitrary bytes. A FatalError is a defined
// outcome; a crash or sanitizer report is a fault.
inline void readParams(const std::string& bytes) {
  std::istringstream in(bytes);
  std::ostringstream err, listing;
  Params p("params.txt");
  try {
    p.read(in, err);
    p.print(listing);
    (void)p.moviePath(".avi");
  } catch (const FatalError&) {
  }
}

// The stage-log reader on arbitrary bytes, then the cursor walk the track
// makes over a 100-frame movie at 30 fps. The walk must end for every frame
// (the end sentinel stops it); a walk that does not is reported as a crash.
inline void readStageLog(const std::string& bytes) {
  std::istringstream params("moviedir = /m\nmoviename = w\nlframe = 40\n");
  std::ostringstream sink;
  Params prms("params.txt");
  prms.read(params, sink);
  std::istringstream in(bytes);
  try {
    StageUtil stage(in, "w.log.csv", prms, 100, 30.0, sink, sink);
    double next = stage.rewind();
    double x, y;
    for (int frame = 0; frame < 100; ++frame) {
      const double t = frame * 1000.0 / 30.0;
      long steps = 0;
      while (next < t) {
        next = stage.advance(true);
        if (++steps > 10000000) std::abort();
      }
      stage.currentOffset(x, y);
    }
    stage.rangeOfMovement(x, y);
    stage.firstOffset(x, y);
  } catch (const FatalError&) {
  }
}

}  // namespace fuzz
}  // namespace dukon

#endif  // DUKON_TOOLS_FUZZ_FUZZ_BODIES_H_
