// World coordinates and body-wave frequency, one pass over the records after
// the behaviour analysis.
#ifndef DUKON_STAGE_WORLD_COORDS_H_
#define DUKON_STAGE_WORLD_COORDS_H_

#include <vector>

#include "base/skel_record.h"

namespace dukon {

class Params;

// Moves `head`, `tail`, `mid` and `cmass` of the first n records from frame
// pixels into world pixels by adding the record's stage location (xLoc,
// yLoc), whatever the record's flags; the chain `points` stays in frame
// pixels. Then sets `freq` (Hz): for a record whose predecessor is the
// directly preceding movie frame and both are located, consistent and not
// ignored, the centre-of-mass travel per second (frmps) divided by the
// record's wavelength; NaN otherwise, and for the first record.
// Must run exactly once: a second call would add the location twice.
void worldCoordinates(std::vector<SkelRecord>& records, int n, const Params& prms);

}  // namespace dukon

#endif  // DUKON_STAGE_WORLD_COORDS_H_
