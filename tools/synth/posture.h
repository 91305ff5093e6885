// Still postures: a worm that holds one body shape for the whole movie.
//
// The shape is given as tangent angles from head to tail (radians, positive
// towards +y of the image): the centreline is a chain of equally long
// straight pieces, one per angle, so a shape built from a posture basis is
// reproduced exactly, whatever its heading in the world.
#ifndef DUKON_SYNTH_POSTURE_H_
#define DUKON_SYNTH_POSTURE_H_

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace dukon {
namespace synth {

// Reads the angles of a posture file: numbers separated by white space or
// commas, one or more per line; a line starting with '#' is a comment.
// Returns "" on success, else a one-line reason naming the file (and line).
std::string readPostureAngles(const std::string& path, std::vector<double>* angles);

// `points` points (2 or more) equally spaced by arc length along the chain
// of total length `lengthPx` whose pieces have the tangent angles `angles`
// turned by `headingRad`; the head is at `head`, the tail last.
std::vector<cv::Point2f> postureCentreline(const std::vector<double>& angles, double lengthPx,
                                           double headingRad, cv::Point2d head, int points);

}  // namespace synth
}  // namespace dukon

#endif  // DUKON_SYNTH_POSTURE_H_
