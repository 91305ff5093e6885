// World coordinates and body-wave frequency, one pass over the records after
// the behaviour analysis.
#ifndef DUKON_STAGE_WORLD_COORDS_H_
#define DUKON_STAGE_WORLD_COORDS_H_

#include <vector>

#include "base/skel_record.h"

namespace dukon {

// Moves `head`, `tail`, `mid` and `cmass` of the records from frame
// pixels into world pixels by adding the record's stage location (xLoc,
// yLoc), whatever the record's flags; the chain `points` stays in frame
// pixels. Then sets `freq` (Hz): for a record whose predecessor is the
// directly preceding movie frame and both are located, consistent and not
// ignored, the centre-of-mass travel per second (frmps) divided by the
// record's wavelength; NaN otherwise, and for the first record. `rate` is
// the run's frame rate, frames per second.
// Must run exactly once: a second call would add the location twice.
void worldCoordinates(std::vector<SkelRecord>& records, double rate);

}  // namespace dukon

#endif  // DUKON_STAGE_WORLD_COORDS_H_
