// Body-wave frequency: how many body waves per second pass a crawling worm,
// from the travel of its centre of mass and its wavelength. A pass over the
// records after their body-wave features.
#ifndef DUKON_SKELETON_WAVE_FREQUENCY_H_
#define DUKON_SKELETON_WAVE_FREQUENCY_H_

#include <vector>

#include "base/skel_record.h"

namespace dukon {

// Sets `freq` (Hz) of every record: for a record whose predecessor is the
// directly preceding movie frame and both are located, consistent and not
// ignored, the world centre-of-mass travel per second (`rate` frames per
// second) divided by the record's wavelength; NaN otherwise, for the first
// record and for a wavelength that is not positive. Reads `frame`, the
// flags, `cmass`, the stage location and `wavelen`; writes `freq` only.
void waveFrequency(std::vector<SkelRecord>& records, double rate);

}  // namespace dukon

#endif  // DUKON_SKELETON_WAVE_FREQUENCY_H_
