// Body-wave features of one oriented skeleton chain: the bend-angle profile
// and its statistics, the wavelength, the lateral amplitudes about the
// head-tail line with the number of crossings, and two shape scores.
#ifndef DUKON_SKELETON_BODY_WAVE_H_
#define DUKON_SKELETON_BODY_WAVE_H_

#include <iostream>
#include <ostream>
#include <vector>

#include <opencv2/core.hpp>

#include "base/skel_record.h"

namespace dukon {

// Computes, in this order, the bend profile (`angles`, `numAngles` and the
// angle statistics), the wavelength, the amplitudes with `cutpnums`, and the
// shape scores of `rec`. The chain must already run from `head` to `tail` and
// `len` must be final. A profile with fewer than 9 bend angles writes
// "too short for wavelength\n" to `out` and leaves the wavelength NaN.
void computeFeatures(SkelRecord& rec, std::ostream& out = std::cout);

// The bend profile of the chain: at chain point j + k the turn, in degrees
// folded into [-180, 180], from the chord (j, j + k) to the chord
// (j + k, j + 2k), k = n / 12, for the n - 2k points that have both chords.
// Depends only on the chain; computeBendProfile stores it in `angles`.
std::vector<double> bendAngles(const SkelRecord& rec);

// The steps of computeFeatures, exposed for the per-frame tables and tests.
void computeBendProfile(SkelRecord& rec);
void computeWavelength(SkelRecord& rec, std::ostream& out = std::cout);
void computeAmplitudes(SkelRecord& rec);
void computeShapeScores(SkelRecord& rec);

// Signed distance of every chain point from the line through `head` and
// `tail`, pixels; positive on the side of the tail direction turned toward +y
// (clockwise on screen), negative on the other.
std::vector<double> signedDistances(const SkelRecord& rec);

}  // namespace dukon

#endif  // DUKON_SKELETON_BODY_WAVE_H_
