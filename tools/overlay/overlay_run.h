// The work of dukon-overlay: reads one run's outputs and its movie and
// writes the annotated movie (or one annotated frame as a picture).
#ifndef DUKON_OVERLAY_OVERLAY_RUN_H_
#define DUKON_OVERLAY_OVERLAY_RUN_H_

#include <ostream>

#include "overlay/overlay_cli.h"

namespace dukon {
namespace overlay {

// Runs with parsed `options`. Reports go to `out`, problems to `err`.
// Returns the exit status: 0 when the output was written, 1 for bad input
// (a run file missing or malformed, a movie that cannot be read or does
// not match the run, an output that cannot be written). A movie is written
// under a temporary name and renamed when complete, so an existing file of
// that name is replaced only by a whole one.
int runOverlay(const OverlayOptions& options, std::ostream& out, std::ostream& err);

}  // namespace overlay
}  // namespace dukon

#endif  // DUKON_OVERLAY_OVERLAY_RUN_H_
