// What the fuzz targets do with one input; shared with the regression test
// that replays every input kept under tests/fuzz/.
#ifndef DUKON_TESTS_SUPPORT_FUZZ_BODIES_H_
#define DUKON_TESTS_SUPPORT_FUZZ_BODIES_H_

#include <cstdlib>
#include <sstream>
#include <string>

#include "base/fatal_error.h"
#include "base/params.h"
#include "output/params_copy.h"
#include "stage/stage_util.h"

namespace dukon {
namespace fuzz {

// The parameters reader on arbitrary bytes. A FatalError is a defined
// outcome; a crash or sanitizer report is a fault.
inline void readParams(const std::string& bytes) {
  std::istringstream in(bytes);
  std::ostringstream err, listing;
  try {
    const Params p = Params::fromStream(in, "params.txt", err);
    p.print(listing);
    writeParamsCopy(listing, p, "fuzz", 25.0, 100);
    (void)p.moviePath(".avi");
  } catch (const FatalError&) {
  }
}

// The stage-log reader on arbitrary bytes, then the cursor walk the track
// makes over a 100-frame movie at 30 fps. The walk must end for every frame
// (the end sentinel stops it); a walk that does not is reported as a crash.
inline void readStageLog(const std::string& bytes) {
  std::ostringstream sink;
  std::istringstream in(bytes);
  try {
    // The window of frames 0 .. 40 of a 100-frame movie at 30 fps.
    StageUtil stage(in, "w.log.csv", stageWindow(0, 40, 100, 30.0), false, sink, sink);
    double next = stage.rewind();
    for (int frame = 0; frame < 100; ++frame) {
      const double t = frame * 1000.0 / 30.0;
      long steps = 0;
      while (next < t) {
        next = stage.advance(true);
        if (++steps > 10000000) std::abort();
      }
      (void)stage.currentOffset();
    }
    (void)stage.rangeOfMovement();
    (void)stage.firstOffset();
  } catch (const FatalError&) {
  }
}

}  // namespace fuzz
}  // namespace dukon

#endif  // DUKON_TESTS_SUPPORT_FUZZ_BODIES_H_
